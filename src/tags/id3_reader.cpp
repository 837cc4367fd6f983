// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3_reader.h"

#include "tags/id3v1.h"
#include "tags/id3v2.h"

namespace qorin::tags {

NamingRead readId3ForNaming(std::string_view path, TagPriority priority, TagFields& fields,
                            TextContext& context) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return NamingRead::Unreadable;
  return readId3Tags(file, priority, fields, &context) ? NamingRead::Tagged : NamingRead::NoTag;
}

namespace {

NamingRead readAlone(std::string_view path, TagPriority priority, TagFields& fields) {
  TextContext context;
  return readId3ForNaming(path, priority, fields, context);
}

}  // namespace

bool readId3Tags(platform::ByteSource& file, TagPriority priority, TagFields& fields, TextContext* context) {
  // The block keeps its genre as a number; names carry it as players show it.
  const auto v1 = [&] {
    if (!readId3v1(file, fields, nullptr, nullptr, context)) return false;
    fields[kGenre] = id3v1GenreName(fields[kGenre]);
    return true;
  };
  const auto v2 = [&] { return readId3v2(file, fields, nullptr, nullptr, context); };
  return priority == TagPriority::V1First ? v1() || v2() : v2() || v1();
}

const TagReader kId3Reader = {TagKind::Id3, readAlone};

}  // namespace qorin::tags
