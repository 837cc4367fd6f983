// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 常规: a new main name (and optionally extension) built from a prefix, a
// fixed text, a zero-padded running number and a suffix.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "filelist/file_list.h"

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

}  // namespace qorin::rules
