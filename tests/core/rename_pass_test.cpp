#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "platform/fs.h"
#include "rename/rename_pass.h"
#include "text/gbtext.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

namespace stdfs = std::filesystem;
using text::gb;

// A temporary directory holding a "work" folder for the listed files, so a
// name that escapes it shows up in the root.
class RenameDir : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() / ("qorin-rename-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(stdfs::create_directory(root_));
    stdfs::create_directory(root_ / "work");
    dir_ = *text::utf8ToGb((root_ / "work").string() + "/");
  }
  void TearDown() override { stdfs::remove_all(root_); }

  stdfs::path native(const std::string& gbName) const { return root_ / "work" / *text::gbToUtf8(gbName); }

  void write(const std::string& gbName, const std::string& content) {
    std::ofstream(native(gbName), std::ios::binary) << content;
  }

  std::string content(const std::string& gbName) const {
    std::ifstream in(native(gbName), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // name -> content of every file in the work folder.
  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) {
      const std::string name = *text::utf8ToGb(e.path().filename().string());
      out[name] = content(name);
    }
    return out;
  }

  std::set<std::string> rootEntries() const {
    std::set<std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_)) out.insert(e.path().filename().string());
    return out;
  }

  // One file per name, its content the name itself, listed in order.
  FileList listOf(const std::vector<std::string>& names) {
    FileList list;
    for (const auto& n : names) {
      write(n, "content of " + n);
      list.addName(n);
    }
    list.fillRows(kFillAppend | kFillDirectory, 0, list.fileCount() - 1, dir_);
    return list;
  }

  static void propose(FileList& list, const std::vector<std::string>& newNames) {
    for (int r = 0; r < list.fileCount(); ++r) list.setNewName(r, newNames[static_cast<std::size_t>(r)]);
  }

  stdfs::path root_;
  std::string dir_;
};

TEST_F(RenameDir, AllSucceedAndRecordTheirOldNames) {
  FileList list = listOf({"a.txt", "b.txt", gb("歌曲.mp3")});
  propose(list, {"1.txt", "2.txt", gb("新歌.mp3")});
  EXPECT_EQ(renamePass(list), 3);
  const std::map<std::string, std::string> want = {{"1.txt", "content of a.txt"},
                                                   {"2.txt", "content of b.txt"},
                                                   {gb("新歌.mp3"), "content of " + gb("歌曲.mp3")}};
  EXPECT_EQ(files(), want);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list[r].oldName, list[r].newName);
    EXPECT_EQ(list[r].status, gb("更名成功"));
    EXPECT_EQ(list[r].icon, StatusIcon::Success);
    EXPECT_EQ(list[r].newNameCell, "");  // left as the preview had it
  }
  EXPECT_EQ(list[2].undoName, gb("歌曲.mp3"));

  EXPECT_EQ(undoLastPass(list), 3);
  EXPECT_EQ(files().count("a.txt") + files().count("b.txt") + files().count(gb("歌曲.mp3")), 3u);
  EXPECT_EQ(list[0].oldName, "a.txt");
  EXPECT_EQ(list[0].status, gb("撤消成功"));
  EXPECT_EQ(list[0].newName, "1.txt");  // proposals stay
}

TEST_F(RenameDir, SameTargetTwiceFirstWins) {
  FileList list = listOf({"a", "b"});
  propose(list, {"x", "x"});
  EXPECT_EQ(renamePass(list), 1);
  const std::map<std::string, std::string> want = {{"x", "content of a"}, {"b", "content of b"}};
  EXPECT_EQ(files(), want);
  EXPECT_EQ(list[1].oldName, "b");
  EXPECT_EQ(list[1].status, gb("更名失败"));
  EXPECT_EQ(list[1].icon, StatusIcon::Failure);
  EXPECT_EQ(list[1].newNameCell, "x");
  EXPECT_EQ(list[1].undoName, "");
}

TEST_F(RenameDir, UnchangedNameSucceedsInPlace) {
  FileList list = listOf({"same.txt"});
  propose(list, {"same.txt"});
  EXPECT_EQ(renamePass(list), 1);
  EXPECT_EQ(files(), (std::map<std::string, std::string>{{"same.txt", "content of same.txt"}}));
  EXPECT_EQ(list[0].undoName, "same.txt");
}

