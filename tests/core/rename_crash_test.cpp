// SPDX-License-Identifier: GPL-3.0-or-later
// A pass killed at random moments, then recovered either way: every file
// is there once, under its old or its new name, and none keeps a temporary
// name. QORIN_CRASH_TRIALS sets the number of kills (20 by default, so the
// suite stays quick; 100 and more use 20,000 files a pass), QORIN_CRASH_FILES
// the number of files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "rename/rename_pass.h"
#include "temp_dir.h"

namespace qorin::rename {
namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

int fromEnvironment(const char* name, int fallback) {
  const char* v = std::getenv(name);
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : fallback;
}

// Names and proposals of one batch: swaps, rotations of three, chains that
// shift onto the next name, and plain new names, all in one folder.
struct Batch {
  std::vector<std::string> names, proposals;
  explicit Batch(int files) {
    for (int i = 0; i < files; ++i) names.push_back("f" + std::to_string(i));
    for (int i = 0; i < files; ++i) {
      const int base = i - i % 10, k = i % 10;
      const auto at = [&](int j) {
        return j < files ? names[static_cast<std::size_t>(j)] : "n" + std::to_string(j);
      };
      std::string p;
      if (k <= 1) {
        p = at(base + 1 - k);  // swap
      } else if (k <= 4) {
        p = at(base + 2 + (k - 2 + 1) % 3);  // rotation of three
      } else if (k <= 6) {
        p = at(i + 1);  // a chain ending at 7
      } else if (k == 7) {
        p = "g" + std::to_string(i);
      } else {
        p = "h" + std::to_string(i);
      }
      proposals.push_back(std::move(p));
    }
  }
};

class Folder {
 public:
  Folder(const stdfs::path& root, const Batch& b) : dir_(root / "work"), batch_(b) {
    stdfs::remove_all(dir_);
    stdfs::create_directory(dir_);
    for (std::size_t i = 0; i < b.names.size(); ++i) std::ofstream(dir_ / b.names[i]) << i;
  }

  std::string dir() const { return dir_.string() + "/"; }

  filelist::FileList list() const {
    filelist::FileList l;
    l.reserve(batch_.names.size());
    for (const auto& n : batch_.names) l.addName(n);
    l.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, l.fileCount() - 1, dir());
    for (int r = 0; r < l.fileCount(); ++r) l.setNewName(r, batch_.proposals[static_cast<std::size_t>(r)]);
    return l;
  }

  enum class Names { OldOrNew, Old, AnyWhileKilled };

  // Every file once, under its old or (unless only old ones are allowed) its
  // new name, and nothing else in the folder; right after a kill a file may
  // also be at a temporary name.
  void expectWhole(Names allowed, const std::string& trial) const {
    std::vector<int> seen(batch_.names.size(), 0);
    std::size_t entries = 0;
    for (const auto& e : stdfs::directory_iterator(dir_)) {
      ++entries;
      const std::string name = e.path().filename().string();
      const bool temporary = name.starts_with(".qorin-");
      ASSERT_TRUE(!temporary || allowed == Names::AnyWhileKilled)
          << trial << ": temporary name left: " << name;
      std::ifstream in(e.path());
      std::size_t i = SIZE_MAX;
      in >> i;
      ASSERT_LT(i, batch_.names.size()) << trial << ": " << name;
      ++seen[i];
      const bool old = name == batch_.names[i];
      const bool fresh = allowed != Names::Old && (name == batch_.proposals[i] || temporary);
      EXPECT_TRUE(old || fresh) << trial << ": file " << i << " as " << name;
    }
    EXPECT_EQ(entries, batch_.names.size()) << trial;
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 1) << trial << ": file " << i;
  }

 private:
  stdfs::path dir_;
  const Batch& batch_;
};

