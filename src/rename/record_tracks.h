// SPDX-License-Identifier: GPL-3.0-or-later
// The record of the last pass read back for an undo or a recovery: each file
// it names, where the record puts it, and where it is on the disk. Names are
// kept as four-byte references into the record's names (read once, in one
// buffer), files in tables indexed by JournalStep::fileIndex.
// Used by record_replay.cpp only.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rename/journal.h"
#include "rename/pass_steps.h"
#include "rename/plan.h"
#include "rename/plan_steps.h"

namespace qorin::rename::detail {

// A name of the record: the `from` (even) or the `to` (odd) of the step at
// place id / 2; with the top bit, one of the names found elsewhere (a
// temporary name that a cycle could not take back).
using NameId = std::uint32_t;
inline constexpr NameId kNoName = UINT32_MAX;
inline constexpr NameId kElsewhere = NameId{1} << 31;

inline NameId fromName(std::size_t place) { return static_cast<NameId>(place * 2); }
inline NameId toName(std::size_t place) { return static_cast<NameId>(place * 2 + 1); }

// The names of a record's files; an outcome keeps them for its views.
struct RecordNames {
  std::shared_ptr<const JournalText> text;
  std::deque<std::string> elsewhere;

  std::string_view operator[](NameId id) const {
    if (id & kElsewhere) return elsewhere[id & ~kElsewhere];
    return id & 1 ? text->to(id >> 1) : text->from(id >> 1);
  }
};

// One file of the record.
struct Track {
  std::uint32_t first = 0;    // the place of its first step: its folder, identity and name before the pass
  NameId expected = kNoName;  // where the record puts it now
  NameId location = kNoName;  // where it was found; kNoName: it was not
  Verdict lost;               // why it was not
  bool moved = false;         // a step of the record renamed it
};

struct Loaded {
  JournalRead read = JournalRead::Missing;
  JournalRecord record;
  std::shared_ptr<RecordNames> names;
  std::vector<Track> tracks;  // by JournalStep::fileIndex
  // The places of each file's steps, in order: stepsOf[stepStart[i] .. stepStart[i + 1]).
  std::vector<std::uint32_t> stepStart, stepsOf;
  std::vector<RunFolder> folders;  // the record's folders, to be opened only as they were
  bool located = false;
  platform::RenameWays* ways = nullptr;  // handed in for the undo, or the run's own

  bool interrupted() const { return !record.phases.empty() && !record.phases.back().ended; }

  std::string_view name(NameId id) const { return (*names)[id]; }
  bool same(NameId a, NameId b) const { return a == b || name(a) == name(b); }
  // A name from elsewhere, kept with the record's.
  NameId keep(std::string_view name);

  const JournalText::Step& firstStep(const Track& t) const { return record.text->steps[t.first]; }
  NameId original(const Track& t) const { return fromName(t.first); }  // its name before the pass
  std::uint32_t folderOf(const Track& t) const { return record.text->folderOf(firstStep(t)); }
  platform::FileIdentity idOf(const Track& t) const {
    const JournalText::Step& s = firstStep(t);
    return {record.text->devices[folderOf(t)], s.inode, s.size, s.birth};
  }
  // Where the track is now as far as anyone knows: where it was found, or
  // else where the record puts it.
  NameId now(const Track& t) const { return t.location != kNoName ? t.location : t.expected; }
};

// The files a transition moves, as the planner reads them (see
// plan_moves.h): the names stay in the record, and per row only the track
// and a few bits of what exists are kept, worked out from each folder's
// listing before the listing goes.
class RecordRows {
 public:
  enum : std::uint8_t { kItself = 1, kFromThere = 2, kToThere = 4 };

  RecordRows(const Loaded& l, const std::vector<NameId>& desired, std::vector<std::uint32_t> tracks)
      : l_(l),
        desired_(desired),
        track_(std::move(tracks)),
        flags_(track_.size(), 0),
        maxLength_(l.record.folders.size(), 255) {}

  std::size_t size() const { return track_.size(); }
  std::size_t folderCount() const { return maxLength_.size(); }
  const Loaded& loaded() const { return l_; }
  std::uint32_t track(std::size_t i) const { return track_[i]; }
  std::uint32_t folder(std::size_t i) const { return l_.folderOf(l_.tracks[track_[i]]); }
  std::string_view from(std::size_t i) const { return l_.name(l_.tracks[track_[i]].location); }
  std::string_view to(std::size_t i) const { return l_.name(desired_[track_[i]]); }
  Outcome preset(std::size_t) const { return Outcome{}; }
  bool targetIsItself(std::size_t i) const { return flags_[i] & kItself; }
  std::size_t maxLength(std::size_t i) const { return maxLength_[folder(i)]; }
  bool fromExists(std::size_t i, std::uint64_t) const { return flags_[i] & kFromThere; }
  bool toExists(std::size_t i, std::uint64_t) const { return flags_[i] & kToThere; }

  void setFlag(std::size_t i, std::uint8_t flag) { flags_[i] |= flag; }
  void setMaxLength(std::uint32_t folder, std::size_t n) { maxLength_[folder] = n; }

 private:
  const Loaded& l_;
  const std::vector<NameId>& desired_;
  std::vector<std::uint32_t> track_;
  std::vector<std::uint8_t> flags_;
  std::vector<std::size_t> maxLength_;  // per folder
};

using RecordSteps = PlanSteps<RecordRows>;
// What a record step's row tells: the file, its folder and identity.
void fillFromRecord(const RecordRows& rows, std::uint32_t row, StepRef& s);

Loaded load(std::string_view path);

// Where the record puts each file, from the steps it says are done.
void replay(Loaded& l);

// What a rename of the last phase by the link or the placeholder way left
// when it was cut short, taken away before the files are looked for: a
// second name of the step's file that still has the other, or our empty
// file under a name the rename was to take.
void clearHalfRenames(const Loaded& l);

// Finds every file on the disk.
void locate(Loaded& l);

// Files the record moved that are away from their first names, found or
// not (a file not found may come back): what its end line tells a reader at
// start.
std::size_t pendingOf(const Loaded& l);

}  // namespace qorin::rename::detail
