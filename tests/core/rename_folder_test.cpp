// SPDX-License-Identifier: GPL-3.0-or-later
// A folder swapped between adding its files and renaming them: the pass and
// the undo rename only in the folder the rows were added from, and fail the
// rows of any other with their reason.
#include <gtest/gtest.h>

#include <functional>

#include "filelist/add_files.h"
#include "outcome_codes.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
namespace stdfs = std::filesystem;

class FolderSwap : public testing::RenameDir {
 protected:
  // A second folder beside the work folder, holding the same names.
  void SetUp() override {
    RenameDir::SetUp();
    stdfs::create_directory(root_ / "other");
    for (const char* n : {"a", "b"}) std::ofstream(root_ / "other" / n) << "other " << n;
  }
  Files filesOf(const stdfs::path& dir) const {
    Files out;
    for (const auto& e : stdfs::directory_iterator(dir)) {
      std::ifstream in(e.path());
      out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
  }
  // The work folder's two files added the way the window adds a folder.
  FileList added() const {
    FileList list;
    std::string dir = dir_;
    EXPECT_EQ(scanDirectory(list, dir).added, 2);
    propose(list, {"a2", "b2"});
    return list;
  }
  const Files kOther{{"a", "other a"}, {"b", "other b"}};
  const Files kWork{{"a", "content of a"}, {"b", "content of b"}};

  struct Swap {
    const char* what;
    std::function<void(const stdfs::path& root)> swap;
  };
  static std::vector<Swap> swaps() {
    return {
#ifndef _WIN32  // links to folders need rights a Windows user seldom has
        {"a link to another folder in its place",
         [](const stdfs::path& root) {
           stdfs::rename(root / "work", root / "work.moved");
           stdfs::create_directory_symlink(root / "other", root / "work");
         }},
#endif
        {"another folder moved into its place",
         [](const stdfs::path& root) {
           stdfs::rename(root / "work", root / "work.moved");
           stdfs::copy(root / "other", root / "work");
         }},
        {"the folder gone",
         [](const stdfs::path& root) { stdfs::rename(root / "work", root / "work.moved"); }},
    };
  }
};

TEST_F(FolderSwap, ThePassRenamesNothingInAFolderPutInPlaceOfTheOneAdded) {
  for (const Swap& s : swaps()) {
    SCOPED_TRACE(s.what);
    std::error_code ec;
    stdfs::remove_all(root_ / "work", ec);  // a link goes by itself
    stdfs::remove_all(root_ / "work.moved", ec);
    stdfs::create_directory(root_ / "work");
    for (const char* n : {"a", "b"}) write(n, std::string("content of ") + n);
    FileList list = added();
    s.swap(root_);

    const PassOutcome p = renamePass(list, journal_);
    EXPECT_EQ(p.succeeded, 0);
    EXPECT_EQ(p.renamed, 0);
    for (int r = 0; r < 2; ++r) {
      EXPECT_EQ(list[r].statusReason, codes::FolderChanged) << r;
      EXPECT_EQ(list[r].icon, StatusIcon::Failure);
    }
    EXPECT_EQ(filesOf(root_ / "other"), kOther);
    EXPECT_EQ(filesOf(root_ / "work.moved"), kWork);
    if (stdfs::is_directory(root_ / "work")) {
      EXPECT_EQ(filesOf(root_ / "work"), kOther);
    }
    EXPECT_NE(inspectRecord(journal_).state, RecordState::Undoable);  // nothing to give back
  }
}

TEST_F(FolderSwap, TheUndoGivesNothingBackInAFolderPutInPlaceOfTheOneRenamedIn) {
  for (const Swap& s : swaps()) {
    SCOPED_TRACE(s.what);
    std::error_code ec;
    stdfs::remove_all(root_ / "work", ec);
    stdfs::remove_all(root_ / "work.moved", ec);
    stdfs::create_directory(root_ / "work");
    for (const char* n : {"a", "b"}) write(n, std::string("content of ") + n);
    FileList list = added();
    ASSERT_EQ(renamePass(list, journal_).renamed, 2);
    // Names the undo would give back exist in the other folder as well.
    std::ofstream(root_ / "other" / "a2") << "other a2";
    s.swap(root_);

    const RecordOutcome u = undoLastPass(journal_);
    EXPECT_EQ(u.total, 2);
    EXPECT_EQ(u.restored, 0);
    for (const FileOutcome& f : u.files) EXPECT_EQ(f.reason, codes::FolderChanged) << u.before(f);
    EXPECT_EQ(filesOf(root_ / "other"), (Files{{"a", "other a"}, {"b", "other b"}, {"a2", "other a2"}}));
    EXPECT_EQ(filesOf(root_ / "work.moved"), (Files{{"a2", "content of a"}, {"b2", "content of b"}}));
    // Still on offer: the folder may come back.
    EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
    stdfs::remove(root_ / "other" / "a2");
  }
}

#ifndef _WIN32
TEST_F(FolderSwap, AFolderAddedThroughALinkIsRenamedInAsLongAsTheLinkLeadsThere) {
  for (const char* n : {"a", "b"}) write(n, std::string("content of ") + n);
  stdfs::create_directory_symlink(root_ / "work", root_ / "link");
  FileList list;
  std::string dir = *text::utf8ToGb((root_ / "link").string());
  ASSERT_EQ(scanDirectory(list, dir).added, 2);
  propose(list, {"a2", "b2"});
  EXPECT_EQ(renamePass(list, journal_).renamed, 2);
  EXPECT_EQ(files(), (Files{{"a2", "content of a"}, {"b2", "content of b"}}));
  // The link turned to another folder: the undo leaves that one alone...
  stdfs::remove(root_ / "link");
  stdfs::create_directory_symlink(root_ / "other", root_ / "link");
  std::ofstream(root_ / "other" / "a2") << "other a2";
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.restored, 0);
  for (const FileOutcome& f : u.files) EXPECT_EQ(f.reason, codes::FolderChanged) << u.before(f);
  EXPECT_EQ(filesOf(root_ / "other"), (Files{{"a", "other a"}, {"b", "other b"}, {"a2", "other a2"}}));
  // ...and gives the names back once it leads to the folder again.
  stdfs::remove(root_ / "link");
  stdfs::create_directory_symlink(root_ / "work", root_ / "link");
  EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
  EXPECT_EQ(undoLastPass(journal_).restored, 2);
  EXPECT_EQ(files(), kWork);
}
#endif

TEST_F(FolderSwap, RowsOfOneFolderKeepTheIdentityTheyWereAddedWith) {
  write("a", "content of a");
  FileList list;
  std::string dir = dir_;
  scanDirectory(list, dir);
  const FolderInfo before = list.folder(list[0].folder);
  EXPECT_TRUE(before.known);
  stdfs::rename(root_ / "work", root_ / "work.moved");
  stdfs::create_directory(root_ / "work");
  write("b", "content of b");
  scanDirectory(list, dir);  // the same text, another folder now
  ASSERT_EQ(list.fileCount(), 2);
  EXPECT_EQ(list[0].dir, list[1].dir);
  EXPECT_NE(list[0].folder, list[1].folder);
  EXPECT_EQ(list.folder(list[0].folder).identity, before.identity);
  EXPECT_NE(list.folder(list[1].folder).identity, before.identity);
}

}  // namespace
}  // namespace qorin::rename
