// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/media_rows.h"

namespace qorin::rules {

using filelist::Reason;

tags::MediaFile mediaFileOf(const filelist::FileList& list, int row) {
  const filelist::FileEntry e = list[row];
  tags::MediaFile f;
  f.dir = std::string(e.dir);
  if (e.folder != filelist::kNoFolder) {
    const filelist::FolderInfo& folder = list.folder(e.folder);
    f.folder = folder.identity;
    f.folderKnown = folder.known;
  }
  // Marked as FileEntry::diskPath marks it: one mark for the old code page, two for raw bytes.
  if (e.gbkName || e.rawName) f.name += platform::kGbkNameMark;
  if (e.rawName) f.name += platform::kGbkNameMark;
  f.name += e.oldName;
  return f;
}

Reason reasonOf(tags::MediaFailure failure) {
  switch (failure) {
    case tags::MediaFailure::None:
      return Reason::None;
    case tags::MediaFailure::TimedOut:
      return Reason::ReadTimedOut;
    case tags::MediaFailure::Crashed:
      return Reason::ReaderCrashed;
    case tags::MediaFailure::FolderChanged:
      return Reason::FolderChanged;
    case tags::MediaFailure::Stopped:
      return Reason::Stopped;
  }
  return Reason::Unreadable;
}

tags::MediaWorkers& workersOf(const Reading& reading, std::unique_ptr<tags::MediaWorkers>& here) {
  if (reading.workers) return *reading.workers;
  if (!here) here = tags::MediaWorkers::inProgram();
  return *here;
}

}  // namespace qorin::rules
