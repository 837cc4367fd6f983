// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/name_cleanup.h"

#include "text/gbtext.h"

namespace qorin::rules {

namespace {

bool illegal(unsigned char c) {
  switch (c) {
    case '/':
    case '\\':
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return c < 0x20;
  }
}

}  // namespace

void replaceIllegalChars(std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = text::charLength(s, i);
    if (len == 1 && illegal(static_cast<unsigned char>(s[i]))) s[i] = '_';
    i += len;
  }
}

std::string padTrackNumber(std::string_view track) {
  std::size_t i = 0;
  while (i < track.size() && track[i] == ' ') ++i;
  std::size_t digits = i;
  while (digits < track.size() && track[digits] >= '0' && track[digits] <= '9') ++digits;
  if (digits == i) return std::string(track);
  // Leading zeros go, so "003" and "3" both give "03".
  while (i + 1 < digits && track[i] == '0') ++i;
  std::string out(track.substr(i, digits - i));
  if (out.size() < 2) out.insert(0, 2 - out.size(), '0');
  return out;
}

}  // namespace qorin::rules
