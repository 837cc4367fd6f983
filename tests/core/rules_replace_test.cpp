#include <gtest/gtest.h>

#include "rules_test_chars.h"

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/replace_rule.h"
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
  return list[0].newName;
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

}  // namespace
}  // namespace qorin::rules
