// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a pass read back: the undo, the recovery of a pass cut
// short, and what the start asks about. Which file is where is worked out
// in record_tracks.cpp; an outcome is shown in the list by record_show.cpp.
#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "rename/pass_steps.h"
#include "rename/plan_moves.h"
#include "rename/record_tracks.h"
#include "rename/rename_pass.h"

namespace qorin::rename {

using namespace detail;

namespace {

// The plan goes to the record this many bytes at a time: the lines of a
// million steps are never held whole.
constexpr std::size_t kPlanPiece = std::size_t{1} << 20;

// Appends to the record, first cutting what follows its last good line:
// otherwise a reader would stop at the bad line and never see the rest.
bool openJournal(platform::RecordWriter& file, Loaded& l, std::string_view path, int& error) {
  const std::uint64_t keep = l.record.damaged ? l.record.goodBytes : UINT64_MAX;
  if (!file.openAppend(path, keep)) {
    error = file.error();
    return false;
  }
  l.record.damaged = false;
  return true;
}

// A phase's plan, written and synced before its first rename.
template <class Steps>
bool writePlan(platform::RecordWriter& file, PhaseKind kind, const Steps& steps) {
  JournalLines lines;
  lines.begin(kind);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    lines.step(steps[k]);
    if (lines.text().size() < kPlanPiece) continue;
    if (!file.write(lines.text())) return false;
    lines.text().clear();
  }
  lines.planned(steps.size());
  return file.write(lines.text()) && file.sync();
}

// The places of a file's steps in the last phase, which begins at place
// `first`: the tail of the file's steps.
std::pair<const std::uint32_t*, const std::uint32_t*> stepsIn(const Loaded& l, std::uint32_t file,
                                                              std::size_t first) {
  const std::uint32_t* b = l.stepsOf.data() + l.stepStart[file];
  const std::uint32_t* e = l.stepsOf.data() + l.stepStart[file + 1];
  return {std::lower_bound(b, e, static_cast<std::uint32_t>(first)), e};
}

// Records what really happened in a phase that was cut short, as found on
// the disk, and ends it: from here on the record is true again.
bool closeInterrupted(Loaded& l, std::string_view path, int& error) {
  clearHalfRenames(l);
  locate(l);
  JournalPhase& phase = l.record.phases.back();
  const std::size_t first = phase.steps.place(0);
  JournalLines lines;
  // A plan cut by damage is completed with the steps that could be read.
  if (phase.planCut) lines.planned(phase.steps.size());
  // Where each file of the phase stands decides its steps: before the first,
  // after one of them (a cycle's first file may be at its temporary name),
  // or elsewhere, and then the record is left as it is. The files go in the
  // order the phase first names them.
  std::vector<bool> seen(l.tracks.size(), false);
  for (std::size_t k0 = 0; k0 < phase.steps.size(); ++k0) {
    const std::uint32_t file = l.record.text->steps[first + k0].fileIndex;
    if (seen[file]) continue;
    seen[file] = true;
    const Track& t = l.tracks[file];
    const auto [b, e] = stepsIn(l, file, first);
    const std::size_t count = static_cast<std::size_t>(e - b);
    std::size_t doneCount = SIZE_MAX;
    if (t.location == kNoName) {
      // Not found (its folder away, a card taken out): it may be under any
      // of its names. Taken for renamed where the record would otherwise
      // have it back under its first name, so that it stays on offer.
      const NameId original = l.original(t);
      if (l.same(t.expected, original) && !l.same(toName(b[count - 1]), original)) doneCount = count;
    } else if (l.same(fromName(*b), t.location)) {
      doneCount = 0;
    } else {
      for (std::size_t j = 0; j < count && doneCount == SIZE_MAX; ++j)
        if (l.same(toName(b[j]), t.location)) doneCount = j + 1;
    }
    if (doneCount == SIZE_MAX) continue;
    for (std::size_t j = 0; j < count; ++j) {
      const std::size_t k = b[j] - first;
      const bool done = j < doneCount;
      if ((phase.states[k] == StepState::Done) == done) continue;
      if (done) {
        lines.done(k, k);
      } else {
        lines.failed(k, Outcome{}, 0);
      }
      phase.states[k] = done ? StepState::Done : StepState::Failed;
    }
  }
  replay(l);
  lines.end(pendingOf(l));
  phase.ended = true;
  platform::RecordWriter file;
  if (!openJournal(file, l, path, error)) return false;
  if (!file.write(lines.text()) || !file.sync()) {
    error = file.error();
    return false;
  }
  return true;
}

// Moves files of the record to the names `desired` gives (kNoName: leave
// it), as one journaled phase.
struct Transition {
  RecordOutcome::Status status = RecordOutcome::Status::Done;
  int error = 0;
  std::vector<Verdict> byTrack;  // for the tracks that were to move
};

// The tracks that are to move: found, and not yet where `desired` puts them.
std::vector<std::uint32_t> movingTracks(const Loaded& l, const std::vector<NameId>& desired) {
  const auto moves = [&](std::size_t i) {
    const Track& t = l.tracks[i];
    return desired[i] != kNoName && t.location != kNoName && !l.same(t.location, desired[i]);
  };
  std::size_t count = 0;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) count += moves(i);
  std::vector<std::uint32_t> out;
  out.reserve(count);
  for (std::size_t i = 0; i < l.tracks.size(); ++i)
    if (moves(i)) out.push_back(static_cast<std::uint32_t>(i));
  return out;
}

