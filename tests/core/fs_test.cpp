#include <gtest/gtest.h>

#include "platform/fs.h"
#include "temp_dir.h"

namespace qorin::platform {
namespace {

TEST(RenameNoReplace, NeverOverwrites) {
  testing::TempDir t;
  t.write("a", "A");
  t.write("b", "B");
  EXPECT_EQ(renameNoReplace(t.dir() + "a", t.dir() + "b"), RenameResult::TargetExists);
  EXPECT_EQ(t.read("a"), "A");
  EXPECT_EQ(t.read("b"), "B");
  EXPECT_EQ(renameNoReplace(t.dir() + "a", t.dir() + "a"), RenameResult::Renamed);
  EXPECT_EQ(renameNoReplace(t.dir() + "a", t.dir() + "c"), RenameResult::Renamed);
  EXPECT_EQ(t.read("c"), "A");
  EXPECT_EQ(renameNoReplace(t.dir() + "a", t.dir() + "d"), RenameResult::SourceMissing);
  EXPECT_EQ(renameNoReplace(t.dir() + "c", t.dir() + "bad\x81"), RenameResult::Unconvertible);
  // A NUL must not cut the target short and report success under another name.
  EXPECT_EQ(renameNoReplace(t.dir() + "c", t.dir() + std::string("x\0y", 3)), RenameResult::Unconvertible);
  EXPECT_FALSE(std::filesystem::exists(t.path() / "x"));
}

TEST(RenameNoReplace, SecondLinkOfTheSameFileIsNotReplaced) {
  testing::TempDir t;
  t.write("a", "A");
  std::filesystem::create_hard_link(t.path() / "a", t.path() / "b");
  EXPECT_EQ(renameNoReplace(t.dir() + "a", t.dir() + "b"), RenameResult::TargetExists);
  EXPECT_TRUE(std::filesystem::exists(t.path() / "a"));
  EXPECT_TRUE(std::filesystem::exists(t.path() / "b"));
}

TEST(WriteFileAtomic, ReplacesContentAndKeepsMode) {
  testing::TempDir t;
  t.write("f", "old");
  std::filesystem::permissions(t.path() / "f",
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_TRUE(writeFileAtomic(t.dir() + "f", "new"));
  EXPECT_EQ(t.read("f"), "new");
  EXPECT_EQ(std::filesystem::status(t.path() / "f").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_FALSE(writeFileAtomic(t.dir() + "missing/f", "x"));
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(t.path())) ++files;
  EXPECT_EQ(files, 1);  // no temporary left behind
}

TEST(Paths, DirectoryAndName) {
  EXPECT_EQ(withSeparator("/a"), "/a/");
  EXPECT_EQ(withSeparator("/a/"), "/a/");
  EXPECT_EQ(directoryOf("/a/b.mp3"), "/a/");
  EXPECT_EQ(fileNameOf("/a/b.mp3"), "b.mp3");
  EXPECT_EQ(directoryOf("b.mp3"), "");
}

}  // namespace
}  // namespace qorin::platform
