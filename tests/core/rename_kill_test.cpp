// SPDX-License-Identifier: GPL-3.0-or-later
// A small pass killed at each system call of its renames in turn, with each
// rename way forced on the temp folder and on the ways FUSE mounts of exFAT,
// FAT and NTFS take, then recovered either way and undone: every file is back
// once, with its bytes, under its old name, and no second name, placeholder
// or temporary of ours is left.
#ifdef __linux__
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "fuse_image.h"
#include "platform/fs.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {
namespace {

using Files = std::map<std::string, std::string>;
using platform::NoReplaceWay;
namespace fuse = qorin::testing;
namespace stdfs = std::filesystem;

// A chain of three, a swap, a cycle of three, an empty file renamed (an
// empty file of the user's looks like a placeholder) and a file left alone.
const std::vector<std::string> kNames = {"a", "b", "c", "s1", "s2", "r1", "r2", "r3", "p", "keep"};
const std::vector<std::string> kProposals = {"b", "c", "d", "s2", "s1", "r2", "r3", "r1", "q", "keep"};

struct Where {
  const char* name;
  const fuse::FuseKind* mount;  // nullptr: the temp folder, the way forced
  NoReplaceWay way;
};

const Where kWhere[] = {
    {"temp_flag", nullptr, NoReplaceWay::Flag},
    {"temp_link", nullptr, NoReplaceWay::Link},
    {"temp_placeholder", nullptr, NoReplaceWay::Placeholder},
    {"exfat", &fuse::kExfat, NoReplaceWay::Placeholder},
    {"fat", &fuse::kFat, NoReplaceWay::Placeholder},
    {"ntfs", &fuse::kNtfs, NoReplaceWay::Link},
};

void PrintTo(const Where& w, std::ostream* os) { *os << w.name; }

constexpr int kKilled = 3, kEnded = 4;

class KilledAtEachCall : public testing::RenameDir, public ::testing::WithParamInterface<Where> {
 protected:
  void SetUp() override {
    RenameDir::SetUp();
    // The record in memory where there is room: its syncs would take most
    // of the time, and what is tried here is the folder's file system.
    std::error_code ec;
    if (stdfs::is_directory("/dev/shm", ec)) {
      state_ = stdfs::path("/dev/shm") / ("qorin-kill-" + root_.filename().string());
      journal_ = (state_ / "journal").string();
    }
    if (!GetParam().mount) return;
    image_ = std::make_unique<fuse::FuseImage>(*GetParam().mount, root_ / "fs.img", root_ / "work");
    if (!image_->mounted()) GTEST_SKIP() << image_->skipReason();
  }
  void TearDown() override {
    if (image_) {
      EXPECT_TRUE(image_->unmount());
    }
    std::error_code ec;
    if (!state_.empty()) stdfs::remove_all(state_, ec);
    RenameDir::TearDown();
  }

  platform::RenameWays ways() const {
    platform::RenameWays w;
    if (GetParam().mount) return w;
    for (const NoReplaceWay refused : {NoReplaceWay::Flag, NoReplaceWay::Link})
      if (refused < GetParam().way) w.refuse(refused);
    return w;
  }

  // The files as they were (written again only when a run left them
  // otherwise), no record; the list of the pass.
  filelist::FileList fresh() {
    stdfs::remove_all(stdfs::path(journal_).parent_path());
    if (!clean_) {
      std::vector<stdfs::path> there;
      for (const auto& e : stdfs::directory_iterator(root_ / "work")) there.push_back(e.path());
      for (const auto& p : there) stdfs::remove(p);
      listOf(kNames);
      write("p", "");
    }
    clean_ = false;
    filelist::FileList list;
    for (const auto& n : kNames) list.addName(n);
    list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, list.fileCount() - 1, dir_);
    propose(list, kProposals);
    return list;
  }

  // Runs the pass in a child that dies at the `n`th system call of its
  // renames; false when the pass came to its end first.
  bool killedAt(int n) {
    filelist::FileList list = fresh();
    const pid_t child = ::fork();
    if (child == 0) {
      platform::RenameWays w = ways();
      int calls = 0;
      w.beforeEachCall([&] {
        if (++calls == n) ::_exit(kKilled);
      });
      renamePass(list, journal_, {}, {}, &w);
      ::_exit(kEnded);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == kKilled || WEXITSTATUS(status) == kEnded));
    return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
  }

  // The folder's files. A FUSE mount keeps a file removed while a dead
  // child's descriptor is still being released as ".fuse_hidden…", and
  // drops it itself once the release arrives: the mount's, not ours.
  Files onDisk() const {
    Files now = files();
    std::erase_if(now, [](const auto& f) { return f.first.starts_with(".fuse_hidden"); });
    return now;
  }

  // Every file once, under its old or its new name, and nothing else.
  bool eachOnce(const Files& now) const {
    std::vector<int> seen(kNames.size(), 0);
    for (const auto& [name, content] : now) {
      std::size_t i = 0;
      while (i < kNames.size() && before_.at(kNames[i]) != content) ++i;
      if (i == kNames.size() || (name != kNames[i] && name != kProposals[i])) return false;
      ++seen[i];
    }
    return std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; });
  }

  Files before_;
  bool clean_ = false;  // the files are as before
  stdfs::path state_;   // the record's folder when it is not the root's
  std::unique_ptr<fuse::FuseImage> image_;
};

TEST_P(KilledAtEachCall, RecoveryAndUndoGiveEveryFileBack) {
  fresh();
  before_ = files();
  int points = 0, runs = 0, restored = 0;
  for (int n = 1;; ++n) {
    bool killed = true;
    for (const Recovery how : {Recovery::RollBack, Recovery::Keep}) {
      killed = killedAt(n);
      if (!killed) break;
      const std::string at = "killed at call " + std::to_string(n) + (how == Recovery::Keep ? ", kept" : "");
      platform::RenameWays w = ways();
      ASSERT_EQ(inspectRecord(journal_).state, RecordState::Interrupted) << at;
      EXPECT_EQ(recoverInterrupted(journal_, how, {}, &w).status, RecordOutcome::Status::Done) << at;
      const Files recovered = onDisk();
      const bool whole = how == Recovery::RollBack ? recovered == before_ : eachOnce(recovered);
      EXPECT_TRUE(whole) << at << ": " << ::testing::PrintToString(recovered);
      undoLastPass(journal_, {}, {}, &w);
      const Files undone = onDisk();
      ++runs;
      clean_ = undone == before_;
      restored += whole && clean_;
      EXPECT_EQ(undone, before_) << at << ", then undone";
    }
    if (!killed) {
      platform::RenameWays w = ways();
      EXPECT_EQ(undoLastPass(journal_, {}, {}, &w).restored, 9);
      EXPECT_EQ(onDisk(), before_) << "undone after the whole pass";
      break;
    }
    ++points;
  }
  // Each rename makes at least one call: the kills reached every step.
  EXPECT_GE(points, 11);
  EXPECT_EQ(restored, runs);
  RecordProperty("kill_points", points);
  RecordProperty("runs_restored", restored);
  std::printf("[ kills    ] %s: %d kill points, %d of %d runs fully restored\n", GetParam().name, points,
              restored, runs);
}

INSTANTIATE_TEST_SUITE_P(Ways, KilledAtEachCall, ::testing::ValuesIn(kWhere),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorin::rename
#endif
