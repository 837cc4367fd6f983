// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/general_rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

using text::gb;

std::vector<std::string> runGeneral(const std::vector<std::string>& names, const GeneralOptions& o) {
  FileList list;
  for (const auto& name : names) list.addName(name);
  generalRule(list, list.fileCount(), o);
  std::vector<std::string> out;
  for (int r = 0; r < list.fileCount(); ++r) out.emplace_back(list[r].newName);
  return out;
}

GeneralOptions nameScope(std::string digits, std::string start, std::string increment) {
  GeneralOptions o;
  o.nameDigits = std::move(digits);
  o.start = std::move(start);
  o.increment = std::move(increment);
  return o;
}

TEST(GeneralRule, BuildsNamesFromTheFields) {
  struct Case {
    const char* what;
    GeneralOptions o;
    std::vector<std::string> names;
    std::vector<std::string> want;
  };
  GeneralOptions imgPrefix = nameScope("3", "1", "1");
  imgPrefix.namePrefix = "IMG_";
  GeneralOptions song = nameScope("2", "9", "1");
  song.nameText = "song";
  song.nameSuffix = "_x";
  GeneralOptions newExt;
  newExt.scope = GeneralScope::Extension;
  newExt.extText = "txt";
  GeneralOptions bak;
  bak.scope = GeneralScope::Extension;
  bak.extText = "bak";
  bak.extDigits = "2";
  bak.start = "1";
  GeneralOptions noExt;
  noExt.scope = GeneralScope::Extension;
  GeneralOptions allEmpty;
  allEmpty.scope = GeneralScope::All;
  allEmpty.nameDigits = "";
  GeneralOptions bothNumbered = nameScope("3", "7", "1");
  bothNumbered.scope = GeneralScope::All;
  bothNumbered.extDigits = "2";
  GeneralOptions chinese = nameScope("1", "1", "1");
  chinese.namePrefix = gb("图片");
  chinese.nameText = gb("第");
  chinese.nameSuffix = gb("张") + "\x95\x32\x82\x36";
  chinese.scope = GeneralScope::All;
  chinese.extPrefix = gb("新");
  chinese.extText = "\x95\x32\x82\x36";
  chinese.extSuffix = gb("版");
  GeneralOptions unpadded = nameScope("0", "5", "1");
  unpadded.scope = GeneralScope::All;
  unpadded.extText = "v";
  unpadded.extDigits = "0";
  GeneralOptions dotted = nameScope("1", "0", "1");
  dotted.namePrefix = "A";

  const Case cases[] = {
      {"initial fields", GeneralOptions{}, {"a.txt", "b.jpg", "c"}, {"0.txt", "1.jpg", "2"}},
      {"prefix and zeros", imgPrefix, {"photo.jpg", "x.jpg"}, {"IMG_001.jpg", "IMG_002.jpg"}},
      {"text and suffix, zeros shrink", song, {"a.mp3", "b.mp3"}, {"song09_x.mp3", "song10_x.mp3"}},
      {"increment 5", nameScope("1", "1", "5"), {"a", "b", "c"}, {"1", "6", "11"}},
      {"new extension, also where none was", newExt, {"notes.doc", "README"}, {"notes.txt", "README.txt"}},
      {"numbered extension", bak, {"a.doc", "README"}, {"a.bak01", "READMEbak02"}},
      {"extension dropped", noExt, {"a.doc", "b"}, {"a", "b"}},
      {"everything empty", allEmpty, {"x.doc", "y.doc"}, {"0", "1"}},
      {"counting down", nameScope("3", "10", "-1"), {"a", "b"}, {"010", "009"}},
      {"negative start", nameScope("3", "-5", "1"), {"a", "b", "c"}, {"-05", "-04", "-03"}},
      {"down below zero", nameScope("2", "1", "-1"), {"a", "b", "c"}, {"01", "00", "-1"}},
      {"empty increment", nameScope("2", "4", ""), {"a.x", "b.x", "c.x"}, {"04.x", "04.x", "04.x"}},
      {"digits 0", nameScope("0", "3", "1"), {"a.x", "b.x"}, {"3.x", "4.x"}},
      {"digits empty", nameScope("", "3", "1"), {"a.x"}, {"3.x"}},
      {"digits typed as text", nameScope("abc", "3", "1"), {"a.x"}, {"3.x"}},
      {"fractions cut", nameScope("2.9", "1.7", "2.5"), {"a", "b"}, {"01", "03"}},
      {"both parts numbered", bothNumbered, {"a.doc", "b"}, {"007.07", "00808"}},
      {"multi-byte texts",
       chinese,
       {"a.jpg", "b"},
       {gb("图片第1张") + "\x95\x32\x82\x36" + gb(".新") + "\x95\x32\x82\x36" + gb("版"),
        gb("图片第2张") + "\x95\x32\x82\x36" + gb(".新") + "\x95\x32\x82\x36" + gb("版")}},
      {"extension digits 0 still numbers", unpadded, {"a.doc", "b"}, {"5.v5", "6v6"}},
      {"leading dot of the main part kept",
       dotted,
       {"..x", ".a.txt", ".profile"},
       {".A0.x", ".A1.txt", "A2.profile"}},
  };
  for (const Case& c : cases) EXPECT_EQ(runGeneral(c.names, c.o), c.want) << c.what;
}

