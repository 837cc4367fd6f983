// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/pass_ahead.h"

namespace qorin::rename {

PassAhead::PassAhead(const filelist::FileList& list, const FolderCache& listed)
    : version_(list.namesVersion()) {
  const int n = list.rowCount();
  // Past 4 GiB of names the ends would not fit: the pass then reads for itself.
  std::uint64_t bytes = 0;
  for (int row = 0; row < n; ++row) bytes += list.oldName(row).size() + 1;
  if (bytes > UINT32_MAX) {
    version_ = ~list.namesVersion();
    return;
  }
  names_.ends.reserve(static_cast<std::size_t>(n));
  std::vector<std::uint32_t> runOf(list.folderCount(), UINT32_MAX);
  for (int row = 0; row < n; ++row) {
    // As the pass names it on disk: a name kept in GBK by its bytes.
    const std::string_view old = list.oldName(row);
    if (list.gbkName(row) || list.rawName(row)) {
      names_.bytes += list.diskName(row);
    } else {
      names_.bytes += old;
    }
    names_.ends.push_back(static_cast<std::uint32_t>(names_.bytes.size()));
    const std::uint32_t lf = list.folderOf(row);
    if (lf == filelist::kNoFolder || !list.folder(lf).known) continue;  // the pass looks for itself
    if (runOf[lf] == UINT32_MAX) {
      runOf[lf] = static_cast<std::uint32_t>(folders_.size());
      const filelist::FolderInfo& info = list.folder(lf);
      folders_.push_back({info.dir, info.identity});
      rowsOf_.emplace_back();
      const FolderCache::Entry* e = listed.listed(info.dir);
      if (e && e->identity.device == info.identity.device && e->identity.inode == info.identity.inode)
        listed_.try_emplace({info.identity.device, info.identity.inode}, e->names);
    }
    rowsOf_[runOf[lf]].push_back(static_cast<std::uint32_t>(row));
  }
  scan_.emplace(folders_, rowsOf_, names_);
}

PassAhead::~PassAhead() = default;

bool PassAhead::matches(const filelist::FileList& list) const {
  return list.namesVersion() == version_ && static_cast<std::size_t>(list.rowCount()) == names_.size();
}

const NameHashes* PassAhead::names(const detail::RunFolder& folder) const {
  const auto it = listed_.find({folder.identity.device, folder.identity.inode});
  return it == listed_.end() ? nullptr : it->second.get();
}

}  // namespace qorin::rename
