// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "tags/tag_editor_fields.h"

namespace qorin::tags {
namespace {

TEST(TagEditorFields, CollectsId3v2Texts) {
  Id3v2EditorTexts boxes;
  boxes.title = " t ";
  boxes.genreValue = 17;
  boxes.genreText = "Rock";
  EXPECT_EQ(collectId3v2Fields(boxes)[kGenre], "(17)Rock");
  EXPECT_EQ(collectId3v2Fields(boxes)[kTitle], " t ");
  boxes.genreValue = -1;
  EXPECT_EQ(collectId3v2Fields(boxes)[kGenre], "");
}

}  // namespace
}  // namespace qorin::tags
