// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 插入: one text into the main part and one into the extension, each at a
// numbered byte position or at the end of the part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

enum class InsertAt { Position, End };

struct InsertOptions {
  std::string nameText;                  // 插入到文件名的字符编辑框
  std::string extText;                   // 插入到扩展名的字符编辑框
  bool keepSame = false;                 // 保持一致选择框: the extension gets nameText
  InsertAt nameAt = InsertAt::Position;  // 插入文件名位置单选框 / 插入文件名尾单选框
  std::string namePosition = "1";        // 插入文件名位置编辑框
  InsertAt extAt = InsertAt::Position;   // 插入扩展名位置单选框 / 插入扩展名尾单选框
  std::string extPosition = "1";         // 插入扩展名位置编辑框
};

// Writes newName of rows 0..n-1 (n is clamped to the list). A name without
// extension receives "." + the extension text as its new extension.
void insertRule(filelist::FileList& list, int n, const InsertOptions& o);

// The byte offset in `part` where a text inserted at 1-based byte position
// `pos` begins: below 1 is the start, beyond the end is the end, and a
// position inside a multi-byte character moves to the next character.
std::size_t insertOffset(std::string_view part, std::int64_t pos);

// Appends `part` to `out` with `text` inserted at 1-based position `pos`.
void appendInserted(std::string& out, std::string_view part, std::string_view text, std::int64_t pos);

// --at POS|end: where the text goes into the main name.
std::string parseInsertPlace(InsertOptions& o, std::span<const std::string> values);

template <>
struct RuleFields<InsertOptions> {
  using O = InsertOptions;
  static constexpr Words about{"插入：把文字插入到主文件名",
                               "Insert TEXT into the main name, before its first character unless --at says"};
  static constexpr std::array<Choice, 2> namePlaces{
      {{"", "插入文件名位置单选框", 0}, {"", "插入文件名尾单选框", 1}}};
  static constexpr std::array<Choice, 2> extPlaces{
      {{"", "插入扩展名位置单选框", 0}, {"", "插入扩展名尾单选框", 1}}};
  static constexpr std::array fields{
      [] {
        Field<O> f = onCommandLine(textField("插入到文件名的字符编辑框", &O::nameText), "--insert",
                                   {"文字", "TEXT"}, {"插入", "insert"});
        f.namesRule = true;
        return f;
      }(),
      onCommandLine(textField("插入到扩展名的字符编辑框", &O::extText), "--ext-text", {"文字", "TEXT"},
                    {"同时把文字插入到扩展名", "insert TEXT into the extension as well"}),
      flagField("保持一致选择框", &O::keepSame),
      choiceField<&O::nameAt>("", namePlaces),
      [] {
        Field<O> f = onCommandLine(textField("插入文件名位置编辑框", &O::namePosition), "--at",
                                   {"位置|end", "POS|end"},
                                   {"插入到第几个字符之前（从 1 数起），end 为末尾",
                                    "before the character at POS (counted from 1), or after the end"});
        f.parse = parseInsertPlace;
        return f;
      }(),
      choiceField<&O::extAt>("", extPlaces),
      textField("插入扩展名位置编辑框", &O::extPosition),
  };
};

}  // namespace qorin::rules
