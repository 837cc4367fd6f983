// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/letter_case.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "text/gb18030.h"
#include "text/gbtext.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#endif

namespace qorin::text {

namespace {

// The character's other case forms: its capital (title form) and its small
// letter, as UTF-16.
struct Forms {
  std::u16string upper, lower;
};

Forms forms(std::u16string_view ch) {
#ifdef _WIN32
  // One character, BMP or a pair; the system maps it as a whole.
  std::wstring u(ch.begin(), ch.end()), l(ch.begin(), ch.end());
  // The title form (ǆ to ǅ) where the system has one, else the capital.
  wchar_t title[4] = {};
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_TITLECASE, u.data(), static_cast<int>(u.size()),
                              title, 4, nullptr, nullptr, 0);
  if (n > 0 && n <= 4) {
    u.assign(title, static_cast<std::size_t>(n));
  } else {
    CharUpperBuffW(u.data(), static_cast<DWORD>(u.size()));
  }
  CharLowerBuffW(l.data(), static_cast<DWORD>(l.size()));
  return {std::u16string(u.begin(), u.end()), std::u16string(l.begin(), l.end())};
#else
  std::size_t i = 0;
  UChar32 c = 0;
  U16_NEXT(ch.data(), i, ch.size(), c);
  const auto toText = [](UChar32 v) {
    std::u16string t;
    if (U16_LENGTH(v) == 1) {
      t += static_cast<char16_t>(v);
    } else {
      t += static_cast<char16_t>(U16_LEAD(v));
      t += static_cast<char16_t>(U16_TRAIL(v));
    }
    return t;
  };
  // The title form of ǆ is ǅ, what a name's first letter should be.
  return {toText(u_totitle(c)), toText(u_tolower(c))};
#endif
}

}  // namespace

bool changeFirstLetter(std::string& s, std::size_t from, std::size_t to, bool toUpper) {
  to = std::min(to, s.size());
  for (std::size_t i = from; i < to;) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t len = b < 0x80 ? 1 : charLength(s, i);
    if (len == 1) {
      if (isAsciiLetter(b)) {
        s[i] = static_cast<char>(toUpper ? (b & ~0x20) : (b | 0x20));
        return true;
      }
      ++i;  // a digit, a sign, or a byte that starts no character
      continue;
    }
    const std::optional<std::u16string> ch = gb18030ToUtf16(std::string_view(s).substr(i, len));
    if (ch) {
      const Forms f = forms(*ch);
      if (f.upper != *ch || f.lower != *ch) {
        if (const auto to16 = utf16ToGb18030(toUpper ? f.upper : f.lower)) s.replace(i, len, *to16);
        return true;
      }
    }
    i += len;
  }
  return false;
}

}  // namespace qorin::text
