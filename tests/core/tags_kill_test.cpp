// SPDX-License-Identifier: GPL-3.0-or-later
// A tag write killed at any moment: the file is the old one or the new one,
// and nothing else is left beside it; a file rewritten in place gets its
// original back at the next start. QORIN_KILL_TRIALS sets the number of kills
// (100 for the full run; the default keeps the suite fast).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/open_file.h"
#include "tags/id3v2.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using tagtest::readBytes;
using tagtest::TempDir;
using tagtest::writeBytes;

int trials() {
  const char* env = std::getenv("QORIN_KILL_TRIALS");
  const int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 12;
}

enum class Killed { Midway, Finished };

// Forks a child that writes `fields` into `path`; at the `at`-th step of the
// write it tells the parent and waits, and the parent kills it with SIGKILL.
Killed killWriteAt(const std::string& path, const TagFields& fields, const std::string& stateDir, int at) {
  int ready[2];
  if (::pipe(ready) != 0) ADD_FAILURE() << "pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    int steps = 0;
    platform::setFileFaultHook([&](platform::FileStep, std::string_view) {
      if (++steps == at) {
        (void)!::write(ready[1], "k", 1);
        for (;;) ::pause();
      }
      return false;
    });
    platform::OpenFile file(path, platform::OpenMode::ReadWrite);
    ::_exit(writeId3v2(file, fields, stateDir) ? 0 : 1);
  }
  ::close(ready[1]);
  char c = 0;
  const bool midway = ::read(ready[0], &c, 1) == 1;  // end of file: the child finished
  ::close(ready[0]);
  if (midway) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!midway) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  return midway ? Killed::Midway : Killed::Finished;
}

TagFields newFields() {
  TagFields f;
  f[kTitle] = text::gb("新的标题");
  f[kArtist] = "Artist";
  return f;
}

TEST(KilledWrite, LeavesTheOldOrTheNewFileAndNothingElse) {
  int midway = 0;
  for (int trial = 0; trial < trials(); ++trial) {
    SCOPED_TRACE(trial);
    TempDir dir;
    const std::string path = dir.file("song.mp3");
    TagFields oldFields;
    oldFields[kTitle] = "old";
    // One to four megabytes: the copy takes one step per megabyte.
    const std::string audio = tagtest::fakeAudio((1u + static_cast<unsigned>(trial % 4)) << 20);
    const std::string before = buildId3v2Tag(oldFields) + audio;
    writeBytes(path, before);
    const std::string after = buildId3v2Tag(newFields(), buildId3v2Tag(oldFields)) + audio;
    const int steps = 4 + trial % 4;  // writes of the content, then the naming
    if (killWriteAt(path, newFields(), {}, 1 + trial % (steps + 1)) == Killed::Midway) ++midway;
    EXPECT_EQ(dir.entryCount(), 1u);
    const std::string now = readBytes(path);
    EXPECT_TRUE(now == before || now == after);
  }
  EXPECT_GT(midway, 0);
}

TEST(KilledWrite, InPlaceRewriteIsPutBackAtTheNextStart) {
  int restored = 0;
  for (int trial = 0; trial < trials(); ++trial) {
    SCOPED_TRACE(trial);
    TempDir dir;
    const std::string path = dir.file("song.mp3"), link = dir.file("same.mp3"), state = dir.file("state");
    TagFields oldFields;
    oldFields[kTitle] = "old";
    const std::string oldTag = buildId3v2Tag(oldFields), audio = tagtest::fakeAudio(2u << 20);
    const std::string before = oldTag + audio;
    writeBytes(path, before);
    std::filesystem::create_hard_link(path, link);  // the inode stays: the write goes in place
    struct stat st {};
    ::stat(path.c_str(), &st);
    // Backup: its header and two megabytes; in place: the tag and two megabytes.
    const int at = 1 + trial % 7;
    const Killed k = killWriteAt(path, newFields(), state, at);
    const platform::BackupRestore r = platform::restorePendingBackups(state);
    restored += r.restored;
    EXPECT_EQ(r.failed, 0);
    struct stat now {};
    ::stat(path.c_str(), &now);
    EXPECT_EQ(now.st_ino, st.st_ino);
    if (k == Killed::Midway) {
      EXPECT_TRUE(readBytes(path) == before);
    } else {
      EXPECT_TRUE(readBytes(path) == buildId3v2Tag(newFields(), oldTag) + audio);
    }
    const std::string backups = state + "/tag-backups";
    EXPECT_TRUE(!std::filesystem::exists(backups) || std::filesystem::is_empty(backups));
    EXPECT_EQ(dir.entryCount(), std::filesystem::exists(state) ? 3u : 2u);
  }
  EXPECT_GT(restored, 0);
}

TEST(KilledWrite, ABackupIsPutBackOnlyIntoItsOwnFile) {
  TempDir dir;
  const std::string path = dir.file("song.mp3"), link = dir.file("same.mp3"), state = dir.file("state");
  const std::string before = tagtest::fakeAudio(1u << 20);
  writeBytes(path, before);
  std::filesystem::create_hard_link(path, link);
  ASSERT_EQ(killWriteAt(path, newFields(), state, 5), Killed::Midway);  // during the rewrite in place
  // Meanwhile another file took the name: the backup stays for the user.
  std::filesystem::remove(path);
  writeBytes(path, "other");
  const platform::BackupRestore r = platform::restorePendingBackups(state);
  EXPECT_EQ(r.restored, 0);
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(readBytes(path), "other");
  EXPECT_FALSE(std::filesystem::is_empty(state + "/tag-backups"));
}

}  // namespace
}  // namespace qorin::tags