// What exists among the names of each folder's rows, and which moves are
// case-only changes of the file itself. A folder's names go as soon as its
// rows know.
void lookAtFolders(const Loaded& l, RecordRows& rows) {
  std::vector<std::uint32_t> start(rows.folderCount() + 1, 0);
  for (std::size_t r = 0; r < rows.size(); ++r) ++start[rows.folder(r) + 1];
  for (std::size_t f = 1; f < start.size(); ++f) start[f] += start[f - 1];
  std::vector<std::uint32_t> byFolder(rows.size());
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t r = 0; r < rows.size(); ++r)
      byFolder[fill[rows.folder(r)]++] = static_cast<std::uint32_t>(r);
  }
  for (std::size_t f = 0; f + 1 < start.size(); ++f) {
    if (start[f] == start[f + 1]) continue;
    const std::span<const std::uint32_t> in(byFolder.data() + start[f], start[f + 1] - start[f]);
    const platform::Folder folder = l.folders[f].openAsAdded();
    rows.setMaxLength(static_cast<std::uint32_t>(f), folder.nameLimit());
    const FolderNames names(folder, in.size() * 2);
    for (const std::uint32_t r : in) {
      const std::string_view from = rows.from(r), to = rows.to(r);
      if (!from.empty() && names.hasSource(from)) rows.setFlag(r, RecordRows::kFromThere);
      if (names.hasTarget(to)) rows.setFlag(r, RecordRows::kToThere);
      if (targetIsItself(folder, from, to)) rows.setFlag(r, RecordRows::kItself);
    }
  }
}

