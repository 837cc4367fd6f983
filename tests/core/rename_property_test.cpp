// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "outcome_codes.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;

class RenameProperty : public testing::RenameDir, public ::testing::WithParamInterface<unsigned> {
 protected:
  // The rows name every listed file exactly once with its own content, and
  // the files nobody listed are untouched: nothing lost, nothing replaced,
  // no temporary name left.
  void expectRowsMatchFolder(const FileList& list, const std::vector<std::string>& contentOfRow,
                             const Files& unlisted) {
    Files claimed = unlisted;
    for (int r = 0; r < list.fileCount(); ++r) {
      const bool fresh = claimed.emplace(list[r].oldName, contentOfRow[static_cast<std::size_t>(r)]).second;
      EXPECT_TRUE(fresh) << "two rows or an unlisted file claim " << list[r].oldName;
    }
    EXPECT_EQ(files(), claimed);
    EXPECT_EQ(rootEntries(), (std::set<std::string>{"state", "work"}));
  }
};

// Whether `files` holds `name` as this platform compares names (Windows
// ignores case).
bool holds(const Files& files, const std::string& name) {
  return std::any_of(files.begin(), files.end(), [&](const auto& f) { return sameName(f.first, name); });
}

std::string randomName(std::mt19937& rng) {
  static const char* const pieces[] = {"a", "b", "A", "B", ".mp3", ".MP3", "x", "\xD2\xF4", "\xC0\xD6", "1"};
  std::string s;
  const int n = std::uniform_int_distribution<int>(1, 3)(rng);
  for (int i = 0; i < n; ++i) s += pieces[std::uniform_int_distribution<std::size_t>(0, 9)(rng)];
  return s;
}

const std::vector<std::string>& badNames() {
  static const std::vector<std::string> bad = {
      "", "..", "../up", "a/b", std::string("a\0", 2), "\x81", std::string(300, 'L'),
  };
  return bad;
}

