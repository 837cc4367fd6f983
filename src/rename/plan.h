// SPDX-License-Identifier: GPL-3.0-or-later
// Deciding, before any file is touched, which proposals can apply and in
// which order: chains run from their free end, cycles go through a name of
// our own. The same decision, without touching the disk, marks the preview.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "filelist/file_list.h"
#include "platform/fs_types.h"
#include "platform/names.h"

namespace qorin::rename {

using filelist::Outcome;
using Verdict = filelist::Mark;

// The plan's, the pass's and the undo's own codes (and the list's, below).
enum class RenameCode : unsigned char {
  Unchanged,          // the proposal is the current name: nothing to do, not a failure
  SameAsEarlier,      // another row of the same folder proposes it first (detail: that row, from 1)
  TargetExists,       // a file of that name exists and stays
  IllegalName,        // ".", "..", a separator, NUL, a reserved or unconvertible name
  NameTooLong,        // longer than the file system takes
  EmptyName,          //
  SourceMissing,      // the listed file is not there
  SameFileAsEarlier,  // an earlier row lists the same file (detail: that row, from 1)
  FileChanged,        // undo: the file at the name is not the one the pass left
  SystemError,        // the system refused (detail: the error number)
  ChangedByOther,     // just before its rename the file at the name was not the one planned or recorded
  kCount
};
constexpr filelist::Producer producerOf(RenameCode) { return filelist::Producer::Rename; }

// Each code as the plan gives it: all fail but Unchanged.
namespace why {
inline constexpr Outcome Unchanged = filelist::ok(RenameCode::Unchanged);
inline constexpr Outcome SameAsEarlier = filelist::fail(RenameCode::SameAsEarlier);
inline constexpr Outcome TargetExists = filelist::fail(RenameCode::TargetExists);
inline constexpr Outcome IllegalName = filelist::fail(RenameCode::IllegalName);
inline constexpr Outcome NameTooLong = filelist::fail(RenameCode::NameTooLong);
inline constexpr Outcome EmptyName = filelist::fail(RenameCode::EmptyName);
inline constexpr Outcome SourceMissing = filelist::fail(RenameCode::SourceMissing);
inline constexpr Outcome SameFileAsEarlier = filelist::fail(RenameCode::SameFileAsEarlier);
inline constexpr Outcome FileChanged = filelist::fail(RenameCode::FileChanged);
inline constexpr Outcome SystemError = filelist::fail(RenameCode::SystemError);
inline constexpr Outcome ChangedByOther = filelist::fail(RenameCode::ChangedByOther);
using filelist::why::FolderChanged;
using filelist::why::NameEncodingUnknown;
using filelist::why::Stopped;
}  // namespace why

// What a file system accepts as a name.
struct NameRules {
  bool windows = platform::kWindowsNames;
  platform::NativeEncoding encoding = platform::kNativeEncoding;
  std::size_t maxLength = 255;  // in native units: UTF-8 bytes, or UTF-16 units
};

// None when `name` can be given to a file under `rules`; otherwise EmptyName,
// IllegalName (".", "..", a separator, NUL, not convertible, and with Windows
// rules a reserved device name or a trailing dot or blank) or NameTooLong.
// The walk goes by characters: a double-byte character whose second byte is
// 0x5C is not a backslash.
Outcome nameProblem(std::string_view name, const NameRules& rules);

// Equality of names as this platform's file systems compare them (their
// hash is platform::nameHash).
bool sameName(std::string_view a, std::string_view b);

// The names present in one folder, for membership tests.
class NameSet {
 public:
  NameSet() = default;
  explicit NameSet(std::vector<std::string> names);
  bool contains(std::string_view name) const { return contains(name, platform::nameHash(name)); }
  bool contains(std::string_view name, std::uint64_t hash) const;
  // By the 64-bit hash alone: one cache miss instead of two. A false "yes"
  // (about 1e-14 for 100,000 lookups) may only mislabel a preview mark.
  bool containsHash(std::uint64_t hash) const;
  std::size_t size() const { return names_.size(); }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t index = 0;  // + 1; 0: empty
  };
  std::vector<std::string> names_;
  std::vector<Slot> slots_;  // a power of two long
};

// One proposed move: a row of the list, or a file of the journal.
struct PlanRow {
  std::uint32_t folder = 0;  // index into the folders given with it
  std::string_view from, to;
  Outcome preset;  // a verdict made before planning (the rule's own)
  // `to` names the file itself (a case-only change on a file system that
  // ignores case): it moves through a temporary name, as a cycle of one.
  bool targetIsItself = false;
};

