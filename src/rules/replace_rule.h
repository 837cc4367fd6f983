// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 替换/删除: every occurrence of a text in the main part, the extension or
// both replaced (or deleted when the replacement is empty).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "rules/name_cleanup.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

enum class ReplaceScope { Name, Extension, All };

struct ReplaceOptions {
  std::string search;       // 查找内容编辑框
  std::string replacement;  // 替换为编辑框
  bool matchCase = false;   // 区分大小写选择框
  ReplaceScope scope = ReplaceScope::Name;
  bool regex = false;     // 正则表达式选择框: search is a pattern (see RegexReplacer)
  NameCleanup cleanup{};  // replaceIllegal applies to what a pattern's replacement inserts
};

// Writes newName of rows 0..n-1 (n is clamped to the list). The leading "."
// of an extension is never matched; an extension reduced to "." is dropped.
// A pattern sees the main part and the extension (without its dot) as texts
// of their own, so ^ and $ anchor at their ends. A pattern the engine refuses
// proposes nothing: the rows are marked RuleCode::BadPattern.
void replaceRule(filelist::FileList& list, int n, const ReplaceOptions& o);

// Why the options cannot run (a pattern that does not compile), as code-page
// text for the user; empty when they can.
std::string replaceRuleError(const ReplaceOptions& o);

// A search text prepared once per run. Matches start and end only at
// character boundaries of the searched text, and without matchCase only
// single-byte ASCII letters fold, never the trail byte of a Chinese character.
class ReplaceMatcher {
 public:
  ReplaceMatcher(std::string_view search, bool matchCase);

  // Length of the match of the search text at `pos` of `s` (a character
  // boundary), or 0 when there is none.
  std::size_t matchAt(std::string_view s, std::size_t pos) const;

  // Appends `s` to `out` with every match from byte `start` on (left to right,
  // no overlap, the replacement not scanned again) replaced. The bytes before
  // `start` are copied unchanged; `start` must be a character boundary.
  void appendReplaced(std::string& out, std::string_view s, std::string_view replacement,
                      std::size_t start = 0) const;

 private:
  std::string search_;
  std::string foldable_;  // per byte of search_: 1 when it is a single-byte ASCII letter
  bool matchCase_;
};

std::string replaceAll(std::string_view s, std::string_view search, std::string_view replacement,
                       bool matchCase, std::size_t start = 0);

// --replace FIND REPL.
std::string parseReplacement(ReplaceOptions& o, std::span<const std::string> values);

template <>
struct RuleFields<ReplaceOptions> {
  using O = ReplaceOptions;
  static constexpr Words about{"替换：把每处查找换成替换为（替换为为空则删除）",
                               "Replace every FIND by REPL (an empty REPL deletes it)"};
  static constexpr std::array<Choice, 3> scopes{
      {{"name", "仅文件名单选框", 0}, {"ext", "仅扩展名单选框", 1}, {"all", "替换删除全部单选框", 2}}};
  static constexpr std::array fields{
      [] {
        Field<O> f =
            onCommandLine(textField("查找内容编辑框", &O::search), "--replace", {"查找 替换为", "FIND REPL"},
                          {"替换；以 - 开头的替换为写成 --with=文字",
                           "replace; a REPL that begins with - is given as --with=REPL"});
        f.namesRule = true;
        f.takes = Takes::Two;
        f.parse = parseReplacement;
        return f;
      }(),
      textField("替换为编辑框", &O::replacement),
      onCommandLine(
          flagField("区分大小写选择框", &O::matchCase), "--case-sensitive", {},
          {"区分大小写（默认不区分）", "tell capital and small letters apart (not done by default)"}),
      onCommandLine(choiceField<&O::scope>("", scopes), "--on", {"name|ext|all", "name|ext|all"},
                    {"查找的部分：主文件名（默认）、扩展名或两者",
                     "the part searched: the main name (the default), the extension, or both"}),
      onCommandLine(flagField("正则表达式选择框", &O::regex), "--regex", {},
                    {"把查找当作正则表达式（PCRE2），写错的表达式算作命令行有误",
                     "take FIND as a regular expression (PCRE2); one that does not compile is a wrong "
                     "command line"}),
  };
  static std::string error(const O& o) { return replaceRuleError(o); }
};

}  // namespace qorin::rules
