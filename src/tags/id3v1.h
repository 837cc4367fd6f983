// SPDX-License-Identifier: GPL-3.0-or-later
// The 128-byte ID3v1 block at the end of an MP3 file (ID3v1.0 and ID3v1.1).
// The block has no word on its encoding: read texts are decided one by one by
// text::readUnlabelled, written texts are stored as id3v1Bytes gives them. The
// routines work on a file the caller opened and closes; none shows a message.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/open_file.h"
#include "tags/tag_fields.h"
#include "tags/unlabelled.h"
#include "tags/write_result.h"

namespace qorin::tags {

inline constexpr std::size_t kId3v1Size = 128;
// The comment's room when the block also holds a track number (ID3v1.1), and
// when it does not.
inline constexpr std::size_t kId3v1CommentWithTrack = 28;
inline constexpr std::size_t kId3v1CommentWithoutTrack = 29;

// How a code-page text is stored so that it reads back: as it is when every
// character is in the double-byte set (GBK: no four-byte sequence); as
// ISO-8859-1 when it fits that; otherwise nothing, and `unheld` (when given)
// receives the characters outside the double-byte set.
std::optional<std::string> id3v1Bytes(std::string_view text, std::string* unheld = nullptr);

// True when the file is at least 128 bytes long and its last 128 begin "TAG".
bool hasId3v1(platform::ByteSource& file);

// Fills slots 1-7 (slot 6 the genre number as decimal text) and returns true
// when the file has a block; otherwise false and `fields` is untouched.
// `asStored`, when given, receives slots 1-7 as the block stores their bytes,
// for a writer that keeps the fields the user did not touch byte for byte.
// `others`, when given, receives slots 1-7: the other reading of each text
// whose encoding could not be told, nothing for the rest.
bool readId3v1(platform::ByteSource& file, TagFields& fields, TagFields* asStored = nullptr,
               OtherReadings* others = nullptr, TextContext* context = nullptr);

// Slot 6 of a block read above as players name it: "Rock" for 17, nothing
// for 255 (no genre) and the numbers no list names.
std::string id3v1GenreName(std::string_view number);

// The same on a block already in memory (exactly 128 bytes starting "TAG").
bool parseId3v1Block(std::string_view block, TagFields& fields, TagFields* asStored = nullptr,
                     OtherReadings* others = nullptr, TextContext* context = nullptr);

// The block with the five texts in place, track and genre bytes zero. A text
// longer than its field is cut at a character boundary to fit it.
std::string buildId3v1Block(std::string_view title, std::string_view artist, std::string_view album,
                            std::string_view year, std::string_view comment);

// Writes the whole block (track and genre included) in one write: over the old
// block, or appended. The track text stores its nearest whole number ("2.7"
// stores 3, "3/12" stores 3); one that is not a number stores 0. The comment
// ends before the track byte: with a track (a nonzero byte) it is cut to 28
// bytes, leaving the zero byte that marks ID3v1.1; without one to 29. Either
// cut falls on a character boundary, so the track byte never overwrites part
// of a character. The texts are stored as given (see id3v1Bytes). A failure,
// with the file as it was, when the file is not open for writing or the write
// fails.
WriteResult writeId3v1(platform::OpenFile& file, std::string_view title, std::string_view artist,
                       std::string_view album, std::string_view year, std::string_view comment,
                       std::string_view track, int genre);

// True when there was no block or it was cut off; false when cutting failed or
// the file is not open.
WriteResult deleteId3v1(platform::OpenFile& file);

}  // namespace qorin::tags
