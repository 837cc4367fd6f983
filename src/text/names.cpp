// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/names.h"

#include "text/gbtext.h"

namespace qorin::text {

NameParts splitName(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  // Lead bytes are never letters, so both sides break into the same characters.
  return a.size() == b.size() && asciiUpper(a) == asciiUpper(b);
}

bool hasExtension(std::string_view name, std::string_view ext) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  return equalsNoCase(name.substr(dot + 1), ext);
}

bool containsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  const std::string h = asciiUpper(haystack);
  const std::string n = asciiUpper(needle);
  for (std::size_t i = 0; i + n.size() <= h.size(); i += charLength(h, i)) {
    if (h.compare(i, n.size(), n) == 0 && isCharBoundary(std::string_view(h).substr(i), n.size()))
      return true;
  }
  return false;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// <0, 0, >0 for the digit runs a and b as numbers; leading zeros do not count.
int compareNumbers(std::string_view a, std::string_view b) {
  const auto significant = [](std::string_view d) {
    const std::size_t nz = d.find_first_not_of('0');
    return nz == std::string_view::npos ? std::string_view() : d.substr(nz);
  };
  const std::string_view x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  const int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  int zeros = 0;  // the first difference in leading zeros, for numbers of equal value
  while (i < a.size() && j < b.size()) {
    const std::size_t la = charLength(a, i), lb = charLength(b, j);
    if (la == 1 && lb == 1 && isDigit(a[i]) && isDigit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      const int c = compareNumbers(a.substr(i, ei - i), b.substr(j, ej - j));
      if (c != 0) return c < 0;
      if (zeros == 0 && ei - i != ej - j) zeros = ei - i < ej - j ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    if (la == 1 && lb == 1) {
      const char ca = upper(a[i]), cb = upper(b[j]);
      if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    } else {
      // Whole characters by their bytes: a lead byte of 0x81 or more sorts
      // after every ASCII character.
      const int c = a.substr(i, la).compare(b.substr(j, lb));
      if (c != 0) return c < 0;
    }
    i += la;
    j += lb;
  }
  if (i < a.size() || j < b.size()) return j < b.size();  // a proper prefix comes first
  if (zeros != 0) return zeros < 0;
  return a < b;
}

}  // namespace qorin::text
