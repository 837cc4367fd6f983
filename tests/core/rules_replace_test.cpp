// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "rules_test_chars.h"

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "outcome_codes.h"
#include "rules/regex_replace.h"
#include "rules/replace_rule.h"
#include "rules/rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

using text::gb;

using namespace testchars;

std::string runReplace(const std::string& name, ReplaceScope scope, bool matchCase, const std::string& search,
                       const std::string& replacement) {
  FileList list;
  list.addName(name);
  replaceRule(list, 1, ReplaceOptions{search, replacement, matchCase, scope});
  return std::string(list[0].newName);
}

TEST(ReplaceRule, ReplacesInTheChosenParts) {
  struct Case {
    ReplaceScope scope;
    bool matchCase;
    std::string search, replacement, name, want;
  };
  const auto N = ReplaceScope::Name;
  const auto E = ReplaceScope::Extension;
  const auto A = ReplaceScope::All;
  const Case cases[] = {
      {N, false, "_", " ", "my_song_01.mp3", "my song 01.mp3"},
      {N, false, ".", "_", "my.file.txt", "my_file.txt"},
      {N, false, "a", "aa", "banana.a", "baanaanaa.a"},
      {N, false, "ABC", "", "abcXabc.txt", "X.txt"},
      {N, true, "ABC", "", "abcXabc.txt", "abcXabc.txt"},
      {E, false, "jpg", "png", "Photo.JPG", "Photo.png"},
      {E, false, "txt", "", "a.txt", "a"},
      {E, false, ".txt", "", "a.txt", "a.txt"},
      {A, false, "a", "b", "a.a", "b.b"},
      {N, false, "abc", "", "abc.txt", ".txt"},
      // no overlap, scan resumes behind the match
      {N, false, "aa", "b", "aaa.x", "ba.x"},
      {N, false, "aa", "a", "aaaa", "aa"},
      // only part of an extension deleted keeps the dot
      {E, false, "t", "", "a.txt", "a.x"},
      {E, false, "txt", ".", "a.txt", "a.."},
      // no extension: only the main part, whatever the scope
      {E, false, "a", "b", "abc", "abc"},
      {A, false, "a", "b", "abc", "bbc"},
      // "." in scope 全部 only meets dots of the main part
      {A, false, ".", "_", "a.b.c", "a_b.c"},
      {A, false, ".", "", "a.b.c", "ab.c"},
      {A, false, ".c", "X", "a.b.c", "a.b.c"},
      {A, false, "b.", "", "ab.c.d", "ac.d"},
      {A, false, "..", "-", "x...y.z", "x-.y.z"},
      // empty search changes nothing
      {A, false, "", "x", "abc.txt", "abc.txt"},
      // multi-byte text in search and replacement
      {A, false, gb("歌曲"), gb("音乐"), gb("我的歌曲.歌曲"), gb("我的音乐.音乐")},
      {N, false, gb("文"), "", gb("文件文.txt"), gb("件.txt")},
      // a trail byte is never the start of a match
      {N, false, "w", "x", kXue + ".txt", kXue + ".txt"},
      {N, true, "W", "x", kXue + "W.txt", kXue + "x.txt"},
      {N, false, "c", "", kDian + "c.txt", kDian + ".txt"},
      {N, false, "cc", "", kDian + "c.txt", kDian + "c.txt"},
      {E, false, "c", "k", "a." + kDian + "c", "a." + kDian + "k"},
      {N, false, "l", "1", kChang + "L", kChang + "1"},
      {N, false, kChang + "l", "X", kChang + "L.x", "X.x"},
      // and a match never ends inside a character
      {N, false, "\xE9", "X", kChang + ".txt", kChang + ".txt"},
      {N, false, "a\xE9", "X", "a" + kChang + ".txt", "a" + kChang + ".txt"},
      // case folding never turns one Chinese character into another (E9 6C is not 長)
      {N, false, "\xE9\x6C", "X", kChang + ".txt", kChang + ".txt"},
      {N, false, kChang, "X", kChang + "\xE9\x6C", "X\xE9\x6C"},
      // four-byte characters
      {N, false, "2", "X", kFour + "2.txt", kFour + "X.txt"},
      {N, false, "\x82\x36", "X", kFour + ".txt", kFour + ".txt"},
      {A, false, kFour, "Z", "a" + kFour + ".b" + kFour, "aZ.bZ"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(runReplace(c.name, c.scope, c.matchCase, c.search, c.replacement), c.want)
        << c.name << " / " << c.search;
}

TEST(ReplaceRule, ReplaceAllFromAPosition) {
  struct Case {
    std::string text, search, replacement;
    std::size_t start;
    std::string want;
  };
  const Case cases[] = {
      {"aXa", "a", "b", 0, "bXb"},  {"aXa", "a", "b", 1, "aXb"},  {".a.a", ".", "", 1, ".aa"},
      {"abc", "A", "z", 3, "abc"},  {"abc", "A", "z", 99, "abc"}, {"", "a", "b", 0, ""},
      {"abAB", "ab", "-", 0, "--"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(replaceAll(c.text, c.search, c.replacement, false, c.start), c.want)
        << c.text << " " << c.start;
}

TEST(ReplaceRule, EmptySearchKeepsEveryName) {
  FileList list;
  for (const char* n : {"a.txt", "b", ".profile", "x.y.z"}) list.addName(n);
  replaceRule(list, list.fileCount(), ReplaceOptions{"", "x", false, ReplaceScope::All});
  for (int r = 0; r < list.fileCount(); ++r) EXPECT_EQ(list[r].newName, list[r].oldName);
}

struct RegexCase {
  ReplaceScope scope;
  bool matchCase;
  std::string pattern, replacement, name, want;
};

std::string runRegex(const RegexCase& c, bool replaceIllegal = true) {
  FileList list;
  list.addName(c.name);
  ReplaceOptions o{c.pattern, c.replacement, c.matchCase, c.scope};
  o.regex = true;
  o.cleanup.replaceIllegal = replaceIllegal;
  replaceRule(list, 1, o);
  return std::string(list[0].newName);
}

TEST(ReplaceRuleRegex, MatchesCharactersOfEachPart) {
  const auto N = ReplaceScope::Name;
  const auto E = ReplaceScope::Extension;
  const auto A = ReplaceScope::All;
  const RegexCase cases[] = {
      // groups, the whole match, "$$", a group the pattern lacks, an unset group
      {N, false, R"((\d+)-(\d+))", "$2-$1", "12-34.txt", "34-12.txt"},
      {N, false, R"(\d+)", "[$0]", "a1b22.txt", "a[1]b[22].txt"},
      {N, false, R"(\d+)", "{$&}", "a1.txt", "a{1}.txt"},
      {N, false, "a", "$$", "bab", "b$b"},
      {N, false, "(a)", "$5$", "bab", "b$5$b"},
      {N, false, "(x)?a", "[$1]", "a", "[]"},
      // anchors hold at the ends of the main part and of the extension
      {N, false, "^IMG_", "", "IMG_0412.jpg", "0412.jpg"},
      {N, false, R"(\d$)", "X", "a1b2.txt", "a1bX.txt"},
      {E, false, "^j", "X", "a.jpg", "a.Xpg"},
      {E, false, "^txt$", "", "a.txt", "a"},
      {A, false, ".", "X", "a.b", "X.X"},
      {A, false, "^.*$", "n", "abc.de", "n.n"},
      // case follows 区分大小写
      {N, false, "img", "X", "IMG_1.jpg", "X_1.jpg"},
      {N, true, "img", "X", "IMG_1.jpg", "IMG_1.jpg"},
      {N, true, "[A-Z]+", "", "IMGx.jpg", "x.jpg"},
      // Chinese characters are single characters, also in escapes and classes
      {N, false, gb(R"(第(\d+)集)"), "E$1", gb("第3集.mp4"), "E3.mp4"},
      {N, false, "^.", "X", gb("旅行.txt"), gb("X行.txt")},
      {N, false, gb("[旅行]"), "_", gb("旅行 01.jpg"), "__ 01.jpg"},
      {N, false, R"(\u65c5)", "T", gb("旅行"), gb("T行")},
      {N, false, "(.)(.)", "$2$1", gb("甲乙丙"), gb("乙甲丙")},
      {N, false, gb("行"), gb("程"), gb("行行.jpg"), gb("程程.jpg")},
      // a trail byte that looks like a letter is no letter
      {N, false, "w", "x", kXue + ".txt", kXue + ".txt"},
      {N, false, "c$", "", kDian + "c.txt", kDian + ".txt"},
      // four-byte characters are one character each
      {N, false, "^.$", "X", kFour + ".txt", "X.txt"},
      {N, false, "2", "X", kFour + "2", kFour + "X"},
      {N, false, kFour + "+", "Y", "a" + kFour + kFour + "b", "aYb"},
      {N, false, "(.)", "$1$1", kFour, kFour + kFour},
      // empty matches advance one character
      {N, false, "x*", "-", "abc", "-a-b-c-"},
      {N, false, "a*", "-", "baaac", "-b--c-"},
      {N, false, "", "x", "abc.txt", "abc.txt"},
      // runaway backtracking stops instead of hanging
      {N, false, "(a+)+b", "X", std::string(40, 'a'), std::string(40, 'a')},
  };
  for (const RegexCase& c : cases) EXPECT_EQ(runRegex(c), c.want) << c.name << " / " << c.pattern;
}

TEST(ReplaceRuleRegex, ReplacementInsertsNoIllegalCharacters) {
  const RegexCase c{ReplaceScope::Name, false, "(\\w+)_(\\w+)", "$1/$2:?", "AC_DC.mp3", ""};
  EXPECT_EQ(runRegex(c, true), "AC_DC__.mp3");
  EXPECT_EQ(runRegex(c, false), "AC/DC:?.mp3");
  // What the rule does not insert keeps its characters.
  const RegexCase kept{ReplaceScope::Name, false, "x", "y", "a:x.txt", ""};
  EXPECT_EQ(runRegex(kept, true), "a:y.txt");
  // A copied group is cleaned as well.
  const RegexCase group{ReplaceScope::Name, false, "^(.*)$", "[$1]", "a:b", ""};
  EXPECT_EQ(runRegex(group, true), "[a_b]");
}

TEST(ReplaceRuleRegex, InvalidPatternProposesNothing) {
  FileList list;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) list.addName(n);
  for (int r = 0; r < 3; ++r) list.setNewName(r, "old");
  ReplaceOptions o{"(a", "x", false, ReplaceScope::All};
  o.regex = true;
  replaceRule(list, 2, o);
  EXPECT_EQ(list[0].newName, "");
  EXPECT_EQ(list[1].newName, "");
  EXPECT_EQ(list.proposalFailure(1), codes::BadPattern);
  EXPECT_EQ(list[2].newName, "old");  // outside the run
  EXPECT_EQ(ruleError(RuleOptions(o)), regexError("(a", false));
  o.regex = false;
  EXPECT_EQ(ruleError(RuleOptions(o)), "");  // the same text searched literally

  EXPECT_EQ(regexError(gb("第(\\d+)集"), false), "");
}

TEST(ReplaceRuleRegex, RefusedPatternsSayWhatAndWhereInChinese) {
  struct Case {
    const char* pattern;  // UTF-8
    const char* want;     // the whole message, UTF-8
  } const cases[] = {
      {"([a-z", "正则表达式有误（第5个字符之后）：缺少右方括号 ]"},
      {"甲乙(", "正则表达式有误（第3个字符之后）：缺少右括号 )"},
      {"*a", "正则表达式有误（第1个字符）：* + ? {} 前面没有可以重复的内容"},
      {"甲**", "正则表达式有误（第3个字符）：* + ? {} 前面没有可以重复的内容"},
      {"a{3,2}", "正则表达式有误（第6个字符）：{} 中的数字前大后小"},
      {"\\q", "正则表达式有误（第2个字符）：无法识别的转义字符"},
      {"文件)", "正则表达式有误（第3个字符）：多余的右括号 )"},
      {"(?<=a+)b", "正则表达式有误（第1个字符）：向后查找 (?<= 或 (?<! 的内容长度必须固定"},
      {"\\k<名>", "正则表达式有误（第4个字符）：引用了不存在的分组"},
      {"(a)\\2", "正则表达式有误（第5个字符）：引用了不存在的分组"},
      {"[z-a]", "正则表达式有误（第4个字符）：方括号内的范围前大后小"},
      {"(?Q)", "正则表达式有误（第3个字符）：(? 后面的写法无法识别"},
      // Without words of its own an error keeps PCRE2's code.
      {"(*FOO)", "正则表达式有误（第6个字符）：无法解析（PCRE2错误代码 160）"},
  };
  for (const Case& c : cases) EXPECT_EQ(regexError(gb(c.pattern), false), gb(c.want)) << c.pattern;
}

TEST(ReplaceRuleRegex, PlainTextWhenTheBoxIsOff) {
  // The same text read literally, not as a pattern.
  EXPECT_EQ(runReplace("a.b.txt", ReplaceScope::Name, false, "a.b", "x"), "x.txt");
  EXPECT_EQ(runReplace("aXb.txt", ReplaceScope::Name, false, "a.b", "x"), "aXb.txt");
  EXPECT_EQ(runRegex({ReplaceScope::Name, false, "a.b", "x", "aXb.txt", ""}), "x.txt");
}

}  // namespace
}  // namespace qorin::rules
