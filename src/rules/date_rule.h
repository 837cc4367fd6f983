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
// the file could not be looked at.
const filelist::FileList::Facts& readFacts(filelist::FileList& list, int row, bool taken);

// Reads the dates taken of every row not read yet, several files at once
// (exiv2's parsing is the cost, and each row is a file of its own) in the
// media workers, so that readFacts then finds them. `stop` is asked before
// each file is handed out; false when it stopped the reading, the rows not
// reached left unread.
bool readDatesTakenAhead(filelist::FileList& list, const platform::StopFn& stop = {});

// The local date the rule names the entry by (a file time with its
// milliseconds), and the note when the date fell back to the modification
// time; false when the file cannot be read, with `note` the reason where it
// is known (the worker timed out, died or was stopped).
bool dateOf(filelist::FileList& list, int row, DateSource source, platform::LocalTime& date,
            filelist::Outcome& note);

// Writes newName of every entry, the extension kept; a file that cannot be
// read fails its row. Names that come out equal in one folder get "_1",
// "_2", … before the extension after the first, in the order of their dates
// (to the millisecond), equal dates in list order. An empty format empties
// every new name. `stop` is asked before each row's date is read (and by
// the reading ahead); stopped, every row fails with ListCode::Stopped (the
// numbering needs all dates) and it returns false.
bool dateRule(filelist::FileList& list, const DateOptions& o, const platform::StopFn& stop = {});

}  // namespace qorin::rules
