// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/convert_rule.h"

#ifdef QORIN_HAVE_OPENCC
#include <opencc/opencc.h>
#endif
#ifdef QORIN_HAVE_ICU_I18N
#include <unicode/translit.h>
#include <unicode/unistr.h>
#endif

#include <algorithm>
#include <charconv>
#include <mutex>

#include "rules/rule_codes.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

class Converters {
 public:
  Converters() = default;
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;
#ifdef QORIN_HAVE_OPENCC
  ~Converters() {
    for (opencc_t& c : opencc_)
      if (c != nullptr && c != reinterpret_cast<opencc_t>(-1)) opencc_close(c);
  }

  // OpenCC of configuration i (t2s, s2t, s2tw, s2hk), opened once.
  std::optional<std::string> opencc(int i, std::string_view utf8) {
    static constexpr const char* kConfigs[] = {"t2s.json", "s2t.json", "s2tw.json", "s2hk.json"};
    std::call_once(openccOnce_[i], [&] { opencc_[i] = opencc_open(kConfigs[i]); });
    opencc_t c = opencc_[i];
    if (c == reinterpret_cast<opencc_t>(-1)) return std::nullopt;
    char* out = opencc_convert_utf8(c, utf8.data(), utf8.size());
    if (out == nullptr) return std::nullopt;
    std::string r(out);
    opencc_convert_utf8_free(out);
    return r;
  }
#else
  std::optional<std::string> opencc(int, std::string_view) { return std::nullopt; }
#endif

#ifdef QORIN_HAVE_ICU_I18N
  std::optional<std::string> latinAscii(std::string_view utf8) {
    std::call_once(latinOnce_, [&] {
      UErrorCode e = U_ZERO_ERROR;
      latin_.reset(icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, e));
      if (U_FAILURE(e)) latin_.reset();
    });
    if (!latin_) return std::nullopt;
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    latin_->transliterate(u);
    std::string r;
    u.toUTF8String(r);
    return r;
  }

#else
  std::optional<std::string> latinAscii(std::string_view) { return std::nullopt; }
#endif

 private:
#ifdef QORIN_HAVE_OPENCC
  std::once_flag openccOnce_[4];
  opencc_t opencc_[4] = {};
#endif
#ifdef QORIN_HAVE_ICU_I18N
  std::once_flag latinOnce_;
  std::unique_ptr<icu::Transliterator> latin_;
#endif
};

std::shared_ptr<Converters> newConverters() { return std::make_shared<Converters>(); }

namespace {

// UTF-8 decoding of well-formed text (what gbToUtf8 gives).
char32_t next(std::string_view s, std::size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  char32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
  for (int k = 1; k < len && i + k < s.size(); ++k)
    cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += static_cast<std::size_t>(len);
  return cp;
}

void put(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

#ifdef QORIN_HAVE_ICU_I18N
std::optional<std::string> titleWords(std::string_view utf8) {
  icu::UnicodeString u =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  bool inWord = false;
  for (int32_t i = 0; i < u.length();) {
    const UChar32 c = u.char32At(i);
    const int32_t len = U16_LENGTH(c);
    if (u_isalnum(c)) {
      if (!inWord && u_isULowercase(c)) u.replace(i, len, icu::UnicodeString(u_toupper(c)));
      inWord = true;
    } else {
      inWord = c == '\'';
    }
    i += len;
  }
  std::string r;
  u.toUTF8String(r);
  return r;
}
#else
std::optional<std::string> titleWords(std::string_view) { return std::nullopt; }
#endif

}  // namespace

std::string halfWidth(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const char32_t c = next(s, i);
    // U+FF0F (／) has an ASCII twin that no name may hold: it stays.
    if (c >= 0xFF01 && c <= 0xFF5E && c != 0xFF0F)
      put(out, c - 0xFEE0);
    else if (c == 0x3000)
      put(out, ' ');
    else
      put(out, c);
  }
  return out;
}

