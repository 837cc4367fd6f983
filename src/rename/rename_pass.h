// SPDX-License-Identifier: GPL-3.0-or-later
// The renaming pass over the file list, its undo, and the recovery of a pass
// cut short. The window computes the proposals (newName) first and shows the
// summaries afterwards; everything between happens here.
//
// A pass plans first (rename/plan.h), then writes the plan to the journal
// (rename/journal.h) a part at a time, each flushed before its renames. The journal
// stays as the undo record of the pass, so the undo works from it, not from
// the list, and survives closing the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"
#include "rename/journal.h"

namespace qorin::platform {
class RenameWays;
}

namespace qorin::rename {

// Called with how many of `total` files are settled each time a bar of 20
// marks would gain one (at most 20 times per pass), so a front end can show
// it and keep painting.
using ProgressFn = std::function<void(int done, int total)>;

// Asked after each file of a pass or an undo (the window keeps painting and
// takes Esc meanwhile); true stops the run after that file. A cycle caught
// half way is finished first, so no file keeps a temporary name.
using StopFn = std::function<bool()>;

// Marks after entry i (1-based) of n: floor(i / n * 20), in floating point.
int progressMarks(int i, int n);

struct PassOutcome {
  enum class Status {
    Done,          // the pass ran; the rows tell each outcome
    JournalFailed  // the journal could not be written: nothing was renamed, no row changed
  };
  Status status = Status::Done;
  int total = 0;         // rows in the pass
  int succeeded = 0;     // rows that have their proposal now (unchanged ones included)
  int renamed = 0;       // files renamed: what an undo would give back
  int unchanged = 0;     // succeeded rows whose name was already the proposal
  int stopped = 0;       // rows not reached because the pass was stopped: neither succeeded nor failed
  int journalError = 0;  // errno; with Done, the record of the pass may be incomplete
};

// Renames every shown row from dir + oldName to dir + newName, never
// replacing a file: chains in dependency order, cycles through a temporary
// name of the same folder. The plan goes to the journal at `journalPath`
// (its folder is created), each step before its rename, and replaces the
// record of the previous pass. Each row gets its status and, on failure, its reason
// and its failed proposal in the new-name column; a renamed row takes its
// new name as old name.
// Stopped, the rows not reached lose their status and count in `stopped`;
// the record keeps what was done, for the undo.
// `ways` (tests hand one in) remembers which no-replace rename each device
// takes; without it the pass keeps its own.
// NamesToUtf8 renames only the rows whose names are kept in the old code
// page, each to the same text in UTF-8 (status 已转为UTF-8), and leaves the
// other rows and every proposal alone.
// `ahead`, while the list is as it was made from, gives the files'
// identities and the folders' names read beforehand.
enum class PassKind : unsigned char { Rename, NamesToUtf8 };
class PassAhead;
PassOutcome renamePass(filelist::FileList& list, std::string_view journalPath,
                       const ProgressFn& progress = {}, const StopFn& stop = {},
                       platform::RenameWays* ways = nullptr, PassKind kind = PassKind::Rename,
                       PassAhead* ahead = nullptr);

namespace detail {
struct RecordNames;
}

// One file of an undo or a recovery, twenty bytes: its names are the
// record's, told by RecordOutcome::name.
struct FileOutcome {
  std::uint32_t folder = 0;  // index into RecordOutcome::folders
  std::uint32_t before = 0;  // its name before the undo (where the pass left it)
  std::uint32_t after = 0;   // its name now
  bool ok = false;           // it has its name from before the pass
  filelist::Outcome reason;
  std::int32_t detail = 0;
};

struct RecordOutcome {
  enum class Status {
    Done,           // the files below were handled
    NoRecord,       // nothing to undo or recover
    Damaged,        // the journal is not readable as one: nothing was touched
    Unsupported,    // a journal of another program version: nothing was touched
    Refused,        // the journal names files or folders no pass wrote: nothing was touched
    JournalFailed,  // the journal could not be appended to: nothing was touched
  };
  Status status = Status::NoRecord;
  int total = 0;     // N: files the pass renamed that are not back yet
  int restored = 0;  // U: those that have their old name now
  int stopped = 0;   // those not reached because the undo was stopped (reason Stopped)
  int error = 0;     // errno for JournalFailed
  std::vector<FileOutcome> files;
  // The record's folders: as the pass's rows showed them, and which folder
  // each was (inode 0: not recorded). Files name theirs by index, so a
  // million of them need not carry the text.
  std::vector<JournalFolder> folders;
  // The record's names, read once and shared by the outcome's copies.
  std::shared_ptr<const detail::RecordNames> names;
  std::string_view name(std::uint32_t id) const;
  std::string_view before(const FileOutcome& f) const { return name(f.before); }
  std::string_view after(const FileOutcome& f) const { return name(f.after); }
  // A record whose plan was damaged on the disk: steps that could not be
  // read (their files were not given back), and files found at a temporary
  // name of ours in its folders (full paths).
  int unreadable = 0;
  std::vector<std::string> temporaries;
};

// Gives every file the last pass renamed its previous name back, reversing
// chains and cycles, whatever happened to the list since. A file that is no
// longer the one the pass left (moved, replaced, changed in size) or whose
// old name is taken fails alone; nothing is replaced. The journal records
// the undo, so files already back are not offered again and failed ones can
// be retried.
RecordOutcome undoLastPass(std::string_view journalPath, const ProgressFn& progress = {},
                           const StopFn& stop = {}, platform::RenameWays* ways = nullptr);

// Shows an undo's or a rollback's results in the rows that list its files
// (matched by folder and name): old name and status "撤消成功"/"撤消失败"
// with the reason. Rows of other files are left alone.
void showUndoInList(filelist::FileList& list, const RecordOutcome& outcome);

enum class RecordState {
  None,         // no record, or nothing left to undo: 撤消 stays disabled
  Undoable,     // a finished pass whose files can be given back
  Interrupted,  // a pass (or undo) was cut short: ask before anything else
  Damaged,      // the journal cannot be read: say so once, touch nothing
  Unsupported,  // written by another program version: say so once, touch nothing
  Refused,      // names files or folders no pass wrote: say so once, touch nothing
};

struct RecordInfo {
  RecordState state = RecordState::None;
  // Files not under their name from before the pass (Undoable, Interrupted:
  // the N of "上次更名没有完成：N 个文件已经更名。").
  int renamed = 0;
};

// What the journal at `journalPath` holds; for an interrupted pass the disk
// is checked to count the renamed files. Touches no file of the user's (a
// journal whose commit was cut short is put in place).
RecordInfo inspectRecord(std::string_view journalPath);

// The same, from the record's first and last lines alone where they say
// enough (a record that ended): fast on a record of a million files. An
// unfinished record is inspected in full.
RecordInfo peekRecord(std::string_view journalPath);

enum class Recovery {
  RollBack,  // every file back to its name from before the pass (as an undo)
  Keep,      // keep what was done; the record becomes the undo record
};

// Ends an interrupted pass or undo either way; no file keeps a temporary
// name (a cycle caught half way is taken back as a whole under Keep), and
// what a rename cut half way left (a second name, a placeholder of ours) is
// taken away. `ways` as for the undo.
RecordOutcome recoverInterrupted(std::string_view journalPath, Recovery how, const ProgressFn& progress = {},
                                 platform::RenameWays* ways = nullptr);

}  // namespace qorin::rename
