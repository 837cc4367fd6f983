// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <numeric>
#include <random>

#include "filelist/add_files.h"
#include "filelist/file_list.h"
#include "outcome_codes.h"
#include "platform/fs.h"
#include "temp_dir.h"
#include "text/gbtext.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qorin::filelist {
namespace {

// Records what the view is told.
struct Recorder : FileListObserver {
  std::vector<std::string> events;
  void beginAppendRows(int f, int l) override {
    events.push_back("append " + std::to_string(f) + "-" + std::to_string(l));
  }
  void endAppendRows() override {}
  void beginRemoveRows(int f, int l) override {
    events.push_back("remove " + std::to_string(f) + "-" + std::to_string(l));
  }
  void endRemoveRows() override {}
  void beginReset() override { events.push_back("reset"); }
  void endReset() override {}
  void cellsChanged(int f, int l, unsigned bits) override {
    events.push_back("cells " + std::to_string(f) + "-" + std::to_string(l) + " " + std::to_string(bits));
  }
};

FileList listOf(int n, const std::string& dir = "/d/") {
  FileList list;
  for (int i = 0; i < n; ++i) list.addName("f" + std::to_string(i + 1));
  list.fillRows(kFillAppend | kFillDirectory, 0, n - 1, dir);
  return list;
}

void propose(FileList& list, int n) {
  for (int i = 0; i < n; ++i) list.setNewName(i, "new" + std::to_string(i + 1));
  list.fillRows(kFillNewNames, 0, n - 1, {});
}

TEST(FillRows, AppendsRowsWithTheirDirectory) {
  FileList list = listOf(3, "/music/");
  Recorder rec;
  list.setObserver(&rec);
  list.addName("g");
  list.fillRows(kFillAppend | kFillDirectory, 3, 3, "/other/");
  EXPECT_EQ(list.rowCount(), 4);
  EXPECT_EQ(list[0].dir, "/music/");
  EXPECT_EQ(list[3].dir, "/other/");
  EXPECT_EQ(list[3].oldName, "g");
  EXPECT_EQ(rec.events, std::vector<std::string>{"append 3-3"});
}

TEST(FillRows, ClearsStaleProposalsBelowTheRange) {
  FileList list = listOf(30);
  propose(list, 30);
  list.fillRows(kFillNewNames, 0, 9, {});
  for (int r = 0; r < 30; ++r) EXPECT_EQ(list[r].newNameCell.empty(), r >= 10) << r;
  // The proposals themselves stay; only the cells are cleared.
  EXPECT_EQ(list[20].newName, "new21");
  // A count of 0 empties every cell.
  propose(list, 30);
  list.fillRows(kFillNewNames, 0, -1, {});
  for (int r = 0; r < 30; ++r) EXPECT_TRUE(list[r].newNameCell.empty());
}

TEST(FillRows, ClearsStatusesOnlyWhenRowZeroHasOne) {
  FileList list = listOf(3);
  list.setStatus(1, Status::RenameFailed);
  list.fillRows(kFillNewNames, 0, 2, {});
  EXPECT_EQ(list[1].statusCode, Status::RenameFailed);  // row 0 had none: one look decides
  list.setStatus(0, Status::Renamed);
  list.fillRows(kFillNewNames, 0, 0, {});
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list[r].statusCode, Status::None);
    EXPECT_EQ(list[r].icon, StatusIcon::None);
  }
}

TEST(RemoveRows, KeepsEveryColumnInStep) {
  FileList list = listOf(5);
  propose(list, 5);
  for (int r = 0; r < 5; ++r) {
    list.setDirectory(r, "/d" + std::to_string(r + 1) + "/");
    list.setMp3Status(r, r % 2 ? Mp3Status::NoTag : Mp3Status::NotMp3);
  }
  list.setMarks(std::vector<Mark>{{}, {}, {codes::SameAsEarlier, 1}, {}, {codes::TargetExists, 0}});
  Recorder rec;
  list.setObserver(&rec);
  list.removeRows({1, 3});
  ASSERT_EQ(list.fileCount(), 3);
  ASSERT_EQ(list.rowCount(), 3);
  const char* expect[] = {"1", "3", "5"};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list[r].oldName, std::string("f") + expect[r]);
    EXPECT_EQ(list[r].newNameCell, std::string("new") + expect[r]);
    EXPECT_EQ(list[r].dir, std::string("/d") + expect[r] + "/");
    EXPECT_EQ(list[r].mp3Code, Mp3Status::NotMp3);  // rows 1, 3 and 5
  }
  EXPECT_EQ(list[1].mark, codes::SameAsEarlier);
  EXPECT_EQ(list[1].markDetail, 1);
  EXPECT_EQ(list[2].mark, codes::TargetExists);
  EXPECT_EQ(rec.events, std::vector<std::string>{"reset"});
  rec.events.clear();
  list.removeRows({1, 2});
  EXPECT_EQ(rec.events, std::vector<std::string>{"remove 1-2"});
  EXPECT_EQ(list[0].oldName, "f1");
}

