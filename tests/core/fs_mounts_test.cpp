// SPDX-License-Identifier: GPL-3.0-or-later
// Renames that never replace where the file system takes neither the
// no-replace flag nor hard links (exFAT and FAT through FUSE), and where it
// ignores case: first with those ways refused on the temp folder, then on
// small images mounted through FUSE.
#ifdef __linux__
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "fuse_image.h"
#include "outcome_codes.h"
#include "platform/fs.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {
namespace {

using namespace qorin::filelist;
using Files = std::map<std::string, std::string>;
using platform::NoReplaceWay;
using testing::RenameDir;
namespace stdfs = std::filesystem;
namespace testing_fuse = qorin::testing;

class NoReplaceWays : public RenameDir {
 protected:
  PassOutcome pass(FileList& list) { return renamePass(list, journal_, {}, {}, &ways_); }
  RecordOutcome undo() { return undoLastPass(journal_, {}, {}, &ways_); }

  std::uint64_t device() const {
    struct stat st {};
    return ::stat((root_ / "work").c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_dev) : 0;
  }

  // A numbering pass with a chain and a swap, then its undo; no entry of
  // ours is left behind either time.
  void chainAndSwapComeBack() {
    FileList list = listOf({"1.txt", "2.txt", "3.txt", "s1", "s2"});
    propose(list, {"2.txt", "3.txt", "4.txt", "s2", "s1"});
    const Files before = files();
    EXPECT_EQ(pass(list).renamed, 5);
    EXPECT_EQ(files(), (Files{{"2.txt", "content of 1.txt"},
                              {"3.txt", "content of 2.txt"},
                              {"4.txt", "content of 3.txt"},
                              {"s2", "content of s1"},
                              {"s1", "content of s2"}}));
    EXPECT_EQ(undo().restored, 5);
    EXPECT_EQ(files(), before);
    for (const auto& [name, content] : before) stdfs::remove(native(name));
  }

  platform::RenameWays ways_;
};

TEST_F(NoReplaceWays, PlaceholderWayRenamesSwapsAndNeverReplaces) {
  ways_.refuse(NoReplaceWay::Flag);
  ways_.refuse(NoReplaceWay::Link);
  chainAndSwapComeBack();
  EXPECT_EQ(ways_.wayFor(device()), NoReplaceWay::Placeholder);

  write("taken", "user's");
  FileList list = listOf({"a"});
  propose(list, {"taken"});
  EXPECT_EQ(pass(list).succeeded, 0);
  EXPECT_EQ(list[0].statusReason, codes::TargetExists);
  EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"taken", "user's"}}));

  // A source that is gone leaves no placeholder at its target.
  platform::Folder folder(dir_);
  folder.shareWays(ways_);
  EXPECT_EQ(folder.rename("gone", "b").result, platform::RenameResult::SourceMissing);
  EXPECT_EQ(files().count("b"), 0u);
  // Nor does a rename the system refuses (a folder over our empty file).
  stdfs::create_directory(native("d"));
  EXPECT_EQ(folder.rename("d", "e").result, platform::RenameResult::Failed);
  EXPECT_EQ(files().count("e"), 0u);
}

TEST_F(NoReplaceWays, RefusedFlagFallsBackToLinks) {
  ways_.refuse(NoReplaceWay::Flag);
  chainAndSwapComeBack();
  EXPECT_EQ(ways_.wayFor(device()), NoReplaceWay::Link);
}

// ---- real mounts ----

struct MountKind {
  const testing_fuse::FuseKind* kind;
  bool ignoresCase;
  NoReplaceWay way;  // what the pass ends up using there
};

const MountKind kMounts[] = {
    {&testing_fuse::kExfat, true, NoReplaceWay::Placeholder},
    {&testing_fuse::kFat, true, NoReplaceWay::Placeholder},
    {&testing_fuse::kNtfs, false, NoReplaceWay::Link},
};

class OnMount : public NoReplaceWays, public ::testing::WithParamInterface<MountKind> {
 protected:
  void SetUp() override {
    RenameDir::SetUp();
    image_ = std::make_unique<testing_fuse::FuseImage>(*GetParam().kind, root_ / "fs.img", root_ / "work");
    if (!image_->mounted()) GTEST_SKIP() << image_->skipReason();
  }

  void TearDown() override {
    if (image_) {
      EXPECT_TRUE(image_->unmount());
    }
    RenameDir::TearDown();
  }

  std::unique_ptr<testing_fuse::FuseImage> image_;
};

TEST_P(OnMount, RenamesNeverReplaceAndCaseIsTheFileSystems) {
  const MountKind& k = GetParam();
  EXPECT_EQ(platform::Folder(dir_).ignoresCase(), k.ignoresCase);
  chainAndSwapComeBack();
  EXPECT_EQ(ways_.wayFor(device()), k.way);

  {
    FileList list = listOf({"song.mp3"});
    propose(list, {"SONG.MP3"});
    EXPECT_EQ(pass(list).renamed, 1);
    EXPECT_EQ(files(), (Files{{"SONG.MP3", "content of song.mp3"}}));
    EXPECT_EQ(undo().restored, 1);
    EXPECT_EQ(files(), (Files{{"song.mp3", "content of song.mp3"}}));
    stdfs::remove(native("song.mp3"));
  }

  write("Y.txt", "user's");
  FileList list = listOf({"x.txt"});
  propose(list, {"y.txt"});
  const PassOutcome p = pass(list);
  if (k.ignoresCase) {
    EXPECT_EQ(p.succeeded, 0);
    EXPECT_EQ(list[0].statusReason, codes::TargetExists);
    // The plan saw it; the rename alone would not replace it either.
    platform::Folder folder(dir_);
    folder.shareWays(ways_);
    EXPECT_EQ(folder.rename("x.txt", "y.txt").result, platform::RenameResult::TargetExists);
    EXPECT_EQ(files(), (Files{{"x.txt", "content of x.txt"}, {"Y.txt", "user's"}}));
  } else {
    EXPECT_EQ(p.renamed, 1);
    EXPECT_EQ(files(), (Files{{"y.txt", "content of x.txt"}, {"Y.txt", "user's"}}));
  }
}

// A pass that dies half way, with a cycle caught in the middle, is rolled
// back at the next start: every file under its first name, no temporary left.
TEST_P(OnMount, APassCutShortIsRolledBack) {
  std::vector<std::string> names, proposals;
  for (int i = 0; i < 12; ++i) names.push_back("f" + std::to_string(i) + ".mp3");
  for (int i = 0; i < 12; ++i)
    proposals.push_back(i < 3 ? names[(i + 1) % 3] : "new" + std::to_string(i) + ".mp3");
  FileList list = listOf(names);
  propose(list, proposals);
  const Files before = files();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int asked = 0;
    // Dies where it stands, as a killed program does: no end marker, no cleanup.
    renamePass(
        list, journal_, {}, [&] { return ++asked == 6 ? (::_exit(0), true) : false; }, &ways_);
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_NE(files(), before);
  ASSERT_EQ(inspectRecord(journal_).state, RecordState::Interrupted);
  const RecordOutcome r = recoverInterrupted(journal_, Recovery::RollBack);
  EXPECT_EQ(r.status, RecordOutcome::Status::Done);
  EXPECT_EQ(files(), before);
}

INSTANTIATE_TEST_SUITE_P(Fuse, OnMount, ::testing::ValuesIn(kMounts),
                         [](const auto& info) { return std::string(info.param.kind->name); });

}  // namespace
}  // namespace qorin::rename
#endif