template <class Settled>
Transition moveTracks(Loaded& l, std::string_view path, PhaseKind kind, const std::vector<NameId>& desired,
                      Settled settled, const StopFn& stop = {}) {
  Transition tr;
  RecordRows rows(l, desired, movingTracks(l, desired));
  lookAtFolders(l, rows);
  std::vector<Verdict> verdicts;
  std::optional<RecordSteps> made;
  {
    Plan plan = planRows(rows, NameRules{}, PlanUse::Pass);
    made.emplace(plan, rows, l.folders,
                 [&rows](std::uint32_t row, StepRef& s) { fillFromRecord(rows, row, s); });
    verdicts = std::move(plan.verdicts);
  }
  const RecordSteps& planned = *made;
  tr.byTrack.resize(l.tracks.size());

  platform::RecordWriter file;
  if (!openJournal(file, l, path, tr.error) || !writePlan(file, kind, planned)) {
    if (!tr.error) tr.error = file.error();
    tr.status = RecordOutcome::Status::JournalFailed;
    return tr;
  }

  platform::RenameWays own;
  PhaseRunnerOf<RecordSteps> runner(file, planned, l.folders, stop, l.ways ? *l.ways : own);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (verdicts[r].reason.failed()) {
      tr.byTrack[rows.track(r)] = verdicts[r];
      settled(1);
    }
  }
  const std::vector<StepOutcome> steps = runner.run(settled);
  planned.foldRows(rows.size(), steps, [&](std::uint32_t r, const StepOutcome& o) {
    if (!verdicts[r].reason.failed()) tr.byTrack[rows.track(r)] = o.verdict;
  });
  // Each file is where its last step done took it: its target, or a
  // temporary name a cycle could not take back.
  std::vector<bool> placed(rows.size(), false);
  for (std::size_t k = steps.size(); k-- > 0;) {
    const std::uint32_t row = planned.rowOf(k);
    if (!steps[k].done || placed[row]) continue;
    placed[row] = true;
    const std::uint32_t i = rows.track(row);
    const std::string_view to = planned[k].to;
    l.tracks[i].location = to.data() == l.name(desired[i]).data() ? desired[i] : l.keep(to);
  }
  runner.lines().end(pendingOf(l));
  runner.flush();
  return tr;
}

// A name the pass gives the first file of a cycle for a moment.
bool isTemporaryName(std::string_view name) {
  constexpr std::string_view head = ".qorin-", tail = ".tmp";
  if (name.size() != head.size() + 16 + tail.size() || !name.starts_with(head) || !name.ends_with(tail))
    return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(head.size()),
                     name.end() - static_cast<std::ptrdiff_t>(tail.size()),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// After a record whose plan was damaged: how many steps it could not tell,
// and which files are still at a temporary name in its folders.
void reportCutPlan(const Loaded& l, RecordOutcome& out) {
  const bool cut = std::any_of(l.record.phases.begin(), l.record.phases.end(),
                               [](const JournalPhase& p) { return p.planCut; });
  if (!cut) return;
  out.unreadable = l.record.unreadableSteps;
  for (const RunFolder& rf : l.folders) {
    if (rf.dir.empty()) continue;
    const platform::Folder folder = rf.openAsAdded();
    const auto names = folder.isOpen() ? folder.names() : std::nullopt;
    if (!names) continue;
    for (const std::string& n : *names)
      if (isTemporaryName(n)) out.temporaries.push_back(rf.dir + n);
  }
  std::sort(out.temporaries.begin(), out.temporaries.end());
}

RecordOutcome::Status statusOf(JournalRead r) {
  switch (r) {
    case JournalRead::Missing:
    case JournalRead::NeverRan:
      return RecordOutcome::Status::NoRecord;
    case JournalRead::Damaged:
      return RecordOutcome::Status::Damaged;
    case JournalRead::Unsupported:
      return RecordOutcome::Status::Unsupported;
    case JournalRead::Refused:
      return RecordOutcome::Status::Refused;
    case JournalRead::Ok:
      break;
  }
  return RecordOutcome::Status::Done;
}

// The outcome's files name their folders by index and their names by views
// into the record's: it takes both over. The record is done with by then.
void handOver(Loaded& l, RecordOutcome& out) {
  out.folders = std::move(l.record.folders);
  out.names = l.names;
}

// Every file of the record that is not under its name from before the pass
// goes back to it.
RecordOutcome restore(Loaded& l, std::string_view path, const ProgressFn& progress, const StopFn& stop) {
  RecordOutcome out;
  if (!l.located) locate(l);
  // Each file's steps served to find it; nothing after needs them.
  std::vector<std::uint32_t>().swap(l.stepStart);
  std::vector<std::uint32_t>().swap(l.stepsOf);
  // Only files the record moved: one whose rename failed in the pass is not
  // the undo's, wherever it is now. Those are the ones with a desired name;
  // `before` is where each was before the undo.
  std::vector<NameId> desired(l.tracks.size(), kNoName);
  std::vector<NameId> before(l.tracks.size(), kNoName);
  std::size_t count = 0;
  int settledFiles = 0;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    const Track& t = l.tracks[i];
    const NameId original = l.original(t);
    if (l.same(t.expected, original) && (!t.moved || t.location == kNoName || l.same(t.location, original)))
      continue;
    desired[i] = original;
    before[i] = l.now(t);
    settledFiles += t.location == kNoName || l.same(t.location, original);
    ++count;
  }
  if (count == 0) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  ProgressMarks marks(static_cast<int>(count), progress);
  marks.after(settledFiles);
  const Transition tr = moveTracks(
      l, path, PhaseKind::Undo, desired,
      [&](std::size_t files) {
        settledFiles += static_cast<int>(files);
        marks.after(settledFiles);
      },
      stop);
  if (tr.status != RecordOutcome::Status::Done) {
    out.status = tr.status;
    out.error = tr.error;
    return out;
  }
  out.status = RecordOutcome::Status::Done;
  out.total = static_cast<int>(count);
  out.files.reserve(count);
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    if (desired[i] == kNoName) continue;
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.folder = l.folderOf(t);
    f.before = before[i];
    f.after = t.location != kNoName ? t.location : before[i];
    f.ok = t.location != kNoName && l.same(t.location, desired[i]);
    if (!f.ok) {
      const Verdict v = t.location == kNoName ? t.lost : tr.byTrack[i];
      f.reason = v.reason;
      f.detail = v.detail;
    }
    out.restored += f.ok;
    out.stopped += f.reason == why::Stopped;
    out.files.push_back(f);
  }
  handOver(l, out);
  return out;
}

