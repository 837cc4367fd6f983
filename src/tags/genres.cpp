// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/genres.h"

namespace qorin::tags {

namespace {

// Winamp's numbers after 125, which players show by name as well.
constexpr std::string_view kWinampGenres[] = {
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore Techno",
    "Terror",
    "Indie",
    "BritPop",
    "Worldbeat",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Thrash Metal",
    "Anime",
    "JPop",
    "Synthpop",
    "Abstract",
    "Art Rock",
    "Baroque",
    "Bhangra",
    "Big Beat",
    "Breakbeat",
    "Chillout",
    "Downtempo",
    "Dub",
    "EBM",
    "Eclectic",
    "Electro",
    "Electroclash",
    "Emo",
    "Experimental",
    "Garage",
    "Global",
    "IDM",
    "Illbient",
    "Industro-Goth",
    "Jam Band",
    "Krautrock",
    "Leftfield",
    "Lounge",
    "Math Rock",
    "New Romantic",
    "Nu-Breakz",
    "Post-Punk",
    "Post-Rock",
    "Psytrance",
    "Shoegaze",
    "Space Rock",
    "Trop Rock",
    "World Music",
    "Neoclassical",
    "Audiobook",
    "Audio Theatre",
    "Neue Deutsche Welle",
    "Podcast",
    "Indie Rock",
    "G-Funk",
    "Dubstep",
    "Garage Rock",
    "Psybient",
};
static_assert(kGenreCount + std::size(kWinampGenres) == 192);

}  // namespace

std::optional<std::string_view> genreName(int n) {
  if (n < 0 || n >= kGenreCount) return std::nullopt;
  return genreNames[static_cast<std::size_t>(n)];
}

std::optional<std::string_view> playedGenreName(int n) {
  if (n >= kGenreCount && n < kGenreCount + static_cast<int>(std::size(kWinampGenres)))
    return kWinampGenres[static_cast<std::size_t>(n - kGenreCount)];
  return genreName(n);
}

}  // namespace qorin::tags
