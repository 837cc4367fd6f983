// SPDX-License-Identifier: GPL-3.0-or-later
// What the tag editor's boxes hold, turned into the texts the tag writers take.
#pragma once

#include <string>

#include "tags/tag_fields.h"

namespace qorin::tags {

// The ID3v1 genre byte for "no genre", stored when the genre list has no selection.
inline constexpr int kNoId3v1Genre = 255;

// The ID3v2 group's boxes; genreValue is the selected genre item's number,
// negative when none is selected.
struct Id3v2EditorTexts {
  std::string title, artist, album, track, year;
  int genreValue = -1;
  std::string genreText;
  std::string comment, composer, originalArtist, copyright, url, encodedBy;
};

// Slot 6 becomes "(" + number + ")" + item text, for example "(17)Rock", or
// empty when no genre is selected; every other text is taken as it stands.
TagFields collectId3v2Fields(const Id3v2EditorTexts& boxes);

}  // namespace qorin::tags
