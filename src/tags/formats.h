// SPDX-License-Identifier: GPL-3.0-or-later
// Which files the tag code reads, and with which reader: one place to say
// it, as more formats come.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "tags/tag_reader.h"

namespace qorin::tags {

// The reader for a file of this name, chosen by its extension (any case);
// none for a file no reader takes (非MP3文件).
const TagReader* tagReaderFor(std::string_view name);

// The extensions a reader takes, lower case without the dot: MP3's first.
std::vector<std::string_view> namedExtensions();

// One row per family of tags, in TagKind's order from Id3.
struct TagFamily {
  TagKind kind;
  // Column MP3标签状态 of a file named from such a tag (UTF-8); empty: the
  // column stays empty, as for an MP3 file.
  std::string_view status;
  bool editable;    // the tag editor opens it
  bool repairable;  // MP3标签转为Unicode rewrites it
};
std::span<const TagFamily> tagFamilies();
// The row of `kind`; nullptr for TagKind::None.
const TagFamily* familyOf(TagKind kind);
// The family of a file of this name; nullptr when no reader takes it.
const TagFamily* familyFor(std::string_view name);
// The extensions of the family's files, in the order namedExtensions gives.
std::vector<std::string_view> extensionsOf(TagKind kind);

// The family of tags a file of this name carries; TagKind::None when no
// reader takes it.
inline TagKind tagKindOf(std::string_view name) {
  const TagReader* reader = tagReaderFor(name);
  return reader ? reader->kind : TagKind::None;
}
// Whether the tag editor, or the Unicode repair, takes the file of this name.
inline bool editableTag(std::string_view name) {
  const TagFamily* f = familyFor(name);
  return f && f->editable;
}
inline bool repairableTag(std::string_view name) {
  const TagFamily* f = familyFor(name);
  return f && f->repairable;
}

}  // namespace qorin::tags
