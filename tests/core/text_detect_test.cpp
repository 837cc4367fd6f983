// SPDX-License-Identifier: GPL-3.0-or-later
// Which reading unlabelled bytes are: European words stored as ISO-8859-1,
// Chinese titles and names stored as GBK, Big5 and UTF-8. Each list prints
// its error rate.
#include "text/detect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "chinese_titles.h"
#include "code_pages.h"
#include "text/gbtext.h"

namespace qorin::text {
namespace {

using testing::latin1ToUtf8;
using testing::utf8ToBig5;
using testing::utf8ToLatin1;

std::vector<std::string> lines(std::string_view list) {
  std::vector<std::string> out;
  for (std::size_t pos = 0; pos < list.size();) {
    std::size_t end = list.find('\n', pos);
    if (end == std::string_view::npos) end = list.size();
    if (end > pos) out.emplace_back(list.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

struct Rate {
  int total = 0, wrong = 0, uncertain = 0;
  std::vector<std::string> examples;  // the first few misread
  double wrongShare() const { return total ? static_cast<double>(wrong) / total : 0; }
};

void count(Rate& r, std::string_view stored, Charset expected, std::string_view shown) {
  const Reading got = readUnlabelled(stored);
  ++r.total;
  if (got.charset != expected) {
    ++r.wrong;
    if (r.examples.size() < 5) r.examples.emplace_back(shown);
  } else if (got.uncertain) {
    ++r.uncertain;
  }
}

void print(const char* name, const Rate& r) {
  std::printf("  %-34s %7d texts: %6.3f %% misread, %6.3f %% uncertain\n", name, r.total,
              100.0 * r.wrongShare(), r.total ? 100.0 * r.uncertain / r.total : 0.0);
}

// GBK titles and names of two characters or more, as stored by Chinese
// systems; the traditional ones mostly lie outside GB2312.
TEST(ReadUnlabelled, ChineseTitlesAndNames) {
  struct List {
    const char* name;
    std::string_view texts;
    Charset stored;
    double maxWrong;
  };
  const List lists[] = {
      {"simplified titles, GBK", testdata::kSimplifiedTitles, Charset::Gbk, 0.005},
      {"simplified names, GBK", testdata::kSimplifiedNames, Charset::Gbk, 0.005},
      {"traditional titles, GBK", testdata::kTraditionalTitles, Charset::Gbk, 0.01},
      {"traditional names, GBK", testdata::kTraditionalNames, Charset::Gbk, 0.02},
      {"traditional titles, Big5", testdata::kTraditionalTitles, Charset::Big5, 0.01},
      {"traditional names, Big5", testdata::kTraditionalNames, Charset::Big5, 0.04},
      {"simplified titles, UTF-8", testdata::kSimplifiedTitles, Charset::Utf8, 0},
      {"traditional names, UTF-8", testdata::kTraditionalNames, Charset::Utf8, 0},
  };
  Rate simplified;
  for (const List& l : lists) {
    Rate r;
    for (const std::string& t : lines(l.texts)) {
      const std::optional<std::string> stored = l.stored == Charset::Gbk    ? utf8ToGb(t)
                                                : l.stored == Charset::Big5 ? utf8ToBig5(t)
                                                                            : std::optional<std::string>(t);
      if (!stored) continue;  // 喆 has no Big5 code
      count(r, *stored, l.stored, t);
      if (l.stored == Charset::Gbk && l.maxWrong == 0.005) count(simplified, *stored, l.stored, t);
      // What is shown is the text itself.
      if (readUnlabelled(*stored).charset == l.stored) {
        EXPECT_EQ(gbToUtf8(decodeUnlabelled(*stored)), t);
      }
    }
    print(l.name, r);
    EXPECT_LE(r.wrongShare(), l.maxWrong) << l.name << ", e.g. " << (r.examples.empty() ? "" : r.examples[0]);
  }
  EXPECT_LE(simplified.wrongShare(), 0.005);
}

TEST(ReadUnlabelled, LoneCommonCharactersAreGbk) {
  Rate r;
  for (const std::string& c : lines("雪\n爱\n家\n风\n花\n梦\n心\n雨\n月\n天\n夜\n海\n光\n泪\n歌\n春\n"
                                    "秋\n云\n星\n路\n"))
    count(r, *utf8ToGb(c), Charset::Gbk, c);
  print("lone characters, GBK", r);
  EXPECT_EQ(r.wrong, 0) << r.examples[0];
}

// The word lists of European languages written in ISO-8859-1 (Debian's w*
// packages): no word may be taken for Chinese; the same words in UTF-8 are UTF-8.
TEST(ReadUnlabelled, EuropeanWordLists) {
  const char* const lists[] = {"portuguese", "brazilian", "ngerman", "dutch",   "french", "spanish",
                               "italian",    "danish",    "swedish", "bokmaal", "nynorsk"};
  for (const char* name : lists) {
    std::ifstream f(std::string("/usr/share/dict/") + name, std::ios::binary);
    if (!f) {
      std::printf("  %-34s missing, skipped\n", name);
      continue;
    }
    const std::string all((std::istreambuf_iterator<char>(f)), {});
    const bool utf8 = isUtf8(all);
    Rate latin1, asUtf8;
    for (const std::string& word : lines(all)) {
      const std::optional<std::string> l = utf8 ? utf8ToLatin1(word) : std::optional<std::string>(word);
      if (!l || isAscii(*l)) continue;
      count(latin1, *l, Charset::Latin1, word);
      count(asUtf8, utf8 ? word : latin1ToUtf8(*l), Charset::Utf8, word);
    }
    print((std::string(name) + ", ISO-8859-1").c_str(), latin1);
    print((std::string(name) + ", UTF-8").c_str(), asUtf8);
    EXPECT_EQ(latin1.wrong, 0) << name << ", e.g. " << (latin1.examples.empty() ? "" : latin1.examples[0]);
    EXPECT_LE(asUtf8.wrongShare(), 0.005)
        << name << ", e.g. " << (asUtf8.examples.empty() ? "" : asUtf8.examples[0]);
  }
}

TEST(ReadUnlabelled, ReadingsOfKnownTexts) {
  struct Case {
    std::string stored;
    Charset charset;
    const char* shownUtf8;
    bool uncertain;
  };
  const Case cases[] = {
      {"Cora\xE7\xE3o Vagabundo", Charset::Latin1, "Coração Vagabundo", false},
      {"Bj\xF6rk", Charset::Latin1, "Björk", false},
      {"gro\xDF", Charset::Latin1, "groß", false},
      {"\xFF", Charset::Latin1, "ÿ", false},
      {*utf8ToGb("鳳飛飛"), Charset::Gbk, "鳳飛飛", false},
      {*utf8ToGb("薛之谦"), Charset::Gbk, "薛之谦", false},
      {*utf8ToGb("雪"), Charset::Gbk, "雪", false},  // D1 A9, an archaic Cyrillic letter in UTF-8
      {*utf8ToGb("Jay Chou - 七里香 (Live)"), Charset::Gbk, "Jay Chou - 七里香 (Live)", false},
      {*utf8ToGb("月亮代表") + "\xCE", Charset::Gbk, "月亮代表", false},  // cut inside its last character
      {*utf8ToBig5("周杰倫"), Charset::Big5, "周杰倫", false},
      {"Beyonc\xC3\xA9", Charset::Utf8, "Beyoncé", false},
      {"\xE5\x90\x8E\xE6\x9D\xA5", Charset::Utf8, "后来", false},
      {"Yesterday", Charset::Ascii, "Yesterday", false},
      {"\xC3\xA9", Charset::Gbk, "茅", true},  // or "é" in UTF-8: two bytes cannot tell
  };
  for (const Case& c : cases) {
    const Reading r = readUnlabelled(c.stored);
    EXPECT_EQ(r.charset, c.charset) << c.shownUtf8;
    EXPECT_EQ(gbToUtf8(r.text), c.shownUtf8);
    EXPECT_EQ(r.uncertain, c.uncertain) << c.shownUtf8;
    if (r.uncertain) {
      EXPECT_NE(r.alternative, r.text) << c.shownUtf8;
    }
    EXPECT_EQ(decodeUnlabelled(c.stored), r.text);
  }
}

}  // namespace
}  // namespace qorin::text
