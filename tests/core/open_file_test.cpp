#include "platform/open_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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

}  // namespace
}  // namespace qorin::platform

TEST(OpenFileTest, RefusesAPipeWithoutWaiting) {
  const auto dir = std::filesystem::temp_directory_path() / ("qorin-fifo-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "song.mp3").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  qorin::platform::OpenFile f;
  EXPECT_FALSE(f.open(fifo, qorin::platform::OpenMode::Read));  // would block forever without a writer
  std::filesystem::remove_all(dir);
}
