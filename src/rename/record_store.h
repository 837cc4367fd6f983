// SPDX-License-Identifier: GPL-3.0-or-later
// The records of renaming passes in the state folder: one file a pass,
// "records/<time>-<random>.journal", each held by the process that made it
// for as long as it runs. Two windows (or a window and the command line)
// thus never share a record: each undoes its own last pass, and at start a
// program takes over only the records of processes that have ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/record_file.h"
#include "rename/pass_summary.h"

namespace qorin::rename {

// A record this process holds.
struct HeldRecord {
  std::string path;  // code page
  platform::FileHold hold;
};

// The records of programs that have ended, newest first.
struct EndedRecords {
  std::vector<HeldRecord> records;  // each now held by the caller
  std::string busyNewest;           // the newest record of all, while a running program holds it
  // Records another user owns, or the records folder itself when someone
  // else may write to it: left alone, for the user to be told.
  std::vector<std::string> refused;
};

// How many passes stay on record, and how much room they may take in all.
inline constexpr std::size_t kKeptPasses = 20;
inline constexpr std::uint64_t kKeptBytes = std::uint64_t{256} << 20;

class RecordStore {
 public:
  // `stateDir` ends in the separator; empty: there is no place for records.
  explicit RecordStore(std::string stateDir);

  bool usable() const { return !dir_.empty(); }
  const std::string& folder() const { return dir_; }

  // A new empty record, held, for the next pass; nothing (with `error`)
  // when none can be made.
  std::optional<HeldRecord> reserve(int& error) const;

  // The records whose owner has ended, newest first, each now held by the
  // caller. The single record an earlier version kept in the state folder
  // itself joins them first.
  EndedRecords takeEnded() const;

  // After a pass: no more than kKeptPasses records stay, and no more than
  // kKeptBytes in all. Those with nothing left in them go first, then the
  // oldest; the newest never, nor one a running program holds, nor one cut
  // short. `own` are this process's records, oldest first: those removed
  // leave it.
  void prune(std::vector<HeldRecord>& own) const;

  // When the record's pass ran, where, and (when its end says) how many
  // files an undo would give back. Read from the record's ends alone.
  static PassSummary summaryOf(std::string_view path);

  // A record no one needs any more (a newer pass of the same owner, or
  // nothing left to undo in it): removed.
  static void retire(HeldRecord& r);

  // A record that cannot be used goes aside, as "journal-<n>.unusable" in
  // the state folder, never over an earlier one; returns where it went
  // (empty when it could not be moved).
  std::string setAside(HeldRecord& r) const;

 private:
  void adoptLegacy() const;

  std::string state_;  // the state folder
  std::string dir_;    // its records/ folder
};

}  // namespace qorin::rename
