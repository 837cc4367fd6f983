// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3_reader.h"

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"

namespace qorin::tags {

namespace {

NamingRead readId3ForNaming(std::string_view path, TagPriority priority, TagFields& fields) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return NamingRead::Unreadable;
  const bool found = priority == TagPriority::V1First ? readId3v1(file, fields) || readId3v2(file, fields)
                                                      : readId3v2(file, fields) || readId3v1(file, fields);
  return found ? NamingRead::Tagged : NamingRead::NoTag;
}

}  // namespace

const TagReader kId3Reader = {TagKind::Id3, readId3ForNaming};

}  // namespace qorin::tags
