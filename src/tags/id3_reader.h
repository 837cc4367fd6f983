// SPDX-License-Identifier: GPL-3.0-or-later
// The ID3 tags of MP3 (and MP2) files as a naming source: ID3v2 and ID3v1,
// the one the priority names first, the other when the file lacks it.
#pragma once

#include "platform/open_file.h"
#include "tags/tag_reader.h"
#include "tags/unlabelled.h"

namespace qorin::tags {

extern const TagReader kId3Reader;

// The same on a file already open (ID3v2 at its start, ID3v1 at its end, as
// TrueAudio keeps them too); true when it has either tag. `context`, when
// given, brings the folder's evidence in and takes the tag's, and whether a
// text stayed uncertain, out.
bool readId3Tags(platform::ByteSource& file, TagPriority priority, TagFields& fields,
                 TextContext* context = nullptr);

// kId3Reader's reading with `context`, as in readId3Tags.
NamingRead readId3ForNaming(std::string_view path, TagPriority priority, TagFields& fields,
                            TextContext& context);

}  // namespace qorin::tags
