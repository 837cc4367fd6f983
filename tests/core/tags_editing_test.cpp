// SPDX-License-Identifier: GPL-3.0-or-later
// The tag editor's use cases without a window: what a save asked for comes
// back per tag, done or with its reason, and the audio stays.
#include <gtest/gtest.h>

#include "platform/open_file.h"
#include "tags/tag_editing.h"
#include "tags_test_util.h"
#include "temp_dir.h"

namespace qorin::tags {
namespace {

using Action = TagEdit::Action;
using tagtest::fakeAudio;
using tagtest::readBytes;

TEST(TagEditing, WritesAndRemovesEachTagAsAskedAndSaysWhy) {
  testing::TempDir d;
  const std::string audio = fakeAudio(4000);
  const std::string path = d.write("song.mp3", audio);

  TagEdit write;
  write.v1 = write.v2 = Action::Write;
  write.v1Texts = {"Title", "Artist", "Album", "1999", "note"};
  write.v1Track = "3";
  write.v2Fields[kTitle] = "Title";
  TagEditOutcome out = saveEditorTags(path, write, d.dir());
  ASSERT_TRUE(out.v1 && out.v2);
  EXPECT_TRUE(*out.v1 && *out.v2);
  EditorTags t = loadEditorTags(path);
  EXPECT_TRUE(t.opened && t.hasV1 && t.hasV2);
  EXPECT_EQ(t.v1[kArtist], "Artist");
  EXPECT_EQ(t.v1[kTrack], "3");
  EXPECT_EQ(t.v2[kTitle], "Title");

  // Only what was asked for is touched and reported.
  TagEdit removeV1;
  removeV1.v1 = Action::Remove;
  out = saveEditorTags(path, removeV1, d.dir());
  EXPECT_TRUE(out.v1 && *out.v1);
  EXPECT_FALSE(out.v2);
  t = loadEditorTags(path);
  EXPECT_FALSE(t.hasV1);
  EXPECT_TRUE(t.hasV2);

  // A file that cannot be opened for writing fails both, and stays.
  const std::string before = readBytes(path);
  platform::failOpenForWriting(path);
  out = saveEditorTags(path, write, d.dir());
  platform::failOpenForWriting("");
  ASSERT_TRUE(out.v1 && out.v2);
  EXPECT_EQ(out.v1->failure, WriteFailure::ReadOnlyFile);
  EXPECT_EQ(out.v2->failure, WriteFailure::ReadOnlyFile);
  EXPECT_EQ(readBytes(path), before);

  TagEdit removeV2;
  removeV2.v2 = Action::Remove;
  EXPECT_TRUE(*saveEditorTags(path, removeV2, d.dir()).v2);
  EXPECT_EQ(readBytes(path), audio);
  EXPECT_FALSE(loadEditorTags(d.dir() + "missing.mp3").opened);
}

}  // namespace
}  // namespace qorin::tags
