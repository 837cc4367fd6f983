// SPDX-License-Identifier: GPL-3.0-or-later
// The order of the genre items in the tag editor's two genre lists, and the
// mapping between a genre number and its item position there. Both tables are
// worked out from the two name lists when the program is compiled.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "tags/genres.h"

namespace qorin::tags {

// The 126 genre names in the lists' order (position 0 first).
extern const std::array<std::string_view, kGenreCount> genreListOrder;

// The item position of genre `n`, or nothing outside 0..125.
std::optional<int> genrePosition(int n);

// The genre number carried by the item at `position`, or nothing outside 0..125.
std::optional<int> genreAtPosition(int position);

}  // namespace qorin::tags
