// SPDX-License-Identifier: GPL-3.0-or-later
// Records as a power cut, a failing disk or another person may leave them:
// a torn last line, a flipped byte in the plan, names and folders that no
// pass wrote. None may move a file the pass did not move, or lose one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "platform/fs.h"
#include "rename/journal.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

using Files = std::map<std::string, std::string>;
namespace stdfs = std::filesystem;

const Files kBefore = {{"a", "content of a"}, {"b", "content of b"}, {"c", "content of c"}};

std::multiset<std::string> contents(const Files& f) {
  std::multiset<std::string> out;
  for (const auto& [name, content] : f) out.insert(content);
  return out;
}

// A line with the given payload and a checksum that fits it: what someone
// who knows the format could write.
std::string line(const std::string& payload) {
  char sum[9];
  std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(crc32(payload)));
  return payload + "\t" + sum + "\n";
}

// The text with field `field` of every line starting with `kind` changed.
std::string withField(const std::string& text, const std::string& kind, std::size_t field,
                      const std::string& value, int only = -1) {
  std::istringstream in(text);
  std::string out;
  int seen = 0;
  for (std::string l; std::getline(in, l);) {
    std::string payload = l.substr(0, l.rfind('\t'));
    if (payload.starts_with(kind) && (only < 0 || seen++ == only)) {
      std::vector<std::string> f;
      std::istringstream fs(payload);
      for (std::string x; std::getline(fs, x, ' ');) f.push_back(x);
      f[field] = value;
      payload = f[0];
      for (std::size_t i = 1; i < f.size(); ++i) payload += " " + f[i];
    }
    out += line(payload);
  }
  return out;
}

// Which step line (0-based among the step lines) renames to `name`.
int stepTo(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  int k = 0;
  for (std::string l; std::getline(in, l);) {
    if (!l.starts_with("S ")) continue;
    if (l.substr(0, l.rfind('\t')).ends_with(" " + name)) return k;
    ++k;
  }
  return -1;
}

class Trust : public testing::RenameDir {
 protected:
  // A swap of a and b, and c -> d: steps a -> tmp, b -> a, tmp -> b, c -> d.
  void pass() {
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) stdfs::remove(e.path());
    FileList list = listOf({"a", "b", "c"});
    propose(list, {"b", "a", "d"});
    ASSERT_EQ(renamePass(list, journal_).renamed, 3);
  }

  static bool anyTemporary(const Files& f) {
    return std::any_of(f.begin(), f.end(), [](const auto& e) { return e.first.starts_with(".qorin-"); });
  }
};

TEST_F(Trust, ATornLastLineIsCutOffSoThatKeepLeavesAnUndoableRecord) {
  pass();
  const std::string full = journalText();
  // The last two lines (the last completion record and the end) torn at
  // every byte, as a power cut leaves the part that was not synced.
  const std::size_t from = full.rfind('\n', full.rfind('\n', full.size() - 2) - 1) + 1;
  for (std::size_t cut = from + 1; cut < full.size(); ++cut) {
    if (full[cut - 1] == '\n') continue;
    SCOPED_TRACE(cut);
    pass();
    setJournal(journalText().substr(0, cut));
    ASSERT_EQ(inspectRecord(journal_).state, RecordState::Interrupted);
    ASSERT_EQ(recoverInterrupted(journal_, Recovery::Keep).status, RecordOutcome::Status::Done);
    // Asked once: the record now reads to its end.
    EXPECT_EQ(inspectRecord(journal_).state, RecordState::Undoable);
    EXPECT_EQ(peekRecord(journal_).state, RecordState::Undoable);
    EXPECT_EQ(undoLastPass(journal_).restored, 3);
    EXPECT_EQ(files(), kBefore);
  }
}

