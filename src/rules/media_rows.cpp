// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/media_rows.h"

namespace qorin::rules {

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

filelist::Outcome reasonOf(tags::MediaFailure failure) {
  switch (failure) {
    case tags::MediaFailure::None:
      return filelist::Outcome{};
    case tags::MediaFailure::TimedOut:
      return why::ReadTimedOut;
    case tags::MediaFailure::Crashed:
      return why::ReaderCrashed;
    case tags::MediaFailure::FolderChanged:
      return why::FolderChanged;
    case tags::MediaFailure::Stopped:
      return why::Stopped;
  }
  return why::Unreadable;
}

tags::MediaWorkers& workersOf(const Reading& reading, std::unique_ptr<tags::MediaWorkers>& here) {
  if (reading.workers) return *reading.workers;
  if (!here) here = tags::MediaWorkers::inProgram();
  return *here;
}

}  // namespace qorin::rules
