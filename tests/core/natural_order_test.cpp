// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "filelist/add_files.h"
#include "temp_dir.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::text {
namespace {

TEST(NaturalOrder, SortsAsAFileManagerShows) {
  const struct {
    const char* what;
    std::vector<const char*> sorted;  // UTF-8, in the expected order
  } cases[] = {
      {"episodes", {"第1集", "第2集", "第9集", "第10集", "第11集"}},
      {"camera files", {"IMG_9.jpg", "IMG_10.jpg", "IMG_100.jpg"}},
      {"numbers inside", {"a1b2", "a1b10", "a2b1"}},
      {"letters without case", {"apple", "Banana", "cherry"}},
      {"pinyin order of GB2312 characters", {"阿姨", "八月", "中国"}},
      {"digits beyond 64 bits",
       {"v18446744073709551615", "v18446744073709551616", "v99999999999999999999999"}},
      {"leading zeros after equal values", {"x7", "x07", "x007", "x8"}},
      {"a prefix first", {"song", "song 2", "song2"}},
      {"ASCII before Chinese", {"zzz", "阿"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> want;
    for (const char* s : c.sorted) want.push_back(gb(s));
    std::vector<std::string> got(want.rbegin(), want.rend());
    std::sort(got.begin(), got.end(), naturalLess);
    EXPECT_EQ(got, want);
    for (std::size_t i = 0; i + 1 < want.size(); ++i) EXPECT_FALSE(naturalLess(want[i + 1], want[i])) << i;
  }
}

TEST(NaturalOrder, TrailBytesThatLookLikeLettersOrDigitsAreNotTakenForThem) {
  // 0xB0 0x61 (a double-byte character whose second byte is 'a') must sort
  // as one character, not as "?" followed by a letter.
  const std::string lower = "\xB0\x61", upper = "\xB0\x41";
  EXPECT_TRUE(naturalLess(upper, lower));             // by bytes, not without case
  const std::string digitTrail = "\x81\x39\x81\x30";  // a four-byte character holding "9" and "0" bytes
  EXPECT_FALSE(naturalLess(digitTrail, digitTrail));
  EXPECT_TRUE(naturalLess("1", digitTrail));
}

TEST(NaturalOrder, IsAStrictTotalOrder) {
  const std::vector<std::string> names = {"a", "A", "a1", "a01", "a1b", gb("中"), "", "10", "9", "09"};
  for (const auto& x : names) {
    EXPECT_FALSE(naturalLess(x, x)) << x;
    for (const auto& y : names) {
      if (x != y) {
        EXPECT_NE(naturalLess(x, y), naturalLess(y, x)) << x << " / " << y;
      }
    }
  }
}

}  // namespace
}  // namespace qorin::text

// Dot-names as hidden files and links to folders are this platform's; the
// Windows build checks the hidden attribute in its own tests.
#ifndef _WIN32
namespace qorin::filelist {
namespace {

std::vector<std::string> rowsOf(const FileList& l) {
  std::vector<std::string> out;
  for (int r = 0; r < l.rowCount(); ++r) out.push_back(l[r].oldPath());
  return out;
}

TEST(FolderScan, SubfoldersDepthFirstHiddenLeftOutAndLinksNotFollowed) {
  testing::TempDir t;
  namespace fs = std::filesystem;
  fs::create_directories(t.path() / "b10" / "deep");
  fs::create_directories(t.path() / "b9");
  fs::create_directories(t.path() / ".cache");
  for (const char* f :
       {"z.txt", "a10.txt", "a9.txt", ".bashrc", "b10/x.txt", "b10/deep/y.txt", "b9/w.txt", ".cache/c.txt"})
    t.write(f, "");
  fs::create_directory_symlink(t.path(), t.path() / "b9" / "loop");  // would never end if followed

  const struct {
    const char* what;
    ScanOptions options;
    std::vector<std::string> rows;
  } cases[] = {
      {"top level, hidden too", {false, true}, {".bashrc", "a9.txt", "a10.txt", "z.txt"}},
      {"top level, no hidden", {false, false}, {"a9.txt", "a10.txt", "z.txt"}},
      {"every sub-folder, no hidden",
       {true, false},
       {"a9.txt", "a10.txt", "z.txt", "b9/w.txt", "b10/x.txt", "b10/deep/y.txt"}},
      {"every sub-folder, hidden too",
       {true, true},
       {".bashrc", "a9.txt", "a10.txt", "z.txt", ".cache/c.txt", "b9/w.txt", "b10/x.txt", "b10/deep/y.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FileList list;
    std::string dir = t.dir();
    const ScanResult r = scanDirectory(list, dir, c.options);
    EXPECT_TRUE(r.readable);
    std::vector<std::string> want;
    for (const std::string& f : c.rows) want.push_back(t.dir() + f);
    EXPECT_EQ(rowsOf(list), want);
    EXPECT_EQ(r.added, static_cast<int>(want.size()));
    if (c.options.subfolders) {
      EXPECT_EQ(list[list.rowCount() - 1].dir, t.dir() + "b10/deep/");
    }
  }
  FileList none;
  std::string missing = t.dir() + "missing";
  EXPECT_FALSE(scanDirectory(none, missing).readable);
}

}  // namespace
}  // namespace qorin::filelist
#endif
