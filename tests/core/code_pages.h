// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 test texts stored the ways old systems stored them: Big5 and
// ISO-8859-1 bytes (GBK is text::utf8ToGb).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace qorin::testing {

inline std::optional<std::string> utf8ToBig5(std::string_view utf8) {
#ifdef _WIN32
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  BOOL lossy = FALSE;
  const int m = WideCharToMultiByte(950, 0, w.data(), n, nullptr, 0, nullptr, &lossy);
  std::string out(static_cast<std::size_t>(m), '\0');
  WideCharToMultiByte(950, 0, w.data(), n, out.data(), m, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return out;
#else
  const iconv_t cd = iconv_open("CP950", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* src = const_cast<char*>(utf8.data());
  char* dst = out.data();
  std::size_t srcLeft = utf8.size(), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
#endif
}

// ISO-8859-1 bytes of a UTF-8 word; nothing when it has a character past U+00FF.
inline std::optional<std::string> utf8ToLatin1(std::string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const auto c = static_cast<unsigned char>(w[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < w.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(w[++i]) & 0x3F));
    } else {
      return std::nullopt;
    }
  }
  return out;
}

inline std::string latin1ToUtf8(std::string_view l) {
  std::string out;
  for (const char ch : l) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace qorin::testing
