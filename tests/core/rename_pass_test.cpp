// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "rename/journal.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
using testing::RenameDir;
namespace stdfs = std::filesystem;
using text::gb;

class RenamePass : public RenameDir {
 protected:
  PassOutcome pass(FileList& list, const ProgressFn& progress = {}) {
    return renamePass(list, journal_, progress);
  }
  RecordOutcome undo(FileList& list) {
    RecordOutcome o = undoLastPass(journal_);
    showUndoInList(list, o);
    return o;
  }
};

TEST_F(RenamePass, AllSucceedAndComeBack) {
  FileList list = listOf({"a.txt", "b.txt", gb("歌曲.mp3")});
  propose(list, {"1.txt", "2.txt", gb("新歌.mp3")});
  const PassOutcome p = pass(list);
  EXPECT_EQ(p.status, PassOutcome::Status::Done);
  EXPECT_EQ(p.succeeded, 3);
  EXPECT_EQ(p.renamed, 3);
  EXPECT_EQ(files(), (Files{{"1.txt", "content of a.txt"},
                            {"2.txt", "content of b.txt"},
                            {gb("新歌.mp3"), "content of " + gb("歌曲.mp3")}}));
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list[r].oldName, list[r].newName);
    EXPECT_EQ(list[r].statusCode, filelist::Status::Renamed);
    EXPECT_EQ(list[r].icon, StatusIcon::Success);
    EXPECT_EQ(list[r].newNameCell, "");  // left as the preview had it
  }
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);

  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.status, RecordOutcome::Status::Done);
  EXPECT_EQ(u.total, 3);
  EXPECT_EQ(u.restored, 3);
  EXPECT_EQ(files(), (Files{{"a.txt", "content of a.txt"},
                            {"b.txt", "content of b.txt"},
                            {gb("歌曲.mp3"), "content of " + gb("歌曲.mp3")}}));
  EXPECT_EQ(list[0].oldName, "a.txt");
  EXPECT_EQ(list[0].statusCode, filelist::Status::Undone);
  EXPECT_EQ(list[0].newName, "1.txt");  // proposals stay
  // Not offered again.
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
  EXPECT_EQ(undoLastPass(journal_).status, RecordOutcome::Status::NoRecord);
}

TEST_F(RenamePass, SameTargetTwiceFirstWins) {
  FileList list = listOf({"a", "b"});
  propose(list, {"x", "x"});
  EXPECT_EQ(pass(list).succeeded, 1);
  EXPECT_EQ(files(), (Files{{"x", "content of a"}, {"b", "content of b"}}));
  EXPECT_EQ(list[1].oldName, "b");
  EXPECT_EQ(list[1].statusCode, filelist::Status::RenameFailed);
  EXPECT_EQ(list[1].icon, StatusIcon::Failure);
  EXPECT_EQ(list[1].newNameCell, "x");
  EXPECT_EQ(list[1].statusReason, codes::SameAsEarlier);
  EXPECT_EQ(list[1].statusDetail, 1);
}

TEST_F(RenamePass, UnchangedNameSucceedsWithoutARename) {
  FileList list = listOf({"same.txt"});
  propose(list, {"same.txt"});
  const PassOutcome p = pass(list);
  EXPECT_EQ(p.succeeded, 1);
  EXPECT_EQ(p.renamed, 0);
  EXPECT_EQ(files(), (Files{{"same.txt", "content of same.txt"}}));
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);  // nothing to give back
}

