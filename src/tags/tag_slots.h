// SPDX-License-Identifier: GPL-3.0-or-later
// Where each of the twelve slots lives: its ID3v2 frame, its field of the
// ID3v1 block, its placeholder in the naming rule and its box in the tag
// editor. One row a slot, so that what the reader shows, what the writer
// replaces, what the editor collects and what a name is made of agree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tags/tag_editor_fields.h"
#include "tags/tag_fields.h"

namespace qorin::tags {

// Bytes of the 128-byte ID3v1 block; size 0 for a slot the block lacks.
// The track and the genre are single bytes (the track only in ID3v1.1).
struct Id3v1Place {
  std::size_t offset = 0, size = 0;
};

struct SlotRow {
  Slot slot;
  std::string_view frame;  // ID3v2.3 identifier; those of ID3v2.2 map through v23IdOf
  Id3v1Place id3v1;
  int namingCode;  // "#n" of the naming rule, 0 for none
  // The editor's box; none for the genre, which is made from its list.
  std::string Id3v2EditorTexts::*box;
};

inline constexpr SlotRow kSlotTable[TagFields::kSlotCount] = {
    {kTitle, "TIT2", {3, 30}, 2, &Id3v2EditorTexts::title},
    {kArtist, "TPE1", {33, 30}, 1, &Id3v2EditorTexts::artist},
    {kAlbum, "TALB", {63, 30}, 3, &Id3v2EditorTexts::album},
    {kTrack, "TRCK", {126, 1}, 4, &Id3v2EditorTexts::track},
    {kYear, "TYER", {93, 4}, 5, &Id3v2EditorTexts::year},
    {kGenre, "TCON", {127, 1}, 6, nullptr},
    {kComment, "COMM", {97, 30}, 0, &Id3v2EditorTexts::comment},
    {kComposer, "TCOM", {}, 0, &Id3v2EditorTexts::composer},
    {kOriginalArtist, "TOPE", {}, 0, &Id3v2EditorTexts::originalArtist},
    {kCopyright, "TCOP", {}, 0, &Id3v2EditorTexts::copyright},
    {kUrl, "WXXX", {}, 0, &Id3v2EditorTexts::url},
    {kEncodedBy, "TENC", {}, 0, &Id3v2EditorTexts::encodedBy},
};

constexpr const SlotRow& slotRow(int slot) { return kSlotTable[static_cast<std::size_t>(slot - 1)]; }

// The naming rule's placeholders run from 1 to this.
inline constexpr int kNamingCodes = 6;

// The slot placeholder `code` stands for; 0 for any other number.
constexpr int slotOfNamingCode(int code) {
  if (code < 1 || code > kNamingCodes) return 0;
  for (const SlotRow& r : kSlotTable)
    if (r.namingCode == code) return r.slot;
  return 0;
}

namespace detail {
constexpr bool rowsInSlotOrder() {
  for (int i = 0; i < TagFields::kSlotCount; ++i)
    if (kSlotTable[i].slot != i + 1) return false;
  return true;
}
constexpr bool everyCodeOnce() {
  for (int code = 1; code <= kNamingCodes; ++code) {
    int n = 0;
    for (const SlotRow& r : kSlotTable) n += r.namingCode == code;
    if (n != 1) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::rowsInSlotOrder(), "slotRow looks a slot up by its place");
static_assert(detail::everyCodeOnce(), "each placeholder names one slot");

}  // namespace qorin::tags
