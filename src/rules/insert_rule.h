// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 插入: one text into the main part and one into the extension, each at a
// numbered byte position or at the end of the part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "filelist/file_list.h"

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

}  // namespace qorin::rules
