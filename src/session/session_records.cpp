// SPDX-License-Identifier: GPL-3.0-or-later
// The session's side of the records of renaming passes: which records are
// this window's to undo, newest first, what the window asks about at start
// and after an undo, and what it tells after a pass, an undo or a recovery.
#include "platform/fs.h"
#include "platform/open_file.h"
#include "session/session.h"

#include "rename/pass_ahead.h"
#include "rename/record_store.h"

namespace qorin::session {

using rename::HeldRecord;
using rename::RecordState;
using rename::RecordStore;
using Status = rename::RecordOutcome::Status;

namespace {

Problem problemOf(Status status) {
  switch (status) {
    case Status::Damaged:
      return Problem::RecordDamaged;
    case Status::Unsupported:
      return Problem::RecordOtherVersion;
    case Status::Refused:
      return Problem::RecordRefused;
    case Status::JournalFailed:
      return Problem::UndoRecordNotWritable;
    default:
      return Problem::None;
  }
}

Status statusOf(RecordState s) {
  switch (s) {
    case RecordState::Unsupported:
      return Status::Unsupported;
    case RecordState::Refused:
      return Status::Refused;
    default:
      return Status::Damaged;
  }
}

PassReport fromRecord(filelist::FileList& list, rename::RecordOutcome out) {
  PassReport r;
  if (out.status == Status::NoRecord) {
    r.kind = PassReport::Kind::NothingToUndo;
    return r;
  }
  r.kind = PassReport::Kind::Undo;
  r.problem = problemOf(out.status);
  r.error = out.error;
  if (r.problem != Problem::None) return r;
  rename::showUndoInList(list, out);
  r.total = out.total;
  r.succeeded = out.restored;
  r.stopped = out.stopped;
  r.unreadable = out.unreadable;
  r.temporaries = out.temporaries;
  r.files = std::make_shared<const rename::RecordOutcome>(std::move(out));
  return r;
}

// Could still be undone: finished with files to give back, or cut short by
// a record that could not be written to its end (the disk was full).
bool undoable(const rename::RecordInfo& info) {
  return info.state == RecordState::Undoable || (info.state == RecordState::Interrupted && info.renamed > 0);
}

bool unusable(RecordState s) {
  return s == RecordState::Damaged || s == RecordState::Unsupported || s == RecordState::Refused;
}

// A run lets its folders go however it ends.
struct Unlocking {
  Session& s;
  ~Unlocking() { s.unlockFolders(); }
};

}  // namespace

bool PassReport::allSucceeded() const {
  if (problem != Problem::None) return false;
  switch (kind) {
    case Kind::NothingToUndo:
      return true;
    case Kind::TagRepair:
      return failed == 0 && uncertain == 0 && stopped == 0;
    case Kind::Undo:
      return succeeded == total && !recordCut();
    case Kind::Rename:
      break;
  }
  return succeeded == total && recordWriteError == 0;
}

void Session::updateUndo() {
  CommandState c = commands_;
  c.undo = !held_.empty() && undoable(rename::peekRecord(held_.back().path));
  setCommands(c);
}

PassReport Session::renameAll(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  return runPass(rename::PassKind::Rename, progress, stop);
}

void Session::readAheadForPass() { ahead_ = std::make_unique<rename::PassAhead>(list_, folders_); }

PassReport Session::convertNamesToUtf8(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  return runPass(rename::PassKind::NamesToUtf8, progress, stop);
}

PassReport Session::runPass(rename::PassKind kind, const rename::ProgressFn& progress,
                            const rename::StopFn& stop) {
  const std::unique_ptr<rename::PassAhead> ahead = std::move(ahead_);
  const Unlocking unlock{*this};
  PassReport r;
  int error = 0;
  std::optional<HeldRecord> fresh = records_->reserve(error);
  if (!fresh) {
    r.problem = records_->usable() ? Problem::RecordNotWritable : Problem::NoRecordFolder;
    r.error = error;
    return r;
  }
  if (PassReport busy = lockFolders(Run::Pass); busy.problem != Problem::None) {
    RecordStore::retire(*fresh);
    return busy;
  }
  CommandState c = commands_;
  c.preview = false;  // nothing may refresh the proposals while the pass runs
  setCommands(c);
  // Fresh names for every entry, whatever the preview covers. Stopped
  // meanwhile, nothing is renamed.
  if (kind == rename::PassKind::Rename && !applyRule(list_.fileCount())) {
    RecordStore::retire(*fresh);
    c.preview = true;
    setCommands(c);
    r.total = r.stopped = list_.fileCount();
    return r;
  }
  // The folders' names and the marks kept for the preview are stale once
  // files move: let them go before the pass needs its own room.
  folders_.clear();
  const rename::PassOutcome pass =
      rename::renamePass(list_, fresh->path, progress, stop, nullptr, kind, ahead.get());
  c.preview = true;
  setCommands(c);
  if (pass.status == rename::PassOutcome::Status::JournalFailed) {
    RecordStore::retire(*fresh);
    r.problem = Problem::RecordNotWritable;
    r.error = pass.journalError;
    return r;
  }
  // The new pass is what 撤消 gives back from now on; the ones before stay
  // for the undos after it. One that renamed nothing, and says so to its
  // end, leaves nothing to undo.
  if (pass.renamed == 0 && pass.journalError == 0) {
    RecordStore::retire(*fresh);
  } else {
    held_.push_back(std::move(*fresh));
    records_->prune(held_);
  }
  r.total = kind == rename::PassKind::Rename ? list_.fileCount() : pass.total;
  r.succeeded = pass.succeeded;
  r.unchanged = pass.unchanged;
  r.stopped = pass.stopped;
  r.recordWriteError = pass.journalError;
  updateUndo();
  return r;
}

namespace {

rename::PassSummary summaryOf(const HeldRecord& r, const rename::RecordInfo& info) {
  rename::PassSummary s = RecordStore::summaryOf(r.path);
  s.files = info.renamed;
  return s;
}

bool unusable(const PassReport& r) {
  return r.problem == Problem::RecordDamaged || r.problem == Problem::RecordOtherVersion ||
         r.problem == Problem::RecordRefused;
}

}  // namespace

void Session::dropIfDone() {
  if (!held_.empty() && rename::peekRecord(held_.back().path).state == RecordState::None) {
    RecordStore::retire(held_.back());
    held_.pop_back();
  }
}

std::optional<rename::PassSummary> Session::undoPass() const {
  if (held_.empty()) return std::nullopt;
  return summaryOf(held_.back(), rename::peekRecord(held_.back().path));
}

PassReport Session::undoLastPass(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  const Unlocking unlock{*this};
  if (held_.empty()) return fromRecord(list_, {});
  if (PassReport busy = lockFolders(Run::Undo); busy.problem != Problem::None) return busy;
  HeldRecord& top = held_.back();
  const rename::PassSummary pass = summaryOf(top, rename::peekRecord(top.path));
  folders_.clear();  // stale after the undo, and room the record's reading can use
  PassReport r = fromRecord(list_, rename::undoLastPass(top.path, progress, stop));
  if (unusable(r)) {
    r.movedTo = records_->setAside(top);
    held_.pop_back();
  } else if (r.problem == Problem::None) {
    if (r.kind == PassReport::Kind::Undo) r.pass = pass;
    const rename::RecordInfo left = rename::peekRecord(top.path);
    r.pending = left.state == RecordState::None ? 0 : left.renamed;
    dropIfDone();
  }
  updateUndo();
  return r;
}

std::optional<rename::PassSummary> Session::forgetLastPass() {
  if (held_.empty()) return std::nullopt;
  HeldRecord& top = held_.back();
  rename::RecordInfo info = rename::peekRecord(top.path);
  const rename::PassSummary pass = summaryOf(top, info);
  if (info.state == RecordState::Interrupted) {
    const Unlocking unlock{*this};
    if (lockRecord(top.path).problem != Problem::None) return std::nullopt;  // another renames there now
    rename::recoverInterrupted(top.path, rename::Recovery::Keep);
    folders_.clear();
    // Not ended: a file may still be at a temporary name, which only the
    // record knows.
    if (rename::peekRecord(top.path).state == RecordState::Interrupted) return std::nullopt;
  }
  RecordStore::retire(top);
  held_.pop_back();
  updateUndo();
  return pass;
}

void Session::start() {
  platform::restorePendingBackups(places_.stateDir);
  platform::removeStaleFolderLocks(places_.stateDir);
}

RecordsTaken Session::takeRecords(const RecordAsker& ask) {
  RecordsTaken taken;
  if (!startScanned_) {
    startScanned_ = true;
    rename::EndedRecords ended = records_->takeEnded();
    if (!ended.refused.empty() && ask.refused) ask.refused(ended.refused);
    const auto ours = [&](const std::string& path) {
      return std::any_of(held_.begin(), held_.end(), [&](const HeldRecord& r) { return r.path == path; });
    };
    if (!ended.busyNewest.empty() && !ours(ended.busyNewest)) {
      taken.busy = RecordStore::summaryOf(ended.busyNewest);
      if (ask.stopAtBusy) return taken;
    }
    std::vector<HeldRecord> kept;  // newest first
    for (HeldRecord& r : ended.records) {
      rename::RecordInfo info = rename::peekRecord(r.path);
      if (info.state == RecordState::Interrupted && info.renamed == 0) {
        rename::recoverInterrupted(r.path, rename::Recovery::Keep);  // nothing was renamed yet
        info = rename::peekRecord(r.path);
        if (info.state == RecordState::Interrupted) continue;  // could not be closed: a later start asks
      }
      if (unusable(info.state)) {
        PassReport problem;
        problem.kind = PassReport::Kind::Undo;
        problem.problem = problemOf(statusOf(info.state));
        problem.movedTo = records_->setAside(r);
        if (ask.setAside) ask.setAside(problem);
      } else if (info.state == RecordState::None) {
        RecordStore::retire(r);  // nothing left in it
      } else {
        kept.push_back(std::move(r));
      }
    }
    // Older than any pass this session made.
    held_.insert(held_.begin(), std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
  }
  settleNewest(ask);
  updateUndo();
  return taken;
}

void Session::settleNewest(const RecordAsker& ask) {
  while (!held_.empty()) {
    HeldRecord& top = held_.back();
    const rename::RecordInfo info = rename::peekRecord(top.path);
    if (info.state != RecordState::Interrupted) return;
    const CutShort how = ask.cutShort ? ask.cutShort(summaryOf(top, info), info.renamed) : CutShort::Later;
    if (how == CutShort::Later) return;
    // Its folders first: while another run holds one, the front end may wait.
    const Unlocking unlock{*this};
    PassReport locked = lockRecord(top.path);
    if (locked.problem == Problem::FolderBusy && ask.waitForFolder)
      ask.waitForFolder(locked, [&] {
        locked = lockRecord(top.path);
        return locked.problem != Problem::FolderBusy;
      });
    if (locked.problem != Problem::None) {
      if (ask.recovered) ask.recovered(locked, CutShort::Later);
      return;
    }
    const bool rollBack = how == CutShort::RollBack;
    const rename::PassSummary pass = summaryOf(top, info);
    PassReport r = fromRecord(
        list_, rename::recoverInterrupted(
                   top.path, rollBack ? rename::Recovery::RollBack : rename::Recovery::Keep, ask.progress));
    folders_.clear();
    bool settled = false;
    if (unusable(r)) {
      r.movedTo = records_->setAside(top);
      held_.pop_back();
      settled = true;
    } else if (r.problem == Problem::None) {
      if (rollBack) r.pass = pass;
      const rename::RecordInfo left = rename::peekRecord(top.path);
      settled = left.state == RecordState::None;
      r.pending = settled ? 0 : left.renamed;
      dropIfDone();
    }
    if (ask.recovered) ask.recovered(r, how);
    // Kept, partly given back or not ended: the passes before it wait.
    if (!settled) return;
  }
}

}  // namespace qorin::session