std::string fullWidth(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const char32_t c = next(s, i);
    if (c > 0x20 && c < 0x7F && c != '/')
      put(out, c + 0xFEE0);
    else if (c == ' ')
      put(out, 0x3000);
    else
      put(out, c);
  }
  return out;
}

std::string padNumbers(std::string_view s, int width) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] < '0' || s[i] > '9') {
      out += s[i++];
      continue;
    }
    std::size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (static_cast<int>(j - i) < width) out.append(static_cast<std::size_t>(width) - (j - i), '0');
    out.append(s.substr(i, j - i));
    i = j;
  }
  return out;
}

std::optional<std::string> convertText(std::string_view utf8, const ConvertOptions& o) {
  switch (o.kind) {
    case ConvertKind::ToSimplified:
    case ConvertKind::ToTraditional:
    case ConvertKind::ToTaiwan:
    case ConvertKind::ToHongKong:
      return o.converters->opencc(static_cast<int>(o.kind), utf8);
    case ConvertKind::HalfWidth:
      return halfWidth(utf8);
    case ConvertKind::FullWidth:
      return fullWidth(utf8);
    case ConvertKind::PadNumbers:
      return padNumbers(utf8, std::clamp(std::atoi(o.digits.c_str()), 1, 32));
    case ConvertKind::StripAccents:
      return o.converters->latinAscii(utf8);
    case ConvertKind::TitleWords:
      return titleWords(utf8);
    default:
      return std::nullopt;
  }
}

std::string convertRuleError(const ConvertOptions& o) {
  const bool phrases = o.kind == ConvertKind::ToSimplified || o.kind == ConvertKind::ToTraditional ||
                       o.kind == ConvertKind::ToTaiwan || o.kind == ConvertKind::ToHongKong;
  const bool icu = o.kind == ConvertKind::StripAccents || o.kind == ConvertKind::TitleWords;
#ifdef QORIN_HAVE_OPENCC
  const bool haveOpencc = true;
#else
  const bool haveOpencc = false;
#endif
#ifdef QORIN_HAVE_ICU_I18N
  const bool haveIcu = true;
#else
  const bool haveIcu = false;
#endif
  if (o.kind == ConvertKind::Pinyin || o.kind == ConvertKind::PinyinInitials ||
      o.kind == ConvertKind::ArabicNumerals || (phrases && !haveOpencc) || (icu && !haveIcu))
    return text::gb("这种转换尚未提供");
  if (o.kind == ConvertKind::PadNumbers) {
    int n = 0;
    const auto [p, ec] = std::from_chars(o.digits.data(), o.digits.data() + o.digits.size(), n);
    if (ec != std::errc{} || p != o.digits.data() + o.digits.size() || n < 1 || n > 32)
      return text::gb("数字位数应是 1 到 32");
  }
  return {};
}

std::string parsePadNumbers(ConvertOptions& o, std::span<const std::string> values) {
  o.kind = ConvertKind::PadNumbers;
  o.digits = values.empty() ? std::string() : values[0];
  return convertRuleError(o);
}

void convertRule(filelist::FileList& list, int n, const ConvertOptions& o) {
  n = std::clamp(n, 0, list.fileCount());
  for (int row = 0; row < n; ++row) {
    const std::string_view old = list.oldName(row);
    const text::NameParts parts = text::splitName(old);
    std::string main(parts.main), ext(parts.ext.empty() ? parts.ext : parts.ext.substr(1));
    auto convert = [&](std::string& part) {
      if (part.empty()) return true;
      const auto u = text::gbToUtf8(part);
      if (!u) return false;
      const auto c = convertText(*u, o);
      if (!c) return false;
      const auto g = text::utf8ToGb(*c);
      if (!g) return false;
      part = *g;
      return true;
    };
    const bool ok = (o.scope == ConvertScope::Extension || convert(main)) &&
                    (o.scope == ConvertScope::Name || convert(ext));
    if (!ok) {
      list.setProposalProblem(row, why::NotConvertible);
      continue;
    }
    list.setNewName(row, parts.ext.empty() ? main : main + "." + ext);
  }
}

}  // namespace qorin::rules
