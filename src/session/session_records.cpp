// The session's side of the records of renaming passes: which record is
// this window's undo record, what the window asks about at start, and what
// it tells after a pass, an undo or a recovery.
#include "platform/fs.h"
#include "platform/open_file.h"
#include "session/session.h"
#include "text/gbtext.h"

namespace qorin::session {

using rename::HeldRecord;
using rename::RecordState;
using rename::RecordStore;
using Status = rename::RecordOutcome::Status;

namespace {

std::string movedTo(const std::string& where) {
  return where.empty() ? std::string() : text::gb("\r\n\r\n记录已移到：") + where;
}

// Why a record could not be used, for the one message about it.
std::string recordProblem(Status status, int error) {
  switch (status) {
    case Status::Damaged:
      return text::gb("上一次更名的记录已损坏，无法撤消。");
    case Status::Unsupported:
      return text::gb("上一次更名的记录来自其他版本的程序，无法撤消。");
    case Status::Refused:
      return text::gb("上一次更名的记录含有不可信的文件名或文件夹，无法撤消；没有改动任何文件。");
    case Status::JournalFailed:
      return text::gb("无法写入更名记录，没有撤消任何文件。\r\n\r\n") + platform::errorText(error);
    default:
      return {};
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

// What a record whose plan was damaged on the disk could not give back.
std::string cutPlanNote(const rename::RecordOutcome& out) {
  std::string note;
  if (out.unreadable > 0)
    note += text::gb("\r\n\r\n更名记录有一部分已损坏：") + std::to_string(out.unreadable) +
            text::gb(" 个文件的记录无法读取，这些文件没有恢复原来的名称。");
  if (!out.temporaries.empty()) {
    note += text::gb("\r\n\r\n以下文件留在临时名称：");
    for (const std::string& t : out.temporaries) note += "\r\n" + t;
  }
  return note;
}

PassReport fromRecord(filelist::FileList& list, const rename::RecordOutcome& out) {
  PassReport r;
  if (out.status == Status::NoRecord) {
    r.summary = {text::gb("没有需要撤消的文件。"), true};
    return r;
  }
  r.problem = recordProblem(out.status, out.error);
  if (!r.problem.empty()) return r;
  rename::showUndoInList(list, out);
  r.total = out.total;
  r.succeeded = out.restored;
  r.stopped = out.stopped;
  r.summary = rename::undoSummary(r.total, r.succeeded, r.stopped);
  if (const std::string note = cutPlanNote(out); !note.empty()) {
    r.summary.text += note;
    r.summary.allSucceeded = false;
    r.recordCut = true;
  }
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

PassReport Session::convertNamesToUtf8(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  return runPass(rename::PassKind::NamesToUtf8, progress, stop);
}

PassReport Session::runPass(rename::PassKind kind, const rename::ProgressFn& progress,
                            const rename::StopFn& stop) {
  PassReport r;
  int error = 0;
  std::optional<HeldRecord> fresh = records_.reserve(error);
  if (!fresh) {
    r.problem = records_.usable()
                    ? text::gb("无法写入更名记录，没有文件被更名。\r\n\r\n") + platform::errorText(error)
                    : text::gb("没有可以保存更名记录的文件夹，没有文件被更名。");
    return r;
  }
  CommandState c = commands_;
  c.preview = false;  // nothing may refresh the proposals while the pass runs
  setCommands(c);
  // Fresh names for every entry, whatever the preview covers.
  if (kind == rename::PassKind::Rename) applyRule(list_.fileCount());
  const rename::PassOutcome pass = rename::renamePass(list_, fresh->path, progress, stop, nullptr, kind);
  folders_.clear();
  c.preview = true;
  setCommands(c);
  if (pass.status == rename::PassOutcome::Status::JournalFailed) {
    RecordStore::retire(*fresh);
    r.problem =
        text::gb("无法写入更名记录，没有文件被更名。\r\n\r\n") + platform::errorText(pass.journalError);
    return r;
  }
  // The new pass is what 撤消 gives back from now on.
  if (record_) RecordStore::retire(*record_);
  record_ = std::move(fresh);
  r.total = kind == rename::PassKind::Rename ? list_.fileCount() : pass.total;
  r.succeeded = pass.succeeded;
  r.stopped = pass.stopped;
  r.summary = rename::renameSummary(r.total, r.succeeded, r.stopped);
  if (pass.journalError != 0) {
    r.summary.text += text::gb("\r\n\r\n更名记录没有写完整：") + platform::errorText(pass.journalError) +
                      text::gb("\r\n撤消仍然可以使用，它会按磁盘上的文件逐个核对。");
    r.summary.allSucceeded = false;
  }
  updateUndo();
  return r;
}

PassReport Session::undoLastPass(const rename::ProgressFn& progress, const rename::StopFn& stop) {
  if (!record_) return fromRecord(list_, {});
  const rename::RecordOutcome out = rename::undoLastPass(record_->path, progress, stop);
  PassReport r = fromRecord(list_, out);
  if (out.status == Status::Damaged || out.status == Status::Unsupported || out.status == Status::Refused) {
    r.problem += movedTo(records_.setAside(*record_));
    record_.reset();
  }
  folders_.clear();
  updateUndo();
  return r;
}

void Session::start() { platform::restorePendingBackups(places_.stateDir); }

StartRecord Session::checkRecordAtStart(int& renamed, std::string& problem) {
  renamed = 0;
  problem.clear();
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
      problem = recordProblem(statusOf(info.state), 0) + movedTo(records_.setAside(r));
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
