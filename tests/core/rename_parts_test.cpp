// SPDX-License-Identifier: GPL-3.0-or-later
// A large pass records its plan in parts as it renames, and a pass may take
// what was read before it (PassAhead): the record stays one that an undo
// and a recovery read whole.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "outcome_codes.h"
#include "rename/journal.h"
#include "rename/pass_ahead.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {
namespace {

using namespace qorin::filelist;
using Files = std::map<std::string, std::string>;

// Parts of 1024, 1024 and the rest.
constexpr int kThreeParts = 2100;

class Parts : public testing::RenameDir {
 protected:
  // f0 … f(n-1), each proposed as g0 … .
  FileList numbered(int n) const {
    std::vector<std::string> names, next;
    for (int i = 0; i < n; ++i) {
      names.push_back("f" + std::to_string(i));
      next.push_back("g" + std::to_string(i));
    }
    FileList list = listOf(names);
    propose(list, next);
    return list;
  }

  std::vector<std::size_t> planLineEnds() const {
    const std::string t = journalText();
    std::vector<std::size_t> out;
    for (std::size_t at = 0; (at = t.find("\nP ", at)) != std::string::npos; ++at)
      out.push_back(t.find('\n', at + 1) + 1);
    return out;
  }
};

TEST_F(Parts, ALargePassIsRecordedInPartsAndUndoneWhole) {
  FileList list = numbered(1500);
  const Files before = files();
  ASSERT_EQ(renamePass(list, journal_).renamed, 1500);
  EXPECT_GE(planLineEnds().size(), 2u);
  const RecordInfo info = inspectRecord(journal_);
  EXPECT_EQ(info.state, RecordState::Undoable);
  EXPECT_EQ(info.renamed, 1500);
  EXPECT_EQ(undoLastPass(journal_).restored, 1500);
  EXPECT_EQ(files(), before);
}

// Enough files for a helper thread to read identities while the pass
// writes its parts and claims the rows it reaches first: on its own, and
// started ahead of the pass.
TEST_F(Parts, TheHelperAndThePassShareTheReads) {
  constexpr int kMany = 5000;
  for (const bool readAhead : {false, true}) {
    SCOPED_TRACE(readAhead ? "read ahead" : "by the pass");
    FileList list = numbered(kMany);
    FolderCache cache;
    cache.folder(dir_);
    std::optional<PassAhead> ahead;
    if (readAhead) ahead.emplace(list, cache);
    ASSERT_EQ(
        renamePass(list, journal_, {}, {}, nullptr, PassKind::Rename, ahead ? &*ahead : nullptr).renamed,
        kMany);
    EXPECT_EQ(undoLastPass(journal_).restored, kMany);
    EXPECT_EQ(files().size(), std::size_t{kMany});
    for (int i = 0; i < kMany; ++i) std::filesystem::remove(native("f" + std::to_string(i)));
  }
}

// Killed at each kind of place: right after a later part's P line (its
// renames may have begun), and inside a later part that never got its P
// line (none of its renames ran). The disk decides; every file goes back.
TEST_F(Parts, ARecordCutInALaterPartIsRecoveredFromTheDisk) {
  for (const bool torn : {false, true}) {
    SCOPED_TRACE(torn ? "inside the part" : "after its P line");
    FileList list = numbered(kThreeParts);
    const Files before = files();
    ASSERT_EQ(renamePass(list, journal_).renamed, kThreeParts);
    const std::vector<std::size_t> ends = planLineEnds();
    ASSERT_EQ(ends.size(), 3u);
    const std::string t = journalText();
    setJournal(torn ? t.substr(0, ends[1] - 1 - 20) : t.substr(0, ends[1]));
    JournalRecord r;
    ASSERT_EQ(readJournal(journal_, r), JournalRead::Ok);
    EXPECT_LT(r.phases[0].steps.size(), std::size_t{kThreeParts});
    EXPECT_EQ(inspectRecord(journal_).state, RecordState::Interrupted);
    const RecordOutcome o = recoverInterrupted(journal_, Recovery::RollBack);
    EXPECT_EQ(o.status, RecordOutcome::Status::Done);
    EXPECT_EQ(o.restored, o.total);
    // A part that never ran is no plan cut short: nothing is unaccounted for.
    EXPECT_EQ(r.unreadableSteps, 0);
    EXPECT_EQ(o.unreadable, 0);
    // The steps of the part left out were renamed in fact: the disk
    // still has them under their new names, for the user to see.
    Files now = files();
    std::size_t old = 0;
    for (const auto& [name, text] : now) old += name[0] == 'f';
    EXPECT_EQ(old, r.phases[0].steps.size());
    for (int i = 0; i < kThreeParts; ++i)
      if (now.count("g" + std::to_string(i)))
        std::filesystem::rename(native("g" + std::to_string(i)), native("f" + std::to_string(i)));
    EXPECT_EQ(files(), before);
    std::filesystem::remove(*text::gbToUtf8(journal_));
  }
}

// Files read ahead: one deleted meanwhile fails alone, unrun, while the
// names it held are free to take; the undo gives the rest back. A list
// reordered since is read afresh.
TEST_F(Parts, WhatWasReadAheadServesThePassWhileTheListStands) {
  FileList list = listOf({"a", "b", "c", "d"});
  propose(list, {"b", "c", "x", "y"});
  FolderCache cache;
  cache.folder(dir_);
  PassAhead ahead(list, cache);
  std::filesystem::remove(native("c"));
  const PassOutcome p = renamePass(list, journal_, {}, {}, nullptr, PassKind::Rename, &ahead);
  EXPECT_EQ(p.renamed, 3);
  EXPECT_EQ(list[2].statusCode, Status::RenameFailed);
  EXPECT_EQ(list[2].statusReason, codes::SourceMissing);
  EXPECT_NE(journalText().find("S 2 0 2 s "), std::string::npos);  // in the record, never run
  EXPECT_EQ(undoLastPass(journal_).restored, 3);
  EXPECT_EQ(files(), (Files{{"a", "content of a"}, {"b", "content of b"}, {"d", "content of d"}}));

  FileList again = listOf({"p", "q"});
  propose(again, {"q2", "p2"});
  PassAhead stale(again, cache);
  again.reorder({1, 0});
  EXPECT_FALSE(stale.matches(again));
  EXPECT_EQ(renamePass(again, journal_, {}, {}, nullptr, PassKind::Rename, &stale).renamed, 2);
}

}  // namespace
}  // namespace qorin::rename
