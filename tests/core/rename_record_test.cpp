// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#ifdef __linux__
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <sstream>

#include "outcome_codes.h"
#include "rename/journal.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
namespace stdfs = std::filesystem;

class Record : public testing::RenameDir {
 protected:
  // The journal as a crash would leave it: everything after the plan of
  // phase `phase` (0: the pass) gone.
  void cutAfterPlan(int phase = 0) const {
    const std::string t = journalText();
    std::size_t at = 0;
    for (int p = 0; p <= phase; ++p) at = t.find("\nP ", at) + 1;
    setJournal(t.substr(0, t.find('\n', at) + 1));
  }

  // The temporary name the pass gave the first file of its cycle.
  std::string temporaryOfCycle() const {
    JournalRecord r;
    EXPECT_EQ(readJournal(journal_, r), JournalRead::Ok);
    for (const JournalStep& s : r.phases[0].steps)
      if (s.cycle) return std::string(s.to);
    return {};
  }

  void move(const std::string& from, const std::string& to) const { stdfs::rename(native(from), native(to)); }

  static bool anyTemporary(const Files& f) {
    return std::any_of(f.begin(), f.end(), [](const auto& e) { return e.first.starts_with(".qorin-"); });
  }

  // A swap of a and b, and c -> d: the pass's steps are a -> tmp, b -> a,
  // tmp -> b, c -> d.
  FileList swapAndMove() const {
    FileList list = listOf({"a", "b", "c"});
    propose(list, {"b", "a", "d"});
    return list;
  }
};

const Files kBefore = {{"a", "content of a"}, {"b", "content of b"}, {"c", "content of c"}};

TEST_F(Record, AnInterruptedPassIsFoundAndCounted) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  cutAfterPlan();
  // The disk says all was done, whatever the journal recorded.
  const RecordInfo info = inspectRecord(journal_);
  EXPECT_EQ(info.state, RecordState::Interrupted);
  EXPECT_EQ(info.renamed, 3);
  EXPECT_EQ(undoLastPass(journal_).restored, 3);  // an undo first ends the pass as it stands
  EXPECT_EQ(files(), kBefore);
}

TEST_F(Record, KeepAfterAFullPassMakesItTheUndoRecord) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  const Files after = files();
  cutAfterPlan();
  const RecordOutcome k = recoverInterrupted(journal_, Recovery::Keep);
  EXPECT_EQ(k.status, RecordOutcome::Status::Done);
  EXPECT_EQ(k.total, 3);
  EXPECT_TRUE(k.files.empty());  // nothing needed taking back
  EXPECT_EQ(files(), after);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.total, 3);
  EXPECT_EQ(u.restored, 3);
  EXPECT_EQ(files(), kBefore);
}

// The record as the program's first release wrote it: version 1, folder
// lines without the folder's inode. Such a record on a user's disk still
// undoes, the folder then found by its path.
std::string asFirstVersion(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::string payload = line.substr(0, line.rfind('\t'));
    if (payload.starts_with("qorin-journal ")) payload = "qorin-journal 1";
    if (payload.starts_with("E ")) payload = "E";  // no count before version 3
    if (payload.starts_with("F ")) {               // F <index> <device> <inode> <dir>
      std::size_t at = 0;
      for (int field = 0; field < 3; ++field) at = payload.find(' ', at) + 1;
      payload.erase(at, payload.find(' ', at) + 1 - at);
    }
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(crc32(payload)));
    out += payload + "\t" + sum + "\n";
  }
  return out;
}

TEST_F(Record, ARecordOfTheFirstVersionStillUndoes) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  setJournal(asFirstVersion(journalText()));
  JournalRecord r;
  ASSERT_EQ(readJournal(journal_, r), JournalRead::Ok);
  ASSERT_FALSE(r.folders.empty());
  EXPECT_EQ(r.folders[0].dir, dir_);
  EXPECT_EQ(r.folders[0].inode, 0u);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.restored, 3);
  EXPECT_EQ(files(), kBefore);
}