TEST(RemoveRows, HandlesAHundredThousandEntries) {
  FileList list = listOf(100000);
  std::vector<int> odd;
  for (int r = 1; r < 100000; r += 2) odd.push_back(r);
  list.removeRows(odd);
  ASSERT_EQ(list.fileCount(), 50000);
  EXPECT_EQ(list[49999].oldName, "f99999");
  list.clear();
  EXPECT_EQ(list.rowCount(), 0);
}

TEST(ScanDirectory, FilesOnlyInNameOrder) {
#ifdef _WIN32
  GTEST_SKIP() << "A.txt and a.TXT are one name on Windows; windows_fs_test lists there";
#endif
  testing::TempDir t;
  for (const char* n : {"b.txt", "A.txt", ".hidden", "a;b c.mp3", "\xE9\x9F\xB3\xE4\xB9\x90.mp3",
                        "\xF0\xA0\x80\x80.txt", "a.TXT"})
    t.write(n, "x");
  std::filesystem::create_directory(t.path() / "sub");
  std::filesystem::create_directory(t.path() / "sub2");
  t.write("sub/inner.txt", "x");
  FileList list;
  std::string dir = t.path().string();  // no trailing separator
  const ScanResult r = scanDirectory(list, dir);
  EXPECT_EQ(dir, t.dir());
  EXPECT_EQ(r.added, 7);
  EXPECT_EQ(r.unconvertible, 0);
  std::vector<std::string> names;
  for (const auto& e : list.entries()) names.emplace_back(e.oldName);
  const std::vector<std::string> want = {
      ".hidden", "A.txt", "a.TXT", "a;b c.mp3", "b.txt", "\x95\x32\x82\x36.txt", text::gb("音乐.mp3")};
  EXPECT_EQ(names, want);
}

TEST(ScanDirectory, KeepsNamesThatDoNotConvertAsTheirBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "names that are not UTF-8 exist on POSIX file systems only";
#endif
  testing::TempDir t;
  t.write("ok.txt", "x");
  t.write("bad\xFF.txt", "x");  // not UTF-8: no faithful code-page form, kept as bytes
  FileList list;
  std::string dir = t.dir();
  const ScanResult r = scanDirectory(list, dir);
  EXPECT_EQ(r.added, 2);
  EXPECT_EQ(r.unconvertible, 0);
  std::string missing = t.dir() + "nope";
  EXPECT_EQ(scanDirectory(list, missing).added, 0);
}

#ifndef _WIN32
// A killed tag write's temporary is swept as its folder is added, and not
// listed; a folder without one is listed once.
TEST(ScanDirectory, SweepsTheTemporariesOfAKilledWrite) {
  testing::TempDir t;
  const std::string stale = ".qorin-new-" + std::to_string(::getpid()) + "-00000000000000aa.tmp";
  t.write(stale, "x");
  std::filesystem::last_write_time(t.path() / stale,
                                   std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5));
  t.write("song.mp3", "x");
  FileList list;
  std::string dir = t.dir();
  EXPECT_EQ(scanDirectory(list, dir).added, 1);
  EXPECT_EQ(list[0].oldName, "song.mp3");
  EXPECT_FALSE(std::filesystem::exists(t.path() / stale));
}
#endif

TEST(DirMemory, CreatedEmptyThenRemembers) {
  testing::TempDir t;
  const std::string file = t.dir() + "dir.txt";
  EXPECT_EQ(readRememberedDirectory(file), "");
  EXPECT_TRUE(std::filesystem::exists(t.path() / "dir.txt"));
  rememberDirectory(file, "/music/");
  EXPECT_EQ(t.read("dir.txt"), "/music/\r\n");
  EXPECT_EQ(readRememberedDirectory(file), "/music/");
}

TEST(ListMarks, OnlyRowsThatChangeAreAnnounced) {
  FileList list = listOf(6);
  Recorder rec;
  list.setObserver(&rec);
  list.setMarks(std::vector<Mark>{{}, {codes::EmptyName, 0}, {}, {codes::SameAsEarlier, 2}});
  EXPECT_EQ(list[1].mark, codes::EmptyName);
  EXPECT_EQ(list[3].markDetail, 2);
  list.setMarks(std::vector<Mark>{{}, {codes::EmptyName, 0}, {}, {codes::SameAsEarlier, 2}});
  // Fewer marks than rows: the rows after them lose theirs.
  list.setMarks(std::vector<Mark>{{}, {codes::EmptyName, 0}});
  EXPECT_EQ(list[3].mark, Outcome{});
  const unsigned bit = columnBit(kColNew);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"cells 1-3 " + std::to_string(bit),
                                                  "cells 3-3 " + std::to_string(bit)}));
}

TEST(ListMarks, StatusReasonsAreClearedWithTheStatuses) {
  FileList list = listOf(3);
  list.setStatus(0, Status::RenameFailed, codes::TargetExists, 0);
  list.setStatus(2, Status::UndoFailed, codes::SystemError, 13);
  list.fillRows(kFillNewNames, 0, 2, {});
  for (int r = 0; r < 3; ++r) EXPECT_EQ(list[r].statusReason, Outcome{}) << r;
}

