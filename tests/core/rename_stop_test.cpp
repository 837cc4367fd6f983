// SPDX-License-Identifier: GPL-3.0-or-later
// Passes and undos stopped by the user, undos that failed and are tried
// again, and a case-only rename killed between its two steps.
#include <gtest/gtest.h>

#include <signal.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>

#include "outcome_codes.h"
#include "rename/journal.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
namespace stdfs = std::filesystem;
using text::gb;

class Stop : public testing::RenameDir {
 protected:
  // Says stop at its n-th question (1-based), and every time after.
  static StopFn after(int n, int* asked = nullptr) {
    return [n, asked, k = 0]() mutable {
      if (asked) ++*asked;
      return ++k >= n;
    };
  }
  std::set<std::string> temporaries() const {
    std::set<std::string> out;
    for (const auto& [name, content] : files())
      if (name.starts_with(".qorin-")) out.insert(name);
    return out;
  }
};

TEST_F(Stop, APassStopsAfterTheFileAtHandAndAWholeCycle) {
  const struct {
    const char* what;
    std::vector<std::string> names, proposals;
    int stopAt;
    int renamed;
  } cases[] = {
      {"separate files", {"a", "b", "c", "d", "e"}, {"a2", "b2", "c2", "d2", "e2"}, 2, 2},
      {"inside a chain", {"f0", "f1", "f2", "x"}, {"f1", "f2", "f3", "x2"}, 1, 1},
      {"a swap finishes first", {"a", "b", "c"}, {"b", "a", "c2"}, 1, 2},
      {"asked on the last file", {"a", "b"}, {"a2", "b2"}, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    stdfs::remove_all(root_ / "work");
    stdfs::create_directory(root_ / "work");
    FileList list = listOf(c.names);
    propose(list, c.proposals);
    const Files before = files();
    list.setStatus(0, Status::UndoFailed);  // from an earlier run: must not stay on a row not reached
    const PassOutcome p = renamePass(list, journal_, {}, after(c.stopAt));
    EXPECT_EQ(p.renamed, c.renamed);
    EXPECT_EQ(p.succeeded, c.renamed);
    EXPECT_EQ(p.stopped, static_cast<int>(c.names.size()) - c.renamed);
    EXPECT_TRUE(temporaries().empty());
    int renamedRows = 0;
    for (int r = 0; r < list.rowCount(); ++r) {
      const bool done = list[r].statusCode == Status::Renamed;
      renamedRows += done;
      EXPECT_EQ(list[r].oldName,
                done ? c.proposals[static_cast<std::size_t>(r)] : c.names[static_cast<std::size_t>(r)]);
      EXPECT_TRUE(done || list[r].statusCode == Status::None) << r;
    }
    EXPECT_EQ(renamedRows, c.renamed);
    EXPECT_EQ(files().size(), before.size());
    // What was done is on record, and the undo gives exactly that back.
    const RecordInfo info = inspectRecord(journal_);
    EXPECT_EQ(info.state, RecordState::Undoable);
    EXPECT_EQ(info.renamed, c.renamed);
    const RecordOutcome u = undoLastPass(journal_);
    EXPECT_EQ(u.total, c.renamed);
    EXPECT_EQ(u.restored, c.renamed);
    EXPECT_EQ(files(), before);
  }
}

TEST_F(Stop, AStoppedUndoIsContinuedLater) {
  std::vector<std::string> names, proposals;
  for (int i = 0; i < 10; ++i) {
    names.push_back("f" + std::to_string(i));
    proposals.push_back("g" + std::to_string(i));
  }
  FileList list = listOf(names);
  propose(list, proposals);
  const Files before = files();
  ASSERT_EQ(renamePass(list, journal_).renamed, 10);
  const RecordOutcome first = undoLastPass(journal_, {}, after(4));
  EXPECT_EQ(first.total, 10);
  EXPECT_EQ(first.restored, 4);
  EXPECT_EQ(first.stopped, 6);
  showUndoInList(list, first);
  int undone = 0, untouched = 0;
  for (int r = 0; r < 10; ++r) {
    undone += list[r].statusCode == Status::Undone;
    untouched += list[r].statusCode == Status::Renamed;  // as the pass left it
  }
  EXPECT_EQ(undone, 4);
  EXPECT_EQ(untouched, 6);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  const RecordOutcome rest = undoLastPass(journal_);
  EXPECT_EQ(rest.total, 6);  // only what is left
  EXPECT_EQ(rest.restored, 6);
  EXPECT_EQ(files(), before);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
}

TEST_F(Stop, AnUndoThatFailedInAReadOnlyFolderIsTriedAgain) {
  FileList list = listOf({"a", "b"});
  propose(list, {"a2", "b2"});
  ASSERT_EQ(renamePass(list, journal_).renamed, 2);
  const std::string work = (root_ / "work").string();
  if (!testing::setImmutable(work, true)) GTEST_SKIP() << "the file system keeps no immutable flag here";
  const RecordOutcome failed = undoLastPass(journal_);
  const RecordInfo meanwhile = inspectRecord(journal_);
  testing::setImmutable(work, false);
  EXPECT_EQ(failed.total, 2);
  EXPECT_EQ(failed.restored, 0);
  for (const FileOutcome& f : failed.files) {
    EXPECT_EQ(f.reason, codes::SystemError);
    EXPECT_EQ(f.detail, EPERM);
  }
  EXPECT_EQ(meanwhile.state, RecordState::Undoable);  // still on offer
  const RecordOutcome again = undoLastPass(journal_);
  EXPECT_EQ(again.total, 2);
  EXPECT_EQ(again.restored, 2);
  EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"b", "content of b"}}));
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::None);
}

