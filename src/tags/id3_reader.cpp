// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3_reader.h"

#include "tags/id3v1.h"
#include "tags/id3v2.h"

namespace qorin::tags {

namespace {

NamingRead readId3ForNaming(std::string_view path, TagPriority priority, TagFields& fields) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return NamingRead::Unreadable;
  return readId3Tags(file, priority, fields) ? NamingRead::Tagged : NamingRead::NoTag;
}

}  // namespace

bool readId3Tags(platform::ByteSource& file, TagPriority priority, TagFields& fields) {
  // The block keeps its genre as a number; names carry it as players show it.
  const auto v1 = [&] {
    if (!readId3v1(file, fields)) return false;
    fields[kGenre] = id3v1GenreName(fields[kGenre]);
    return true;
  };
  return priority == TagPriority::V1First ? v1() || readId3v2(file, fields) : readId3v2(file, fields) || v1();
}

const TagReader kId3Reader = {TagKind::Id3, readId3ForNaming};

}  // namespace qorin::tags
