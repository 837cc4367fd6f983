// SPDX-License-Identifier: GPL-3.0-or-later
// The ID3v2 tag at the start of an MP3 file: reading versions 2.2, 2.3 and
// 2.4 into the twelve slots, and writing a fresh ID3v2.3 tag built from the
// program's template. Texts are code-page (GB18030): UTF-16 and UTF-8 texts
// converted, encoding-0 texts decided by text::readUnlabelled. The routines
// work on a file the caller opened and closes; none shows a message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/open_file.h"
#include "tags/id3v2_format.h"
#include "tags/tag_fields.h"
#include "tags/unlabelled.h"
#include "tags/write_result.h"

namespace qorin::tags {

inline constexpr std::size_t kId3v2TemplateSize = 1024;

// True when the file starts with "ID3", version, revision and flags each below
// 0xFF and four size bytes each below 0x80.
bool hasId3v2(platform::ByteSource& file);

// Genre text as slot 6 keeps it: "(17)", "17" and "(17)Rock" give "Rock",
// "(130)" Winamp's "Terror"; "(255)" (no genre) gives nothing; a number no
// list names leaves the text as it was.
std::string normaliseGenre(std::string_view genre);

// Fills all 12 slots and returns true when the file has a tag header (a tag
// without any readable frame gives empty slots); otherwise false and `fields`
// is untouched. Reads only the tag's bytes, never more than the file holds.
// Of a frame repeated (several TPE1) the first that holds a text fills its
// slot, as players show it.
// `asStored`, when given, receives the same texts with slot 6 as the frame
// holds it (before "(17)" becomes "Rock"), for a writer that keeps a genre
// the user did not touch. `others`, when given, receives for each slot whose
// text holds a guess (an encoding-0 value read one of two equally likely
// ways) the text as the other reading would show it, nothing for the rest.
// The tag's unlabelled texts are judged together; `context`, when given,
// adds its folder's and receives the tag's evidence.
bool readId3v2(platform::ByteSource& file, TagFields& fields, TagFields* asStored = nullptr,
               OtherReadings* others = nullptr, TextContext* context = nullptr);

// The same on tag bytes in memory, starting with the header.
bool parseId3v2Tag(std::string_view tag, TagFields& fields, TagFields* asStored = nullptr,
                   OtherReadings* others = nullptr, TextContext* context = nullptr);

// The program's 1024-byte ID3v2.3 template: twelve empty frames and padding.
std::string newId3v2Template();

// Puts `text` into the frame `id` of `tag` (ID3v2.3 frames walked from offset
// 10), rewriting its size: an ASCII text after the template's prefix under
// encoding 0, any other as UTF-16 with a byte-order mark (encoding 1); false
// when there is no such frame. The tag's header size is not changed.
bool setFrameText(std::string& tag, std::string_view id, std::string_view text);

// The new tag for `fields`: the template with the texts filled in, then the
// frames of `oldTag` that the slots do not fill (any version, as ID3v2.3
// frames, in their order), then the template's padding. A slot whose text is
// what `oldTag` shows for it keeps its old frames in the template's place.
std::string buildId3v2Tag(const TagFields& fields, std::string_view oldTag = {});

// Replaces the old tag (or inserts a new one) in one atomic step; the audio and
// an ID3v1 block at the end are never changed. A failure, naming its reason,
// with the file exactly as it was, when it is not open for writing, when the
// old header claims more bytes than lie before the audio's end, when the old
// tag could not be walked to its end, when the new tag is too large for a
// sync-safe size, or when any step fails. `stateDir` is where a file that must
// keep its inode (hard-linked, or in a folder we cannot write) has its backup
// while it is rewritten in place; without one such a file is not written.
WriteResult writeId3v2(platform::OpenFile& file, const TagFields& fields, std::string_view stateDir = {});

// Removes the tag the same way; true when there was none.
WriteResult deleteId3v2(platform::OpenFile& file, std::string_view stateDir = {});

namespace detail {
// The old tag's bytes (empty when there is none) and its length in the file;
// nothing when its header claims more than the file holds before the audio's end.
std::optional<std::string> readOldTag(platform::OpenFile& file, std::uint64_t& length);
}  // namespace detail

}  // namespace qorin::tags