// Names that would leave the folder, cut at a NUL or name no file fail
// without any file being touched.
TEST_F(RenameDir, InapplicableNamesFailWithoutTouchingFiles) {
  const std::vector<std::string> bad = {
      "",     ".",          "..",  "../x", "3/12", "sub/", std::string("a\0b", 3),
      "/abs", "..\xA1\xF6", "\x81"};  // the last: a lead byte alone, not convertible
  std::vector<std::string> names;
  for (std::size_t i = 0; i < bad.size(); ++i) names.push_back("f" + std::to_string(i));
  FileList list = listOf(names);
  propose(list, bad);
  const auto before = files();
  EXPECT_EQ(renamePass(list), 1);  // "..■" is an ordinary name
  EXPECT_EQ(rootEntries(), std::set<std::string>{"work"});
  EXPECT_EQ(files().size(), before.size());
  for (int r = 0; r < list.fileCount(); ++r) {
    if (r == 8) continue;
    EXPECT_EQ(list[r].oldName, names[static_cast<std::size_t>(r)]) << r;
    EXPECT_EQ(list[r].icon, StatusIcon::Failure) << r;
    EXPECT_EQ(list[r].newNameCell, bad[static_cast<std::size_t>(r)]) << r;
  }
  EXPECT_EQ(content("a"), "");  // the NUL name did not become "a"
  EXPECT_FALSE(stdfs::exists(native("a")));
}

TEST(RenameNames, ApplicableNames) {
  const struct {
    std::string name;
    bool posix, windows;
  } cases[] = {
      {"song.mp3", true, true},
      {".hidden", true, true},
      {"...", true, true},
      {"", false, false},
      {".", false, false},
      {"..", false, false},
      {"a/b", false, false},
      {"a\\b", true, false},
      {std::string("x\0", 2), false, false},
      {"\x81\x5C", true, true},     // a double-byte character ending in 0x5C
      {"\x81\x5C\\", true, false},  // ... followed by a real backslash
      {"\x95\x32\x82\x36/", false, false},
      {gb("音乐"), true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isApplicableName(c.name, false), c.posix) << c.name;
    EXPECT_EQ(isApplicableName(c.name, true), c.windows) << c.name;
  }
}

TEST_F(RenameDir, ChainGoesAsTheFileSystemAllows) {
  // a -> b meets the existing b; b -> c then frees b too late for a.
  FileList list = listOf({"a", "b"});
  propose(list, {"b", "c"});
  EXPECT_EQ(renamePass(list), 1);
  const std::map<std::string, std::string> want = {{"a", "content of a"}, {"c", "content of b"}};
  EXPECT_EQ(files(), want);
  EXPECT_EQ(list[0].oldName, "a");
  EXPECT_EQ(list[1].oldName, "c");

  // The reverse order succeeds in full.
  FileList list2 = listOf({"q", "p"});
  propose(list2, {"r", "q"});
  EXPECT_EQ(renamePass(list2), 2);
  EXPECT_EQ(content("r"), "content of q");
  EXPECT_EQ(content("q"), "content of p");
  EXPECT_EQ(undoLastPass(list2), 1);  // q is taken again by the time r goes back
  EXPECT_EQ(content("r"), "content of q");
  EXPECT_EQ(content("p"), "content of p");
}

TEST_F(RenameDir, SecondSmallerPassRewritesTheRecordOfItsEntries) {
  std::vector<std::string> names, first, second;
  for (int i = 0; i < 60; ++i) {
    names.push_back("n" + std::to_string(i));
    first.push_back("p" + std::to_string(i));
  }
  FileList list = listOf(names);
  propose(list, first);
  EXPECT_EQ(renamePass(list), 60);
  EXPECT_EQ(list[59].undoName, "n59");

  std::vector<int> lastThirty;
  for (int r = 30; r < 60; ++r) lastThirty.push_back(r);
  list.removeRows(lastThirty);
  for (int i = 0; i < 30; ++i)
    second.push_back(i % 2 ? "q" + std::to_string(i) : "p" + std::to_string(i + 1));
  propose(list, second);  // the even ones collide with an earlier entry's name
  EXPECT_EQ(renamePass(list), 15);
  EXPECT_EQ(list[1].undoName, "p1");
  EXPECT_EQ(list[0].undoName, "");

  EXPECT_EQ(undoLastPass(list), 15);
  for (int r = 0; r < 30; ++r) EXPECT_EQ(list[r].oldName, "p" + std::to_string(r)) << r;
  EXPECT_EQ(files().size(), 60u);
}

TEST_F(RenameDir, UndoRecordFollowsRemovedAndAddedEntries) {
  FileList list = listOf({"a", "b", "c", "d"});
  propose(list, {"A1", "B1", "C1", "D1"});
  ASSERT_EQ(renamePass(list), 4);
  list.removeRows({0, 2});  // not contiguous
  write("e", "content of e");
  list.addName("e");
  list.fillRows(kFillAppend | kFillDirectory, 2, 2, dir_);
  ASSERT_EQ(list.fileCount(), 3);
  EXPECT_EQ(list[2].undoName, "");

  EXPECT_EQ(undoLastPass(list), 2);
  const std::map<std::string, std::string> want = {{"A1", "content of a"},
                                                   {"b", "content of b"},
                                                   {"C1", "content of c"},
                                                   {"d", "content of d"},
                                                   {"e", "content of e"}};
  EXPECT_EQ(files(), want);
  EXPECT_EQ(list[2].status, gb("撤消失败"));
  EXPECT_EQ(list[2].icon, StatusIcon::Failure);
}

