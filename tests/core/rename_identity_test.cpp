// SPDX-License-Identifier: GPL-3.0-or-later
// Every rename of a pass, an undo and a recovery acts only on the file the
// plan or the record names: one put in its place meanwhile (by another
// program, or by a second pass over the same files) fails its row, and
// nothing else of its chain or cycle is harmed. The hooks (a StopFn, a
// ProgressFn) make the swap happen at a known moment.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

#include "outcome_codes.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
namespace stdfs = std::filesystem;

class Identity : public testing::RenameDir {
 protected:
  void freshFolder() {
    stdfs::remove_all(root_ / "work");
    stdfs::create_directory(root_ / "work");
  }
  // Another program moves the file at `name` aside and puts one of its own there.
  void replace(const std::string& name) const {
    stdfs::rename(native(name), native(name + ".away"));
    write(name, "foreign");
  }
  // The files as `names` of the list had them, each "name=its first name".
  Files expected(const std::vector<std::string>& at) const {
    Files out;
    for (const std::string& a : at) {
      const auto eq = a.find('=');
      const std::string first = a.substr(eq + 1);
      out[a.substr(0, eq)] = first == "*" ? "foreign" : "content of " + first;
    }
    return out;
  }
};

TEST_F(Identity, AFileReplacedBeforeItsRenameFailsAloneAndTheUndoGivesBackTheRest) {
  // "first" runs first; the hook then replaces `victim`, whose group is
  // still to come.
  const struct {
    const char* what;
    std::vector<std::string> names, proposals;
    std::string victim;
    std::vector<std::string> afterPass;
    std::vector<std::pair<int, Outcome>> failed;  // rows
  } cases[] = {
      {"alone", {"first", "v"}, {"first2", "v2"}, "v", {"first2=first", "v=*"}, {{1, codes::ChangedByOther}}},
      {"a chain's free end",
       {"first", "c0", "c1"},
       {"first2", "c1", "c2"},
       "c1",
       {"first2=first", "c0=c0", "c1=*"},
       {{2, codes::ChangedByOther}, {1, codes::TargetExists}}},
      {"inside a chain",
       {"first", "c0", "c1"},
       {"first2", "c1", "c2"},
       "c0",
       {"first2=first", "c0=*", "c2=c1"},
       {{1, codes::ChangedByOther}}},
      {"a cycle's first",
       {"first", "x", "y", "z"},
       {"first2", "y", "z", "x"},
       "x",
       {"first2=first", "x=*", "y=y", "z=z"},
       {{1, codes::ChangedByOther}, {2, codes::ChangedByOther}, {3, codes::ChangedByOther}}},
      {"a cycle's last",
       {"first", "x", "y", "z"},
       {"first2", "y", "z", "x"},
       "y",
       {"first2=first", "x=x", "y=*", "z=z"},
       {{1, codes::ChangedByOther}, {2, codes::ChangedByOther}, {3, codes::ChangedByOther}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    freshFolder();
    FileList list = listOf(c.names);
    propose(list, c.proposals);
    int asked = 0;
    const PassOutcome p = renamePass(list, journal_, {}, [&] {
      if (++asked == 1) replace(c.victim);
      return false;
    });
    Files after = expected(c.afterPass);
    after[c.victim + ".away"] = "content of " + c.victim;
    EXPECT_EQ(files(), after);
    for (const auto& [row, reason] : c.failed) EXPECT_EQ(list[row].statusReason, reason) << row;
    EXPECT_EQ(p.renamed + static_cast<int>(c.failed.size()), list.rowCount());

    // The undo finds every genuine file the pass moved and gives it back.
    const RecordOutcome u = undoLastPass(journal_);
    EXPECT_EQ(u.restored, u.total);
    EXPECT_EQ(u.total, p.renamed);
    Files back;
    for (const std::string& n : c.names) back[n] = "content of " + n;
    back[c.victim] = "foreign";
    back[c.victim + ".away"] = "content of " + c.victim;
    EXPECT_EQ(files(), back);
  }
}

TEST_F(Identity, AnUndoOrARecoveryLeavesAloneAFileSwappedWhileItRuns) {
  // The pass renamed everything; after the undo's first file another
  // program acts. A cycle whose file changed is left as it stands.
  const struct {
    const char* what;
    std::vector<std::string> names, proposals;
    int steps;  // of the pass
    std::function<void()> meanwhile;
    std::vector<std::string> afterUndo;
    int restored;
  } cases[] = {
      {"a file replaced",
       {"first", "b"},
       {"first2", "b2"},
       2,
       [this] { replace("b2"); },
       {"first=first", "b2=*", "b2.away=b"},
       1},
      {"a chain's file replaced",
       {"first", "c0", "c1"},
       {"first2", "c1", "c2"},
       3,
       [this] { replace("c2"); },
       {"first=first", "c0=c0", "c2=*", "c2.away=c1"},
       2},
      {"a swap undone by someone else",
       {"first", "x", "y"},
       {"first2", "y", "x"},
       4,
       [this] {
         stdfs::rename(native("x"), native("t"));
         stdfs::rename(native("y"), native("x"));
         stdfs::rename(native("t"), native("y"));
       },
       {"first=first", "x=x", "y=y"},
       1},
  };
  for (const bool recovery : {false, true}) {
#ifdef _WIN32
    if (recovery) continue;  // no fork()
#endif
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (recovery ? ", recovery" : ", undo"));
      freshFolder();
      FileList list = listOf(c.names);
      propose(list, c.proposals);
      int hooked = 0;
      const auto hook = [&] {
        if (++hooked == 1) c.meanwhile();
      };
      RecordOutcome u;
      if (!recovery) {
        ASSERT_EQ(renamePass(list, journal_).renamed, list.rowCount());
        u = undoLastPass(journal_, {}, [&] {
          hook();
          return false;
        });
      } else {
#ifndef _WIN32
        // A pass killed after its last step: the record never ended.
        const pid_t pid = ::fork();
        if (pid == 0) {
          int asked = 0;
          renamePass(list, journal_, {}, [&] {
            if (++asked == c.steps) ::_exit(0);
            return false;
          });
          ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_EQ(inspectRecord(journal_).state, RecordState::Interrupted);
        u = recoverInterrupted(journal_, Recovery::RollBack, [&](int, int) { hook(); });
#endif
      }
      EXPECT_EQ(files(), expected(c.afterUndo));
      EXPECT_EQ(u.restored, c.restored);
      EXPECT_LT(u.restored, u.total);  // not a success
      for (const FileOutcome& f : u.files) {
        if (f.ok) continue;
        EXPECT_EQ(f.reason, codes::ChangedByOther) << u.before(f);
      }
    }
  }
}

#ifndef _WIN32  // no fork()
// Two passes over the same files, their steps taken in turn: the second
// starts once the first has swapped x and y. Neither renames a file the
// other moved, and each pass's undo gives back what it did.
TEST_F(Identity, TwoPassesAtOnceNeverRenameTheSameFileTwice) {
  const std::vector<std::string> names = {"keep", "x", "y", "c0", "c1", "p"};
  FileList list = listOf(names);
  // "keep" stays: the first progress report comes after the identities
  // were read and before the first rename.
  propose(list, {"keep", "y", "x", "c1", "c2", "q"});
  const Files before = files();
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  // A token passed to the other side; the other side having ended lets it go on.
  const auto give = [](int fd) { ::send(fd, "t", 1, MSG_NOSIGNAL); };
  const auto take = [](int fd, int n) {
    char t;
    for (int i = 0; i < n; ++i)
      if (::recv(fd, &t, 1, 0) != 1) return;
  };
  const std::string second = journal_ + "-second";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ends[0]);
    const int fd = ends[1];
    bool started = false;
    const PassOutcome p = renamePass(
        list, second,
        [&](int, int) {
          if (started) return;
          started = true;
          give(fd);
          take(fd, 1 + 3);  // both have read their files; then the swap's three steps
        },
        [&] {
          give(fd);
          take(fd, 1);
          return false;
        });
    ::close(fd);
    // x and y were not the files it planned; c1 was moved away by then.
    const bool ok = p.renamed == 1 && list[1].statusReason == codes::ChangedByOther &&
                    list[2].statusReason == codes::ChangedByOther &&
                    list[4].statusReason == codes::SourceMissing && list[5].statusCode == Status::Renamed;
    ::_exit(ok ? 0 : 1);
  }
  ::close(ends[1]);
  const int fd = ends[0];
  bool started = false;
  int asked = 0;
  const PassOutcome p = renamePass(
      list, journal_,
      [&](int, int) {
        if (started) return;
        started = true;
        give(fd);
        take(fd, 1);
      },
      [&] {
        give(fd);
        if (++asked >= 3) take(fd, 1);
        return false;
      });
  ::close(fd);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(p.renamed, 4);
  EXPECT_EQ(list[5].statusReason, codes::SourceMissing);
  EXPECT_EQ(files(), expected({"keep=keep", "x=y", "y=x", "c1=c0", "c2=c1", "q=p"}));

  for (const std::string& record : {second, journal_}) {
    const RecordOutcome u = undoLastPass(record);
    EXPECT_EQ(u.restored, u.total) << record;
  }
  EXPECT_EQ(files(), before);
}
#endif

}  // namespace
}  // namespace qorin::rename
