// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/genre_positions.h"

#include <cstdint>

namespace qorin::tags {

constexpr std::array<std::string_view, kGenreCount> genreListOrder = {
    "A capella",
    "Acid Jazz",
    "Acid Punk",
    "Acid",
    "Acoustic",
    "Alternative",
    "AlternRock",
    "Ambient",
    "Avantgarde",
    "Ballad",
    "Bass",
    "Bebob",
    "Big Band",
    "Bluegrass",
    "Blues",
    "Booty Bass",
    "Cabaret",
    "Celtic",
    "Chamber Music",
    "Chanson",
    "Chorus",
    "Christian Rap",
    "Classic Rock",
    "Classical",
    "Club",
    "Comedy",
    "Country",
    "Cult",
    "Dance Hall",
    "Dance",
    "Darkwave",
    "Death Metal",
    "Disco",
    "Dream",
    "Drum Solo",
    "Duet",
    "Easy Listening",
    "Electronic",
    "Ethnic",
    "Eurodance",
    "Euro-House",
    "Euro-Techno",
    "Fast Fusion",
    "Folk",
    "Folklore",
    "Folk-Rock",
    "Freestyle",
    "Funk",
    "Fusion",
    "Game",
    "Gangsta",
    "Gospel",
    "Gothic Rock",
    "Gothic",
    "Grunge",
    "Hard Rock",
    "Hip-Hop",
    "House",
    "Humour",
    "Industrial",
    "Instrumental Pop",
    "Instrumental Rock",
    "Instrumental",
    "Jazz",
    "Jazz+Funk",
    "Jungle",
    "Latin",
    "Lo-Fi",
    "Meditative",
    "Metal",
    "Musical",
    "National Folk",
    "Native American",
    "New Age",
    "New Wave",
    "Noise",
    "Oldies",
    "Opera",
    "Other",
    "Polka",
    "Pop",
    "Pop/Funk",
    "Pop-Folk",
    "Porn Groove",
    "Power Ballad",
    "Pranks",
    "Primus",
    "Progressive Rock",
    "Psychadelic",
    "Psychedelic Rock",
    "Punk Rock",
    "Punk",
    "R&B",
    "Rap",
    "Rave",
    "Reggae",
    "Retro",
    "Revival",
    "Rhythmic Soul",
    "Rock & Roll",
    "Rock",
    "Samba",
    "Satire",
    "Showtunes",
    "Ska",
    "Slow Jam",
    "Slow Rock",
    "Sonata",
    "Soul",
    "Sound Clip",
    "Soundtrack",
    "Southern Rock",
    "Space",
    "Speech",
    "Swing",
    "Symphonic Rock",
    "Symphony",
    "Tango",
    "Techno",
    "Techno-Industrial",
    "Top 40",
    "Trailer",
    "Trance",
    "Tribal",
    "Trip-Hop",
    "Vocal",
};

namespace {

struct GenreTables {
  std::array<std::int16_t, kGenreCount> position{};  // genre number -> item position
  std::array<std::int16_t, kGenreCount> number{};    // item position -> genre number
  bool permutation = true;                           // every genre named exactly once
};

constexpr GenreTables makeGenreTables() {
  GenreTables t;
  t.position.fill(-1);
  for (int pos = 0; pos < kGenreCount; ++pos) {
    int found = -1;
    for (int n = 0; n < kGenreCount; ++n) {
      if (genreNames[static_cast<std::size_t>(n)] == genreListOrder[static_cast<std::size_t>(pos)]) found = n;
    }
    if (found < 0 || t.position[static_cast<std::size_t>(found)] >= 0) {
      t.permutation = false;
      return t;
    }
    t.position[static_cast<std::size_t>(found)] = static_cast<std::int16_t>(pos);
    t.number[static_cast<std::size_t>(pos)] = static_cast<std::int16_t>(found);
  }
  return t;
}

constexpr GenreTables kTables = makeGenreTables();
static_assert(kTables.permutation, "the genre lists must name every genre exactly once");

}  // namespace

std::optional<int> genrePosition(int n) {
  if (n < 0 || n >= kGenreCount) return std::nullopt;
  return kTables.position[static_cast<std::size_t>(n)];
}

std::optional<int> genreAtPosition(int position) {
  if (position < 0 || position >= kGenreCount) return std::nullopt;
  return kTables.number[static_cast<std::size_t>(position)];
}

}  // namespace qorin::tags
