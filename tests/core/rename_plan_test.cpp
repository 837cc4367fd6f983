// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using text::gb;
namespace stdfs = std::filesystem;

TEST(NameProblem, ByPlatformRules) {
  const NameRules posix{false, platform::NativeEncoding::Utf8, 255};
  const NameRules windows{true, platform::NativeEncoding::Utf16, 255};
  const std::string han85 = std::string(85 * 2, '\xB0');        // 170 bytes here, 255 in UTF-8
  const std::string han86 = std::string(86 * 2, '\xB0');        // 258 in UTF-8, 86 UTF-16 units
  const std::string han127 = std::string(127 * 2, '\xB0');      // 127 UTF-16 units
  std::string astral64;                                         // U+20000 is four bytes in both
  for (int i = 0; i < 64; ++i) astral64 += "\x95\x32\x82\x36";  // 256 UTF-8 bytes, 128 UTF-16 units
  const struct {
    std::string name;
    Outcome posix, windows;
  } cases[] = {
      {"song.mp3", Outcome{}, Outcome{}},
      {".hidden", Outcome{}, Outcome{}},
      {gb("音乐"), Outcome{}, Outcome{}},
      {"", codes::EmptyName, codes::EmptyName},
      {".", codes::IllegalName, codes::IllegalName},
      {"..", codes::IllegalName, codes::IllegalName},
      {"...", Outcome{}, codes::IllegalName},  // Windows drops a trailing dot
      {"name ", Outcome{}, codes::IllegalName},
      {"a/b", codes::IllegalName, codes::IllegalName},
      {"a\\b", Outcome{}, codes::IllegalName},
      {std::string("x\0", 2), codes::IllegalName, codes::IllegalName},
      {"\x81\x5C", Outcome{}, Outcome{}},  // a double-byte character ending in 0x5C
      {"\x81\x5C\\", Outcome{}, codes::IllegalName},
      {"\x95\x32\x82\x36/", codes::IllegalName, codes::IllegalName},
      {"a:b", Outcome{}, codes::IllegalName},
      {"why?", Outcome{}, codes::IllegalName},
      {"<*>|\"", Outcome{}, codes::IllegalName},
      {"tab\there", Outcome{}, codes::IllegalName},
      {"CON", Outcome{}, codes::IllegalName},
      {"con.txt", Outcome{}, codes::IllegalName},
      {"Com1", Outcome{}, codes::IllegalName},
      {"LPT9.tar.gz", Outcome{}, codes::IllegalName},
      {"AUX .txt", Outcome{}, codes::IllegalName},
      {"nul", Outcome{}, codes::IllegalName},
      {"COM0", Outcome{}, Outcome{}},
      {"COM10", Outcome{}, Outcome{}},
      {"CONSOLE", Outcome{}, Outcome{}},
      {"LPT", Outcome{}, Outcome{}},
      {"\x81", codes::IllegalName, codes::IllegalName},  // a lead byte alone
      {"a\x80", codes::IllegalName, codes::IllegalName},
      {"a\xFF", codes::IllegalName, codes::IllegalName},
      {"\x81\x30\x81\x30", Outcome{}, Outcome{}},                    // U+0080 in four bytes
      {"\x84\x31\xA5\x30", codes::IllegalName, codes::IllegalName},  // past the last one
      {std::string(255, 'a'), Outcome{}, Outcome{}},
      {std::string(256, 'a'), codes::NameTooLong, codes::NameTooLong},
      {han85, Outcome{}, Outcome{}},
      {han86, codes::NameTooLong, Outcome{}},
      {han127, codes::NameTooLong, Outcome{}},
      {astral64, codes::NameTooLong, Outcome{}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nameProblem(c.name, posix), c.posix) << c.name;
    EXPECT_EQ(nameProblem(c.name, windows), c.windows) << c.name;
  }
  EXPECT_EQ(nameProblem("abcdef", {false, platform::NativeEncoding::Utf8, 5}), codes::NameTooLong);
}

// Plans in memory: one or two folders with the names given as existing.
struct Planned {
  std::vector<Verdict> verdicts;
  std::vector<std::string> order;  // "from>to" per step; a cycle's first file as "from>~" and "~>to"
};

