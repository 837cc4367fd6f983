// SPDX-License-Identifier: GPL-3.0-or-later
// The session's side of the records of renaming passes: which record is
// this window's undo record, what the window asks about at start, and what
// it tells after a pass, an undo or a recovery.
#include "platform/fs.h"
#include "platform/open_file.h"
#include "session/session.h"

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

PassReport fromRecord(filelist::FileList& list, const rename::RecordOutcome& out) {
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
  c.undo = record_ && undoable(rename::peekRecord(record_->path));
  setCommands(c);
}

void Session::adopt(HeldRecord r) {
  if (!record_) {
    record_ = std::move(r);
  } else {
    r.hold.release();  // left on the disk for the next program that starts
  }
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
  PassReport r;
  int error = 0;
  std::optional<HeldRecord> fresh = records_.reserve(error);
  if (!fresh) {
    r.problem = records_.usable() ? Problem::RecordNotWritable : Problem::NoRecordFolder;
    r.error = error;
    return r;
  }
  CommandState c = commands_;
  c.preview = false;  // nothing may refresh the proposals while the pass runs
  setCommands(c);
  // Fresh names for every entry, whatever the preview covers.
  if (kind == rename::PassKind::Rename) applyRule(list_.fileCount());
  const rename::PassOutcome pass =
      rename::renamePass(list_, fresh->path, progress, stop, nullptr, kind, ahead.get());
  folders_.clear();
  c.preview = true;
  setCommands(c);
  if (pass.status == rename::PassOutcome::Status::JournalFailed) {
    RecordStore::retire(*fresh);
    r.problem = Problem::RecordNotWritable;
    r.error = pass.journalError;
    return r;
  }
  // The new pass is what 撤消 gives back from now on.
  if (record_) RecordStore::retire(*record_);
  record_ = std::move(fresh);
  r.total = kind == rename::PassKind::Rename ? list_.fileCount() : pass.total;
  r.succeeded = pass.succeeded;
  r.stopped = pass.stopped;
  r.recordWriteError = pass.journalError;
  updateUndo();
  return r;
}

PassReport Session::undoLastPass(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  if (!record_) return fromRecord(list_, {});
  const rename::RecordOutcome out = rename::undoLastPass(record_->path, progress, stop);
  PassReport r = fromRecord(list_, out);
  if (out.status == Status::Damaged || out.status == Status::Unsupported || out.status == Status::Refused) {
    r.movedTo = records_.setAside(*record_);
    record_.reset();
  }
  folders_.clear();
  updateUndo();
  return r;
}

void Session::start() { platform::restorePendingBackups(places_.stateDir); }

StartRecord Session::checkRecordAtStart(int& renamed, PassReport& problem) {
  renamed = 0;
  problem = {};
  if (!startScanned_) {
    startRecords_ = records_.takeEnded();
    startScanned_ = true;
  }
  while (!startRecords_.empty()) {
    HeldRecord r = std::move(startRecords_.front());
    startRecords_.erase(startRecords_.begin());
    rename::RecordInfo info = rename::peekRecord(r.path);
    if (info.state == RecordState::Interrupted && info.renamed == 0) {
      rename::recoverInterrupted(r.path, rename::Recovery::Keep);  // nothing was renamed yet
      info = rename::peekRecord(r.path);
      if (info.state == RecordState::Interrupted) {
        r.hold.release();  // could not be closed: asked about by a later start
        continue;
      }
    }
    if (info.state == RecordState::Interrupted) {
      renamed = info.renamed;
      asking_ = std::move(r);
      return StartRecord::Interrupted;
    }
    if (unusable(info.state)) {
      problem.kind = PassReport::Kind::Undo;
      problem.problem = problemOf(statusOf(info.state));
      problem.movedTo = records_.setAside(r);
      return StartRecord::Unusable;
    }
    if (info.state == RecordState::Undoable) {
      adopt(std::move(r));
    } else {
      RecordStore::retire(r);  // nothing left in it
    }
  }
  updateUndo();
  return StartRecord::Nothing;
}

PassReport Session::recoverInterrupted(bool rollBack, const rename::ProgressFn& progress) {
  if (!asking_) return fromRecord(list_, {});
  HeldRecord r = std::move(*asking_);
  asking_.reset();
  const PassReport report = fromRecord(
      list_, rename::recoverInterrupted(
                 r.path, rollBack ? rename::Recovery::RollBack : rename::Recovery::Keep, progress));
  const rename::RecordInfo info = rename::peekRecord(r.path);
  if (undoable(info)) {
    adopt(std::move(r));
  } else if (info.state == RecordState::None) {
    RecordStore::retire(r);
  }
  folders_.clear();
  updateUndo();
  return report;
}

}  // namespace qorin::session