TEST(ListMarks, AnyNewProposalClearsTheRulesProblem) {
  FileList list = listOf(2);
  list.setNewName(0, "stale.mp3");
  list.setProposalProblem(0, codes::Unreadable);
  EXPECT_EQ(list[0].newName, "");
  EXPECT_EQ(list[0].proposalProblem, codes::Unreadable);
  list.setNewName(0, "fresh");
  EXPECT_EQ(list[0].proposalProblem, Outcome{});
  list.setProposalProblem(1, codes::Unreadable);
  list.setNewName(1, "again");
  EXPECT_EQ(list[1].proposalProblem, Outcome{});
}

// Texts across the inline limit and back, in place and from themselves.
TEST(CompactText, KeepsEveryLengthAcrossTheInlineLimit) {
  const std::string long100(100, 'x');
  for (std::size_t from : {0, 1, 15, 16, 17, 31, 32, 100})
    for (std::size_t to : {0, 1, 15, 16, 17, 31, 32, 100}) {
      const std::string a(from, 'a'), b = std::string(to, 'b');
      CompactText t(a);
      ASSERT_EQ(t.view(), a);
      t.assign(b);
      EXPECT_EQ(t.view(), b) << from << "->" << to;
      // A part of itself, as a rule's cleanup hands back.
      const std::string_view tail = t.view().substr(t.size() / 2);
      const std::string expected(tail);
      t.assign(tail);
      EXPECT_EQ(t.view(), expected) << from << "->" << to;
      CompactText copy(t), moved(std::move(t));
      EXPECT_EQ(copy.view(), expected);
      EXPECT_EQ(moved.view(), expected);
      EXPECT_TRUE(t.empty());  // NOLINT(bugprone-use-after-move): a moved-from text is empty
      t = moved;
      EXPECT_EQ(t.view(), expected);
    }
}

// Which cells of column 新文件名 show their proposals, against a plain flag
// per row, over random previews, single rows shown after a pass, removals,
// reorders and appends.
TEST(FillRows, ShownProposalsFollowAFlagPerRow) {
  std::mt19937 rng(17);
  for (int trial = 0; trial < 200; ++trial) {
    int n = 1 + static_cast<int>(rng() % 40);
    FileList list = listOf(n);
    propose(list, n);
    std::vector<bool> shown(static_cast<std::size_t>(n), true);  // propose() previews every row
    std::string done;                                            // the steps so far, for a failure's message
    auto pick = [&](int bound) {
      return bound <= 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(bound));
    };
    for (int step = 0; step < 30; ++step) {
      const int rows = list.rowCount();
      switch (rng() % 6) {
        case 0:
        case 1: {  // a preview of rows first..last
          const int first = pick(rows), last = first - 1 + pick(rows - first + 1);
          list.fillRows(kFillNewNames, first, last, {});
          done += " fill" + std::to_string(first) + "-" + std::to_string(last);
          for (int r = first; r <= last; ++r) shown[static_cast<std::size_t>(r)] = true;
          for (int r = last + 1; r < rows && shown[static_cast<std::size_t>(r)]; ++r)
            shown[static_cast<std::size_t>(r)] = false;
          break;
        }
        case 2:  // a failed row after a pass
          if (rows > 0) {
            const int r = pick(rows);
            list.showProposal(r);
            done += " show" + std::to_string(r);
            shown[static_cast<std::size_t>(r)] = true;
          }
          break;
        case 3: {  // delete some rows
          std::vector<int> gone;
          for (int r = 0; r < rows; ++r)
            if (rng() % 4 == 0) gone.push_back(r);
          list.removeRows(gone);
          done += " remove";
          for (int g : gone) done += "," + std::to_string(g);
          for (auto it = gone.rbegin(); it != gone.rend(); ++it) shown.erase(shown.begin() + *it);
          break;
        }
        case 4: {  // sort
          std::vector<int> order(static_cast<std::size_t>(rows));
          std::iota(order.begin(), order.end(), 0);
          std::shuffle(order.begin(), order.end(), rng);
          list.reorder(order);
          done += " sort";
          std::vector<bool> moved;
          for (int from : order) moved.push_back(shown[static_cast<std::size_t>(from)]);
          shown = moved;
          break;
        }
        default: {  // add more files
          const int more = 1 + pick(5);
          for (int i = 0; i < more; ++i) list.addName("late" + std::to_string(i));
          list.fillRows(kFillAppend | kFillDirectory, rows, rows + more - 1, "/d/");
          done += " add" + std::to_string(more);
          for (int i = 0; i < more; ++i) {
            list.setNewName(rows + i, "new-late" + std::to_string(i));
            shown.push_back(false);
          }
          break;
        }
      }
      ASSERT_EQ(list.rowCount(), static_cast<int>(shown.size()));
      for (int r = 0; r < list.rowCount(); ++r)
        ASSERT_EQ(!list[r].newNameCell.empty(), shown[static_cast<std::size_t>(r)])
            << "trial " << trial << ", rows " << n << ":" << done << "; row " << r;
    }
  }
}

}  // namespace
}  // namespace qorin::filelist
