// SPDX-License-Identifier: GPL-3.0-or-later
// The session's side of the folder locks: which folders a pass, an undo or
// a recovery renames in, and the locks it holds on them meanwhile.
#include <algorithm>
#include <utility>

#include "platform/fs.h"
#include "rename/journal.h"
#include "session/session.h"

#include "rename/pass_ahead.h"
#include "rename/record_store.h"

namespace qorin::session {

namespace {

using platform::FolderKey;
using Folders = std::vector<std::pair<FolderKey, std::string>>;  // with the text shown for each

// The folders of the rows, as they were when the rows were added: a folder
// put in the place of one since fails its rows and is not renamed in.
Folders ofRows(const filelist::FileList& list) {
  Folders out;
  std::vector<bool> seen(list.folderCount());
  for (int row = 0; row < list.rowCount(); ++row) {
    const std::uint32_t f = list.folderOf(row);
    if (f == filelist::kNoFolder || seen[f]) continue;
    seen[f] = true;
    const filelist::FolderInfo& info = list.folder(f);
    if (info.known) out.push_back({{info.identity.device, info.identity.inode}, info.dir});
  }
  return out;
}

// The folders a record names. One of a record that kept no inode is the
// folder at its path now, where its undo renames.
Folders ofRecord(const std::string& path) {
  Folders out;
  if (path.empty()) return out;
  for (const rename::JournalFolder& f :
       rename::readJournalFolders(path).value_or(std::vector<rename::JournalFolder>{})) {
    if (f.inode) {
      out.push_back({{f.device, f.inode}, f.dir});
    } else if (!f.dir.empty()) {
      const platform::Folder now(f.dir);
      if (now.isOpen()) out.push_back({{now.identity().device, now.identity().inode}, f.dir});
    }
  }
  return out;
}

}  // namespace

PassReport Session::lockFolders(Run what) {
  if (what == Run::Pass) return takeLocks(ofRows(list_), PassReport::Kind::Rename);
  return lockRecord(recordPath());
}

PassReport Session::lockRecord(const std::string& path) {
  return takeLocks(ofRecord(path), PassReport::Kind::Undo);
}

PassReport Session::takeLocks(Folders folders, PassReport::Kind kind) {
  PassReport r;
  r.kind = kind;
  // Without a state folder there are no records either: the run says so.
  if (places_.stateDir.empty()) return r;
  const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(folders.begin(), folders.end(), byKey);
  folders.erase(std::unique(folders.begin(), folders.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                folders.end());
  std::vector<FolderKey> keys;
  keys.reserve(folders.size());
  for (const auto& f : folders) keys.push_back(f.first);
  // Kept while the folders are the same: a caller that waits goes on in line.
  if (!locks_ || locks_->keys() != keys) locks_.emplace(places_.stateDir, std::move(keys));
  switch (locks_->take()) {
    case platform::LockResult::Held:
      break;
    case platform::LockResult::Busy:
      r.problem = Problem::FolderBusy;
      r.folder = folders[locks_->busy()].second;
      break;
    case platform::LockResult::Failed:
      r.problem = Problem::FolderLockFailed;
      r.error = locks_->error();
      locks_.reset();
      break;
  }
  return r;
}

}  // namespace qorin::session