struct PlanFolder {
  const NameSet* names = nullptr;  // what exists there now; nullptr: nothing
  std::size_t maxLength = 255;
};

enum class PlanUse {
  Preview,  // verdicts only; names compared by their 64-bit hashes
  Pass,     // verdicts and order; names compared in full
};

struct Plan {
  std::vector<Verdict> verdicts;  // per row: None (moves), Unchanged, or why it fails
  // Moving rows in execution order, folder by folder. A chain group runs as
  // listed (its last row targets a free name); a cycle group's first row
  // goes to a temporary name first and from there to its target last.
  struct Group {
    std::uint32_t begin = 0, end = 0;  // into order
    bool cycle = false;
  };
  std::vector<std::int32_t> order;
  std::vector<Group> groups;
};

// The verdict for every row, in list order of precedence: the first row to
// claim a file or a proposal of a folder wins. A target that exists counts
// as free when the file there moves away in the same plan. For a pass the
// groups are filled as well.
Plan planMoves(std::span<const PlanRow> rows, std::span<const PlanFolder> folders, NameRules rules,
               PlanUse use);

// The names in a folder by their hashes alone (platform::nameHash), for the preview:
// a million of them in sixteen megabytes, one memory access a question.
class NameHashes {
 public:
  static constexpr std::size_t kNone = SIZE_MAX;
  NameHashes() = default;
  explicit NameHashes(const std::vector<std::uint64_t>& hashes);
  // The slot holding `hash`, or kNone.
  std::size_t lookup(std::uint64_t hash) const;
  std::size_t slotCount() const { return slots_.size(); }
  // False when `hash` is surely not there; asks a filter small enough to
  // stay in the cache, so that new names cost no trip to memory.
  bool mayContain(std::uint64_t hash) const;
  void prefetch(std::uint64_t hash) const;  // of what mayContain will read

 private:
  static std::uint64_t stored(std::uint64_t h) { return h ? h : 1; }  // 0 marks a free slot
  std::pair<std::size_t, std::uint64_t> filterBits(std::uint64_t hash) const;
  std::vector<std::uint64_t> slots_;  // a power of two long
  std::vector<std::uint64_t> filter_;
  int filterShift_ = 64;
};

namespace detail {
struct Marking;
}

// The names of folders as last listed, for marking the preview without a
// listing per keystroke, and what the last marks worked out from the listed
// names, kept while the list's names stay. The caller clears it whenever the
// folders may have changed (after a pass, an undo, adding files, or when the
// window regains the focus).
class FolderCache {
 public:
  FolderCache();
  ~FolderCache();
  FolderCache(const FolderCache&) = delete;
  FolderCache& operator=(const FolderCache&) = delete;

  void clear();
  void forget(std::string_view dir);
  // What a listing just made elsewhere saw (platform::DirectoryListing's
  // hashes), so the folder need not be listed again.
  void seed(std::string_view dir, const platform::FileIdentity& identity,
            const std::vector<std::uint64_t>& nameHashes);

  struct Entry {
    // Shared with a pass read ahead, which keeps them after the cache lets go.
    std::shared_ptr<const NameHashes> names = std::make_shared<const NameHashes>();
    std::size_t maxLength = 255;
    bool listed = false;              // the folder could be read
    bool missing = false;             // nothing there, or no folder
    platform::FileIdentity identity;  // device and inode of what was listed
  };
  // Lists the folder on first use.
  const Entry& folder(const std::string& dir);
  // The folder as listed, if it was and could be read; lists nothing.
  const Entry* listed(const std::string& dir) const;

 private:
  friend bool markConflicts(filelist::FileList& list, int rows, FolderCache& cache,
                            const platform::StopFn& stop);

  std::unordered_map<std::string, std::unique_ptr<Entry>> folders_;
  std::uint64_t generation_ = 0;  // changes whenever an entry goes or comes
  std::unique_ptr<detail::Marking> marking_;
};

// Marks rows 0..rows-1 with the reason their proposal will not apply
// (none when it will, Unchanged when it is the current name); rows
// after them lose their marks. It says what planMoves with PlanUse::Preview
// says, in one pass over the rows with names compared by their hashes; what
// depends on the current names alone is kept in the cache between calls.
// `stop` is asked before each folder still to be listed; stopped, it returns
// false and the marks stay as they were.
bool markConflicts(filelist::FileList& list, int rows, FolderCache& cache, const platform::StopFn& stop = {});

}  // namespace qorin::rename
