// SPDX-License-Identifier: GPL-3.0-or-later
// Letter case beyond ASCII, for the characters of any script that have an
// upper and a lower case, through the system's Unicode tables.
#pragma once

#include <cstddef>
#include <string>

namespace qorin::text {

// Changes the first character of s[from, to) that has an upper and a lower
// case to its capital (its title form, as a word's first letter takes it)
// or to its small letter; the characters before it (digits, signs, Chinese)
// are stepped over whole. False when there is none. `to` is a character
// boundary.
bool changeFirstLetter(std::string& s, std::size_t from, std::size_t to, bool toUpper);

}  // namespace qorin::text