TEST_P(RenameProperty, PassAppliesWhatCanApplyAndUndoBringsEverythingBack) {
  std::mt19937 rng(GetParam());
  // Distinct names, some listed and some not, each file with its own content.
  std::vector<std::string> pool;
  while (pool.size() < 48) {
    std::string n = randomName(rng);
    if (std::none_of(pool.begin(), pool.end(), [&](const std::string& p) { return sameName(p, n); }))
      pool.push_back(n);
  }
  FileList list;
  std::vector<std::string> contentOfRow;
  Files unlisted;
  for (std::size_t i = 0; i < pool.size(); ++i) {
    const std::string content = "file " + std::to_string(i);
    std::ofstream(native(pool[i]), std::ios::binary) << content;
    if (i % 4 == 3) {
      unlisted[pool[i]] = content;
    } else {
      list.addName(pool[i]);
      contentOfRow.push_back(content);
    }
  }
  list.fillRows(kFillAppend | kFillDirectory, 0, list.fileCount() - 1, dir_);
  const Files initial = files();
  const int n = list.fileCount();

  // Structured moves on disjoint rows first: swaps, 3-cycles, shifts up and
  // down; then whatever a rule might propose for the rest.
  std::vector<int> free(static_cast<std::size_t>(n));
  std::iota(free.begin(), free.end(), 0);
  std::shuffle(free.begin(), free.end(), rng);
  std::vector<bool> given(static_cast<std::size_t>(n), false);
  const auto take = [&](std::size_t k) {
    std::vector<int> rows;
    while (rows.size() < k && !free.empty()) {
      rows.push_back(free.back());
      free.pop_back();
    }
    return rows;
  };
  const auto give = [&](int row, std::string_view name) {
    list.setNewName(row, name);
    given[static_cast<std::size_t>(row)] = true;
  };
  for (int round = 0; round < 2; ++round) {
    if (auto s = take(2); s.size() == 2) {  // swap
      give(s[0], list[s[1]].oldName);
      give(s[1], list[s[0]].oldName);
    }
    if (auto c = take(3); c.size() == 3) {  // rotation
      for (std::size_t k = 0; k < 3; ++k) give(c[k], list[c[(k + 1) % 3]].oldName);
    }
    if (auto up = take(4); up.size() == 4) {  // each to the next one's name, the last to a new one
      for (std::size_t k = 0; k + 1 < up.size(); ++k) give(up[k], list[up[k + 1]].oldName);
      give(up.back(), "fresh" + std::to_string(round));
    }
    if (auto down = take(3); down.size() == 3) {  // the first to a new name, each to the previous one's
      give(down[0], "freed" + std::to_string(round));
      for (std::size_t k = 1; k < down.size(); ++k) give(down[k], list[down[k - 1]].oldName);
    }
  }
  for (int r = 0; r < n; ++r) {
    if (given[static_cast<std::size_t>(r)]) continue;
    std::string proposal;
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
      case 0:
        proposal = list[r].oldName;
        break;
      case 1:
      case 2:  // a pooled name: listed, unlisted, or another row's target
        proposal = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
        break;
      case 3:
        proposal = randomName(rng) + "~" + std::to_string(r % 5);  // new, sometimes twice
        break;
      default:
        proposal = badNames()[std::uniform_int_distribution<std::size_t>(0, badNames().size() - 1)(rng)];
        break;
    }
    list.setNewName(r, proposal);
  }

  std::vector<std::string> before, proposals;
  for (int r = 0; r < n; ++r) {
    before.emplace_back(list[r].oldName);
    proposals.emplace_back(list[r].newName);
  }
  const PassOutcome p = renamePass(list, journal_);
  ASSERT_EQ(p.status, PassOutcome::Status::Done);
  expectRowsMatchFolder(list, contentOfRow, unlisted);

  const Files after = files();
  int succeeded = 0, renamed = 0;
  for (int r = 0; r < n; ++r) {
    const auto ru = static_cast<std::size_t>(r);
    const FileEntry& e = list[r];
    const bool ok = e.icon == StatusIcon::Success;
    succeeded += ok;
    renamed += ok && before[ru] != proposals[ru];
    EXPECT_EQ(e.oldName, ok ? proposals[ru] : before[ru]) << r;
    if (ok) continue;
    // A failure is never one that could have applied: the name is bad, or
    // its target is held now, or the file was another row's.
    using qorin::rename::RenameCode;
    const bool ours = e.statusReason.producer() == Producer::Rename;
    switch (ours ? e.statusReason.as<RenameCode>() : RenameCode::kCount) {
      case RenameCode::EmptyName:
      case RenameCode::IllegalName:
      case RenameCode::NameTooLong:
        EXPECT_NE(std::find(badNames().begin(), badNames().end(), proposals[ru]), badNames().end()) << r;
        break;
      case RenameCode::TargetExists:
        EXPECT_TRUE(holds(after, proposals[ru])) << r << " could have taken " << proposals[ru];
        break;
      case RenameCode::SameAsEarlier: {
        const auto first = static_cast<std::size_t>(e.statusDetail - 1);
        ASSERT_LT(first, ru);
        EXPECT_TRUE(sameName(proposals[first], proposals[ru])) << r;
        EXPECT_TRUE(holds(after, proposals[ru])) << r;
        break;
      }
      default:
        ADD_FAILURE() << "row " << r << " failed with reason " << e.statusReason.code();
    }
  }
  EXPECT_EQ(p.succeeded, succeeded);
  EXPECT_EQ(p.renamed, renamed);

  // Drop a few rows and add one between pass and undo: the undo works from
  // the record, so every file comes back all the same.
  std::vector<int> drop;
  for (int r = 0; r < n; r += 7) drop.push_back(r);
  list.removeRows(drop);
  write("added later", "new file");
  list.addName("added later");
  list.fillRows(kFillAppend | kFillDirectory, list.fileCount() - 1, list.fileCount() - 1, dir_);

  const RecordOutcome u = undoLastPass(journal_);
  showUndoInList(list, u);
  ASSERT_EQ(u.status, renamed ? RecordOutcome::Status::Done : RecordOutcome::Status::NoRecord);
  EXPECT_EQ(u.total, renamed);
  EXPECT_EQ(u.restored, renamed);
  Files want = initial;
  want["added later"] = "new file";
  EXPECT_EQ(files(), want);
  EXPECT_EQ(list[list.fileCount() - 1].statusCode, filelist::Status::None);
  for (int r = 0; r < list.fileCount(); ++r) {
    if (list[r].statusCode != filelist::Status::Undone) continue;
    EXPECT_TRUE(initial.contains(std::string(list[r].oldName))) << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RenameProperty, ::testing::Range(1u, 41u));

}  // namespace
}  // namespace qorin::rename
