// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::text {
namespace {

TEST(CharLength, WalksEveryKindOfCharacter) {
  struct Case {
    std::string s;
    std::vector<std::size_t> lengths;
  };
  const Case cases[] = {
      {"ab", {1, 1}},
      {gb("中a"), {2, 1}},
      {"\x8C\x57", {2}},              // 學: the trail byte looks like "W"
      {"\x95\x32\x82\x36x", {4, 1}},  // U+20000, a four-byte character
      {"\x80\xFF", {1, 1}},           // bytes that start no character
      {"\x81", {1}},                  // a lead byte cut off at the end
      {"\x81\x30\x81", {1, 1, 1}},    // an incomplete four-byte sequence
      {"\x81\x7F", {1, 1}},           // 0x7F is no trail byte
  };
  for (const Case& c : cases) {
    std::vector<std::size_t> got;
    for (std::size_t i = 0; i < c.s.size(); i += charLength(c.s, i)) got.push_back(charLength(c.s, i));
    EXPECT_EQ(got, c.lengths) << c.s;
  }
}

TEST(CaseChange, LeavesMultiByteCharactersWhole) {
  const std::string s = std::string("ab\x8C\x57z") + "\x95\x32\x82\x36" + "q";
  EXPECT_EQ(asciiUpper(s), std::string("AB\x8C\x57Z") + "\x95\x32\x82\x36" + "Q");
  EXPECT_EQ(asciiLower("AB\xE9\x4C"
                       "C"),
            "ab\xE9\x4C"
            "c");  // 長 keeps its "L"
}

TEST(CutToBytes, NeverSplitsACharacter) {
  const std::string s = gb("ab中文");  // 6 bytes
  EXPECT_EQ(cutToBytes(s, 6), s);
  EXPECT_EQ(cutToBytes(s, 5), gb("ab中"));
  EXPECT_EQ(cutToBytes(s, 3), "ab");
  EXPECT_EQ(cutToBytes(s, 0), "");
  EXPECT_EQ(cutToBytes("x\x95\x32\x82\x36", 4), "x");
}

TEST(ToNumber, ReadsTheLeadingNumber) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"12.7", 12},
      {"", 0},
      {"abc", 0},
      {"-5", -5},
      {"-3.9", -3},
      {"  42", 42},
      {"7x", 7},
      {"+8", 8},
      {"-", 0},
      {"99999999999", INT32_MAX},
      {"-99999999999", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"0010", 10},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(toNumber(in), want) << in;
}

TEST(Conversion, RoundTripsAndRefusesLoss) {
  const std::string utf8 = "音乐 \xF0\xA0\x80\x80.mp3";  // with U+20000
  const auto g = utf8ToGb(utf8);
  ASSERT_TRUE(g);
  EXPECT_EQ(*g, std::string("\xD2\xF4\xC0\xD6 \x95\x32\x82\x36.mp3"));
  EXPECT_EQ(gbToUtf8(*g), utf8);
  EXPECT_FALSE(utf8ToGb("bad \xC3"));  // truncated UTF-8
  EXPECT_FALSE(gbToUtf8("bad \x81"));  // truncated GB18030
  const auto u16 = gbToUtf16(gb("中"));
  ASSERT_TRUE(u16);
  EXPECT_EQ(*u16, std::string("\x2D\x4E", 2));
  EXPECT_EQ(utf16ToGb(std::string("\x4E\x2D", 2), true), gb("中"));
  EXPECT_FALSE(utf16ToGb(std::string("\x00\xD8", 2), false));  // lone surrogate
}

