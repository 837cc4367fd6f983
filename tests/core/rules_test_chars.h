// SPDX-License-Identifier: GPL-3.0-or-later
// Characters that catch rules walking bytes instead of characters.
#pragma once

#include <string>

namespace qorin::testchars {

// Trail bytes that look like ASCII letters: 學 = 8C 57 ("W"), 點 = FC 63 ("c"),
// 長 = E9 4C ("L"); and a four-byte character whose bytes hold the digits 2 and 6.
inline const std::string kXue = "\x8C\x57";
inline const std::string kDian = "\xFC\x63";
inline const std::string kChang = "\xE9\x4C";
inline const std::string kFour = "\x95\x32\x82\x36";

}  // namespace qorin::testchars
