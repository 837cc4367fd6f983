// SPDX-License-Identifier: GPL-3.0-or-later
// What the 选项 menu does to names a rule builds from data (tags, the groups
// of a regular expression): characters no file name may hold, and the width
// of track numbers.
#pragma once

#include <string>
#include <string_view>

namespace qorin::rules {

struct NameCleanup {
  bool replaceIllegal = true;  // 替换非法字符
  bool padTrack = false;       // 音轨号补零 (tag names only)
  bool operator==(const NameCleanup&) const = default;
};

// "/" and "\", the characters Windows forbids (< > : " | ? *) and control
// characters become "_". Walks characters, so the trail byte of a Chinese
// character (which may be 0x5C or 0x7C) is never touched.
void replaceIllegalChars(std::string& s);

// The track's leading number with at least two digits ("3/12" gives "03",
// "12" stays); a track without a leading number is returned unchanged.
std::string padTrackNumber(std::string_view track);

}  // namespace qorin::rules
