// SPDX-License-Identifier: GPL-3.0-or-later
// Names stored in the old Chinese code page (GBK bytes, as archives from
// older systems unpack them): listed under their text, renamed from their
// own bytes, converted to UTF-8 on request, and given back byte for byte.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "filelist/add_files.h"
#include "outcome_codes.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"
#include "session/messages.h"

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
  rawFile("\xFF\xFE.mp3");                               // neither UTF-8 nor GBK: kept as bytes
  stdfs::create_directory(root_ / "work" / "\xB8\xE8");  // a folder named 歌 in GBK
  ScanResult r;
  const FileList list = scanned(&r, true);
  ASSERT_EQ(list.rowCount(), 3);
  EXPECT_EQ(r.unconvertible, 0);
  ASSERT_EQ(r.unreadableFolders.size(), 1u);
  EXPECT_EQ(r.unreadableFolders[0], dir_ + "\\xB8\\xE8");
  int song = -1;
  for (int i = 0; i < 3; ++i)
    if (list[i].gbkName) song = i;
  ASSERT_GE(song, 0);
  EXPECT_EQ(list.oldName(song), text::gb(kUtf8Song));
  EXPECT_EQ(list[song].diskPath(), dir_ + platform::gbkName(text::gb(kUtf8Song)));
}

// Names that are not UTF-8 and not GBK for sure: listed as their bytes,
// shown escaped, never guessed at.
TEST_F(GbkNames, NamesOfUnknownEncodingKeepTheirBytes) {
  struct Case {
    std::string bytes;
    bool gbk, raw;
    std::string shown;
  };
  const Case cases[] = {
      {kGbkSong, true, false, ""},
      {"l1\xE9\xE9.txt", false, true, "l1\\xE9\\xE9.txt"},  // ISO-8859-1, once taken for 殚
      {"\xA9\x50\xAA\x4E\xAD\xDB.mp3", false, true, "\\xA9P\\xAAN\\xAD\\xDB.mp3"},  // 周杰倫 in Big5
      {"\xFF\xFE.mp3", false, true, "\\xFF\\xFE.mp3"},
  };
  for (const Case& c : cases) {
    rawFile(c.bytes);
    const FileList list = scanned();
    ASSERT_EQ(list.rowCount(), 1) << c.bytes;
    EXPECT_EQ(list[0].gbkName, c.gbk) << c.bytes;
    EXPECT_EQ(list[0].rawName, c.raw) << c.bytes;
    if (c.raw) {
      EXPECT_EQ(list.oldName(0), c.bytes);
      EXPECT_EQ(platform::escapedBytes(list.oldName(0)), c.shown);
      EXPECT_EQ(platform::shownPath(list[0].diskPath()), dir_ + c.shown);
    }
    stdfs::remove(root_ / "work" / c.bytes);
  }
}

// Only a proposal that keeps the undecodable bytes whole, or has none of
// them, renames the file; the conversion to UTF-8 refuses it. Undone, the
// file has its bytes back.
TEST_F(GbkNames, UnknownEncodingRenamedOnlyKeepingItsBytes) {
  const std::string latin = "l1\xE9\xE9.txt";
  struct Case {
    const char* what;
    PassKind kind;
    std::string proposal;
    std::string after;  // "" when it stays
  };
  const Case cases[] = {
      {"own name", PassKind::Rename, "01.txt", "01.txt"},
      {"bytes kept", PassKind::Rename, "x-" + latin, "x-" + latin},
      {"bytes cut", PassKind::Rename, "l1\xE9.txt", ""},
      {"bytes and new text", PassKind::Rename, text::gb("歌") + latin, ""},
      {"conversion", PassKind::NamesToUtf8, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rawFile(latin, "song");
    FileList list = scanned();
    ASSERT_EQ(list.rowCount(), 1);
    list.setNewName(0, c.proposal);
    const bool refused = c.after.empty();
    EXPECT_EQ(list.proposalFailure(0),
              refused && c.kind == PassKind::Rename ? codes::NameEncodingUnknown : Outcome{});
    const PassOutcome p = renamePass(list, journal_, {}, {}, nullptr, c.kind);
    EXPECT_EQ(p.total, 1);
    EXPECT_EQ(p.succeeded, refused ? 0 : 1);
    EXPECT_EQ(onDisk(), (std::set<std::string>{refused ? latin : c.after}));
    if (refused) {
      EXPECT_EQ(list[0].statusReason, codes::NameEncodingUnknown);
    } else {
      EXPECT_EQ(list[0].rawName, c.after != "01.txt");
      const RecordOutcome u = undoLastPass(journal_);
      EXPECT_EQ(u.restored, 1);
      EXPECT_EQ(onDisk(), (std::set<std::string>{latin}));
      showUndoInList(list, u);
      EXPECT_TRUE(list[0].rawName);
      EXPECT_EQ(list.oldName(0), latin);
    }
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) stdfs::remove(e.path());
    stdfs::remove_all(root_ / "state");
  }
  EXPECT_EQ(session::reasonText(codes::NameEncodingUnknown, 0), text::gb("文件名编码无法确定"));
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
      {"same text", PassKind::Rename, text::gb(kUtf8Song), kGbkSong, Status::Unchanged},
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
  EXPECT_EQ(list[song].statusReason, codes::TargetExists);
}

}  // namespace
}  // namespace qorin::rename
#endif
