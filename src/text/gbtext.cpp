// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/gbtext.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "text/detect.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "text/gb18030.h"
#else
#include <iconv.h>
#endif

namespace qorin::text {

namespace {

bool lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool digit(unsigned char c) { return c >= 0x30 && c <= 0x39; }

}  // namespace

std::size_t charLength(std::string_view s, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (pos >= s.size()) return 1;
  const unsigned char b0 = at(pos);
  if (b0 < 0x80 || !lead(b0) || pos + 1 >= s.size()) return 1;
  const unsigned char b1 = at(pos + 1);
  if (digit(b1)) {
    if (pos + 3 < s.size() && lead(at(pos + 2)) && digit(at(pos + 3))) return 4;
    return 1;
  }
  if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE)) return 2;
  return 1;
}

bool isCharBoundary(std::string_view s, std::size_t pos) { return nextBoundary(s, pos) == pos; }

std::size_t nextBoundary(std::string_view s, std::size_t pos) {
  std::size_t i = 0;
  while (i < pos && i < s.size()) i += charLength(s, i);
  return std::min(i, s.size());
}

void asciiUpperInPlace(std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') s[i] = static_cast<char>(c - 32);
      ++i;
    } else {
      i += charLength(s, i);
    }
  }
}

void asciiLowerInPlace(std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c >= 'A' && c <= 'Z') s[i] = static_cast<char>(c + 32);
      ++i;
    } else {
      i += charLength(s, i);
    }
  }
}

std::string asciiUpper(std::string_view s) {
  std::string r(s);
  asciiUpperInPlace(r);
  return r;
}

std::string asciiLower(std::string_view s) {
  std::string r(s);
  asciiLowerInPlace(r);
  return r;
}

std::string_view cutToBytes(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t n = charLength(s, i);
    if (i + n > maxBytes) break;
    i += n;
  }
  return s.substr(0, i);
}

std::int32_t toNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(INT32_MAX) + 1) v = static_cast<long long>(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

std::string gb(std::string_view utf8Literal) {
  auto r = utf8ToGb(utf8Literal);
  return r ? std::move(*r) : std::string(utf8Literal);
}

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isUtf8(std::string_view s) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = at(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    // Continuation count and the range of the first continuation byte, which
    // rules out overlong forms, surrogates and values past U+10FFFF.
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (s.size() - i - 1 < n || at(i + 1) < lo || at(i + 1) > hi) return false;
    for (std::size_t k = 2; k <= n; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) return false;
    }
    i += n + 1;
  }
  return true;
}

std::string decodeUnlabelled(std::string_view bytes) { return readUnlabelled(bytes).text; }

std::string utf16ToGbLenient(std::string_view bytes, bool bigEndian) {
  const std::size_t units = bytes.size() / 2;
  const auto unit = [&](std::size_t k) {
    const auto a = static_cast<unsigned char>(bytes[2 * k]), b = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  const auto high = [](int u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto low = [](int u) { return u >= 0xDC00 && u <= 0xDFFF; };
  std::string clean;
  clean.reserve(units * 2);
  for (std::size_t k = 0; k < units; ++k) {
    const int u = unit(k);
    if (high(u) && k + 1 < units && low(unit(k + 1))) {
      clean.append(bytes.substr(2 * k, 4));
      ++k;
    } else if (!high(u) && !low(u)) {
      clean.append(bytes.substr(2 * k, 2));
    }
  }
  return utf16ToGb(clean, bigEndian).value_or(std::string());
}

#ifndef _WIN32
namespace {

// One descriptor per direction, opened on first use: iconv_open is far too
// slow to call for each of 100,000 names.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::optional<std::string> run(std::string_view in) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0) {
      if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        if (errno != E2BIG) return std::nullopt;  // invalid or unconvertible input
        const std::size_t used = out.size() - dstLeft;
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
      }
    }
    if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& gbToUtf8Conv() {
  thread_local Converter c("UTF-8", "GB18030");
  return c;
}
Converter& utf8ToGbConv() {
  thread_local Converter c("GB18030", "UTF-8");
  return c;
}
Converter& gbToUtf16Conv() {
  thread_local Converter c("UTF-16LE", "GB18030");
  return c;
}
Converter& utf16LeToGbConv() {
  thread_local Converter c("GB18030", "UTF-16LE");
  return c;
}
Converter& utf16BeToGbConv() {
  thread_local Converter c("GB18030", "UTF-16BE");
  return c;
}
Converter& latin1ToGbConv() {
  thread_local Converter c("GB18030", "ISO-8859-1");
  return c;
}
Converter& big5ToGbConv() {
  thread_local Converter c("GB18030", "CP950");
  return c;
}

}  // namespace

