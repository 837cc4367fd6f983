// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 大小写: the letter case of the main part and of the extension, each by
// its own choice. All upper and all lower change A to Z alone; a first
// letter is the first character of any script that has two cases.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "filelist/file_list.h"

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

}  // namespace qorin::rules
