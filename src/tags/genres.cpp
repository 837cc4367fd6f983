// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/genres.h"

namespace qorin::tags {

std::optional<std::string_view> genreName(int n) {
  if (n < 0 || n >= kGenreCount) return std::nullopt;
  return genreNames[static_cast<std::size_t>(n)];
}

}  // namespace qorin::tags