TEST_F(Trust, AFlippedByteInThePlanGivesBackWhatTheReadablePartMoved) {
  pass();
  const std::string full = journalText();
  const std::size_t first = full.find("\nS ") + 1, last = full.find('\n', full.find("\nP ") + 1);
  for (std::size_t at = first; at < last; at += 3) {
    SCOPED_TRACE(at);
    pass();
    const Files after = files();
    std::string t = journalText();
    t[at] = static_cast<char>(t[at] ^ 0x01);
    setJournal(t);
    const RecordState state = inspectRecord(journal_).state;
    if (state == RecordState::Damaged) {  // nothing of the plan could be read
      EXPECT_EQ(undoLastPass(journal_).status, RecordOutcome::Status::Damaged);
      EXPECT_EQ(files(), after);
      continue;
    }
    ASSERT_EQ(state, RecordState::Interrupted);
    const RecordOutcome keep = recoverInterrupted(journal_, Recovery::Keep);
    ASSERT_EQ(keep.status, RecordOutcome::Status::Done);
    EXPECT_NE(inspectRecord(journal_).state, RecordState::Interrupted);
    const RecordOutcome undo = undoLastPass(journal_);
    // No file lost; every file the record could not tell of is counted.
    EXPECT_EQ(contents(files()), contents(kBefore));
    const int notBack = static_cast<int>(std::count_if(kBefore.begin(), kBefore.end(), [&](const auto& e) {
      const Files now = files();
      const auto it = now.find(e.first);
      return it == now.end() || it->second != e.second;
    }));
    EXPECT_TRUE(notBack == 0 || keep.unreadable + undo.unreadable > 0);
    EXPECT_TRUE(!anyTemporary(files()) || !(keep.temporaries.empty() && undo.temporaries.empty()));
  }
}

TEST_F(Trust, CraftedRecordsAreRefusedWholeAndTouchNothing) {
  pass();
  const std::string good = journalText();
  std::ofstream(root_ / "outside") << "not the user's";
  const std::string foreignDevice = "ffff";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"a name leading out of the folder", withField(good, "S ", 9, "../outside", 3)},
      {"an absolute name", withField(good, "S ", 10, "/etc/passwd", 3)},
      {"a dot-dot name", withField(good, "S ", 9, "..", 3)},
      {"an empty name", withField(good, "S ", 10, "", 3)},
      {"a folder that is not a full path", withField(good, "F ", 4, "work/")},
      {"a folder with a dot-dot part", withField(good, "F ", 4, dir_ + "../work/")},
      {"a file on another device than its folder", withField(good, "S ", 5, foreignDevice, 3)},
  };
  const Files after = files();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    setJournal(c.text);
    EXPECT_EQ(inspectRecord(journal_).state, RecordState::Refused);
    EXPECT_EQ(undoLastPass(journal_).status, RecordOutcome::Status::Refused);
    EXPECT_EQ(recoverInterrupted(journal_, Recovery::RollBack).status, RecordOutcome::Status::Refused);
    EXPECT_EQ(files(), after);
    EXPECT_TRUE(stdfs::exists(root_ / "outside"));
  }

  // A record that names another full folder finds it is not the folder the
  // pass renamed in: nothing there moves.
  stdfs::create_directory(root_ / "other");
  for (const char* n : {"a", "b", "d"}) std::ofstream(root_ / "other" / n) << n;
  setJournal(withField(good, "F ", 4, *text::utf8ToGb((root_ / "other").string() + "/")));
  EXPECT_EQ(undoLastPass(journal_).restored, 0);
  EXPECT_EQ(std::distance(stdfs::directory_iterator(root_ / "other"), {}), 3);
  for (const char* n : {"a", "b", "d"}) EXPECT_TRUE(stdfs::exists(root_ / "other" / n)) << n;
}

TEST_F(Trust, ABirthTimeOfZeroIsRefusedWhereTheFileSystemKeepsOne) {
  pass();
  const auto id = platform::Folder(dir_).identityOf("d");
  if (!id || id->birth == 0) GTEST_SKIP() << "this file system keeps no birth times";
  setJournal(withField(journalText(), "S ", 8, "0", stepTo(journalText(), "d")));
  const RecordOutcome u = undoLastPass(journal_);
  EXPECT_EQ(u.restored, 2);
  EXPECT_TRUE(stdfs::exists(native("d")));  // not taken for the file the pass moved
}

}  // namespace
}  // namespace qorin::rename
