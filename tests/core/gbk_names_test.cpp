// SPDX-License-Identifier: GPL-3.0-or-later
// Names stored in the old Chinese code page (GBK bytes, as archives from
// older systems unpack them): listed under their text, renamed from their
// own bytes, converted to UTF-8 on request, and given back byte for byte.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "filelist/add_files.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {
namespace {

using namespace qorin::filelist;
using testing::RenameDir;
namespace stdfs = std::filesystem;

const std::string kGbkSong =
    "\xD6\xDC\xBD\xDC\xC2\xD7 - \xB6\xAB\xB7\xE7\xC6\xC6.mp3";  // 周杰伦 - 东风破.mp3
const std::string kUtf8Song = "周杰伦 - 东风破.mp3";

class GbkNames : public RenameDir {
 protected:
  void rawFile(const std::string& bytes, const std::string& content = "audio") const {
    std::ofstream(root_ / "work" / bytes, std::ios::binary) << content;
  }
  // The work folder's entries, as the bytes the disk holds.
  std::set<std::string> onDisk() const {
    std::set<std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) out.insert(e.path().filename().string());
    return out;
  }
  FileList scanned(ScanResult* result = nullptr, bool subfolders = false) const {
    FileList list;
    std::string dir = dir_;
    const ScanResult r = scanDirectory(list, dir, {subfolders, true, false});
    if (result) *result = r;
    return list;
  }
};

TEST_F(GbkNames, ListedUnderTheirTextAndNamedWhenUnreadable) {
  rawFile(kGbkSong);
  rawFile("plain.mp3");
  rawFile("\xFF\xFE.mp3");                               // neither UTF-8 nor GBK
  stdfs::create_directory(root_ / "work" / "\xB8\xE8");  // a folder named 歌 in GBK
  ScanResult r;
  const FileList list = scanned(&r, true);
  ASSERT_EQ(list.rowCount(), 2);
  EXPECT_EQ(r.unconvertible, 1);
  ASSERT_EQ(r.unreadableFolders.size(), 1u);
  EXPECT_EQ(r.unreadableFolders[0], dir_ + "\\xB8\\xE8");
  const int song = list.oldName(0) == "plain.mp3" ? 1 : 0;
  EXPECT_EQ(list.oldName(song), text::gb(kUtf8Song));
  EXPECT_TRUE(list[song].gbkName);
  EXPECT_FALSE(list[1 - song].gbkName);
  EXPECT_EQ(list[song].diskPath(), dir_ + platform::gbkName(text::gb(kUtf8Song)));
}

// A rename, and the conversion, each undone: the file gets its very bytes back.
TEST_F(GbkNames, RenamedAndConvertedFromTheirBytesAndUndoneToThem) {
  struct Case {
    const char* what;
    PassKind kind;
    std::string proposal;  // for the GBK row
    std::string after;     // its name on disk then
    Status status;
  };
  const Case cases[] = {
      {"numbering", PassKind::Rename, "01.mp3", "01.mp3", Status::Renamed},
      {"same text", PassKind::Rename, text::gb(kUtf8Song), kGbkSong, Status::Renamed},
      {"conversion", PassKind::NamesToUtf8, "01.mp3", kUtf8Song, Status::NameConverted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rawFile(kGbkSong, "song");
    rawFile("b.mp3", "other");
    FileList list = scanned();
    ASSERT_EQ(list.rowCount(), 2);
    const int song = list.gbkName(0) ? 0 : 1;
    list.setNewName(song, c.proposal);
    list.setNewName(1 - song, "b2.mp3");
    const PassOutcome p = renamePass(list, journal_, {}, {}, nullptr, c.kind);
    EXPECT_EQ(p.succeeded, c.kind == PassKind::Rename ? 2 : 1);
    const std::string otherNow = c.kind == PassKind::Rename ? "b2.mp3" : "b.mp3";
    EXPECT_EQ(onDisk(), (std::set<std::string>{c.after, otherNow}));
    EXPECT_EQ(list[song].statusCode, c.status);
    EXPECT_EQ(list[song].gbkName, c.after == kGbkSong);
    if (c.kind == PassKind::NamesToUtf8) {
      EXPECT_EQ(list[1 - song].statusCode, Status::None);
    }
    if (c.after != kGbkSong) {
      const RecordOutcome u = undoLastPass(journal_);
      EXPECT_EQ(u.restored, c.kind == PassKind::Rename ? 2 : 1);
      EXPECT_EQ(onDisk(), (std::set<std::string>{kGbkSong, "b.mp3"}));
      showUndoInList(list, u);
      EXPECT_TRUE(list[song].gbkName);
      EXPECT_EQ(list.oldName(song), text::gb(kUtf8Song));
    }
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) stdfs::remove(e.path());
    stdfs::remove_all(root_ / "state");
  }
}

// A file of the same text in UTF-8 beside it is another file: the
// conversion never replaces it.
TEST_F(GbkNames, ConversionNeverReplacesTheUtf8Namesake) {
  rawFile(kGbkSong, "gbk");
  rawFile(kUtf8Song, "utf8");
  FileList list = scanned();
  ASSERT_EQ(list.rowCount(), 2);
  const PassOutcome p = renamePass(list, journal_, {}, {}, nullptr, PassKind::NamesToUtf8);
  EXPECT_EQ(p.total, 1);
  EXPECT_EQ(p.succeeded, 0);
  EXPECT_EQ(onDisk(), (std::set<std::string>{kGbkSong, kUtf8Song}));
  const int song = list.gbkName(0) ? 0 : 1;
  EXPECT_EQ(list[song].statusReason, Reason::TargetExists);
}

}  // namespace
}  // namespace qorin::rename
#endif