TEST_F(Stop, AnUndoIsOfferedAgainForEveryFileNotBack) {
  FileList list = listOf({"a", "b", "c"});
  propose(list, {"a2", "b2", "c2"});
  ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  stdfs::remove(native("b2"));  // taken away
  write("c", "another c");      // holds c2's old name
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.restored, 1);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);  // c2 can go back once c moves
  stdfs::remove(native("c"));
  const RecordOutcome retry = undoLastPass(journal_);
  EXPECT_EQ(retry.total, 2);
  EXPECT_EQ(retry.restored, 1);
  EXPECT_EQ(retry.files.size(), 2u);
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);  // b may come back
  EXPECT_EQ(peekRecord(journal_).renamed, 1);                       // and its end says so
}

TEST_F(Stop, TheUndoLeavesAloneAFileThePassDidNotRename) {
  FileList list = listOf({"a", "b"});
  propose(list, {"a2", "b2"});
  // After the first file, another b2 turns up: b's rename fails as it runs.
  int asked = 0;
  const PassOutcome p = renamePass(list, journal_, {}, [&] {
    if (++asked == 1) write("b2", "intruder");
    return false;
  });
  EXPECT_EQ(p.renamed, 1);
  EXPECT_EQ(list[1].statusReason, codes::TargetExists);
  // The user clears the way and gives b its proposal by hand.
  stdfs::remove(native("b2"));
  stdfs::rename(native("b"), native("b2"));
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.total, 1);
  EXPECT_EQ(u.restored, 1);
  EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"b2", "content of b"}}));
}

#ifndef _WIN32  // no fork()
// A case-only change on a file system that ignores case names the file
// itself; here a second link of the file plays that part. The pass is killed
// right after the file went to its temporary name: at the next start the
// record knows where it is, and either answer leaves no temporary behind.
TEST_F(Stop, ACaseOnlyRenameKilledBetweenItsStepsIsRecovered) {
  for (const Recovery how : {Recovery::RollBack, Recovery::Keep}) {
    SCOPED_TRACE(how == Recovery::RollBack ? "roll back" : "keep");
    stdfs::remove_all(root_ / "work");
    stdfs::create_directory(root_ / "work");
    write("song.mp3", "the song");
    stdfs::create_hard_link(native("song.mp3"), native("SONG.mp3"));
    const pid_t pid = ::fork();
    if (pid == 0) {
      FileList list;
      list.addName("song.mp3");
      list.fillRows(kFillAppend | kFillDirectory, 0, 0, dir_);
      list.setNewName(0, "SONG.mp3");
      renamePass(list, journal_, {}, [] {
        ::raise(SIGKILL);
        return false;
      });
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(temporaries().size(), 1u);  // caught between its two steps
    EXPECT_FALSE(files().contains("song.mp3"));

    JournalRecord record;
    ASSERT_EQ(readJournal(journal_, record), JournalRead::Ok);
    ASSERT_EQ(record.phases[0].steps.size(), 2u);
    EXPECT_TRUE(record.phases[0].steps[0].cycle);
    EXPECT_EQ(record.phases[0].steps[0].to, *temporaries().begin());

    const RecordInfo info = inspectRecord(journal_);
    EXPECT_EQ(info.state, RecordState::Interrupted);
    EXPECT_EQ(info.renamed, 1);
    EXPECT_EQ(recoverInterrupted(journal_, how).status, RecordOutcome::Status::Done);
    EXPECT_TRUE(temporaries().empty());
    EXPECT_EQ(files(), (Files{{"song.mp3", "the song"}, {"SONG.mp3", "the song"}}));
    EXPECT_NE(inspectRecord(journal_).state, RecordState::Interrupted);
  }
}
#endif

}  // namespace
}  // namespace qorin::rename