TEST_F(Record, ACycleCaughtHalfWayIsTakenBackWhole) {
  for (const Recovery how : {Recovery::Keep, Recovery::RollBack}) {
    for (const int stepsDone : {1, 2}) {
      SCOPED_TRACE(std::to_string(stepsDone) + (how == Recovery::Keep ? " keep" : " roll back"));
      for (const auto& e : stdfs::directory_iterator(root_ / "work")) stdfs::remove(e.path());
      FileList list = swapAndMove();
      ASSERT_EQ(renamePass(list, journal_).renamed, 3);
      cutAfterPlan();
      // Put the swap back to where the crash caught it; c -> d stays done.
      const std::string tmp = temporaryOfCycle();
      move("b", tmp);                      // a's content at the temporary name
      if (stepsDone == 1) move("a", "b");  // b's content not moved yet
      ASSERT_TRUE(anyTemporary(files()));
      EXPECT_EQ(inspectRecord(journal_).renamed, stepsDone == 1 ? 2 : 3);

      const RecordOutcome r = recoverInterrupted(journal_, how);
      EXPECT_EQ(r.status, RecordOutcome::Status::Done);
      EXPECT_FALSE(anyTemporary(files()));
      if (how == Recovery::RollBack) {
        EXPECT_EQ(files(), kBefore);
        EXPECT_EQ(r.restored, r.total);
        continue;
      }
      EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"b", "content of b"}, {"d", "content of c"}}));
      EXPECT_EQ(r.total, 1);  // only c -> d stands
      EXPECT_EQ(inspectRecord(journal_).renamed, 1);
      EXPECT_EQ(undoLastPass(journal_).restored, 1);
      EXPECT_EQ(files(), kBefore);
    }
  }
}

TEST_F(Record, APassCutBeforeItsFirstRenameHasNothingToAsk) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  cutAfterPlan();
  const std::string plannedOnly = journalText();
  ASSERT_EQ(undoLastPass(journal_).restored, 3);
  // The plan on the disk, not one file renamed yet.
  setJournal(plannedOnly);
  const RecordInfo info = inspectRecord(journal_);
  EXPECT_EQ(info.state, RecordState::Interrupted);
  EXPECT_EQ(info.renamed, 0);
  EXPECT_EQ(recoverInterrupted(journal_, Recovery::Keep).total, 0);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
  EXPECT_EQ(files(), kBefore);
}

TEST_F(Record, AnInterruptedUndoCanBeFinishedOrLeft) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  ASSERT_EQ(undoLastPass(journal_).restored, 3);
  cutAfterPlan(1);
  // Only c came back before the crash.
  move("a", "x");
  move("b", "a");
  move("x", "b");
  ASSERT_EQ(files(), (Files{{"a", "content of b"}, {"b", "content of a"}, {"c", "content of c"}}));
  const RecordInfo info = inspectRecord(journal_);
  EXPECT_EQ(info.state, RecordState::Interrupted);
  EXPECT_EQ(info.renamed, 2);
  const RecordOutcome k = recoverInterrupted(journal_, Recovery::Keep);
  EXPECT_EQ(k.total, 2);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  const RecordOutcome u = recoverInterrupted(journal_, Recovery::RollBack);
  EXPECT_EQ(u.status, RecordOutcome::Status::NoRecord);  // nothing interrupted any more
  EXPECT_EQ(undoLastPass(journal_).restored, 2);
  EXPECT_EQ(files(), kBefore);
}

TEST_F(Record, ABadJournalTouchesNothing) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  const Files after = files();
  const std::string good = journalText();
  const struct {
    const char* what;
    std::string text;
    RecordState state;
    RecordOutcome::Status status;
  } cases[] = {
      // Cut while the plan was written: nothing was renamed.
      {"cut inside the plan", good.substr(0, good.find("\nS ") + 10), RecordState::None,
       RecordOutcome::Status::NoRecord},
      {"garbled header", "x" + good.substr(1), RecordState::Damaged, RecordOutcome::Status::Damaged},
      {"another version", "qorin-journal 7\t00000000\n" + good.substr(good.find('\n') + 1),
       RecordState::Unsupported, RecordOutcome::Status::Unsupported},
      {"empty", "", RecordState::None, RecordOutcome::Status::NoRecord},
      {"not a record", "[预览选项]\n", RecordState::Damaged, RecordOutcome::Status::Damaged},
  };
  for (const auto& c : cases) {
    setJournal(c.text);
    EXPECT_EQ(inspectRecord(journal_).state, c.state) << c.what;
    EXPECT_EQ(undoLastPass(journal_).status, c.status) << c.what;
    EXPECT_EQ(recoverInterrupted(journal_, Recovery::RollBack).status, c.status) << c.what;
    EXPECT_EQ(files(), after) << c.what;
  }
  stdfs::remove(*text::gbToUtf8(journal_));
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
  EXPECT_EQ(undoLastPass(journal_).status, RecordOutcome::Status::NoRecord);
}