TEST(DecodeUnlabelled, RealTitles) {
  struct Case {
    const char* name;
    std::string stored;
    const char* expectedUtf8;
  };
  const Case cases[] = {
      {"ASCII", "Yesterday", "Yesterday"},
      {"GBK title", gb("春天的故事"), "春天的故事"},
      {"GBK title with ASCII", gb("Jay Chou - 七里香 (Live)"), "Jay Chou - 七里香 (Live)"},
      {"GBK extension among GB2312", gb("朱镕基讲话"), "朱镕基讲话"},
      {"GBK cut inside its last character", gb("月亮代表") + "\xCE", "月亮代表"},
      {"UTF-8 Latin", "Beyonc\xC3\xA9", "Beyoncé"},
      {"UTF-8 Chinese", "\xE5\x90\x8E\xE6\x9D\xA5", "后来"},
      {"Latin-1 Björk", "Bj\xF6rk", "Björk"},
      {"Latin-1 Café", "Caf\xE9", "Café"},
      {"Latin-1 Motörhead", "Mot\xF6rhead", "Motörhead"},
      {"Latin-1 Sigur Rós", "Sigur R\xF3s", "Sigur Rós"},
      {"Latin-1 quotes", "\xABLive\xBB", "«Live»"},
      {"Latin-1 lone high byte", "\xFF", "ÿ"},
  };
  for (const Case& c : cases) {
    const std::string got = decodeUnlabelled(c.stored);
    EXPECT_EQ(got, gb(c.expectedUtf8)) << c.name;
    const auto utf8 = gbToUtf8(got);  // every result is a clean code-page text
    ASSERT_TRUE(utf8) << c.name;
    EXPECT_EQ(utf8->find("\xEF\xBF\xBD"), std::string::npos) << c.name;
  }
}

TEST(Conversion, Utf8Validity) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},         {"\xC3\xA9", true},          {"\xF0\x9F\x98\x80", true}, {"\xC0\x80", false},
      {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xE4\xB8", false},        {"\x80", false},
  };
  for (const auto& [s, valid] : cases) EXPECT_EQ(isUtf8(s), valid) << s;
}

TEST(Conversion, DamagedUtf16KeepsWhatIsThere) {
  // A lone surrogate and an odd last byte go; the characters around them stay.
  EXPECT_EQ(utf16ToGbLenient(std::string("a\0\x00\xD8"
                                         "b\0",
                                         6),
                             false),
            "ab");
  EXPECT_EQ(utf16ToGbLenient(std::string("\x2D\x4E\x3D\xD8\x00\xDE"
                                         "c",
                                         7),
                             false),
            gb("中😀"));
  EXPECT_EQ(utf16ToGbLenient(std::string("\x4E\x2D\xDC\x00", 4), true), gb("中"));
}

TEST(Names, SplitAtTheLastDot) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"a.b.mp3", "a.b", ".mp3"},
      {"README", "README", ""},
      {".bashrc", "", ".bashrc"},
      {"..x", ".", ".x"},
      {"archive.tar.gz", "archive.tar", ".gz"},
      {"", "", ""},
  };
  for (const auto& [name, main, ext] : cases) {
    const auto p = splitName(name);
    EXPECT_EQ(p.main, main) << name;
    EXPECT_EQ(p.ext, ext) << name;
  }
}

TEST(Names, HasExtensionIgnoresCase) {
  EXPECT_TRUE(hasExtension("song.mp3", "MP3"));
  EXPECT_TRUE(hasExtension("SONG.Mp3", "MP3"));
  EXPECT_TRUE(hasExtension("a.b.MP3", "mp3"));
  EXPECT_FALSE(hasExtension("mp3", "MP3"));
  EXPECT_FALSE(hasExtension("song.mp3.bak", "MP3"));
  EXPECT_FALSE(hasExtension("song.mp3", ".mp3"));
}

TEST(Names, ContainsMatchesOnlyWholeCharacters) {
  EXPECT_TRUE(containsNoCase("01 live.mp3", "Live"));
  EXPECT_TRUE(containsNoCase("LIVE-2.wma", "live"));
  EXPECT_FALSE(containsNoCase("\x8C\x57", "w"));  // the "W" inside 學
  EXPECT_FALSE(containsNoCase("a\x8C\x57", "\x57"));
  EXPECT_TRUE(containsNoCase(gb("我的歌.mp3"), gb("歌")));
}

}  // namespace
}  // namespace qorin::text
