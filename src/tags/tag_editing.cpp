// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/tag_editing.h"

#include "platform/fs.h"
#include "platform/open_file.h"
#include "tags/formats.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_unicode.h"
#include "tags/write_io.h"

namespace qorin::tags {

namespace {

// The file could not be opened for writing: why, as far as the system said.
WriteResult openFailure(const platform::OpenFile& file) {
  return file.lastFailure() == platform::IoFailure::None ? failedWith(WriteFailure::NotOpenForWriting)
                                                         : ioFailure(file);
}

// The unlabelled texts of the MP3 files beside the one at `path`, itself included.
text::Evidence folderEvidence(const std::string& path) {
  const std::string dir(platform::directoryOf(path));
  text::Evidence e;
  for (const std::string& name : platform::listFiles(dir).names)
    if (editableTag(platform::nameText(name))) e += fileEvidence(dir + name);
  return e;
}

}  // namespace

std::optional<std::string> id3v1TextBytes(std::string_view text, std::string* unheld) {
  return id3v1Bytes(text, unheld);
}

EditorTags loadEditorTags(const std::string& path) {
  EditorTags t;
  t.shownPath = platform::shownPath(path);
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return t;
  t.opened = true;
  TextContext c1, c2;
  t.hasV1 = readId3v1(file, t.v1, &t.v1Stored, &t.v1Others, &c1);
  t.hasV2 = readId3v2(file, t.v2, &t.v2Stored, &t.v2Others, &c2);
  // What its tags leave open the album may decide: the folder is read only then.
  if (c1.uncertain || c2.uncertain) {
    const text::Evidence folder = folderEvidence(path);
    c1.folder = c2.folder = &folder;
    if (t.hasV1) readId3v1(file, t.v1, &t.v1Stored, &t.v1Others, &c1);
    if (t.hasV2) readId3v2(file, t.v2, &t.v2Stored, &t.v2Others, &c2);
  }
  file.close();
  // A tag write killed in this folder left its temporary behind.
  platform::removeStaleTemporaries(platform::directoryOf(path));
  return t;
}

TagEditOutcome saveEditorTags(const std::string& path, const TagEdit& edit, const std::string& stateDir) {
  using Action = TagEdit::Action;
  TagEditOutcome out;
  if (edit.v1 == Action::Keep && edit.v2 == Action::Keep) return out;
  platform::OpenFile file;
  const bool writable = file.open(path, platform::OpenMode::ReadWrite);
  const WriteResult notWritable = writable ? WriteResult{} : openFailure(file);
  platform::removeStaleTemporaries(platform::directoryOf(path));
  if (edit.v1 != Action::Keep) {
    const auto& t = edit.v1Texts;
    out.v1 = !writable ? notWritable
             : edit.v1 == Action::Write
                 ? writeId3v1(file, t[0], t[1], t[2], t[3], t[4], edit.v1Track, edit.v1Genre)
                 : deleteId3v1(file);
  }
  if (edit.v2 != Action::Keep)
    out.v2 = !writable                  ? notWritable
             : edit.v2 == Action::Write ? writeId3v2(file, edit.v2Fields, stateDir)
                                        : deleteId3v2(file, stateDir);
  file.close();
  return out;
}

}  // namespace qorin::tags
