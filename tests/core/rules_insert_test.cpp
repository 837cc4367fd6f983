// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/insert_rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

using text::gb;

const std::string kFour = "\x95\x32\x82\x36";

std::string runInsert(const std::string& name, const InsertOptions& o) {
  FileList list;
  list.addName(name);
  insertRule(list, 1, o);
  return std::string(list[0].newName);
}

InsertOptions opts(std::string nameText, InsertAt nameAt, std::string namePos, std::string extText,
                   InsertAt extAt, std::string extPos) {
  InsertOptions o;
  o.nameText = std::move(nameText);
  o.nameAt = nameAt;
  o.namePosition = std::move(namePos);
  o.extText = std::move(extText);
  o.extAt = extAt;
  o.extPosition = std::move(extPos);
  return o;
}

TEST(InsertRule, InsertsIntoBothParts) {
  const auto P = InsertAt::Position;
  const auto E = InsertAt::End;
  InsertOptions same = opts("X", P, "1", "ignored", E, "1");
  same.keepSame = true;
  struct Case {
    const char* what;
    InsertOptions o;
    std::string name, want;
  };
  const Case cases[] = {
      {"position 1", opts("X", P, "1", "", P, "1"), "abc.txt", "Xabc.txt"},
      {"position 3", opts("X", P, "3", "", P, "1"), "abc.txt", "abXc.txt"},
      {"length + 1", opts("X", P, "4", "", P, "1"), "abc.txt", "abcX.txt"},
      {"end of the main part", opts("X", E, "1", "", P, "1"), "a.b.txt", "a.bX.txt"},
      {"extension position 1", opts("", P, "1", "1", P, "1"), "abc.txt", "abc.1txt"},
      {"extension end", opts("", P, "1", "_old", E, "1"), "abc.txt", "abc.txt_old"},
      {"new extension", opts("", P, "1", "bak", P, "1"), "README", "README.bak"},
      {"new extension at the end", opts("", P, "1", "bak", E, "1"), "README", "README.bak"},
      {"new extension, position ignored", opts("", P, "1", "bak", P, "9"), "README", "README.bak"},
      {"keep same", same, "abc.txt", "Xabc.txtX"},
      {"after a Chinese character", opts("X", P, "3", "", P, "1"), gb("文件abc.txt"), gb("文X件abc.txt")},
      {"both texts empty", opts("", P, "2", "", E, "1"), gb("文件.txt"), gb("文件.txt")},
      {"both texts empty, no extension", opts("", P, "1", "", P, "1"), "README", "README"},
      // positions off the part
      {"position 0", opts("X", P, "0", "", P, "1"), "abc.txt", "Xabc.txt"},
      {"position negative", opts("X", P, "-7", "", P, "1"), "abc.txt", "Xabc.txt"},
      {"position empty", opts("X", P, "", "", P, "1"), "abc.txt", "Xabc.txt"},
      {"position beyond the end", opts("X", P, "255", "", P, "1"), "abc.txt", "abcX.txt"},
      {"extension position 0 is before the dot", opts("", P, "1", "X", P, "0"), "abc.txt", "abcX.txt"},
      {"extension position negative", opts("", P, "1", "X", P, "-3"), "abc.txt", "abcX.txt"},
      {"extension position beyond", opts("", P, "1", "X", P, "255"), "abc.txt", "abc.txtX"},
      {"extension position at its end", opts("", P, "1", "X", P, "4"), "abc.txt", "abc.txtX"},
      // a position between the two bytes of a character moves behind it
      {"inside a Chinese character", opts("X", P, "2", "", P, "1"), gb("文件abc.txt"), gb("文X件abc.txt")},
      {"inside the second one", opts("X", P, "4", "", P, "1"), gb("文件abc.txt"), gb("文件Xabc.txt")},
      {"inside a Chinese extension", opts("", P, "1", "X", P, "2"), gb("a.文件"), gb("a.文X件")},
      {"inside a four-byte character", opts("X", P, "3", "", P, "1"), kFour + "b", kFour + "Xb"},
      {"before a four-byte character", opts("X", P, "2", "", P, "1"), "a" + kFour, "aX" + kFour},
      {"multi-byte texts", opts(gb("新"), P, "2", kFour, E, "1"), gb("ab.文"), gb("a新b.文") + kFour},
      {"main part empty", opts("X", P, "5", "Y", P, "1"), ".profile", "X.Yprofile"},
  };
  for (const Case& c : cases) EXPECT_EQ(runInsert(c.name, c.o), c.want) << c.what;
}

TEST(InsertRule, OffsetsLandOnCharacterBoundaries) {
  const std::string s = gb("a中") + kFour + "b";  // boundaries 0 1 3 7 8
  const std::pair<std::int64_t, std::size_t> cases[] = {
      {-100, 0}, {0, 0}, {1, 0}, {2, 1}, {3, 3},  {4, 3},    {5, 7},
      {6, 7},    {7, 7}, {8, 7}, {9, 8}, {10, 8}, {1000, 8},
  };
  for (const auto& [pos, want] : cases) EXPECT_EQ(insertOffset(s, pos), want) << pos;
}

}  // namespace
}  // namespace qorin::rules