Planned planOf(const std::vector<std::vector<std::string>>& existing, const std::vector<PlanRow>& rows) {
  std::vector<NameSet> sets;
  for (const auto& names : existing) sets.emplace_back(names);
  std::vector<PlanFolder> folders;
  for (const auto& s : sets) folders.push_back({&s, 255});
  const Plan plan = planMoves(rows, folders, {false, platform::NativeEncoding::Utf8, 255}, PlanUse::Pass);
  Planned out{plan.verdicts, {}};
  for (const Plan::Group& g : plan.groups) {
    for (std::uint32_t k = g.begin; k < g.end; ++k) {
      const PlanRow& r = rows[static_cast<std::size_t>(plan.order[k])];
      const bool head = g.cycle && k == g.begin;
      out.order.push_back(std::string(r.from) + ">" + (head ? "~" : std::string(r.to)));
    }
    if (g.cycle)
      out.order.push_back("~>" + std::string(rows[static_cast<std::size_t>(plan.order[g.begin])].to));
  }
  return out;
}

struct Row {
  std::string from, to;
  std::uint32_t folder = 0;
  Outcome preset = Outcome{};
  bool itself = false;
};

TEST(PlanMoves, VerdictsAndOrder) {
  const struct {
    const char* what;
    std::vector<std::string> existing;  // in folder 0 besides the rows' own files
    std::vector<Row> rows;
    std::vector<Verdict> verdicts;
    std::vector<std::string> order;
  } cases[] = {
      {"free target", {}, {{"a", "b"}}, {{}}, {"a>b"}},
      {"duplicates: the first wins",
       {},
       {{"a", "x"}, {"b", "x"}, {"c", "x"}},
       {{}, {codes::SameAsEarlier, 1}, {codes::SameAsEarlier, 1}},
       {"a>x"}},
      {"target held by a file outside", {"c"}, {{"a", "c"}}, {{codes::TargetExists, 0}}, {}},
      {"chain listed backwards runs from its free end",
       {},
       {{"a", "b"}, {"b", "c"}, {"c", "d"}},
       {{}, {}, {}},
       {"c>d", "b>c", "a>b"}},
      {"chain ending at a file that stays fails whole",
       {"d"},
       {{"a", "b"}, {"b", "c"}, {"c", "d"}},
       {{codes::TargetExists, 0}, {codes::TargetExists, 0}, {codes::TargetExists, 0}},
       {}},
      {"swap", {}, {{"a", "b"}, {"b", "a"}}, {{}, {}}, {"a>~", "b>a", "~>b"}},
      {"rotation", {}, {{"a", "b"}, {"b", "c"}, {"c", "a"}}, {{}, {}, {}}, {"a>~", "c>a", "b>c", "~>b"}},
      {"an unchanged file holds its name",
       {},
       {{"a", "a"}, {"b", "a"}},
       {{codes::Unchanged, 0}, {codes::TargetExists, 0}},
       {}},
      {"a later unchanged file holds its name too",
       {},
       {{"b", "a"}, {"a", "a"}},
       {{codes::TargetExists, 0}, {codes::Unchanged, 0}},
       {}},
      {"the same file listed twice",
       {},
       {{"a", "x"}, {"a", "y"}, {"b", "b"}, {"b", "b"}},
       {{}, {codes::SameFileAsEarlier, 1}, {codes::Unchanged, 0}, {codes::Unchanged, 0}},
       {"a>x"}},
      {"a row that cannot apply claims nothing",
       {},
       {{"a", ""}, {"gone", "x"}, {"b", "x"}, {"a", "y"}},
       {{codes::EmptyName, 0}, {codes::SourceMissing, 0}, {}, {}},
       {"b>x", "a>y"}},
      {"a rule's own verdict", {}, {{"a", "", 0, codes::Unreadable}}, {{codes::Unreadable, 0}}, {}},
      {"the winner blocked: the later one fails as a duplicate",
       {"c"},
       {{"a", "c"}, {"b", "c"}},
       {{codes::TargetExists, 0}, {codes::SameAsEarlier, 1}},
       {}},
      {"a case-only change where the file system finds the file itself",
       {"A"},
       {{"a", "A", 0, Outcome{}, true}},
       {{}},
       {"a>~", "~>A"}},
      {"folders do not meet",
       {},
       {{"a", "x", 0}, {"a", "x", 1}, {"x", "a", 1}},
       {{}, {}, {}},
       {"a>x", "a>~", "x>a", "~>x"}},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<std::string>> existing(2, std::vector<std::string>());
    existing[0] = c.existing;
    std::vector<PlanRow> rows;
    for (const Row& r : c.rows) {
      if (r.from != "gone") existing[r.folder].push_back(r.from);
      rows.push_back({r.folder, r.from, r.to, r.preset, r.itself});
    }
    const Planned p = planOf(existing, rows);
    ASSERT_EQ(p.verdicts.size(), c.verdicts.size()) << c.what;
    for (std::size_t i = 0; i < c.verdicts.size(); ++i) {
      EXPECT_EQ(p.verdicts[i].reason, c.verdicts[i].reason) << c.what << ", row " << i;
      EXPECT_EQ(p.verdicts[i].detail, c.verdicts[i].detail) << c.what << ", row " << i;
    }
    EXPECT_EQ(p.order, c.order) << c.what;
  }
}

