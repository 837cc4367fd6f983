// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <sys/xattr.h>
#endif
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "tags_test_util.h"

namespace qorin::platform {
namespace {

using tagtest::readBytes;
using tagtest::TempDir;
using tagtest::writeBytes;

struct HookReset {
  ~HookReset() { setFileFaultHook({}); }
};

TEST(OpenFileTest, ReplaceRangeCases) {
  struct Case {
    std::uint64_t offset, oldLength;
    std::string with, expected;
  };
  const Case cases[] = {
      {0, 0, "ab", "ab0123456789"},  // insert at the start
      {0, 4, "", "456789"},          // delete from the start
      {3, 2, "XYZ", "012XYZ56789"},  // grow in the middle
      {10, 0, "!", "0123456789!"},   // append
      {0, 10, "new", "new"},         // replace everything
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string p = dir.file("a.mp3");
    writeBytes(p, "0123456789");
    OpenFile f(p, OpenMode::ReadWrite);
    ASSERT_TRUE(f.replaceRange(c.offset, c.oldLength, c.with));
    EXPECT_EQ(f.length(), c.expected.size());
    std::string back;
    ASSERT_TRUE(f.readAt(0, 100, back));  // the object follows the new file
    EXPECT_EQ(back, c.expected);
    f.close();
    EXPECT_EQ(readBytes(p), c.expected);
    EXPECT_EQ(dir.entryCount(), 1u) << "temporary file left behind";
  }
}

// Modes, links, owners, extended attributes, inodes, processes and pipes
// are POSIX matters: the tests of them are left out on Windows.
#ifndef _WIN32
TEST(OpenFileTest, ReplaceKeepsModeAndFollowsSymlinks) {
  TempDir dir;
  const std::string p = dir.file("a.mp3"), link = dir.file("link.mp3");
  writeBytes(p, "abc");
  ::chmod(p.c_str(), 0640);
  std::filesystem::create_symlink(p, link);
  OpenFile f(link, OpenMode::ReadWrite);
  ASSERT_TRUE(f.replaceRange(0, 1, "XY"));
  f.close();
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readBytes(p), "XYbc");
}
#endif

TEST(OpenFileTest, FailuresLeaveTheOriginalByteIdentical) {
  const FileStep steps[] = {FileStep::Write, FileStep::Rename};
  for (const FileStep step : steps) {
    HookReset reset;
    TempDir dir;
    const std::string p = dir.file("a.mp3");
    const std::string original = tagtest::fakeAudio(3 << 20);  // several copy chunks
    writeBytes(p, original);
    OpenFile f(p, OpenMode::ReadWrite);
    setFileFaultHook([&](FileStep s, std::string_view at) { return s == step && at == p; });
    EXPECT_FALSE(f.replaceRange(0, 10, "tag"));
    setFileFaultHook({});
    EXPECT_EQ(f.length(), original.size());
    f.close();
    EXPECT_TRUE(readBytes(p) == original);
    EXPECT_EQ(dir.entryCount(), 1u);
  }
}

TEST(OpenFileTest, OpenForWritingCanBeMadeToFail) {
  HookReset reset;
  TempDir dir;
  const std::string p = dir.file("a.mp3"), other = dir.file("b.mp3");
  writeBytes(p, "x");
  writeBytes(other, "y");
  failOpenForWriting(p);
  OpenFile f;
  EXPECT_FALSE(f.open(p, OpenMode::ReadWrite));
  EXPECT_TRUE(f.open(p, OpenMode::Read));  // reading still works
  EXPECT_TRUE(OpenFile(other, OpenMode::ReadWrite).isOpen());
  failOpenForWriting("");
  EXPECT_TRUE(f.open(p, OpenMode::ReadWrite));
}

TEST(OpenFileTest, ReadOnlyAndClosedFilesRefuseChanges) {
  TempDir dir;
  const std::string p = dir.file("a.mp3");
  writeBytes(p, "abc");
  OpenFile ro(p, OpenMode::Read);
  EXPECT_FALSE(ro.write("x"));
  EXPECT_FALSE(ro.truncate(0));
  EXPECT_FALSE(ro.replaceRange(0, 1, "x"));
  OpenFile closed;
  EXPECT_FALSE(closed.length());
  EXPECT_FALSE(closed.replaceRange(0, 0, "x"));
  OpenFile rw(p, OpenMode::ReadWrite);
  EXPECT_FALSE(rw.replaceRange(2, 5, "x"));  // range past the end
  EXPECT_FALSE(OpenFile(dir.file("missing"), OpenMode::Read).isOpen());
  EXPECT_EQ(readBytes(p), "abc");
}

TEST(OpenFileTest, ReadsAreCappedAtTheEnd) {
  TempDir dir;
  const std::string p = dir.file("a.mp3");
  writeBytes(p, "0123456789");
  OpenFile f(p, OpenMode::ReadWrite);
  std::string out;
  ASSERT_TRUE(f.readAt(8, std::size_t{1} << 40, out));  // never allocates what it asks for
  EXPECT_EQ(out, "89");
  ASSERT_TRUE(f.readAt(20, 5, out));
  EXPECT_EQ(out, "");
  ASSERT_TRUE(f.seek(2));
  EXPECT_EQ(f.read(3), "234");
  EXPECT_EQ(f.read(3), "567");
  ASSERT_TRUE(f.seek(10));
  EXPECT_TRUE(f.write("AB"));
  EXPECT_TRUE(f.truncate(11));
  f.close();
  EXPECT_EQ(readBytes(p), "0123456789A");
}

#ifndef _WIN32
// Runs `work` as an unprivileged user when the tests run as root (in a child
// process, so that the permission checks apply), else in this process; true
// when it returned true.
bool asUnprivileged(const std::function<bool()>& work) {
  if (::geteuid() != 0) return work();
  const pid_t child = ::fork();
  if (child == 0) {
    const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && work();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void giveToUnprivileged(const std::string& path) {
  if (::geteuid() == 0) {
    EXPECT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  }
}

struct stat statOf(const std::string& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st;
}

TEST(OpenFileTest, ReplacementKeepsOwnerGroupModeAndAttributes) {
  TempDir dir;
  const std::string p = dir.file("a.mp3");
  writeBytes(p, "0123456789");
  ::chmod(p.c_str(), 0640);
  giveToUnprivileged(p);
  const bool xattrs = ::setxattr(p.c_str(), "user.qorin", "v", 1, 0) == 0;
  const struct stat before = statOf(p);
  OpenFile f(p, OpenMode::ReadWrite);
  ASSERT_TRUE(f.replaceRange(0, 2, "AB"));
  f.close();
  const struct stat after = statOf(p);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the name
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_mode, before.st_mode);
  if (xattrs) {
    char v[4] = {};
    EXPECT_EQ(::getxattr(p.c_str(), "user.qorin", v, sizeof v), 1);
    EXPECT_EQ(v[0], 'v');
  }
  EXPECT_EQ(readBytes(p), "AB23456789");
  EXPECT_EQ(dir.entryCount(), 1u);
}

// Files that must keep their inode are rewritten in place, their bytes kept
// in a backup meanwhile; without a folder for the backup they are not written.
TEST(OpenFileTest, FilesThatMustKeepTheirInode) {
  struct Case {
    const char* name;
    bool hardLink, unwritableFolder, foreignOwner;
  };
  const Case cases[] = {
      {"hard-linked", true, false, false},
      {"in a folder we cannot write", false, true, false},
      {"owned by someone else", false, false, true},
  };
  for (const Case& c : cases) {
    if (c.foreignOwner && ::geteuid() != 0) continue;  // needs a second user
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string folder = dir.file("music"), state = dir.file("state");
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(state);
    const std::string p = folder + "/a.mp3", link = dir.file("link.mp3");
    writeBytes(p, tagtest::fakeAudio(3 << 20));
    const std::string original = readBytes(p);
    if (c.hardLink) std::filesystem::create_hard_link(p, link);
    if (!c.foreignOwner) giveToUnprivileged(p);
    giveToUnprivileged(state);
    ::chmod(p.c_str(), 0666);
    ::chmod(folder.c_str(), c.unwritableFolder ? 0555 : 0777);
    const ino_t inode = statOf(p).st_ino;

    EXPECT_TRUE(asUnprivileged([&] {
      OpenFile f(p, OpenMode::ReadWrite);
      return !f.replaceRange(0, 4, "new") && f.lackedBackupFolder();  // no folder for a backup
    }));
    EXPECT_TRUE(readBytes(p) == original);
    EXPECT_TRUE(asUnprivileged([&] {
      OpenFile f(p, OpenMode::ReadWrite);
      std::string head;
      return f.replaceRange(0, 4, "new", state) && f.readAt(0, 3, head) && head == "new";
    }));
    ::chmod(folder.c_str(), 0755);
    const struct stat after = statOf(p);
    EXPECT_EQ(after.st_ino, inode);
    EXPECT_EQ(after.st_uid, c.foreignOwner ? 0u : statOf(state).st_uid);
    EXPECT_TRUE(readBytes(p) == "new" + original.substr(4));
    if (c.hardLink) {
      EXPECT_TRUE(readBytes(link) == readBytes(p));
    }
    EXPECT_TRUE(std::filesystem::is_empty(state + "/tag-backups"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  }
}

// Backups in a folder its group may write to would not be put back after a
// crash (nor should they): a file that must keep its inode is left alone.
TEST(OpenFileTest, ABackupFolderOthersMayWriteToIsNone) {
  TempDir dir;
  const std::string p = dir.file("a.mp3"), state = dir.file("state");
  writeBytes(p, tagtest::fakeAudio(1 << 16));
  const std::string original = readBytes(p);
  std::filesystem::create_hard_link(p, dir.file("b.mp3"));
  std::filesystem::create_directories(state + "/tag-backups");
  ::chmod((state + "/tag-backups").c_str(), 0770);
  OpenFile f(p, OpenMode::ReadWrite);
  EXPECT_FALSE(f.replaceRange(0, 4, "new", state));
  EXPECT_TRUE(f.lackedBackupFolder());
  f.close();
  EXPECT_TRUE(readBytes(p) == original);
  EXPECT_TRUE(std::filesystem::is_empty(state + "/tag-backups"));
}

TEST(OpenFileTest, InPlaceFailurePutsTheOriginalBack) {
  HookReset reset;
  TempDir dir;
  const std::string p = dir.file("a.mp3"), link = dir.file("b.mp3"), state = dir.file("state");
  const std::string original = tagtest::fakeAudio(3 << 20);
  writeBytes(p, original);
  std::filesystem::create_hard_link(p, link);
  int writes = 0;
  setFileFaultHook([&](FileStep s, std::string_view) { return s == FileStep::Write && ++writes == 2; });
  OpenFile f(p, OpenMode::ReadWrite);
  EXPECT_FALSE(f.replaceRange(0, 10, "tag", state));  // the tag went in, the audio after it failed
  setFileFaultHook({});
  f.close();
  EXPECT_TRUE(readBytes(p) == original);
  EXPECT_TRUE(std::filesystem::is_empty(state + "/tag-backups"));
}

TEST(OpenFileTest, StaleTemporariesGo) {
  TempDir dir;
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string self = std::to_string(::getpid());
  const auto temp = [&](const std::string& name, bool old) {
    writeBytes(dir.file(name), "x");
    if (old) {
      std::filesystem::last_write_time(
          dir.file(name), std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    }
  };
  temp(".qorin-new-" + std::to_string(ended) + "-0000000000000001.tmp", false);  // its writer has ended
  temp(".qorin-new-" + self + "-0000000000000002.tmp", true);                    // older than a minute
  temp(".qorin-new-" + self + "-0000000000000003.tmp", false);                   // being written
  temp(".qorin-0123456789abcdef.tmp", true);  // a file of the user's, halfway through a rename
  writeBytes(dir.file("song.mp3"), "song");
  OpenFile f(dir.file("song.mp3"), OpenMode::ReadWrite);
  ASSERT_TRUE(f.replaceRange(0, 0, "x"));  // a write there clears them up
  f.close();
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{".qorin-new-" + self + "-0000000000000003.tmp",
                                         ".qorin-0123456789abcdef.tmp", "song.mp3"}));
  EXPECT_EQ(removeStaleTemporaries(dir.dir()), 0);
}
#endif

}  // namespace
}  // namespace qorin::platform

#ifndef _WIN32
TEST(OpenFileTest, RefusesAPipeWithoutWaiting) {
  const auto dir = std::filesystem::temp_directory_path() / ("qorin-fifo-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "song.mp3").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  qorin::platform::OpenFile f;
  EXPECT_FALSE(f.open(fifo, qorin::platform::OpenMode::Read));  // would block forever without a writer
  std::filesystem::remove_all(dir);
}
#endif
