// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 大小写: the letter case of the main part and of the extension, each by
// its own choice. All upper and all lower change A to Z alone; a first
// letter is the first character of any script that has two cases.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

// Keep leaves the part as it is (the command line's extension without --ext-case).
enum class CaseChoice { AllUpper, FirstUpper, AllLower, FirstLower, Keep };

struct CaseOptions {
  CaseChoice name = CaseChoice::AllUpper;  // group 文件名
  CaseChoice ext = CaseChoice::AllUpper;   // group 扩展名
};

// Writes newName of rows 0..n-1 (n is clamped to the list).
void caseRule(filelist::FileList& list, int n, const CaseOptions& o);

// `ch`, one whole character, is an ASCII letter.
bool isAsciiLetter(std::string_view ch);

// The part with only its first letter changed (the first character with an
// upper and a lower case, ASCII or not); characters before it are stepped
// over whole, so a trail byte that looks like a letter never counts.
std::string firstLetterCase(std::string_view part, bool toUpper);

// The choice applied to s[from, to) in place; `from` must be a character
// boundary of s.
void applyCase(std::string& s, std::size_t from, std::size_t to, CaseChoice choice);

// --ext-case: the extension as the main name.
std::string parseExtensionCase(CaseOptions& o, std::span<const std::string> values);

template <>
struct RuleFields<CaseOptions> {
  using O = CaseOptions;
  static constexpr Words about{
      "大小写：全部大写和全部小写只改字母 A 到 Z；首字母是第一个有大写和小写两种写法的字符，不论哪种文字",
      "Change the letter case of the main name. All capitals and all small letters change the letters A "
      "to Z; the first letter is the first character that has a capital and a small form, of any script"};
  static constexpr std::array<Choice, 4> names{{{"upper", "文件名全部大写单选框", 0},
                                                {"lower", "文件名全部小写单选框", 2},
                                                {"title", "文件名首字母大写单选框", 1},
                                                {"lower-first", "文件名首字母小写单选框", 3}}};
  static constexpr std::array<Choice, 4> exts{{{"", "扩展名全部大写单选框", 0},
                                               {"", "扩展名全部小写单选框", 2},
                                               {"", "扩展名首字母大写单选框", 1},
                                               {"", "扩展名首字母小写单选框", 3}}};
  static constexpr std::array fields{
      [] {
        Field<O> f = onCommandLine(choiceField<&O::name>("", names), "--case",
                                   {"upper|lower|title|lower-first", "upper|lower|title|lower-first"},
                                   {"大小写", "letter case"});
        f.namesRule = true;
        return f;
      }(),
      [] {
        Field<O> f = onCommandLine(choiceField<&O::ext>("", exts), "--ext-case", {},
                                   {"对扩展名做同样的改变", "change the extension in the same way"});
        f.takes = Takes::Nothing;
        f.parse = parseExtensionCase;
        return f;
      }(),
  };
  // The command line keeps the extension unless asked.
  static O commandLine() { return {CaseChoice::AllUpper, CaseChoice::Keep}; }
};

}  // namespace qorin::rules
