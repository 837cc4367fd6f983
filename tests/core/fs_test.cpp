// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/fs.h"
#include "platform/record_file.h"
#include "temp_dir.h"
#include "text/gbtext.h"

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
#ifndef _WIN32  // Windows keeps no mode, only a read-only mark
  EXPECT_EQ(std::filesystem::status(t.path() / "f").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
  EXPECT_FALSE(writeFileAtomic(t.dir() + "missing/f", "x"));
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(t.path())) ++files;
  EXPECT_EQ(files, 1);  // no temporary left behind
}

TEST(Paths, DirectoryAndName) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX paths; windows_fs_test checks the Windows ones";
#endif
  EXPECT_EQ(withSeparator("/a"), "/a/");
  EXPECT_EQ(withSeparator("/a/"), "/a/");
  EXPECT_EQ(directoryOf("/a/b.mp3"), "/a/");
  EXPECT_EQ(fileNameOf("/a/b.mp3"), "b.mp3");
  EXPECT_EQ(directoryOf("b.mp3"), "");
}

TEST(Folder, RenamesInsideItNeverReplacing) {
  testing::TempDir t;
  t.write("a", "A");
  t.write("b", "B");
  std::filesystem::create_directory(t.path() / "sub");
  const Folder f(t.dir());
  ASSERT_TRUE(f.isOpen());
  const struct {
    const char *from, *to;
    RenameResult result;
  } cases[] = {
      {"a", "b", RenameResult::TargetExists},
      {"a", "sub", RenameResult::TargetExists},  // a folder holds the name too
      {"a", "a", RenameResult::TargetExists},    // the file itself: the caller goes through a name of its own
      {"missing", "c", RenameResult::SourceMissing},
      {"a", "bad\x81", RenameResult::Unconvertible},
      {"a", "c", RenameResult::Renamed},
  };
  for (const auto& c : cases) EXPECT_EQ(f.rename(c.from, c.to).result, c.result) << c.from << " -> " << c.to;
  EXPECT_EQ(t.read("c"), "A");
  EXPECT_EQ(t.read("b"), "B");
  EXPECT_EQ(f.rename("c", "sub/c").result, RenameResult::Renamed);  // the caller keeps names single
  EXPECT_EQ(t.read("sub/c"), "A");
}

TEST(Folder, NamesAndIdentities) {
  testing::TempDir t;
  t.write("a", "12345");
  t.write("\xE9\x9F\xB3", "x");  // 音 in UTF-8
  std::filesystem::create_directory(t.path() / "sub");
  const Folder f(t.dir());
  auto names = f.names();
  ASSERT_TRUE(names);
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"a", "sub", "\xD2\xF4"}));

  const auto a = f.identityOf("a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size, 5u);
  EXPECT_EQ(a->device, f.identity().device);
  EXPECT_NE(a->inode, f.identity().inode);
  EXPECT_FALSE(f.identityOf("none"));
  ASSERT_EQ(f.rename("a", "b").result, RenameResult::Renamed);
  EXPECT_EQ(f.identityOf("b"), a);  // a rename keeps the file's identity
  // Another file of the same size in the old place is told apart.
  t.write("a", "54321");
  EXPECT_NE(f.identityOf("a"), a);
  EXPECT_EQ(f.nameLimit(), 255u);
  EXPECT_TRUE(f.sync());

  const Folder none(t.dir() + "missing");
  EXPECT_FALSE(none.isOpen());
  EXPECT_EQ(none.error(), ENOENT);
  EXPECT_FALSE(none.names());
  EXPECT_EQ(none.rename("a", "b").result, RenameResult::SourceMissing);
}

