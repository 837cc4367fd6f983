// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 常规: a new main name (and optionally extension) built from a prefix, a
// fixed text, a zero-padded running number and a suffix.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

enum class GeneralScope { Name, Extension, All };

// What the tab's controls show; numeric fields stay raw text, since an empty
// extension digit count means "no number" while "0" means "no zeros".
struct GeneralOptions {
  GeneralScope scope = GeneralScope::Name;
  std::string start = "0";       // 起始量编辑框
  std::string increment = "1";   // 增量编辑框
  std::string namePrefix;        // 文件名前缀编辑框
  std::string nameText;          // 文件名编辑框
  std::string nameDigits = "1";  // 文件名位数调节编辑框
  std::string nameSuffix;        // 文件名后缀编辑框
  std::string extPrefix;         // 扩展名前缀编辑框
  std::string extText;           // 新扩展名编辑框
  std::string extDigits;         // 扩展名位数调节编辑框
  std::string extSuffix;         // 扩展名后缀编辑框
};

// Writes newName of rows 0..n-1 (n is clamped to the list).
void generalRule(filelist::FileList& list, int n, const GeneralOptions& o);

// The zeros that bring the decimal text of `value` (minus sign included) up
// to `digits` characters; empty when it is already that long.
std::string zeroPad(std::int64_t digits, std::int64_t value);

// One numbered part as the rule builds it: lead + prefix + text + zeros +
// number + suffix, where lead is "." when `old` began with one.
struct NumberText {
  std::string_view prefix, text, suffix;
  std::int64_t digits = 1;
  std::int64_t start = 0;
  std::int64_t increment = 1;
};
void appendNumberPart(std::string& out, std::string_view old, const NumberText& t, std::int64_t index);

// Rebuilds every part in place; parts[i] gets start + i * increment.
void numberParts(std::span<std::string> parts, const NumberText& t);

// --number START,STEP,DIGITS (the last two may be left out).
std::string parseNumbering(GeneralOptions& o, std::span<const std::string> values);
// --ext TEXT: a new extension, without a number.
std::string parseNewExtension(GeneralOptions& o, std::span<const std::string> values);

template <>
struct RuleFields<GeneralOptions> {
  using O = GeneralOptions;
  static constexpr Words about{
      "编号：第一个文件是起始，之后每个多增量，用零补足位数个字符（负号算在内，零在负号之后：-05）；"
      "新的主文件名依次由前缀、文字、编号和后缀组成",
      "Number the files: the first gets START, each next one STEP more, padded with zeros to DIGITS "
      "characters (a minus sign counts, and the zeros follow it: -05). The new main name is the prefix, "
      "the text, the number and the suffix, in this order"};
  static constexpr std::array<Choice, 3> scopes{
      {{"name", "常规文件名单选框", 0}, {"ext", "常规扩展名单选框", 1}, {"all", "常规全部单选框", 2}}};
  static constexpr std::array fields{
      choiceField<&O::scope>("", scopes),
      [] {
        Field<O> f = onCommandLine(textField("起始量编辑框", &O::start), "--number",
                                   {"起始,增量,位数", "START,STEP,DIGITS"}, {"编号", "number"});
        f.namesRule = true;
        f.parse = parseNumbering;
        return f;
      }(),
      textField("增量编辑框", &O::increment),
      onCommandLine(textField("文件名前缀编辑框", &O::namePrefix), "--prefix", {"文字", "TEXT"},
                    {"编号前的文字", "the text before the number"}),
      onCommandLine(textField("文件名编辑框", &O::nameText), "--name", {"文字", "TEXT"},
                    {"前缀之后、编号之前的文字", "the text after the prefix, before the number"}),
      textField("文件名位数调节编辑框", &O::nameDigits),
      onCommandLine(textField("文件名后缀编辑框", &O::nameSuffix), "--suffix", {"文字", "TEXT"},
                    {"编号后的文字", "the text after the number"}),
      textField("扩展名前缀编辑框", &O::extPrefix),
      [] {
        Field<O> f = onCommandLine(textField("新扩展名编辑框", &O::extText), "--ext", {"新扩展名", "EXT"},
                                   {"新的扩展名", "a new extension"});
        f.parse = parseNewExtension;
        return f;
      }(),
      textField("扩展名位数调节编辑框", &O::extDigits),
      textField("扩展名后缀编辑框", &O::extSuffix),
  };
};

}  // namespace qorin::rules
