// SPDX-License-Identifier: GPL-3.0-or-later
// The tag editor's use cases, without a window: what it shows of a file when
// it opens, and writing back what the user changed. The window only shows
// what comes back and turns the outcomes into its messages.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "tags/tag_editor_fields.h"
#include "tags/tag_fields.h"
#include "tags/write_result.h"

namespace qorin::tags {

struct EditorTags {
  bool opened = false;    // the file could be read
  std::string shownPath;  // the path as the user reads it
  bool hasV1 = false, hasV2 = false;
  TagFields v1, v2;              // as shown
  TagFields v1Stored, v2Stored;  // the texts as the tag holds them
  OtherReadings v1Others, v2Others;
};

// Reads both tags, their unlabelled texts judged with those of the MP3s of
// the folder where the tags alone leave one uncertain; a killed tag write's
// leftovers in the folder go.
EditorTags loadEditorTags(const std::string& path);

// How a typed text would be stored in the ID3v1 block; nothing, with the
// characters it cannot hold in `unheld`, when it does not fit.
std::optional<std::string> id3v1TextBytes(std::string_view text, std::string* unheld);

// What the user changed: each tag kept, written or removed.
struct TagEdit {
  enum class Action : unsigned char { Keep, Write, Remove };
  Action v1 = Action::Keep, v2 = Action::Keep;
  std::array<std::string, 5> v1Texts;  // title, artist, album, year, comment, as ID3v1 bytes
  std::string v1Track;
  int v1Genre = kNoId3v1Genre;
  TagFields v2Fields;
};

// Per tag asked for, done or why not. A file that cannot be opened for
// writing fails each of them and stays as it was.
struct TagEditOutcome {
  std::optional<WriteResult> v1, v2;
};
TagEditOutcome saveEditorTags(const std::string& path, const TagEdit& edit, const std::string& stateDir);

}  // namespace qorin::tags