TEST_F(Record, ARecordOfFilesThatAreGone) {
  FileList list = swapAndMove();
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  stdfs::remove_all(root_ / "work");
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.status, RecordOutcome::Status::Done);
  EXPECT_EQ(u.total, 3);
  EXPECT_EQ(u.restored, 0);
  // The folder went with them: it is no longer the one the pass renamed in.
  for (const FileOutcome& f : u.files) EXPECT_EQ(f.reason, codes::FolderChanged) << u.before(f);
  EXPECT_FALSE(stdfs::exists(root_ / "work"));
}

#ifdef __linux__
TEST_F(Record, AJournalThatCannotBeAppendedToStopsTheUndoBeforeAnyRename) {
  FileList list = listOf({"a"});
  propose(list, {"b"});
  ASSERT_EQ(renamePass(list, journal_).renamed, 1);
  const std::string path = *text::gbToUtf8(journal_);
  if (!testing::setImmutable(path, true)) GTEST_SKIP() << "the file system keeps no immutable flag here";
  const RecordOutcome u = undoLastPass(journal_);
  testing::setImmutable(path, false);
  EXPECT_EQ(u.status, RecordOutcome::Status::JournalFailed);
  EXPECT_EQ(u.error, EPERM);
  EXPECT_EQ(files(), (Files{{"b", "content of a"}}));
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);  // still on offer
}
#endif

TEST_F(Record, UndoResultsReachTheRowsThatListTheirFiles) {
  FileList list = listOf({"a", "b"});
  propose(list, {"b2", "a2"});
  ASSERT_EQ(renamePass(list, journal_).renamed, 2);
  write("a", "intruder");
  const RecordOutcome u = undoLastPass(journal_);
  showUndoInList(list, u);
  EXPECT_EQ(list[0].oldName, "b2");
  EXPECT_EQ(list[0].statusCode, filelist::Status::UndoFailed);
  EXPECT_EQ(list[0].icon, StatusIcon::Failure);
  EXPECT_EQ(list[0].statusReason, codes::TargetExists);
  EXPECT_EQ(list[1].oldName, "b");
  EXPECT_EQ(list[1].statusCode, filelist::Status::Undone);
  EXPECT_EQ(list[1].statusReason, Outcome{});
}

// The undo finds each file in its own folder among several (the record is
// read into tables by folder and by file): every file comes back, and the
// rows that list them say so.
TEST_F(Record, AnUndoOverManyFoldersFindsEachFileInItsOwn) {
  const std::vector<std::string> names = {"a", "b", "c"}, proposals = {"b", "a", "d"};  // a swap and a move
  for (const int folders : {1, 3, 40}) {
    FileList list;
    std::vector<std::string> subs;
    for (int f = 0; f < folders; ++f) {
      subs.push_back(std::to_string(folders) + "-" + std::to_string(f));
      stdfs::create_directory(native(subs.back()));
      for (const std::string& n : names) {
        write(subs.back() + platform::kSeparator + n, n + subs.back());
        list.addName(n);
      }
      list.fillRows(kFillAppend | kFillDirectory, 3 * f, 3 * f + 2,
                    dir_ + subs.back() + platform::kSeparator);
    }
    for (int r = 0; r < list.fileCount(); ++r) list.setNewName(r, proposals[static_cast<std::size_t>(r % 3)]);
    ASSERT_EQ(renamePass(list, journal_).renamed, 3 * folders);
    const RecordOutcome u = undoLastPass(journal_);
    ASSERT_EQ(u.status, RecordOutcome::Status::Done);
    EXPECT_EQ(u.restored, 3 * folders);
    for (const FileOutcome& f : u.files) {
      EXPECT_TRUE(f.ok) << u.before(f);
      const auto p = std::find(proposals.begin(), proposals.end(), u.before(f));
      ASSERT_NE(p, proposals.end()) << u.before(f);
      EXPECT_EQ(u.after(f), names[static_cast<std::size_t>(p - proposals.begin())]);
    }
    for (const std::string& sub : subs)
      for (const std::string& n : names) EXPECT_EQ(content(sub + platform::kSeparator + n), n + sub);
    showUndoInList(list, u);
    for (int r = 0; r < list.fileCount(); ++r) {
      EXPECT_EQ(list[r].oldName, names[static_cast<std::size_t>(r % 3)]) << folders << " " << r;
      EXPECT_EQ(list[r].statusCode, filelist::Status::Undone) << folders << " " << r;
    }
  }
}

}  // namespace
}  // namespace qorin::rename
