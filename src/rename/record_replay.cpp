// The record of a pass read back: the undo, the recovery of a pass cut
// short, and what the start asks about.
#include <map>
#include <optional>
#include <tuple>

#include "rename/pass_steps.h"
#include "rename/rename_pass.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using filelist::FileList;
using namespace detail;

namespace {

// ---- the record of the last pass ----

// One file of the record.
struct Track {
  std::uint32_t file = 0, folder = 0;
  std::string original;  // its name before the pass
  std::string expected;  // where the record puts it now
  platform::FileIdentity id;
  std::vector<std::string> names;       // every name the record ever gave it
  std::optional<std::string> location;  // where it was found
  Verdict lost;                         // why it was not
  bool moved = false;                   // a step of the record renamed it
};

struct Loaded {
  JournalRead read = JournalRead::Missing;
  JournalRecord record;
  std::vector<Track> tracks;
  std::unordered_map<std::uint32_t, std::size_t> trackOf;
  std::vector<RunFolder> folders;  // the record's folders, to be opened only as they were
  bool located = false;
  platform::RenameWays* ways = nullptr;  // handed in for the undo, or the run's own

  bool interrupted() const { return !record.phases.empty() && !record.phases.back().ended; }
};

void replay(Loaded& l) {
  for (Track& t : l.tracks) t.expected = t.original;
  for (const JournalPhase& p : l.record.phases)
    for (std::size_t k = 0; k < p.steps.size(); ++k)
      if (p.states[k] == StepState::Done) {
        Track& t = l.tracks[l.trackOf.at(p.steps[k].file)];
        t.expected = p.steps[k].to;
        t.moved = true;
      }
}

Loaded load(std::string_view path) {
  Loaded l;
  l.read = readJournal(path, l.record);
  if (l.read != JournalRead::Ok) return l;
  for (const JournalPhase& p : l.record.phases) {
    for (const JournalStep& s : p.steps) {
      auto [it, fresh] = l.trackOf.emplace(s.file, l.tracks.size());
      if (fresh) {
        Track t;
        t.file = s.file;
        t.folder = s.folder;
        t.original = s.from;
        t.id = s.id;
        l.tracks.push_back(std::move(t));
      }
      Track& t = l.tracks[it->second];
      for (const std::string* n : {&s.from, &s.to})
        if (std::find(t.names.begin(), t.names.end(), *n) == t.names.end()) t.names.push_back(*n);
    }
  }
  for (const JournalFolder& f : l.record.folders) {
    RunFolder rf;
    rf.dir = f.dir;
    rf.identity = {f.device, f.inode, 0, 0};
    rf.byPathOnly = f.inode == 0;
    l.folders.push_back(std::move(rf));
  }
  replay(l);
  return l;
}

// Where the track's file is in `folder`, found by its identity among the
// names the record gave it, the expected one first.
std::optional<std::string> findTrack(const platform::Folder& folder, const Track& t) {
  const auto at = [&](const std::string& name) {
    const auto id = folder.identityOf(name);
    return id && sameFile(*id, t.id);
  };
  if (at(t.expected)) return t.expected;
  for (const std::string& n : t.names)
    if (n != t.expected && at(n)) return n;
  return std::nullopt;
}

std::vector<std::vector<std::size_t>> tracksByFolder(const Loaded& l) {
  std::vector<std::vector<std::size_t>> byFolder(l.record.folders.size());
  for (std::size_t i = 0; i < l.tracks.size(); ++i) byFolder[l.tracks[i].folder].push_back(i);
  return byFolder;
}

// Finds every file on the disk.
void locate(Loaded& l) {
  const std::vector<std::vector<std::size_t>> byFolder = tracksByFolder(l);
  for (std::size_t f = 0; f < byFolder.size(); ++f) {
    if (byFolder[f].empty()) continue;
    const platform::Folder folder = l.folders[f].openAsAdded();
    const Verdict gone = folder.isOpen() ? Verdict{Reason::SourceMissing, 0} : folderVerdict(folder);
    for (const std::size_t i : byFolder[f]) {
      Track& t = l.tracks[i];
      t.location.reset();
      t.lost = gone;
      if (!folder.isOpen()) continue;
      t.location = findTrack(folder, t);
      if (!t.location && folder.identityOf(t.expected)) t.lost = {Reason::FileChanged, 0};
    }
  }
  l.located = true;
}

// Whether a file the record renamed and did not give back is still where
// an undo can reach it: one is enough.
bool anyWithinReach(const Loaded& l) {
  const std::vector<std::vector<std::size_t>> byFolder = tracksByFolder(l);
  for (std::size_t f = 0; f < byFolder.size(); ++f) {
    bool pending = false;
    for (const std::size_t i : byFolder[f]) pending = pending || l.tracks[i].expected != l.tracks[i].original;
    if (!pending) continue;
    const platform::Folder folder = l.folders[f].openAsAdded();
    if (!folder.isOpen()) continue;
    for (const std::size_t i : byFolder[f]) {
      const Track& t = l.tracks[i];
      if (t.expected == t.original) continue;
      if (const auto at = findTrack(folder, t); at && *at != t.original) return true;
    }
  }
  return false;
}

// Files the record moved that are away from their first names and where an
// undo can reach them: what its end line tells a reader at start.
std::size_t pendingOf(const Loaded& l) {
  std::size_t n = 0;
  for (const Track& t : l.tracks)
    n += t.location && *t.location != t.original && (t.moved || t.expected != t.original);
  return n;
}

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

// Records what really happened in a phase that was cut short, as found on
// the disk, and ends it: from here on the record is true again.
bool closeInterrupted(Loaded& l, std::string_view path, int& error) {
  if (!l.located) locate(l);
  JournalPhase& phase = l.record.phases.back();
  JournalLines lines;
  // A plan cut by damage is completed with the steps that could be read.
  if (phase.planCut) lines.planned(phase.steps.size());
  // Where each file of the phase stands decides its steps: before the first,
  // after one of them (a cycle's first file may be at its temporary name),
  // or elsewhere, and then the record is left as it is.
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> stepsOfFile;
  for (std::size_t k = 0; k < phase.steps.size(); ++k) stepsOfFile[phase.steps[k].file].push_back(k);
  for (const auto& [file, ks] : stepsOfFile) {
    const Track& t = l.tracks[l.trackOf.at(file)];
    if (!t.location) continue;
    std::size_t doneCount = SIZE_MAX;
    if (phase.steps[ks.front()].from == *t.location) doneCount = 0;
    for (std::size_t j = 0; j < ks.size() && doneCount == SIZE_MAX; ++j)
      if (phase.steps[ks[j]].to == *t.location) doneCount = j + 1;
    if (doneCount == SIZE_MAX) continue;
    for (std::size_t j = 0; j < ks.size(); ++j) {
      const std::size_t k = ks[j];
      const bool done = j < doneCount;
      if ((phase.states[k] == StepState::Done) == done) continue;
      if (done) {
        lines.done(k, k);
      } else {
        lines.failed(k, Reason::None, 0);
      }
      phase.states[k] = done ? StepState::Done : StepState::Failed;
    }
  }
  lines.end(pendingOf(l));
  phase.ended = true;
  platform::RecordWriter file;
  if (!openJournal(file, l, path, error)) return false;
  if (!file.write(lines.text()) || !file.sync()) {
    error = file.error();
    return false;
  }
  replay(l);
  return true;
}

// Moves files of the record to the names `desired` gives (an empty text:
// leave it), as one journaled phase.
struct Transition {
  RecordOutcome::Status status = RecordOutcome::Status::Done;
  int error = 0;
  std::vector<StepOutcome> byTrack;  // for the tracks that were to move
  std::vector<bool> moving;
};

template <class Settled>
Transition moveTracks(Loaded& l, std::string_view path, PhaseKind kind,
                      const std::vector<std::string>& desired, Settled settled, const StopFn& stop = {}) {
  Transition tr;
  const std::size_t n = l.tracks.size();
  tr.byTrack.resize(n);
  tr.moving.assign(n, false);
  std::vector<PlanRow> rows;
  std::vector<std::size_t> trackOfRow;
  for (std::size_t i = 0; i < n; ++i) {
    const Track& t = l.tracks[i];
    if (desired[i].empty() || !t.location || *t.location == desired[i]) continue;
    rows.push_back({t.folder, *t.location, desired[i], Reason::None});
    trackOfRow.push_back(i);
    tr.moving[i] = true;
  }

  // What exists now among the names that matter, folder by folder.
  std::vector<NameSet> sets(l.record.folders.size());
  std::vector<PlanFolder> folders(l.record.folders.size());
  std::vector<const NameSet*> setPtrs(l.record.folders.size(), nullptr);
  {
    std::vector<std::vector<std::size_t>> rowsIn(l.record.folders.size());
    for (std::size_t r = 0; r < rows.size(); ++r) rowsIn[rows[r].folder].push_back(r);
    for (std::size_t f = 0; f < rowsIn.size(); ++f) {
      if (rowsIn[f].empty()) continue;
      const platform::Folder folder = l.folders[f].openAsAdded();
      std::vector<std::string_view> interest;
      for (const std::size_t r : rowsIn[f]) {
        interest.push_back(rows[r].from);
        interest.push_back(rows[r].to);
        rows[r].targetIsItself = targetIsItself(folder, rows[r].from, rows[r].to);
      }
      sets[f] = namesOfInterest(folder, std::move(interest));
      folders[f] = {&sets[f], folder.nameLimit()};
      setPtrs[f] = &sets[f];
    }
  }
  const Plan plan = planMoves(rows, folders, NameRules{}, PlanUse::Pass);
  const PlannedSteps planned = stepsOf(plan, rows, setPtrs, [&](std::int32_t row) {
    const Track& t = l.tracks[trackOfRow[static_cast<std::size_t>(row)]];
    StepRef s;
    s.file = t.file;
    s.folder = t.folder;
    s.id = t.id;
    return s;
  });

  JournalLines lines;
  lines.begin(kind);
  for (const StepRef& s : planned.steps) lines.step(s);
  lines.planned(planned.steps.size());
  platform::RecordWriter file;
  if (!openJournal(file, l, path, tr.error) || !file.write(lines.text()) || !file.sync()) {
    if (!tr.error) tr.error = file.error();
    tr.status = RecordOutcome::Status::JournalFailed;
    return tr;
  }

  platform::RenameWays own;
  PhaseRunner runner(file, planned.steps, l.folders, stop, l.ways ? *l.ways : own);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (isFailure(plan.verdicts[r].reason)) {
      tr.byTrack[trackOfRow[r]].verdict = plan.verdicts[r];
      settled(1);
    }
  }
  const std::vector<StepOutcome> steps = runner.run(settled);
  const std::vector<StepOutcome> byRow = outcomeByRow(rows.size(), planned, steps);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (isFailure(plan.verdicts[r].reason)) continue;
    tr.byTrack[trackOfRow[r]] = byRow[r];
  }
  for (std::size_t k = 0; k < steps.size(); ++k) {
    if (!steps[k].done) continue;
    Track& t = l.tracks[trackOfRow[static_cast<std::size_t>(planned.rowOfStep[k])]];
    t.location = planned.steps[k].to;
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

// Every file of the record that is not under its name from before the pass
// goes back to it.
RecordOutcome restore(Loaded& l, std::string_view path, const ProgressFn& progress, const StopFn& stop) {
  RecordOutcome out;
  if (!l.located) locate(l);
  // Only files the record moved: one whose rename failed in the pass is not
  // the undo's, wherever it is now.
  std::vector<std::size_t> counted;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    const Track& t = l.tracks[i];
    if (t.expected != t.original || (t.moved && t.location && *t.location != t.original))
      counted.push_back(i);
  }
  if (counted.empty()) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  std::vector<std::string> desired(l.tracks.size());
  std::vector<std::string> before(l.tracks.size());
  for (const std::size_t i : counted) {
    desired[i] = l.tracks[i].original;
    before[i] = l.tracks[i].location.value_or(l.tracks[i].expected);
  }
  ProgressMarks marks(static_cast<int>(counted.size()), progress);
  int settledFiles = 0;
  for (const std::size_t i : counted)
    if (!l.tracks[i].location || *l.tracks[i].location == l.tracks[i].original) ++settledFiles;
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
  out.total = static_cast<int>(counted.size());
  out.folders = l.record.folders;
  for (const std::size_t i : counted) {
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.folder = t.folder;
    f.before = before[i];
    f.after = t.location.value_or(before[i]);
    f.ok = t.location && *t.location == t.original;
    if (!f.ok) {
      const Verdict v = !t.location ? t.lost : tr.byTrack[i].verdict;
      f.reason = v.reason;
      f.detail = v.detail;
    }
    out.restored += f.ok;
    out.stopped += f.reason == Reason::Stopped;
    out.files.push_back(std::move(f));
  }
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

void showUndoInList(FileList& list, const RecordOutcome& outcome) {
  if (outcome.files.empty()) return;
  // A row belongs to a file when it lists the file's name in the file's
  // folder: the same folder by identity, or by its text for a record that
  // kept none.
  using ByIdentity = std::tuple<std::uint64_t, std::uint64_t, std::string_view>;
  std::map<ByIdentity, std::size_t> byIdentity;
  std::map<std::pair<std::string_view, std::string_view>, std::size_t> byText;
  for (std::size_t i = 0; i < outcome.files.size(); ++i) {
    const FileOutcome& f = outcome.files[i];
    const JournalFolder& folder = outcome.folders[f.folder];
    if (folder.inode)
      byIdentity.emplace(ByIdentity{folder.device, folder.inode, f.before}, i);
    else
      byText.emplace(std::make_pair(std::string_view(folder.dir), std::string_view(f.before)), i);
  }
  const filelist::FileList::Batch batch(list);
  for (int row = 0; row < list.rowCount(); ++row) {
    const std::uint32_t folder = list.folderOf(row);
    if (folder == filelist::kNoFolder) continue;
    const filelist::FolderInfo& info = list.folder(folder);
    // The record spells a name kept in the old code page with its mark.
    std::string marked;
    if (list.gbkName(row)) marked = platform::gbkName(list.oldName(row));
    const std::string_view name = list.gbkName(row) ? std::string_view(marked) : list.oldName(row);
    const FileOutcome* f = nullptr;
    if (info.known) {
      const auto it = byIdentity.find({info.identity.device, info.identity.inode, name});
      if (it != byIdentity.end()) f = &outcome.files[it->second];
    }
    if (!f) {
      const auto it = byText.find({std::string_view(info.dir), name});
      if (it != byText.end()) f = &outcome.files[it->second];
    }
    if (!f) continue;
    if (f->reason == Reason::Stopped) continue;  // not reached: the row stays as the pass left it
    if (f->after != name) list.setOldName(row, f->after);
    if (f->ok) {
      list.setStatus(row, filelist::Status::Undone);
    } else {
      list.setStatus(row, filelist::Status::UndoFailed, f->reason, f->detail);
    }
  }
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
    for (const Track& t : l.tracks)
      info.renamed += t.location ? *t.location != t.original : t.expected != t.original;
    return info;
  }
  for (const Track& t : l.tracks) info.renamed += t.expected != t.original;
  // After a pass every renamed file is on offer. After an undo that left
  // some behind (it failed for them, or was stopped), only while one of
  // them can still be reached: a file gone for good offers nothing.
  bool undone = false;
  for (const JournalPhase& p : l.record.phases) undone = undone || p.kind == PhaseKind::Undo;
  info.state = info.renamed > 0 && (!undone || anyWithinReach(l)) ? RecordState::Undoable : RecordState::None;
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

RecordOutcome recoverInterrupted(std::string_view journalPath, Recovery how, const ProgressFn& progress) {
  Loaded l = load(journalPath);
  RecordOutcome out;
  out.status = statusOf(l.read);
  if (l.read != JournalRead::Ok) return out;
  if (!l.interrupted()) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  const JournalPhase cut = l.record.phases.back();  // before closing marks its steps
  if (!closeInterrupted(l, journalPath, out.error)) {
    out.status = RecordOutcome::Status::JournalFailed;
    return out;
  }
  if (how == Recovery::RollBack) {
    RecordOutcome r = restore(l, journalPath, progress, {});
    if (r.status == RecordOutcome::Status::NoRecord) r.status = RecordOutcome::Status::Done;
    reportCutPlan(l, r);
    return r;
  }

  // Keep: a cycle caught half way has a file at its temporary name and
  // another in that file's place; it goes back as a whole.
  std::vector<std::string> desired(l.tracks.size());
  std::map<std::uint32_t, std::vector<std::size_t>> cycles;  // group -> steps
  for (std::size_t k = 0; k < cut.steps.size(); ++k)
    if (cut.steps[k].cycle) cycles[cut.steps[k].group].push_back(k);
  std::vector<std::size_t> reverted;
  for (const auto& [group, ks] : cycles) {
    const std::string& temp = cut.steps[ks.front()].to;
    const Track& head = l.tracks[l.trackOf.at(cut.steps[ks.front()].file)];
    if (!head.location || *head.location != temp) continue;
    for (const std::size_t k : ks) {
      const std::size_t i = l.trackOf.at(cut.steps[k].file);
      if (desired[i].empty()) {
        desired[i] = cut.steps[k].from;  // its name before this phase
        reverted.push_back(i);
      }
    }
  }
  ProgressMarks marks(static_cast<int>(reverted.size()), progress);
  int settledFiles = 0;
  const Transition tr = moveTracks(l, journalPath, PhaseKind::Keep, desired, [&](std::size_t files) {
    settledFiles += static_cast<int>(files);
    marks.after(settledFiles);
  });
  if (tr.status != RecordOutcome::Status::Done) {
    out.status = tr.status;
    out.error = tr.error;
    return out;
  }
  out.status = RecordOutcome::Status::Done;
  out.folders = l.record.folders;
  for (const std::size_t i : reverted) {
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.folder = t.folder;
    f.after = t.location.value_or(t.expected);
    f.ok = t.location && *t.location == desired[i];
    if (!f.ok) {
      f.reason = tr.byTrack[i].verdict.reason;
      f.detail = tr.byTrack[i].verdict.detail;
    }
    out.files.push_back(std::move(f));
  }
  for (const Track& t : l.tracks) {
    const std::string& now = t.location.value_or(t.expected);
    out.total += now != t.original;
  }
  reportCutPlan(l, out);
  return out;
}

}  // namespace qorin::rename
