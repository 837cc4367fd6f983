// Genre names indexed by the ID3v1 genre number 0..125.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qorin::tags {

inline constexpr int kGenreCount = 126;

extern const std::array<std::string_view, kGenreCount> genreNames;

// The name of genre `n`, or nothing outside 0..125.
std::optional<std::string_view> genreName(int n);

}  // namespace qorin::tags