TEST(PlanMoves, ShiftsOfAThousandRunInDependencyOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 1001; ++i) names.push_back(std::to_string(i));
  std::vector<PlanRow> up, down;
  for (int i = 0; i < 1000; ++i) {
    up.push_back({0, names[static_cast<std::size_t>(i)], names[static_cast<std::size_t>(i + 1)], {}});
    down.push_back({0, names[static_cast<std::size_t>(i + 1)], names[static_cast<std::size_t>(i)], {}});
  }
  std::vector<std::string> have(names.begin(), names.end() - 1);
  const Planned u = planOf({have}, up);
  ASSERT_EQ(u.order.size(), 1000u);
  EXPECT_EQ(u.order.front(), "999>1000");
  EXPECT_EQ(u.order.back(), "0>1");
  std::vector<std::string> shifted(names.begin() + 1, names.end());
  const Planned d = planOf({shifted}, down);
  ASSERT_EQ(d.order.size(), 1000u);
  EXPECT_EQ(d.order.front(), "1>0");
  EXPECT_EQ(d.order.back(), "1000>999");
}

class PreviewMarks : public testing::RenameDir {};

TEST_F(PreviewMarks, EveryReasonShowsInThePreview) {
  write("taken", "outsider");
  FileList list = listOf({"a", "b", "c", "d", "e", "f", "g", "h", "song.mp3", "k"});
  stdfs::remove(native("f"));
  propose(list, {"x", "x", "taken", "", "bad/name", "y", std::string(300, 'n'), "h", "", "k2"});
  list.setProposalProblem(8, codes::Unreadable);
  list.setDirectory(9, "");
  FolderCache cache;
  markConflicts(list, list.rowCount(), cache);
  const std::vector<std::pair<Outcome, std::int32_t>> want = {
      {Outcome{}, 0},          {codes::SameAsEarlier, 1}, {codes::TargetExists, 0}, {codes::EmptyName, 0},
      {codes::IllegalName, 0}, {codes::SourceMissing, 0}, {codes::NameTooLong, 0},  {codes::Unchanged, 0},
      {codes::Unreadable, 0},  {codes::SourceMissing, 0}};
  for (int r = 0; r < list.rowCount(); ++r) {
    EXPECT_EQ(list[r].mark, want[static_cast<std::size_t>(r)].first) << r;
    EXPECT_EQ(list[r].markDetail, want[static_cast<std::size_t>(r)].second) << r;
  }
}

TEST_F(PreviewMarks, TheCacheListsOnceUntilForgotten) {
  FileList list = listOf({"a", "b"});
  propose(list, {"a2", "b2"});
  FolderCache cache;
  markConflicts(list, 2, cache);
  EXPECT_EQ(list[0].mark, Outcome{});
  write("a2", "new arrival");
  markConflicts(list, 2, cache);
  EXPECT_EQ(list[0].mark, Outcome{});  // the folder as last listed
  cache.forget(dir_);
  markConflicts(list, 2, cache);
  EXPECT_EQ(list[0].mark, codes::TargetExists);
  stdfs::remove(native("a2"));
  cache.clear();
  markConflicts(list, 2, cache);
  EXPECT_EQ(list[0].mark, Outcome{});
}

TEST_F(PreviewMarks, RowsBeyondThePreviewLoseTheirMarks) {
  FileList list = listOf({"a", "b", "c"});
  propose(list, {"", "", ""});
  FolderCache cache;
  markConflicts(list, 3, cache);
  EXPECT_EQ(list[2].mark, codes::EmptyName);
  markConflicts(list, 1, cache);
  EXPECT_EQ(list[0].mark, codes::EmptyName);
  EXPECT_EQ(list[1].mark, Outcome{});
  EXPECT_EQ(list[2].mark, Outcome{});
  markConflicts(list, 99, cache);  // more than there are
  EXPECT_EQ(list[2].mark, codes::EmptyName);
}

TEST_F(PreviewMarks, TheMarksForetellThePass) {
  // What the preview marks is what the pass then does.
  write("held", "outsider");
  FileList list = listOf({"a", "b", "c", "d", "e", "f"});
  propose(list, {"b", "c", "a", "held", "x", "x"});
  FolderCache cache;
  markConflicts(list, list.rowCount(), cache);
  std::vector<Outcome> marks;
  for (int r = 0; r < list.rowCount(); ++r) marks.push_back(list[r].mark);
  ASSERT_EQ(renamePass(list, journal_).status, PassOutcome::Status::Done);
  for (int r = 0; r < list.rowCount(); ++r)
    EXPECT_EQ(list[r].statusReason, marks[static_cast<std::size_t>(r)]) << r;
}

