#include "tags/tag_editor_fields.h"

#include "tags/tag_slots.h"

namespace qorin::tags {

TagFields collectId3v2Fields(const Id3v2EditorTexts& b) {
  TagFields f;
  for (const SlotRow& row : kSlotTable)
    if (row.box) f[row.slot] = b.*row.box;
  if (b.genreValue >= 0) f[kGenre] = "(" + std::to_string(b.genreValue) + ")" + b.genreText;
  return f;
}

}  // namespace qorin::tags