// Names that would leave the folder, cut at a NUL or name no file fail
// with their reason, and no file is touched.
TEST_F(RenamePass, InapplicableNamesFailWithTheirReason) {
  const struct {
    std::string name;
    Outcome reason;
  } cases[] = {
      {"", codes::EmptyName},
      {".", codes::IllegalName},
      {"..", codes::IllegalName},
      {"../x", codes::IllegalName},
      {"3/12", codes::IllegalName},
      {std::string("a\0b", 3), codes::IllegalName},
      {"\x81", codes::IllegalName},  // a lead byte alone: not convertible
      {std::string(256, 'n'), codes::NameTooLong},
#ifdef _WIN32
      {std::string(256 * 2, '\xB0'), codes::NameTooLong},  // 256 UTF-16 units
#else
      {std::string(86 * 2, '\xB0'), codes::NameTooLong},  // 172 code-page bytes, 258 in UTF-8
#endif
      {"..\xA1\xF6", Outcome{}},  // "..■" is an ordinary name
  };
  std::vector<std::string> names, proposals;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    names.push_back("f" + std::to_string(i));
    proposals.push_back(cases[i].name);
  }
  FileList list = listOf(names);
  propose(list, proposals);
  EXPECT_EQ(pass(list).succeeded, 1);
  EXPECT_EQ(rootEntries(), (std::set<std::string>{"state", "work"}));
  EXPECT_EQ(files().size(), names.size());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const int r = static_cast<int>(i);
    EXPECT_EQ(list[r].statusReason, cases[i].reason) << i;
    if (cases[i].reason == Outcome{}) continue;
    EXPECT_EQ(list[r].oldName, names[i]) << i;
    EXPECT_EQ(list[r].icon, StatusIcon::Failure) << i;
    EXPECT_EQ(list[r].newNameCell, cases[i].name) << i;
  }
  EXPECT_FALSE(stdfs::exists(native("a")));  // the NUL name did not become "a"
}

TEST_F(RenamePass, ChainsAndCyclesRunInOnePassAndComeBack) {
  // A chain listed in the wrong order, a swap, a rotation, a shift upward
  // and one downward.
  FileList list = listOf({"a", "b", "s1", "s2", "r1", "r2", "r3", "1", "2", "3", "x2", "x3"});
  propose(list, {"b", "c", "s2", "s1", "r2", "r3", "r1", "2", "3", "4", "x1", "x2"});
  const Files before = files();
  const PassOutcome p = pass(list);
  EXPECT_EQ(p.succeeded, 12);
  EXPECT_EQ(p.renamed, 12);
  EXPECT_EQ(files(), (Files{{"b", "content of a"},
                            {"c", "content of b"},
                            {"s2", "content of s1"},
                            {"s1", "content of s2"},
                            {"r2", "content of r1"},
                            {"r3", "content of r2"},
                            {"r1", "content of r3"},
                            {"2", "content of 1"},
                            {"3", "content of 2"},
                            {"4", "content of 3"},
                            {"x1", "content of x2"},
                            {"x2", "content of x3"}}));
  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.total, 12);
  EXPECT_EQ(u.restored, 12);
  EXPECT_EQ(files(), before);
  for (int r = 0; r < list.fileCount(); ++r) EXPECT_EQ(list[r].statusCode, filelist::Status::Undone) << r;
}

TEST_F(RenamePass, ChainEndingAtAFileThatStaysFailsAsAWhole) {
  write("c", "outsider");
  FileList list = listOf({"a", "b", "k"});
  propose(list, {"b", "c", "k"});
  EXPECT_EQ(pass(list).succeeded, 1);  // only the unchanged one
  EXPECT_EQ(list[0].statusReason, codes::TargetExists);
  EXPECT_EQ(list[1].statusReason, codes::TargetExists);
  EXPECT_EQ(content("c"), "outsider");
}

TEST_F(RenamePass, UndoFollowsTheRecordNotTheList) {
  FileList list = listOf({"a", "b", "c", "d"});
  propose(list, {"A1", "B1", "C1", "D1"});
  ASSERT_EQ(pass(list).renamed, 4);
  list.removeRows({0, 2});  // not contiguous
  write("e", "content of e");
  list.addName("e");
  list.fillRows(kFillAppend | kFillDirectory, 2, 2, dir_);
  list.setStatus(2, Status::Renamed);

  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.total, 4);  // the removed rows' files come back too
  EXPECT_EQ(u.restored, 4);
  EXPECT_EQ(files(), (Files{{"a", "content of a"},
                            {"b", "content of b"},
                            {"c", "content of c"},
                            {"d", "content of d"},
                            {"e", "content of e"}}));
  EXPECT_EQ(list[0].oldName, "b");
  EXPECT_EQ(list[1].oldName, "d");
  EXPECT_EQ(list[1].statusCode, filelist::Status::Undone);
  EXPECT_EQ(list[2].statusCode, filelist::Status::Renamed);  // added after the pass: untouched
}

