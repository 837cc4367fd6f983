// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a file's tags for naming, whatever their format: one reader a
// format, chosen by the file's type (tags/formats.h). A reader opens the file
// through the platform layer, reads what the naming rule needs and closes it.
#pragma once

#include <string_view>

#include "tags/tag_fields.h"

namespace qorin::tags {

// Which of two tags naming reads first where a format has two (ID3v1 and
// ID3v2); the other is read only when the first is missing.
enum class TagPriority : unsigned char { V1First, V2First };

// The family of tags a reader brings. Commands that work on one family only
// (the tag editor and the Unicode repair take ID3 in MP3 files) ask for it by
// this; an ID3 tag inside another container (a WAV or AIFF chunk, before a
// TrueAudio stream) is a family of its own, as neither of them writes one
// there. Tracker modules (MOD, S3M, IT, XM) hold a title in their header.
// What each family is called and which commands take it is its row of the
// registry (tags/formats.cpp).
enum class TagKind : unsigned char { None, Id3, Vorbis, Mp4, Ape, Asf, Id3Chunk, Module, kCount };

// What reading came to; the list's column MP3标签状态 and the row's reason
// follow from it.
enum class NamingRead : unsigned char {
  Tagged,      // `fields` hold the tag's texts
  NoTag,       // the file holds none of its format's tags: 无标签
  Unreadable,  // the file could not be opened
  Damaged,     // the file is not what its extension says, or too damaged to find its tags in
  // `fields` hold what a WAV's RIFF INFO list or an AIFF's text chunks
  // (NAME, AUTH, ...) say: the file has no ID3 chunk to name it from.
  TextChunks,
};

struct TagReader {
  TagKind kind;
  // Fills at least the slots the naming rule's placeholders stand for
  // (slotOfNamingCode) from the file at `path` (a disk path, see
  // filelist::FileEntry::diskPath); `fields` is untouched unless Tagged.
  NamingRead (*readForNaming)(std::string_view path, TagPriority priority, TagFields& fields);
};

}  // namespace qorin::tags