// Keep after a cut pass or undo: a cycle caught half way has a file at its
// temporary name and another in that file's place; it goes back as a whole.
RecordOutcome keepInterrupted(Loaded& l, std::string_view path, std::size_t cutPhase,
                              const ProgressFn& progress) {
  const JournalSteps& cut = l.record.phases[cutPhase].steps;
  const std::vector<JournalText::Step>& steps = l.record.text->steps;
  // The cycles' steps, group by group, each group's in order.
  std::vector<std::uint32_t> cycleSteps;
  for (std::size_t k = 0; k < cut.size(); ++k)
    if (steps[cut.place(k)].cycle) cycleSteps.push_back(static_cast<std::uint32_t>(cut.place(k)));
  std::stable_sort(cycleSteps.begin(), cycleSteps.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return steps[a].group < steps[b].group; });
  std::vector<NameId> desired(l.tracks.size(), kNoName);
  std::vector<std::uint32_t> reverted;
  for (std::size_t b = 0, e = 0; b < cycleSteps.size(); b = e) {
    for (e = b + 1; e < cycleSteps.size() && steps[cycleSteps[e]].group == steps[cycleSteps[b]].group;) ++e;
    const Track& head = l.tracks[steps[cycleSteps[b]].fileIndex];
    if (head.location == kNoName || !l.same(head.location, toName(cycleSteps[b]))) continue;
    for (std::size_t j = b; j < e; ++j) {
      const std::uint32_t i = steps[cycleSteps[j]].fileIndex;
      if (desired[i] != kNoName) continue;
      desired[i] = fromName(cycleSteps[j]);  // its name before this phase
      reverted.push_back(i);
    }
  }
  ProgressMarks marks(static_cast<int>(reverted.size()), progress);
  int settledFiles = 0;
  const Transition tr = moveTracks(l, path, PhaseKind::Keep, desired, [&](std::size_t files) {
    settledFiles += static_cast<int>(files);
    marks.after(settledFiles);
  });
  RecordOutcome out;
  if (tr.status != RecordOutcome::Status::Done) {
    out.status = tr.status;
    out.error = tr.error;
    return out;
  }
  out.status = RecordOutcome::Status::Done;
  out.files.reserve(reverted.size());
  for (const std::uint32_t i : reverted) {
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.folder = l.folderOf(t);
    f.before = kNoName;
    f.after = l.now(t);
    f.ok = t.location != kNoName && l.same(t.location, desired[i]);
    if (!f.ok) {
      f.reason = tr.byTrack[i].reason;
      f.detail = tr.byTrack[i].detail;
    }
    out.files.push_back(f);
  }
  for (const Track& t : l.tracks) out.total += !l.same(l.now(t), l.original(t));
  reportCutPlan(l, out);
  handOver(l, out);
  return out;
}

}  // namespace

