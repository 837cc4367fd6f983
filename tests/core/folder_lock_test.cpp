// SPDX-License-Identifier: GPL-3.0-or-later
// One pass at a time per folder: a second process holding a folder's lock
// keeps a pass and an undo there from starting, until it lets go or dies.
#include "platform/folder_lock.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "session/session.h"
#include "temp_dir.h"

namespace qorin::platform {
namespace {

namespace fs = std::filesystem;

FolderKey keyOf(const fs::path& dir) {
  struct stat st {};
  EXPECT_EQ(::stat(dir.c_str(), &st), 0);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::set<std::string> namesIn(const fs::path& dir) {
  std::set<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) out.insert(e.path().filename().string());
  return out;
}

// Another process holding the locks of `keys` until told to let go (or killed).
class Holder {
 public:
  Holder(const std::string& stateDir, std::vector<FolderKey> keys) {
    int held[2], go[2];
    EXPECT_EQ(::pipe(held), 0);
    EXPECT_EQ(::pipe(go), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(held[0]);
      ::close(go[1]);
      FolderLocks locks(stateDir, std::move(keys));
      const char ok = locks.take() == LockResult::Held ? 'h' : 'x';
      if (::write(held[1], &ok, 1) != 1) ::_exit(2);
      char c;
      while (::read(go[0], &c, 1) > 0) {
      }
      locks.release();
      ::_exit(0);
    }
    ::close(held[1]);
    ::close(go[0]);
    go_ = go[1];
    char c = 0;
    EXPECT_EQ(::read(held[0], &c, 1), 1);
    EXPECT_EQ(c, 'h');
    ::close(held[0]);
  }
  ~Holder() { end(false); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  void end(bool kill) {
    if (pid_ <= 0) return;
    if (kill) ::kill(pid_, SIGKILL);
    ::close(go_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
};

TEST(FolderLocks, AHeldFolderIsFreeOnceItsHolderLetsGoOrIsKilled) {
  for (const bool kill : {false, true}) {
    SCOPED_TRACE(kill ? "killed" : "let go");
    testing::TempDir state, a, b;
    // Locks are taken in key order: kb, the one held by another, comes second.
    const FolderKey ka = std::min(keyOf(a.path()), keyOf(b.path())),
                    kb = std::max(keyOf(a.path()), keyOf(b.path()));
    Holder holder(state.dir(), {kb});
    // Taken in order: the first is kept while the second is waited for.
    FolderLocks both(state.dir(), {kb, ka, kb});
    ASSERT_EQ(both.keys().size(), 2u);
    EXPECT_EQ(both.take(), LockResult::Busy);
    EXPECT_EQ(both.keys()[both.busy()], kb);
    EXPECT_EQ(FolderLocks(state.dir(), {ka}).take(), LockResult::Busy);
    // A lock in use is no stale one.
    removeStaleFolderLocks(state.dir());
    EXPECT_EQ(both.take(), LockResult::Busy);
    holder.end(kill);
    EXPECT_EQ(both.take(), LockResult::Held);
    both.release();
    // Neither way leaves a lock file behind once the folders are free again.
    removeStaleFolderLocks(state.dir());
    EXPECT_TRUE(namesIn(state.path() / "locks").empty());
  }
}

TEST(FolderLocks, ALockFileIsOnlyARegularFileInAFolderOfOurOwn) {
  testing::TempDir state, a;
  const FolderKey k = keyOf(a.path());
  const fs::path locks = state.path() / "locks";
  fs::create_directory(locks);
  fs::permissions(locks, fs::perms::owner_all);
  char name[64];
  std::snprintf(name, sizeof name, "%llx-%llx.lock", static_cast<unsigned long long>(k.device),
                static_cast<unsigned long long>(k.inode));
  // A FIFO is not waited on, a link not followed.
  ASSERT_EQ(::mkfifo((locks / name).c_str(), 0600), 0);
  EXPECT_EQ(FolderLocks(state.dir(), {k}).take(), LockResult::Failed);
  fs::remove(locks / name);
  fs::create_symlink(a.path(), locks / name);
  EXPECT_EQ(FolderLocks(state.dir(), {k}).take(), LockResult::Failed);
  fs::remove(locks / name);
  fs::permissions(locks, fs::perms::others_write, fs::perm_options::add);
  EXPECT_EQ(FolderLocks(state.dir(), {k}).take(), LockResult::Failed);
  EXPECT_TRUE(namesIn(locks).empty());
}

TEST(FolderLocks, APassAndAnUndoWaitForTheFolderAnotherProcessHolds) {
  testing::TempDir home, d;
  for (const char* n : {"a.txt", "b.txt"}) d.write(n, n);
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(d.dir());
  s.setRule(rules::GeneralOptions{});
  ASSERT_EQ(s.renameAll().succeeded, 2);
  const std::set<std::string> renamed = namesIn(d.path());
  ASSERT_EQ(renamed, (std::set<std::string>{"0.txt", "1.txt"}));

  Holder holder(home.dir(), {keyOf(d.path())});
  const session::PassReport undo = s.undoLastPass();
  EXPECT_EQ(undo.problem, session::Problem::FolderBusy);
  EXPECT_EQ(undo.folder, d.dir());
  // A second list over the renamed files: its pass does not start either.
  session::Session other(session::Places::in(home.dir()));
  other.addFolder(d.dir());
  rules::GeneralOptions again;
  again.start = "5";
  other.setRule(again);
  const session::PassReport pass = other.renameAll();
  EXPECT_EQ(pass.problem, session::Problem::FolderBusy);
  EXPECT_EQ(pass.folder, d.dir());
  EXPECT_EQ(namesIn(d.path()), renamed);

  holder.end(false);
  const session::PassReport later = s.undoLastPass();
  EXPECT_EQ(later.problem, session::Problem::None);
  EXPECT_EQ(later.succeeded, 2);
  EXPECT_EQ(namesIn(d.path()), (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_TRUE(namesIn(home.path() / "locks").empty());
}

// A pass cut short gets its names back only once its folder is free:
// waited for, or left cut short for later.
TEST(FolderLocks, ARecoveryWaitsForItsFolder) {
  testing::TempDir home, d;
  for (const char* n : {"a.txt", "b.txt"}) d.write(n, n);
  std::string record;
  {
    session::Session s(session::Places::in(home.dir()));
    s.addFolder(d.dir());
    s.setRule(rules::GeneralOptions{});
    ASSERT_EQ(s.renameAll().succeeded, 2);
    record = s.recordPath();
  }
  // As a kill leaves it: nothing after the plan was written.
  std::string text = home.read(record);
  text.resize(text.find("\nD ") + 1);
  home.write(record, text);
  Holder holder(home.dir(), {keyOf(d.path())});
  for (const bool wait : {false, true}) {
    SCOPED_TRACE(wait ? "waited for" : "not waited for");
    session::Session s(session::Places::in(home.dir()));
    std::optional<session::PassReport> recovered;
    session::RecordAsker ask;
    ask.cutShort = [](const rename::PassSummary&, int) { return session::CutShort::RollBack; };
    ask.recovered = [&](const session::PassReport& r, session::CutShort) { recovered = r; };
    if (wait)
      ask.waitForFolder = [&](const session::PassReport& busy, const std::function<bool()>& ready) {
        EXPECT_EQ(busy.folder, d.dir());
        holder.end(false);
        return ready();
      };
    s.takeRecords(ask);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->problem, wait ? session::Problem::None : session::Problem::FolderBusy);
    const std::set<std::string> expected = {wait ? "a.txt" : "0.txt", wait ? "b.txt" : "1.txt"};
    EXPECT_EQ(namesIn(d.path()), expected);
  }
}

}  // namespace
}  // namespace qorin::platform