TEST_F(RenamePass, UndoFailsAloneWhereAnotherFileTookTheOldName) {
  FileList list = listOf({"a", "b"});
  propose(list, {"x", "y"});
  ASSERT_EQ(pass(list).renamed, 2);
  write("a", "intruder");
  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.total, 2);
  EXPECT_EQ(u.restored, 1);
  EXPECT_EQ(content("a"), "intruder");
  EXPECT_EQ(content("x"), "content of a");
  EXPECT_EQ(list[0].oldName, "x");
  EXPECT_EQ(list[0].statusCode, filelist::Status::UndoFailed);
  EXPECT_EQ(list[0].statusReason, codes::TargetExists);
  EXPECT_EQ(list[1].oldName, "b");

  // The failed one stays on offer; once the name is free it comes back.
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  stdfs::rename(native("a"), native("elsewhere"));
  const RecordOutcome again = undo(list);
  EXPECT_EQ(again.total, 1);
  EXPECT_EQ(again.restored, 1);
  EXPECT_EQ(content("a"), "content of a");
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
}

TEST_F(RenamePass, UndoLeavesAFileThatChangedOrMoved) {
  FileList list = listOf({"a", "b", "c"});
  propose(list, {"a2", "b2", "c2"});
  ASSERT_EQ(pass(list).renamed, 3);
  write("a2", "grown since the pass");        // same inode, other size
  stdfs::rename(native("b2"), native("b3"));  // moved away
  // Same size, and on most file systems the inode just freed: only the
  // creation time tells this file from the one the pass left.
  stdfs::remove(native("c2"));
  write("c2", "content of c");
  const bool birthKept = platform::Folder(dir_).identityOf("c2")->birth != 0;
  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.total, 3);
  EXPECT_EQ(u.restored, birthKept ? 0 : 1);
  EXPECT_EQ(list[0].statusReason, codes::FileChanged);
  EXPECT_EQ(list[1].statusReason, codes::SourceMissing);
  EXPECT_TRUE(files().contains("a2"));
  EXPECT_TRUE(files().contains("b3"));
  EXPECT_EQ(files().contains("c2"), birthKept);
}

TEST_F(RenamePass, ATargetThatIsTheFileItselfGoesThroughATemporaryName) {
#ifdef _WIN32
  GTEST_SKIP() << "a second link stands in for a name that ignores case; windows_fs_test has the real one";
#endif
  // What a case-insensitive folder shows for a case-only change ("a" and
  // "A" one file) looks here like a second link: the way through a
  // temporary name is taken, meets the link, and everything is put back.
  FileList list = listOf({"a"});
  stdfs::create_hard_link(native("a"), native("A"));
  propose(list, {"A"});
  EXPECT_EQ(pass(list).succeeded, 0);
  EXPECT_EQ(list[0].statusReason, codes::TargetExists);
  EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"A", "content of a"}}));
  JournalRecord r;
  ASSERT_EQ(readJournal(journal_, r), JournalRead::Ok);
  ASSERT_EQ(r.phases[0].steps.size(), 2u);
  EXPECT_TRUE(r.phases[0].steps[0].cycle);
  EXPECT_EQ(r.phases[0].states, (std::vector<StepState>{StepState::Failed, StepState::Failed}));
}

TEST_F(RenamePass, MissingFileAndEntryWithoutRow) {
  FileList list = listOf({"gone", "kept"});
  stdfs::remove(native("gone"));
  list.addName("nofolder");  // no row yet, so no directory either
  propose(list, {"g2", "k2", "n2"});
  EXPECT_EQ(pass(list).succeeded, 1);
  EXPECT_EQ(list[0].statusReason, codes::SourceMissing);
  EXPECT_EQ(list[2].icon, StatusIcon::None);
}

TEST_F(RenamePass, RowsOfOneFolderSpelledTwoWaysAreOneFolder) {
  FileList list = listOf({"a", "b"});
  list.setDirectory(1, dir_ + "./");
  propose(list, {"x", "x"});
  EXPECT_EQ(pass(list).succeeded, 1);
  EXPECT_EQ(list[1].statusReason, codes::SameAsEarlier);
}

