// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/rule.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

const char* const kSentinel = "untouched";

// Four entries, none an MP3 file, so the MP3 rule opens nothing; every
// proposal starts as a sentinel that shows which entries a run wrote.
FileList fourEntries() {
  FileList list;
  for (const char* n : {"a.txt", "B.doc", "c", "d.mp3.bak"}) list.addName(n);
  for (int i = 0; i < list.fileCount(); ++i) list.setNewName(i, kSentinel);
  return list;
}

std::vector<std::string> proposals(const FileList& list) {
  std::vector<std::string> out;
  for (const FileEntry& e : list.entries()) out.emplace_back(e.newName);
  return out;
}

TEST(RuleDispatch, RunsTheRuleOfTheOptionsOverTheFirstEntries) {
  ReplaceOptions replace;
  replace.search = "a";
  replace.replacement = "x";
  InsertOptions insert;
  insert.nameText = "_";
  CaseOptions lower{CaseChoice::AllLower, CaseChoice::FirstUpper};
  Mp3Options mp3;
  mp3.rule = "#1";
  const std::string u = kSentinel;
  struct Case {
    RuleOptions rule;
    int n;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {GeneralOptions{}, 2, {"0.txt", "1.doc", u, u}},
      {replace, 2, {"x.txt", "B.doc", u, u}},
      {insert, 3, {"_a.txt", "_B.doc", "_c", u}},
      {lower, 2, {"a.Txt", "b.Doc", u, u}},
      {CaseOptions{}, 4, {"A.TXT", "B.DOC", "C", "D.MP3.BAK"}},
      // n is clamped to the list at both ends
      {GeneralOptions{}, 0, {u, u, u, u}},
      {GeneralOptions{}, -3, {u, u, u, u}},
      {insert, 99, {"_a.txt", "_B.doc", "_c", "_d.mp3.bak"}},
      // the MP3 rule names every entry whatever n is: none is an MP3 file
      {mp3, 1, {"", "", "", ""}},
      {mp3, 0, {"", "", "", ""}},
      {Mp3Options{}, 2, {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    FileList list = fourEntries();
    applyRule(list, c.n, c.rule);
    EXPECT_EQ(proposals(list), c.want) << "rule " << c.rule.index() << ", n " << c.n;
  }
}

TEST(RuleDispatch, OnlyTheMp3RuleMarksItsStatusColumn) {
  FileList list = fourEntries();
  applyRule(list, 4, CaseOptions{});
  for (const FileEntry& e : list.entries()) EXPECT_EQ(e.mp3Code, filelist::Mp3Status::None);
  Mp3Options mp3;
  mp3.rule = "#2";
  applyRule(list, 1, mp3);
  for (const FileEntry& e : list.entries()) EXPECT_EQ(e.mp3Code, filelist::Mp3Status::NotMp3) << e.oldName;
}

TEST(RuleDispatch, OnlyTheMp3RuleCoversEveryEntry) {
  const RuleOptions rules[] = {GeneralOptions{}, ReplaceOptions{}, InsertOptions{}, CaseOptions{},
                               Mp3Options{}};
  for (const RuleOptions& r : rules) EXPECT_EQ(coversEveryEntry(r), r.index() == 4) << r.index();
}

}  // namespace
}  // namespace qorin::rules
