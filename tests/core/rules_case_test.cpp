// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "rules_test_chars.h"

#include <string>

#include "filelist/file_list.h"
#include "rules/case_rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

using text::gb;

using namespace testchars;

std::string runCase(const std::string& name, CaseChoice main, CaseChoice ext) {
  FileList list;
  list.addName(name);
  caseRule(list, 1, CaseOptions{main, ext});
  return std::string(list[0].newName);
}

TEST(CaseRule, ChangesEachPartByItsChoice) {
  const auto U = CaseChoice::AllUpper;
  const auto L = CaseChoice::AllLower;
  const auto FU = CaseChoice::FirstUpper;
  const auto FL = CaseChoice::FirstLower;
  struct Case {
    CaseChoice main, ext;
    std::string name, want;
  };
  const Case cases[] = {
      {U, U, "photo.jpg", "PHOTO.JPG"},
      {L, L, "Photo.JPG", "photo.jpg"},
      {FU, L, "the beatles - help.MP3", "The beatles - help.mp3"},
      {FU, FU, "01 - song.mp3", "01 - Song.Mp3"},
      {FL, U, "ABC.txt", "aBC.TXT"},
      {FU, L, gb("中文abc.TXT"), gb("中文Abc.txt")},
      {U, FL, "123.456", "123.456"},
      {U, U, gb("歌曲.mp3"), gb("歌曲.MP3")},
      // no extension: the main part only
      {L, U, "ReadMe", "readme"},
      {FU, FU, "readme", "Readme"},
      // the walk into the extension starts at its dot
      {L, FU, "a.3gp", "a.3Gp"},
      {U, L, "a.b.C", "A.B.c"},
      {L, L, ".Profile", ".profile"},
      // trail bytes are never letters
      {U, U, kDian + "c.txt", kDian + "C.TXT"},
      {FU, L, kDian + "abc.TXT", kDian + "Abc.txt"},
      {L, L, kChang + "L.TXT", kChang + "l.txt"},
      {FL, L, kChang + "ABC", kChang + "aBC"},
      {FL, FL, kXue + "W." + kXue + "W", kXue + "w." + kXue + "w"},
      {FU, U, "[" + kXue + "] x", "[" + kXue + "] X"},
      {U, U, "a." + kChang + "x", "A." + kChang + "X"},
      // four-byte characters stepped over whole
      {U, U, kFour + "a." + kFour + "b", kFour + "A." + kFour + "B"},
      {FU, FU, kFour + "z", kFour + "Z"},
      // only the first letter changes, the others are not lowered
      {FU, FU, "aBC.dEF", "ABC.DEF"},
      {FL, FL, "Abc.Def", "abc.def"},
      {FU, U, "", ""},
      // a first letter of any script with two cases, found past digits and signs
      {FU, L, gb("élan vital.TXT"), gb("Élan vital.txt")},
      {FL, FU, gb("Über.élan"), gb("über.Élan")},
      {FU, U, gb("01 - москва"), gb("01 - Москва")},
      {FU, U, gb("（ωmega）"), gb("（Ωmega）")},
#ifndef _WIN32
      {FU, U, gb("ǆemal"), gb("ǅemal")},  // its title form (on Windows the system's mapping decides)
#endif
      {FU, U, gb("ａbc"), gb("Ａbc")},  // full-width, as GBK has it
      {U, U, gb("élan.jpg"), gb("éLAN.JPG")},
  };
  for (const Case& c : cases) EXPECT_EQ(runCase(c.name, c.main, c.ext), c.want) << c.name;
}

TEST(CaseRule, FirstLetterAndLetterTest) {
  struct Case {
    std::string part;
    bool toUpper;
    std::string want;
  };
  const Case cases[] = {
      {"abc", true, "Abc"},
      {"ABC", false, "aBC"},
      {".mp3", true, ".Mp3"},
      {"123", true, "123"},
      {"", false, ""},
      {gb("（甲）b"), true, gb("（甲）B")},
      {kDian + "d", true, kDian + "D"},
      {kChang + "M", false, kChang + "m"},
      {kXue, false, kXue},
      {"\x8C", true, "\x8C"},
      {"\x8C a", true, "\x8C A"},      // a lead byte before a blank is no character
      {"\x8C\x61", true, "\x8C\x61"},  // but before "a" it is one, "a" being its trail
  };
  for (const Case& c : cases) EXPECT_EQ(firstLetterCase(c.part, c.toUpper), c.want) << c.part;

  const std::pair<std::string, bool> letters[] = {
      {"a", true},   {"Z", true},    {"m", true},   {"@", false}, {"[", false},
      {"`", false},  {"{", false},   {"1", false},  {"", false},  {gb("中"), false},
      {kXue, false}, {kFour, false}, {"ab", false},
  };
  for (const auto& [ch, want] : letters) EXPECT_EQ(isAsciiLetter(ch), want) << ch;
}

TEST(CaseRule, InitialChoicesUpperCaseEverything) {
  FileList list;
  for (const char* n : {"a.txt", "Mixed Case.Mp3", "noext"}) list.addName(n);
  caseRule(list, list.fileCount(), CaseOptions{});
  EXPECT_EQ(list[0].newName, "A.TXT");
  EXPECT_EQ(list[1].newName, "MIXED CASE.MP3");
  EXPECT_EQ(list[2].newName, "NOEXT");
}

}  // namespace
}  // namespace qorin::rules