TEST_F(RenameDir, UndoFailsWhereAnotherFileTookTheOldName) {
  FileList list = listOf({"a", "b"});
  propose(list, {"x", "y"});
  ASSERT_EQ(renamePass(list), 2);
  write("a", "intruder");
  EXPECT_EQ(undoLastPass(list), 1);
  EXPECT_EQ(content("a"), "intruder");
  EXPECT_EQ(content("x"), "content of a");
  EXPECT_EQ(list[0].oldName, "x");
  EXPECT_EQ(list[0].status, gb("撤消失败"));
  EXPECT_EQ(list[1].oldName, "b");
}

TEST_F(RenameDir, MissingFileAndEntryWithoutRowFail) {
  FileList list = listOf({"gone", "kept"});
  stdfs::remove(native("gone"));
  list.addName("nofolder");  // no row yet, so no directory either
  propose(list, {"g2", "k2", "n2"});
  EXPECT_EQ(renamePass(list), 1);
  EXPECT_EQ(list[0].icon, StatusIcon::Failure);
  EXPECT_EQ(list[2].icon, StatusIcon::None);
}

struct Recorder : FileListObserver {
  void beginAppendRows(int, int) override {}
  void endAppendRows() override {}
  void beginRemoveRows(int, int) override {}
  void endRemoveRows() override {}
  void beginReset() override { ++resets; }
  void endReset() override {}
  void cellsChanged(int first, int last, unsigned bits) override {
    EXPECT_EQ(first, last);
    rows.insert(first);
    allBits |= bits;
  }
  int resets = 0;
  std::set<int> rows;
  unsigned allBits = 0;
};

TEST_F(RenameDir, RowsAreReportedOneByOneWithProgress) {
  FileList list = listOf({"a", "b", "c", "d", "e", "f", "g"});
  propose(list, {"a1", "b1", "c1", "c1", "e1", "f1", "g1"});
  Recorder rec;
  list.setObserver(&rec);
  std::vector<std::size_t> bars;
  EXPECT_EQ(renamePass(list, [&](std::string_view bar) { bars.push_back(bar.size() / 2); }), 6);
  EXPECT_EQ(bars, (std::vector<std::size_t>{2, 5, 8, 11, 14, 17, 20}));
  EXPECT_EQ(rec.resets, 0);
  EXPECT_EQ(rec.rows.size(), 7u);
  EXPECT_EQ(rec.allBits, columnBit(kColOld) | columnBit(kColNew) | columnBit(kColStatus));
  list.setObserver(nullptr);
}

TEST(RenameProgress, MarksGrowInWholeTwentieths) {
  const struct {
    int n;
    std::vector<int> marks;
  } cases[] = {
      {1, {20}},
      {3, {6, 13, 20}},
      {7, {2, 5, 8, 11, 14, 17, 20}},
      {15, {1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20}},
  };
  for (const auto& c : cases) {
    std::vector<int> got;
    for (int i = 1; i <= c.n; ++i) got.push_back(progressMarks(i, c.n));
    EXPECT_EQ(got, c.marks) << c.n;
  }
  EXPECT_EQ(progressMarks(0, 0), 0);
  int calls = 0, last = 0;
  for (int i = 1; i <= 40000; ++i) {
    const int m = progressMarks(i, 40000);
    calls += m > last;
    last = m;
  }
  EXPECT_EQ(calls, 20);
  EXPECT_EQ(progressBar(3), gb("■■■"));
  EXPECT_EQ(progressBar(0), "");
}

TEST(RenameSummaries, Texts) {
  EXPECT_EQ(renameSummary(10, 10).text, gb("文件更名完毕！"));
  EXPECT_TRUE(renameSummary(10, 10).allSucceeded);
  const Summary s = renameSummary(10, 7);
  EXPECT_FALSE(s.allSucceeded);
  EXPECT_EQ(s.text, gb("文件总数：10 个文件\r\n\r\n7 个文件更名成功！\r\n3 个文件更名失败！"));
  EXPECT_EQ(undoSummary(4, 4).text, gb("上一次的操作已经成功撤消！"));
  EXPECT_EQ(undoSummary(10, 8).text,
            gb("文件总数：10 个文件\r\n\r\n8 个文件撤消成功！\r\n2 个文件撤消失败！"));
  EXPECT_TRUE(renameSummary(0, 0).allSucceeded);
}

}  // namespace
}  // namespace qorin::rename
