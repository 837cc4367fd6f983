// SPDX-License-Identifier: GPL-3.0-or-later
// The genre lists' order against the genre numbers.
#include <gtest/gtest.h>

#include <set>

#include "tags/genre_positions.h"
#include "tags/genres.h"

namespace qorin::tags {
namespace {

TEST(GenrePositions, KnownRows) {
  struct Row {
    int genre;
    int position;
    const char* name;
  };
  const Row rows[] = {{123, 0, "A capella"},   {74, 1, "Acid Jazz"},
                      {73, 2, "Acid Punk"},    {34, 3, "Acid"},
                      {0, 14, "Blues"},        {28, 125, "Vocal"},
                      {17, 100, "Rock"},       {78, 99, "Rock & Roll"},
                      {125, 28, "Dance Hall"}, {3, 29, "Dance"},
                      {40, 6, "AlternRock"},   {20, 5, "Alternative"},
                      {67, 88, "Psychadelic"}, {93, 89, "Psychedelic Rock"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(genrePosition(r.genre), r.position);
    EXPECT_EQ(genreAtPosition(r.position), r.genre);
    EXPECT_EQ(genreListOrder[static_cast<std::size_t>(r.position)], r.name);
  }
}

TEST(GenrePositions, TableIsTheExactInverseOfTheItemNumbers) {
  std::set<int> seen;
  for (int g = 0; g < kGenreCount; ++g) {
    const auto pos = genrePosition(g);
    ASSERT_TRUE(pos.has_value());
    ASSERT_GE(*pos, 0);
    ASSERT_LT(*pos, kGenreCount);
    seen.insert(*pos);
    EXPECT_EQ(genreAtPosition(*pos), g);
    EXPECT_EQ(genreListOrder[static_cast<std::size_t>(*pos)], genreNames[static_cast<std::size_t>(g)]);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kGenreCount));
}

TEST(GenrePositions, NumbersOutsideTheTableHaveNoPosition) {
  for (const int n : {-1, 126, 255, 1000}) {
    EXPECT_FALSE(genrePosition(n).has_value()) << n;
    EXPECT_FALSE(genreAtPosition(n).has_value()) << n;
  }
}

}  // namespace
}  // namespace qorin::tags
