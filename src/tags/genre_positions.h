// The order of the genre items in the tag editor's two genre lists, and the
// table from a genre number to its item position there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "tags/genres.h"

namespace qorin::tags {

// The 126 genre names in the lists' order (position 0 first).
extern const std::array<std::string_view, kGenreCount> genreListOrder;

// Genre number -> 0-based item position; a permutation of 0..125 once filled.
extern std::array<std::int16_t, kGenreCount> genrePositionTable;

// Fills genrePositionTable from the list order; false (table unchanged) when
// the order does not name every genre exactly once.
bool fillGenrePositionTable();

// The item position of genre `n`, or nothing outside 0..125.
std::optional<int> genrePosition(int n);

// The genre number carried by the item at `position`, or nothing outside 0..125.
std::optional<int> genreAtPosition(int position);

}  // namespace qorin::tags