// The marks, worked out in one pass with what the names alone decide kept
// between keystrokes, say what planMoves says of the same rows: random
// lists over three folders, with files listed twice, chains, cycles,
// missing files, taken names, bad names and the rule's own problems.
class MarksAgreeWithThePlan : public testing::RenameDir, public ::testing::WithParamInterface<unsigned> {};

TEST_P(MarksAgreeWithThePlan, OnRandomLists) {
  std::mt19937 rng(GetParam());
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const std::vector<std::string> pool = {"a", "b", "c", "d", "e", "f", "g", "h", "a2", "b2", "x", "y"};
  std::vector<std::string> dirs;
  for (int f = 0; f < 3; ++f) {
    const stdfs::path d = root_ / ("f" + std::to_string(f));
    stdfs::create_directory(d);
    dirs.push_back(d.string() + "/");
    for (const std::string& n : pool)
      if (pick(3) != 0) std::ofstream(d / n) << n;
  }
  FileList list;
  const int n = 10 + pick(40);
  for (int r = 0; r < n; ++r)
    list.addName(pool[static_cast<std::size_t>(pick(static_cast<int>(pool.size())))]);
  list.fillRows(kFillAppend, 0, n - 1, {});
  for (int r = 0; r < n; ++r) list.setDirectory(r, dirs[static_cast<std::size_t>(pick(3))]);
  if (pick(4) == 0) list.setDirectory(pick(n), "");
  FolderCache cache;
  for (int round = 0; round < 4; ++round) {
    for (int r = 0; r < n; ++r) {
      switch (pick(8)) {
        case 0:
          list.setNewName(r, list.oldName(r));
          break;
        case 1:
          list.setNewName(r, pick(2) ? "" : "bad/name");
          break;
        case 2:
          list.setProposalProblem(r, codes::Unreadable);
          break;
        default:
          list.setNewName(r, pool[static_cast<std::size_t>(pick(static_cast<int>(pool.size())))]);
      }
    }
    const int previewed = pick(3) == 0 ? pick(n + 1) : n;
    markConflicts(list, previewed, cache);

    // The reference: the rows as planMoves takes them, folders by their text.
    std::vector<std::unique_ptr<NameSet>> sets;
    std::vector<PlanFolder> folders;
    std::map<std::string, std::uint32_t> index;
    std::vector<PlanRow> rows(static_cast<std::size_t>(previewed));
    for (int r = 0; r < previewed; ++r) {
      PlanRow& p = rows[static_cast<std::size_t>(r)];
      p.from = list.oldName(r);
      p.to = list.newName(r);
      p.preset = list.proposalProblem(r);
      const std::string dir(list.dirOf(r));
      if (dir.empty()) {
        p.preset = codes::SourceMissing;
        continue;
      }
      auto [it, fresh] = index.emplace(dir, static_cast<std::uint32_t>(folders.size()));
      if (fresh) {
        sets.push_back(std::make_unique<NameSet>(*platform::Folder(dir).names()));
        folders.push_back({sets.back().get(), 255});
      }
      p.folder = it->second;
    }
    if (folders.empty()) folders.push_back({});
    const Plan plan = planMoves(rows, folders, NameRules{}, PlanUse::Preview);
    for (int r = 0; r < n; ++r) {
      const Verdict want = r < previewed ? plan.verdicts[static_cast<std::size_t>(r)] : Verdict{};
      EXPECT_EQ(list[r].mark, want.reason) << "round " << round << " row " << r;
      EXPECT_EQ(list[r].markDetail, want.detail) << "round " << round << " row " << r;
    }
    // Files come and go between rounds: the cache is told, as after a pass.
    if (pick(2)) {
      std::ofstream(dirs[static_cast<std::size_t>(pick(3))] + pool[static_cast<std::size_t>(pick(12))])
          << "new";
      cache.clear();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MarksAgreeWithThePlan, ::testing::Range(1u, 201u));

TEST_F(PreviewMarks, AFolderPutInPlaceOfTheOneAddedIsMarked) {
  FileList list = listOf({"a", "b"});
  propose(list, {"a2", "b2"});
  stdfs::rename(root_ / "work", root_ / "work.moved");
  stdfs::create_directory(root_ / "work");
  FolderCache cache;
  markConflicts(list, 2, cache);
  EXPECT_EQ(list[0].mark, codes::FolderChanged);
  EXPECT_EQ(list[1].mark, codes::FolderChanged);
}

}  // namespace
}  // namespace qorin::rename
