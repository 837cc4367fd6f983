// SPDX-License-Identifier: GPL-3.0-or-later
// What a naming rule says of a row it could not name, or of a name it made
// another way than asked (a note: the proposal still applies). A folder
// changed and a rule stopped are the list's codes (filelist::ListCode).
#pragma once

#include "filelist/outcome.h"

namespace qorin::rules {

enum class RuleCode : unsigned char {
  Unreadable,         // the rule could not read the file to make a proposal
  DamagedFile,        // the file is not of its type, or too damaged to read its tags
  BadPattern,         // the regular expression does not compile: the rule proposes nothing
  NoDateTaken,        // note: the modification time stands in, the file has no date taken
  NoBirthTime,        // note: the modification time stands in, the file system keeps no creation time
  NoNeededField,      // the file's tag holds none of the fields the MP3 rule uses
  NoTag,              // none of its format's tags (无标签)
  UnsupportedFormat,  // not a format any tag reader takes (非MP3文件)
  ReadTimedOut,       // the media worker took longer than its limit on the file and was killed
  ReaderCrashed,      // the media worker died on the file
  NotConvertible,     // the name's text could not be converted as asked
  kCount
};
constexpr filelist::Producer producerOf(RuleCode) { return filelist::Producer::Rule; }

// Each code as the rules give it: the two stand-ins for a date are notes.
namespace why {
inline constexpr filelist::Outcome Unreadable = filelist::fail(RuleCode::Unreadable);
inline constexpr filelist::Outcome DamagedFile = filelist::fail(RuleCode::DamagedFile);
inline constexpr filelist::Outcome BadPattern = filelist::fail(RuleCode::BadPattern);
inline constexpr filelist::Outcome NoDateTaken = filelist::note(RuleCode::NoDateTaken);
inline constexpr filelist::Outcome NoBirthTime = filelist::note(RuleCode::NoBirthTime);
inline constexpr filelist::Outcome NoNeededField = filelist::fail(RuleCode::NoNeededField);
inline constexpr filelist::Outcome NoTag = filelist::fail(RuleCode::NoTag);
inline constexpr filelist::Outcome UnsupportedFormat = filelist::fail(RuleCode::UnsupportedFormat);
inline constexpr filelist::Outcome ReadTimedOut = filelist::fail(RuleCode::ReadTimedOut);
inline constexpr filelist::Outcome ReaderCrashed = filelist::fail(RuleCode::ReaderCrashed);
inline constexpr filelist::Outcome NotConvertible = filelist::fail(RuleCode::NotConvertible);
using filelist::why::FolderChanged;
using filelist::why::Stopped;
}  // namespace why

}  // namespace qorin::rules