TEST(GeneralRule, NumberFollowsListPosition) {
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) names.push_back("photo" + std::to_string(i) + ".jpg");
  GeneralOptions o = nameScope("3", "1", "1");
  o.namePrefix = "IMG_";
  EXPECT_EQ(runGeneral(names, o)[11], "IMG_012.jpg");
}

TEST(GeneralRule, OnlyTheFirstRowsAreComputed) {
  FileList list;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) list.addName(n);
  list.setNewName(2, "keep");
  generalRule(list, 2, GeneralOptions{});
  EXPECT_EQ(list[0].newName, "0.txt");
  EXPECT_EQ(list[1].newName, "1.txt");
  EXPECT_EQ(list[2].newName, "keep");
  generalRule(list, 50, GeneralOptions{});  // more than the list holds
  EXPECT_EQ(list[2].newName, "2.txt");
  generalRule(list, -1, GeneralOptions{});
  EXPECT_EQ(list[2].newName, "2.txt");
}

TEST(GeneralRule, HugeTypedValuesStayWellFormed) {
  // Start and increment at the 32-bit limit: the running number must not wrap.
  const auto big = runGeneral({"a", "b", "c"}, nameScope("1", "2147483647", "2147483647"));
  EXPECT_EQ(big, (std::vector<std::string>{"2147483647", "4294967294", "6442450941"}));
  const auto low = runGeneral({"a", "b"}, nameScope("1", "-2147483648", "-2147483648"));
  EXPECT_EQ(low[1], "-4294967296");
  // A digit count no three-character field can hold does not blow up each name.
  const auto padded = runGeneral({"a"}, nameScope("99999999", "1", "1"));
  EXPECT_EQ(padded[0].size(), 999u);
  EXPECT_EQ(padded[0].back(), '1');
}

TEST(GeneralRule, ZeroPad) {
  struct Case {
    std::int64_t digits, value;
    const char* want;
  };
  const Case cases[] = {
      {3, 5, "00"}, {3, -5, "0"}, {3, 123, ""}, {3, 1234, ""},
      {0, 5, ""},   {-2, 1, ""},  {1, 0, ""},   {5, 0, "0000"},
  };
  for (const Case& c : cases) EXPECT_EQ(zeroPad(c.digits, c.value), c.want) << c.digits << " " << c.value;
}

TEST(GeneralRule, NumberPartsRebuildsInPlace) {
  std::vector<std::string> parts{".doc", "", ".x"};
  numberParts(parts, NumberText{"p", gb("文"), "s", 2, 8, 1});
  EXPECT_EQ(parts, (std::vector<std::string>{".p" + gb("文") + "08s", "p" + gb("文") + "09s",
                                             ".p" + gb("文") + "10s"}));
}

}  // namespace
}  // namespace qorin::rules