RecordOutcome undoLastPass(std::string_view journalPath, const ProgressFn& progress, const StopFn& stop,
                           platform::RenameWays* ways) {
  Loaded l = load(journalPath);
  l.ways = ways;
  RecordOutcome out;
  out.status = statusOf(l.read);
  if (l.read != JournalRead::Ok) return out;
  if (l.interrupted() && !closeInterrupted(l, journalPath, out.error)) {
    out.status = RecordOutcome::Status::JournalFailed;
    return out;
  }
  out = restore(l, journalPath, progress, stop);
  reportCutPlan(l, out);
  return out;
}

RecordInfo inspectRecord(std::string_view journalPath) {
  Loaded l = load(journalPath);
  RecordInfo info;
  switch (l.read) {
    case JournalRead::Missing:
    case JournalRead::NeverRan:
      return info;
    case JournalRead::Damaged:
      info.state = RecordState::Damaged;
      return info;
    case JournalRead::Unsupported:
      info.state = RecordState::Unsupported;
      return info;
    case JournalRead::Refused:
      info.state = RecordState::Refused;
      return info;
    case JournalRead::Ok:
      break;
  }
  if (l.interrupted()) {
    locate(l);
    info.state = RecordState::Interrupted;
    // A file found under none of its names may be under any of them (a
    // newer pass or a card taken out has it): it counts, so that the
    // record is asked about rather than closed as if nothing had happened.
    for (const Track& t : l.tracks)
      info.renamed += t.location == kNoName || !l.same(t.location, l.original(t));
    return info;
  }
  // Every file the record leaves away from its name is on offer, found or
  // not: a folder moved away or a card taken out may come back. The record
  // stays until they are back or the user forgets it.
  for (const Track& t : l.tracks) info.renamed += !l.same(t.expected, l.original(t));
  info.state = info.renamed > 0 ? RecordState::Undoable : RecordState::None;
  return info;
}

RecordInfo peekRecord(std::string_view journalPath) {
  const JournalPeek p = peekJournal(journalPath);
  if (p.read != JournalRead::Ok || !p.ended) return inspectRecord(journalPath);
  RecordInfo info;
  info.renamed = static_cast<int>(p.pending);
  info.state = p.pending > 0 ? RecordState::Undoable : RecordState::None;
  return info;
}

RecordOutcome recoverInterrupted(std::string_view journalPath, Recovery how, const ProgressFn& progress,
                                 platform::RenameWays* ways) {
  Loaded l = load(journalPath);
  l.ways = ways;
  RecordOutcome out;
  out.status = statusOf(l.read);
  if (l.read != JournalRead::Ok) return out;
  if (!l.interrupted()) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  const std::size_t cutPhase = l.record.phases.size() - 1;
  if (!closeInterrupted(l, journalPath, out.error)) {
    out.status = RecordOutcome::Status::JournalFailed;
    return out;
  }
  if (how == Recovery::Keep) return keepInterrupted(l, journalPath, cutPhase, progress);
  RecordOutcome r = restore(l, journalPath, progress, {});
  if (r.status == RecordOutcome::Status::NoRecord) r.status = RecordOutcome::Status::Done;
  reportCutPlan(l, r);
  return r;
}

}  // namespace qorin::rename
