// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 转换: Chinese text forms and letter forms of a part of the name —
// simplified and traditional characters by phrase (OpenCC), full-width and
// half-width forms, Chinese numerals to digits, digits padded, accents
// dropped (ICU Latin-ASCII) and each word's first letter upper.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

// In item order of 转换方式组合框.
enum class ConvertKind : unsigned char {
  ToSimplified,
  ToTraditional,
  ToTaiwan,
  ToHongKong,
  Pinyin,
  PinyinInitials,
  HalfWidth,
  FullWidth,
  ArabicNumerals,
  PadNumbers,
  StripAccents,
  TitleWords,
};

enum class ConvertScope : unsigned char { Name, Extension, All };

// The dictionaries, opened on first use and shared by copies of the options
// (a keystroke copies them); never opened at start.
class Converters;
std::shared_ptr<Converters> newConverters();

struct ConvertOptions {
  ConvertKind kind = ConvertKind::ToSimplified;
  ConvertScope scope = ConvertScope::Name;
  std::string pinyinSeparator;
  bool pinyinCaps = false;
  bool pinyinV = false;
  std::string digits = "2";  // 数字位数编辑框
  std::shared_ptr<Converters> converters = newConverters();
};

void convertRule(filelist::FileList& list, int n, const ConvertOptions& o);

// The conversion of one UTF-8 text; nullopt when it cannot be done (a
// dictionary that would not open).
std::optional<std::string> convertText(std::string_view utf8, const ConvertOptions& o);

// Each run of ASCII digits to at least `width` digits.
std::string padNumbers(std::string_view s, int width);
// Chinese numerals (十二, 一百零五, 二〇二四) to digits; digits inside words
// that are not numbers (一些, 统一) stay.
std::string arabicNumerals(std::string_view utf8);
std::string halfWidth(std::string_view utf8);
std::string fullWidth(std::string_view utf8);

std::string convertRuleError(const ConvertOptions& o);
std::string parsePadNumbers(ConvertOptions& o, std::span<const std::string> values);

template <>
struct RuleFields<ConvertOptions> {
  using O = ConvertOptions;
  static constexpr Words about{
      "转换：简繁（按词）、全角半角、数字补零、去掉重音符号、单词首字母大写",
      "Convert: simplified and traditional characters (by phrase), full-width and "
      "half-width forms, padded numbers, accents, each word's "
      "first letter"};
  static constexpr std::array<Choice, 12> kinds{{{"t2s", "", 0},
                                                 {"s2t", "", 1},
                                                 {"s2tw", "", 2},
                                                 {"s2hk", "", 3},
                                                 {"pinyin", "", 4},
                                                 {"pinyin-initials", "", 5},
                                                 {"halfwidth", "", 6},
                                                 {"fullwidth", "", 7},
                                                 {"arabic-numerals", "", 8},
                                                 {"pad-numbers", "", 9},
                                                 {"strip-accents", "", 10},
                                                 {"title-words", "", 11}}};
  static constexpr std::array<Choice, 3> scopes{
      {{"name", "转换文件名单选框", 0}, {"ext", "转换扩展名单选框", 1}, {"all", "转换全部单选框", 2}}};
  static constexpr std::array fields{
      [] {
        Field<O> f = onCommandLine(
            choiceField<&O::kind>("转换方式组合框", kinds), "--convert", {"方式", "KIND"},
            {"转换：t2s s2t s2tw s2hk pinyin pinyin-initials halfwidth fullwidth arabic-numerals "
             "pad-numbers strip-accents title-words",
             "convert: t2s s2t s2tw s2hk pinyin pinyin-initials halfwidth fullwidth arabic-numerals "
             "pad-numbers strip-accents title-words"});
        f.namesRule = true;
        return f;
      }(),
      onCommandLine(choiceField<&O::scope>("", scopes), "--on", {"name|ext|all", "name|ext|all"},
                    {"转换的部分：主文件名（默认）、扩展名或两者",
                     "the part converted: the main name (the default), the extension, or both"}),
      onCommandLine(
          textField("拼音分隔编辑框", &O::pinyinSeparator), "--pinyin-sep", {"分隔", "SEP"},
          {"拼音音节之间的分隔（默认无）", "what goes between pinyin syllables (nothing by default)"}),
      onCommandLine(flagField("拼音首字母大写选择框", &O::pinyinCaps), "--pinyin-caps", {},
                    {"每个拼音音节首字母大写", "each pinyin syllable with a capital"}),
      [] {
        Field<O> f = onCommandLine(textField("数字位数编辑框", &O::digits), "--pad-numbers", {"位数", "N"},
                                   {"数字补零到 N 位", "pad each number to N digits"});
        f.parse = parsePadNumbers;
        return f;
      }(),
  };
  static std::string error(const O& o) { return convertRuleError(o); }
};

}  // namespace qorin::rules