// Runs the pass in a child; kills it `delay` after it starts, unless it has
// ended by then. Returns how long the child ran.
double passInChild(const Folder& folder, const std::string& journal, std::chrono::microseconds delay) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    filelist::FileList list = folder.list();
    const char go = 1;
    if (::write(ready[1], &go, 1) != 1) ::_exit(2);
    renamePass(list, journal);
    ::_exit(0);
  }
  ::close(ready[1]);
  char go = 0;
  const bool started = ::read(ready[0], &go, 1) == 1;
  ::close(ready[0]);
  const auto start = Clock::now();
  int status = 0;
  // Watch the child until the chosen moment, then kill it where it stands.
  while (started && Clock::now() - start < delay)
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return std::chrono::duration<double>(Clock::now() - start).count();
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(RenameCrash, KilledPassesLeaveEveryFileOnceWhicheverTheAnswer) {
  const int trials = fromEnvironment("QORIN_CRASH_TRIALS", 20);
  const int files = fromEnvironment("QORIN_CRASH_FILES", trials >= 100 ? 20000 : 2000);
  const Batch batch(files);
  qorin::testing::TempDir root;
  std::mt19937 rng(std::random_device{}());

  // How long a whole pass takes here, so the kills spread over all of it.
  // Every trial ends with each file under its old name, ready for the next.
  const Folder folder(root.path(), batch);
  const double whole = passInChild(folder, root.dir() + "calibration/journal", std::chrono::hours(1));
  ASSERT_GT(whole, 0);
  folder.expectWhole(Folder::Names::OldOrNew, "calibration");
  ASSERT_EQ(undoLastPass(root.dir() + "calibration/journal").restored, files);

  int interrupted = 0, cutBeforeAnyRename = 0, finished = 0;
  for (int t = 0; t < trials && !HasFatalFailure(); ++t) {
    const std::string trial = "trial " + std::to_string(t);
    const std::string journal = root.dir() + "state" + std::to_string(t) + "/journal";
    const auto delay = std::chrono::microseconds(
        std::uniform_int_distribution<long>(0, static_cast<long>(whole * 1.1e6))(rng));
    passInChild(folder, journal, delay);
    folder.expectWhole(Folder::Names::AnyWhileKilled, trial + " as killed");

    const Recovery how = t % 2 ? Recovery::Keep : Recovery::RollBack;
    const RecordInfo info = inspectRecord(journal);
    switch (info.state) {
      case RecordState::Interrupted: {
        ++interrupted;
        const RecordOutcome r = recoverInterrupted(journal, how);
        ASSERT_EQ(r.status, RecordOutcome::Status::Done) << trial;
        if (how == Recovery::RollBack) {
          EXPECT_EQ(r.restored, r.total) << trial;
        }
        break;
      }
      case RecordState::Undoable:
        ++finished;
        if (how == Recovery::RollBack) {
          ASSERT_EQ(undoLastPass(journal).restored, info.renamed) << trial;
        }
        break;
      case RecordState::None:
        ++cutBeforeAnyRename;
        break;
      default:
        FAIL() << trial << ": record state " << static_cast<int>(info.state);
    }
    folder.expectWhole(how == Recovery::RollBack ? Folder::Names::Old : Folder::Names::OldOrNew,
                       trial + " recovered");
    if (how == Recovery::RollBack) continue;

    // What was kept is the undo record now, and it gives every name back.
    const RecordInfo kept = inspectRecord(journal);
    ASSERT_NE(kept.state, RecordState::Interrupted) << trial;
    if (kept.state == RecordState::Undoable) {
      const RecordOutcome u = undoLastPass(journal);
      EXPECT_EQ(u.restored, u.total) << trial;
    }
    folder.expectWhole(Folder::Names::Old, trial + " undone");
  }
  RecordProperty("interrupted", interrupted);
  RecordProperty("finished", finished);
  RecordProperty("cut_before_any_rename", cutBeforeAnyRename);
  EXPECT_EQ(interrupted + finished + cutBeforeAnyRename, trials);
}

}  // namespace
}  // namespace qorin::rename
