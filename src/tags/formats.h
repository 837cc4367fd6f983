// SPDX-License-Identifier: GPL-3.0-or-later
// Which files the tag code reads, and with which reader: one place to say
// it, as more formats come.
#pragma once

#include <string_view>
#include <vector>

#include "tags/tag_reader.h"

namespace qorin::tags {

// The reader for a file of this name, chosen by its extension (any case);
// none for a file no reader takes (非MP3文件).
const TagReader* tagReaderFor(std::string_view name);

// The extensions a reader takes, lower case without the dot: MP3's first.
std::vector<std::string_view> namedExtensions();

// The family of tags a file of this name carries; TagKind::None when no
// reader takes it.
inline TagKind tagKindOf(std::string_view name) {
  const TagReader* reader = tagReaderFor(name);
  return reader ? reader->kind : TagKind::None;
}

}  // namespace qorin::tags
