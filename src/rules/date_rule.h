// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 日期: each file named from a date (modified, taken, created), written
// in a format of Qt's date letters; files that come to the same name are
// numbered in list order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "platform/fs_types.h"
#include "platform/names.h"
#include "rules/name_cleanup.h"
#include "rules/reading.h"
#include "rules/rule_fields.h"

namespace qorin::rules {

enum class DateSource : unsigned char { Modified, Taken, Created };  // 日期来源组合框, in item order
enum class DatePlace : unsigned char { Replace, Before, After };  // 日期替换文件名 / 加在前面 / 加在后面

struct DateOptions {
  DateSource source = DateSource::Modified;
  std::string format = "yyyy-MM-dd_HHmmss";  // 日期格式编辑框
  DatePlace place = DatePlace::Replace;
  std::string separator = "_";  // 日期分隔编辑框: between the date and the old main name
  NameCleanup cleanup{};        // the 选项 menu's 替换非法字符 (for the date's own characters)
};

// The date in `format`: yyyy yy MM dd HH mm ss stand for its parts, zzz for
// its milliseconds (three digits) and z for them as a fraction without its
// trailing zeros (500 is "5"), as Qt writes them; unknown milliseconds are
// 0. Longest letters first; every other character stays as it is (walked as
// GB18030 characters, so no trail byte is taken for a letter).
std::string formatDate(std::string_view format, const platform::LocalTime& t);

// A date's place in time: milliseconds of its clock counted like Unix time
// (unknown milliseconds as 0), for putting dates in order.
std::int64_t dateKey(const platform::LocalTime& t);

// The entry's facts, each read once: with `taken` the date taken, and the
// times unless a date taken was found; without, the times. kMissing when
// the file could not be looked at. A date taken is read by `reading`'s workers.
const filelist::FileList::Facts& readFacts(filelist::FileList& list, int row, bool taken,
                                           const Reading& reading = {});

// Reads the dates taken of every row not read yet, several files at once
// (exiv2's parsing is the cost, and each row is a file of its own) in the
// media workers, so that readFacts then finds them. The reading's stop is
// asked before each file is handed out; false when it stopped the reading,
// the rows not reached left unread.
bool readDatesTakenAhead(filelist::FileList& list, const Reading& reading = {});

// The local date the rule names the entry by (a file time with its
// milliseconds), and the note when the date fell back to the modification
// time; false when the file cannot be read, with `note` the reason where it
// is known (the worker timed out, died or was stopped).
bool dateOf(filelist::FileList& list, int row, DateSource source, platform::LocalTime& date,
            filelist::Outcome& note, const Reading& reading = {});

// Writes newName of every entry, the extension kept; a file that cannot be
// read fails its row. Names that come out equal in one folder get "_1",
// "_2", … before the extension after the first, in the order of their dates
// (to the millisecond), equal dates in list order. An empty format empties
// every new name. Dates taken are read by `reading`'s workers; its stop is
// asked before each row's date is read (and by the reading ahead); stopped,
// every row fails with ListCode::Stopped (the numbering needs all dates) and
// it returns false.
bool dateRule(filelist::FileList& list, const DateOptions& o, const Reading& reading = {});

template <>
struct RuleFields<DateOptions> {
  using O = DateOptions;
  static constexpr Words about{
      "按日期命名（yyyy yy MM dd HH mm ss zzz z，其余照写），扩展名不变；得到同一名字的文件从第二个起加 "
      "_1、_2 等；"
      "没有所要日期的文件用最后修改的时间",
      "Name files by a date written as FORMAT says (yyyy yy MM dd HH mm ss, zzz the milliseconds, z the "
      "fraction of the second; every other character kept); the extension is kept. Files that come to the "
      "same name get _1, _2, ... after the first; a file without the date asked for is named by the time "
      "it was last changed"};
  static constexpr std::array<Choice, 3> sources{{{"mtime", "", 0}, {"exif", "", 1}, {"birth", "", 2}}};
  static constexpr std::array<Choice, 3> places{{{"replace", "日期替换文件名单选框", 0},
                                                 {"prefix", "日期加在前面单选框", 1},
                                                 {"suffix", "日期加在后面单选框", 2}}};
  static constexpr std::array fields{
      onCommandLine(choiceField<&O::source>("日期来源组合框", sources), "--date-source",
                    {"mtime|exif|birth", "mtime|exif|birth"},
                    {"日期来源：修改时间（默认）、照片或视频的拍摄时间、创建时间",
                     "the date taken: the last change (the default), when a photo was taken or a video "
                     "recorded, or when the file was made"}),
      [] {
        Field<O> f = onCommandLine(textField("日期格式编辑框", &O::format), "--date", {"格式", "FORMAT"},
                                   {"按日期命名", "name by a date"});
        f.namesRule = true;
        return f;
      }(),
      onCommandLine(choiceField<&O::place>("", places), "--date-place",
                    {"replace|prefix|suffix", "replace|prefix|suffix"},
                    {"日期代替主文件名（默认），或放在它前面、后面",
                     "the date in place of the main name (the default), before it or after it"}),
      onCommandLine(textField("日期分隔编辑框", &O::separator), "--date-sep", {"文字", "TEXT"},
                    {"日期加在前后时与主文件名之间的文字（默认 _）",
                     "between the date and the main name when it goes before or after (_ by default)"}),
  };
};

}  // namespace qorin::rules