TEST_F(RenamePass, AJournalThatCannotBeWrittenStopsThePassBeforeAnyRename) {
  FileList list = listOf({"a", "b"});
  propose(list, {"x", "y"});
  // A journal whose folder is a file, and one on a file system that takes
  // no new files whoever asks.
  write("notafolder", "");
  for (const std::string& path : {dir_ + "notafolder/journal", std::string("/proc/qorin-journal")}) {
    const PassOutcome p = renamePass(list, path);
    EXPECT_EQ(p.status, PassOutcome::Status::JournalFailed) << path;
    EXPECT_NE(p.journalError, 0) << path;
    EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"b", "content of b"}, {"notafolder", ""}}));
    EXPECT_EQ(list[0].statusCode, filelist::Status::None);
    EXPECT_EQ(list[0].oldName, "a");
  }
  // A folder without write permission (root may write anywhere).
  stdfs::create_directory(root_ / "state");
  stdfs::permissions(root_ / "state", stdfs::perms::owner_read | stdfs::perms::owner_exec);
  if (::access((root_ / "state").string().c_str(), W_OK) != 0) {
    EXPECT_EQ(pass(list).journalError, EACCES);
    EXPECT_EQ(content("a"), "content of a");
  }
}

TEST_F(RenamePass, ANewPassReplacesTheRecord) {
  FileList list = listOf({"a"});
  propose(list, {"b"});
  ASSERT_EQ(pass(list).renamed, 1);
  propose(list, {"c"});
  ASSERT_EQ(pass(list).renamed, 1);
  const RecordOutcome u = undo(list);
  EXPECT_EQ(u.restored, 1);
  EXPECT_EQ(files(), (Files{{"b", "content of a"}}));  // only the last pass comes back
  EXPECT_FALSE(stdfs::exists(root_ / "state" / "journal.new"));
}

struct Recorder : FileListObserver {
  void beginAppendRows(int, int) override {}
  void endAppendRows() override {}
  void beginRemoveRows(int, int) override {}
  void endRemoveRows() override {}
  void beginReset() override { ++resets; }
  void endReset() override {}
  void cellsChanged(int first, int last, unsigned bits) override {
    for (int r = first; r <= last; ++r) rows.insert(r);
    allBits |= bits;
    ++changes;
  }
  int changes = 0;
  int resets = 0;
  std::set<int> rows;
  unsigned allBits = 0;
};

// The record is written a megabyte at a time as the plan is made; read back,
// it holds every step once, in order.
TEST_F(RenamePass, ARecordOfManyWritesReadsBackWhole) {
  constexpr int kFiles = 2500;  // about 1.1 MB of steps
  std::vector<std::string> names, proposals;
  for (int i = 0; i < kFiles; ++i) {
    names.push_back(std::string(200, 'x') + std::to_string(i) + ".txt");
    proposals.push_back("renamed " + names.back());
  }
  FileList list = listOf(names);
  propose(list, proposals);
  ASSERT_EQ(pass(list).renamed, kFiles);
  ASSERT_GT(journalText().size(), std::size_t{1} << 20);
  JournalRecord record;
  ASSERT_EQ(readJournal(journal_, record), JournalRead::Ok);
  ASSERT_FALSE(record.damaged);
  ASSERT_EQ(record.phases.size(), 1u);
  const JournalSteps& steps = record.phases[0].steps;
  ASSERT_EQ(steps.size(), static_cast<std::size_t>(kFiles));
  for (int i = 0; i < kFiles; ++i) {
    const auto iu = static_cast<std::size_t>(i);
    ASSERT_EQ(steps[iu].file, iu);
    ASSERT_EQ(steps[iu].from, names[iu]);
    ASSERT_EQ(steps[iu].to, proposals[iu]);
  }
  EXPECT_TRUE(record.phases[0].ended);
}

TEST_F(RenamePass, RowsAreReportedAtOnceWithProgress) {
  FileList list = listOf({"a", "b", "c", "d", "e", "f", "g"});
  propose(list, {"a1", "b1", "c1", "c1", "e1", "f1", "g1"});
  Recorder rec;
  list.setObserver(&rec);
  std::vector<int> bars;
  EXPECT_EQ(pass(list, [&](int done, int total) { bars.push_back(progressMarks(done, total)); }).succeeded,
            6);
  EXPECT_EQ(bars, (std::vector<int>{2, 5, 8, 11, 14, 17, 20}));
  EXPECT_EQ(rec.resets, 0);
  EXPECT_EQ(rec.rows.size(), 7u);
  EXPECT_EQ(rec.changes, 1);  // a million rows are one change for the view, too
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
}

}  // namespace
}  // namespace qorin::rename