TEST(RecordWriter, ReplacesAtomicallyAppendsAndCutsATornTail) {
  testing::TempDir t;
  const std::string path = t.dir() + "state/deeper/journal";
  RecordWriter j;
  ASSERT_TRUE(j.create(path));  // the folders are made
  ASSERT_TRUE(j.write("plan\n"));
  EXPECT_FALSE(std::filesystem::exists(t.path() / "state/deeper/journal"));  // not before the commit
  ASSERT_TRUE(j.commit());
  ASSERT_TRUE(j.write("done\n"));
  j.close();
  EXPECT_EQ(t.read("state/deeper/journal"), "plan\ndone\n");

  // A torn last line is cut before the record goes on.
  t.write("state/deeper/journal", "plan\ndone\nto");
  RecordWriter k;
  ASSERT_TRUE(k.openAppend(path, 10));
  ASSERT_TRUE(k.write("more\n"));
  ASSERT_TRUE(k.sync());
  k.close();
  EXPECT_EQ(t.read("state/deeper/journal"), "plan\ndone\nmore\n");

  // A new content replaces the old only once committed; abandoned, it leaves nothing.
  RecordWriter n;
  ASSERT_TRUE(n.create(path));
  ASSERT_TRUE(n.write("other"));
  n.close();
  EXPECT_EQ(t.read("state/deeper/journal"), "plan\ndone\nmore\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.path() / "state/deeper"), {}), 1);

  // An empty file (one reserved by its holder) is written in place.
  t.write("reserved", "");
  RecordWriter r;
  ASSERT_TRUE(r.create(t.dir() + "reserved"));
  ASSERT_TRUE(r.write("plan\n"));
  ASSERT_TRUE(r.commit());
  r.close();
  EXPECT_EQ(t.read("reserved"), "plan\n");

  RecordWriter bad;
  t.write("file", "");
  EXPECT_FALSE(bad.create(t.dir() + "file/journal"));
  EXPECT_NE(bad.error(), 0);
  EXPECT_FALSE(bad.openAppend(t.dir() + "none", 0));
  EXPECT_FALSE(bad.write("x"));
}

TEST(FileHold, OneHolderAtATimeAndOnlyRegularFiles) {
  testing::TempDir t;
  FileHold a, b;
  ASSERT_EQ(a.create(t.dir() + "records/r.journal"), HoldResult::Held);
  EXPECT_EQ(b.create(t.dir() + "records/r.journal"), HoldResult::Missing);  // taken: not created again
  EXPECT_EQ(b.take(t.dir() + "records/r.journal"), HoldResult::Busy);
  a.release();
  EXPECT_EQ(b.take(t.dir() + "records/r.journal"), HoldResult::Held);
  EXPECT_EQ(a.take(t.dir() + "records/none"), HoldResult::Missing);
  EXPECT_TRUE(ownFolder(t.dir() + "records", false));
#ifndef _WIN32
  std::filesystem::create_symlink(t.path() / "records" / "r.journal", t.path() / "link");
  EXPECT_EQ(a.take(t.dir() + "link"), HoldResult::Refused);
  EXPECT_FALSE(RecordReader().open(t.dir() + "link", 100));
  ASSERT_EQ(::mkfifo((t.path() / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(a.take(t.dir() + "fifo"), HoldResult::Refused);  // not waited on
  EXPECT_FALSE(RecordReader().open(t.dir() + "fifo", 100));
  std::filesystem::create_directory_symlink(t.path() / "records", t.path() / "linked");
  EXPECT_FALSE(ownFolder(t.dir() + "linked", false));
  EXPECT_NE(a.create(t.dir() + "linked/new.journal"), HoldResult::Held);
#endif
}

#ifndef _WIN32
// Every spelling of a path comes to one: "." and ".." parts (as text),
// repeated and trailing separators, a link to a folder. A file's own name
// (a link, a name in the old code page, one not there) is kept as given.
TEST(Paths, CanonicalPathsAreTheOnesTheSystemReaches) {
  namespace stdfs = std::filesystem;
  testing::TempDir t;
  stdfs::create_directories(t.path() / "sub" / "deep");
  t.write("sub/a.txt", "");
  stdfs::create_directory_symlink(t.path() / "sub", t.path() / "to-sub");
  stdfs::create_symlink(t.path() / "sub" / "a.txt", t.path() / "to-a");
  const std::string d = t.dir(), real = stdfs::canonical(t.path()).string() + "/", sub = real + "sub";
  // 春天的故事.mp3: GBK for sure, as a lone 歌 is not.
  const std::string gbk = gbkName("\xB4\xBA\xCC\xEC\xB5\xC4\xB9\xCA\xCA\xC2.mp3");
  const struct {
    std::string given;
    std::optional<std::string> canonical;
  } cases[] = {
      {d + "sub/./a.txt", sub + "/a.txt"},
      {d + ".//sub//a.txt/", sub + "/a.txt"},
      {d + "sub/deep/../a.txt", sub + "/a.txt"},
      {d + "sub/", sub},
      {d + "sub/deep/..", sub},
      {d + "to-sub/a.txt", sub + "/a.txt"},
      {d + "to-sub", sub},
      {d + "to-sub/deep/../a.txt", sub + "/a.txt"},
      {d + "none/../sub", sub},
      {d + "./to-a", real + "to-a"},
      {d + "sub/./" + gbk, sub + "/" + gbk},
      {d + "sub/gone.txt", sub + "/gone.txt"},
      {d + "none/a.txt", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(canonicalPath(c.given), c.canonical) << c.given;
}
#endif

TEST(Paths, StateDirectoryFollowsTheProgram) {
  testing::TempDir t;
  // The test program's folder is writable: it runs portable, state beside config.ini.
  ASSERT_TRUE(isWritableDirectory(programDirectory()));
  EXPECT_EQ(stateDirectory(), configDirectory());
  EXPECT_TRUE(createDirectories(t.dir() + "x/y/z"));
  EXPECT_TRUE(isDirectory(t.dir() + "x/y/z"));
  EXPECT_TRUE(createDirectories(t.dir() + "x/y/z/"));
  t.write("f", "");
  EXPECT_FALSE(createDirectories(t.dir() + "f/g"));
#ifndef _WIN32
  // The common errors in the program's words; the others with their number.
  EXPECT_EQ(errorText(ENOENT), text::gb("没有那个文件或目录"));
  EXPECT_EQ(errorText(EACCES), text::gb("权限不够"));
  EXPECT_NE(errorText(ECHILD).find(text::gb("（错误 ")), std::string::npos);
#else
  EXPECT_FALSE(errorText(ENOENT).empty());
#endif
}

}  // namespace
}  // namespace qorin::platform
