// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
using text::gb;
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

TEST(RuleDispatch, TheRulesThatReadFilesCoverEveryEntry) {
  for (int i = 0; i < kRuleCount; ++i)
    EXPECT_EQ(coversEveryEntry(ruleAt(i)), ruleKey(i) == "mp3" || ruleKey(i) == "date") << ruleKey(i);
}

// Every field of every rule set away from where it starts: texts, flags
// flipped, each choice its last value.
RuleOptions changedRule(int index) {
  RuleOptions rule = ruleAt(index);
  std::visit(
      [](auto& o) {
        using O = std::decay_t<decltype(o)>;
        for (const Field<O>& f : RuleFields<O>::fields) {
          if (f.kind == FieldKind::Text) o.*f.text = text::gb("改 ") + std::string(f.key);
          if (f.kind == FieldKind::Flag) o.*f.flag = !(o.*f.flag);
          if (f.kind == FieldKind::Choice) f.set(o, f.choices.back().value);
        }
      },
      rule);
  return rule;
}

TEST(RuleFields, EveryRuleIsKeptAndReadBackWithKeysOfItsOwn) {
  for (int i = 0; i < kRuleCount; ++i) {
    SCOPED_TRACE(std::string(ruleKey(i)));
    const FieldValues kept = keptFields(changedRule(i));
    for (std::size_t a = 0; a < kept.size(); ++a)
      for (std::size_t b = 0; b < a; ++b) EXPECT_NE(kept[a].first, kept[b].first);
    RuleOptions back = ruleAt(i);
    EXPECT_NE(keptFields(back), kept);
    putKept(back, kept);
    EXPECT_EQ(keptFields(back), kept);
    EXPECT_EQ(back.index(), static_cast<std::size_t>(i));
  }
}

TEST(RuleFields, ValuesKeptByEarlierVersionsStillRead) {
  // As the window wrote them: each radio button 开/关, a list its item, a
  // damaged value left alone.
  RuleOptions general = ruleAt(kRuleIndex<GeneralOptions>);
  putKept(general, {{gb("常规文件名单选框"), gb("关")},
                    {gb("常规全部单选框"), gb("开")},
                    {gb("文件名前缀编辑框"), gb(" 新 ")},
                    {gb("删掉的控件"), "1"}});
  EXPECT_EQ(std::get<GeneralOptions>(general).scope, GeneralScope::All);
  EXPECT_EQ(std::get<GeneralOptions>(general).namePrefix, gb(" 新 "));
  RuleOptions date = ruleAt(kRuleIndex<DateOptions>);
  putKept(date, {{gb("日期来源组合框"), "1"}, {gb("日期加在后面单选框"), gb("开")}});
  EXPECT_EQ(std::get<DateOptions>(date).source, DateSource::Taken);
  EXPECT_EQ(std::get<DateOptions>(date).place, DatePlace::After);
  RuleOptions replace = ruleAt(kRuleIndex<ReplaceOptions>);
  putKept(replace, {{gb("正则表达式选择框"), "yes"}, {gb("区分大小写选择框"), gb("开")}});
  EXPECT_FALSE(std::get<ReplaceOptions>(replace).regex);
  EXPECT_TRUE(std::get<ReplaceOptions>(replace).matchCase);
}

}  // namespace
}  // namespace qorin::rules
