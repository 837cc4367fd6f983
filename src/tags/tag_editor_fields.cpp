// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/tag_editor_fields.h"

#include "tags/tag_slots.h"

namespace qorin::tags {

TagFields collectId3v2Fields(const Id3v2EditorTexts& b) {
  TagFields f;
  for (const SlotRow& row : kSlotTable)
    if (row.box) f[row.slot] = b.*row.box;
  if (b.genreValue >= 0) {
    // Appended, not "(" + ...: GCC 12 at -O3 warns (-Wrestrict) of the insert at 0 that inlines.
    std::string genre = "(";
    genre += std::to_string(b.genreValue);
    genre += ')';
    genre += b.genreText;
    f[kGenre] = std::move(genre);
  }
  return f;
}

}  // namespace qorin::tags
