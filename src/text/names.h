// SPDX-License-Identifier: GPL-3.0-or-later
// File-name helpers shared by the list, the rules and the filter.
#pragma once

#include <string>
#include <string_view>

namespace qorin::text {

// A name cut at its last ".": the extension part keeps the "." and is empty
// for a name without one; main + ext is always the name. A "." byte never
// occurs inside a double-byte character, so the cut cannot split one.
struct NameParts {
  std::string_view main;
  std::string_view ext;
};
NameParts splitName(std::string_view name);

// True when the text after the name's last "." equals `ext` without regard to
// ASCII letter case; a name without "." has no extension.
bool hasExtension(std::string_view name, std::string_view ext);

// Case-insensitive (ASCII) containment that only matches at character
// boundaries of `haystack`.
bool containsNoCase(std::string_view haystack, std::string_view needle);

// Equality ignoring ASCII letter case, aware of multi-byte characters.
bool equalsNoCase(std::string_view a, std::string_view b);

// Natural order, as a file manager shows names: runs of ASCII digits compare
// as numbers (of any length), ASCII letters without case, every other
// character by its GB18030 bytes, which puts GB2312 characters in pinyin
// order. Names equal that way fall back to their bytes, so the order is total.
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace qorin::text
