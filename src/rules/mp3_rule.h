// SPDX-License-Identifier: GPL-3.0-or-later
// Tab MP3标签: every MP3 file named after fields of its ID3 tag, through a
// rule text with the placeholders #1 to #6.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"
#include "rules/name_cleanup.h"
#include "rules/reading.h"
#include "rules/rule_fields.h"
#include "tags/tag_fields.h"
#include "tags/tag_reader.h"

namespace qorin::rules {

using TagPriority = tags::TagPriority;

struct Mp3Options {
  std::string rule;                             // MP3命名规则编辑框
  TagPriority priority = TagPriority::V2First;  // V1优先单选框 / V2优先单选框
  NameCleanup cleanup{};                        // the 选项 menu's 替换非法字符 and 音轨号补零
};

// A literal followed by a field code: 1 artist, 2 title, 3 album, 4 track,
// 5 year, 6 genre; 0 means no field and ends the list.
struct RuleSegment {
  std::string literal;
  int code = 0;
  bool operator==(const RuleSegment&) const = default;
};

// The segments of a rule text, the last always with code 0; nothing for an
// empty rule. "#" before anything but 1-6 is text, so "##1" keeps one "#".
std::optional<std::vector<RuleSegment>> parseMp3Rule(std::string_view rule);

// The new name for one tag: the segments with their fields filled in, and
// `extension` (".mp3", or another audio file's own) appended unless that
// leaves the name empty. Tag texts go in as read, except the track (#4),
// which goes in as players show it ("3" of "3/12", padded to "03" when
// `cleanup` says so); `cleanup` may also replace the characters a file name
// cannot hold (in the whole name, so "AC/DC" cannot make a path).
std::string expandMp3Rule(const std::vector<RuleSegment>& segments, const tags::TagFields& fields,
                          const NameCleanup& cleanup = {}, std::string_view extension = ".mp3");

// The TagFields slot a placeholder code stands for (0 for code 0).
int slotOfCode(int code);

// The rule in words for 参照编辑框: "#1" becomes "艺术家" and so on.
std::string mp3RuleExample(std::string_view rule);

// The rule field's byte limit; a longer text is cut before the character
// that does not fit.
inline constexpr std::size_t kMp3RuleMaxBytes = 50;

// What a placeholder button makes of the rule: "#n" on an empty rule, else
// the rule with "-#n" appended.
std::string withPlaceholder(std::string_view rule, int n);

// The rule text of predefined scheme `item` (0..3), empty outside.
std::string_view mp3SchemeRule(int item);

// Writes newName of every entry and the MP3标签状态 cells: "非MP3文件" for a
// file no tag reader takes (tags::tagReaderFor), "无标签" for one without a
// tag, emptied where an MP3 file now has one, the tag's family for other
// audio files (which keep their own extension). Each file is opened for
// reading, read and closed before the next; a file that cannot be opened or
// is damaged keeps its cell and fails with its reason, and so do those with
// no tag (RuleCode::NoTag) and those of no tag format (UnsupportedFormat). A
// tag that holds none of the fields the rule uses (all blank) fails its row
// with RuleCode::NoNeededField rather than naming it " - .mp3". An empty rule
// empties every new name and writes no cell. The unlabelled texts of a
// folder's MP3s are judged together: a file its tag alone leaves uncertain
// is read again with its folder's. The files TagLib reads are read by
// `reading`'s workers; its stop is asked before each read;
// stopped, the rows not reached, and those still to be read again, fail
// with ListCode::Stopped and it returns false.
bool mp3Rule(filelist::FileList& list, const Mp3Options& o, const Reading& reading = {});

template <>
struct RuleFields<Mp3Options> {
  using O = Mp3Options;
  static constexpr Words about{
      "按音乐标签命名（#1艺术家 #2标题 #3专辑 #4音轨 #5年份 #6流派）：MP3 和 MP2 用 ID3 "
      "标签，其他格式用它们自己的标签；"
      "标签中没有模板用到的任何一项的文件不会更名",
      "Name music files from their tags (#1 artist, #2 title, #3 album, #4 track, #5 year, #6 genre): MP3 "
      "and MP2 files from their ID3 tags, the other formats from their own; a file whose tag holds none of "
      "the fields the template uses is not renamed"};
  static constexpr std::array<Choice, 2> priorities{{{"", "V1优先单选框", 0}, {"", "V2优先单选框", 1}}};
  static constexpr std::array fields{
      [] {
        Field<O> f = onCommandLine(textField("MP3命名规则编辑框", &O::rule), "--tags", {"模板", "TEMPLATE"},
                                   {"按音乐标签命名", "name by music tags"});
        f.namesRule = true;
        return f;
      }(),
      [] {
        Field<O> f = onCommandLine(choiceField<&O::priority>("", priorities), "--v1-first", {},
                                   {"MP3 文件优先用 ID3v1 标签（默认 ID3v2）",
                                    "prefer the ID3v1 tag of MP3 files (ID3v2 by default)"});
        f.takes = Takes::Nothing;
        f.sets = 0;
        return f;
      }(),
  };
};

// The MP3标签状态 cell of a file named from a tag of `kind`, as the tag
// readers' registry words the family: None where it says nothing (MP3).
filelist::Mp3Status taggedStatus(tags::TagKind kind);

}  // namespace qorin::rules
