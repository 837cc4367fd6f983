// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "rules/convert_rule.h"

namespace qorin::rules {
namespace {

struct Case {
  ConvertKind kind;
  const char* in;
  const char* out;
};

TEST(ConvertRule, ConvertsText) {
  const Case cases[] = {
      {ConvertKind::ToTraditional, "头发和发财", "頭髮和發財"},
      {ConvertKind::ToTraditional, "干燥的干部 mix", "乾燥的幹部 mix"},
      {ConvertKind::ToSimplified, "頭髮 乾燥", "头发 干燥"},
      {ConvertKind::HalfWidth, "ＡＢＣ１２３．（）＿　。，", "ABC123.()_ 。,"},
      {ConvertKind::HalfWidth, "a／b", "a／b"},
      {ConvertKind::FullWidth, "AB 1/2", "ＡＢ　１/２"},
      {ConvertKind::StripAccents, "Björk Jóga Ærø", "Bjork Joga AEro"},
      {ConvertKind::TitleWords, "the café's song-name", "The Café's Song-Name"},
  };
  for (const Case& c : cases) {
    ConvertOptions o;
    o.kind = c.kind;
#ifdef _WIN32
    // The Windows build has neither OpenCC nor ICU: what needs them is refused.
    const bool needsLibrary = c.kind != ConvertKind::HalfWidth && c.kind != ConvertKind::FullWidth;
    if (needsLibrary) {
      EXPECT_FALSE(convertRuleError(o).empty()) << c.in;
      continue;
    }
#endif
    EXPECT_TRUE(convertRuleError(o).empty()) << c.in;
    EXPECT_EQ(convertText(c.in, o).value_or("<none>"), c.out) << c.in;
  }
}

TEST(ConvertRule, PadsEveryRunOfDigits) {
  EXPECT_EQ(padNumbers("第1集", 3), "第001集");
  EXPECT_EQ(padNumbers("S1E5 1234", 2), "S01E05 1234");
}

TEST(ConvertRule, RefusesWhatItCannotDo) {
  ConvertOptions o;
  o.kind = ConvertKind::PadNumbers;
  for (const char* d : {"", "0", "x", "33"}) {
    o.digits = d;
    EXPECT_FALSE(convertRuleError(o).empty()) << d;
  }
  o.kind = ConvertKind::Pinyin;
  EXPECT_FALSE(convertRuleError(o).empty());
}

}  // namespace
}  // namespace qorin::rules