std::optional<std::string> gbToUtf8(std::string_view gb) {
  if (isAscii(gb)) return std::string(gb);
  return gbToUtf8Conv().run(gb);
}

std::optional<std::string> utf8ToGb(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  return utf8ToGbConv().run(utf8);
}

std::optional<std::string> gbToUtf16(std::string_view gb) { return gbToUtf16Conv().run(gb); }

std::optional<std::string> utf16ToGb(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  return (bigEndian ? utf16BeToGbConv() : utf16LeToGbConv()).run(bytes);
}

std::optional<std::string> latin1ToGb(std::string_view latin1) {
  if (isAscii(latin1)) return std::string(latin1);
  return latin1ToGbConv().run(latin1);
}

std::optional<std::string> big5ToGb(std::string_view big5) {
  if (isAscii(big5)) return std::string(big5);
  return big5ToGbConv().run(big5);
}
#else
// Windows: code page 54936 is GB18030. Where the system lacks it (wine has
// none), the program's own tables, which hold the Linux build's mapping.
namespace {

constexpr UINT kGb18030 = 54936;

bool systemHasGb18030() {
  static const bool has = IsValidCodePage(kGb18030) != 0;
  return has;
}

std::optional<std::u16string> toWide(UINT cp, std::string_view s) {
  if (s.empty()) return std::u16string();
  if (s.size() > INT_MAX / 2) return std::nullopt;
  const int size = static_cast<int>(s.size());
  const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, s.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::u16string w(static_cast<std::size_t>(n), u'\0');
  if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, s.data(), size, reinterpret_cast<wchar_t*>(w.data()),
                          n) != n)
    return std::nullopt;
  return w;
}

// WC_ERR_INVALID_CHARS makes a lone surrogate an error instead of a "?".
std::optional<std::string> fromWide(UINT cp, std::u16string_view w) {
  if (w.empty()) return std::string();
  if (w.size() > INT_MAX / 4) return std::nullopt;
  const auto* src = reinterpret_cast<const wchar_t*>(w.data());
  const int size = static_cast<int>(w.size());
  const int n = WideCharToMultiByte(cp, WC_ERR_INVALID_CHARS, src, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string s(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(cp, WC_ERR_INVALID_CHARS, src, size, s.data(), n, nullptr, nullptr) != n)
    return std::nullopt;
  return s;
}

std::optional<std::u16string> gbToWide(std::string_view gb) {
  return systemHasGb18030() ? toWide(kGb18030, gb) : gb18030ToUtf16(gb);
}

std::optional<std::string> wideToGb(std::u16string_view w) {
  return systemHasGb18030() ? fromWide(kGb18030, w) : utf16ToGb18030(w);
}

}  // namespace

std::optional<std::string> gbToUtf8(std::string_view gb) {
  if (isAscii(gb)) return std::string(gb);
  const auto w = gbToWide(gb);
  return w ? fromWide(CP_UTF8, *w) : std::nullopt;
}

std::optional<std::string> utf8ToGb(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  const auto w = toWide(CP_UTF8, utf8);
  return w ? wideToGb(*w) : std::nullopt;
}

std::optional<std::string> gbToUtf16(std::string_view gb) {
  const auto w = gbToWide(gb);
  if (!w) return std::nullopt;
  std::string out(w->size() * 2, '\0');
  for (std::size_t i = 0; i < w->size(); ++i) {
    out[2 * i] = static_cast<char>((*w)[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>((*w)[i] >> 8);
  }
  return out;
}

std::optional<std::string> utf16ToGb(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string w(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < w.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    w[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  return wideToGb(w);
}

std::optional<std::string> latin1ToGb(std::string_view latin1) {
  if (isAscii(latin1)) return std::string(latin1);
  std::u16string w(latin1.size(), u'\0');
  for (std::size_t i = 0; i < latin1.size(); ++i) w[i] = static_cast<unsigned char>(latin1[i]);
  return wideToGb(w);
}

std::optional<std::string> big5ToGb(std::string_view big5) {
  if (isAscii(big5)) return std::string(big5);
  const auto w = toWide(950, big5);
  return w ? wideToGb(*w) : std::nullopt;
}
#endif

}  // namespace qorin::text
