// SPDX-License-Identifier: GPL-3.0-or-later
// An undo's or a recovery's outcome shown in the rows of the list that
// list its files.
#include <functional>

#include "rename/record_tracks.h"
#include "rename/rename_pass.h"

namespace qorin::rename {

namespace {

// The outcome's files by folder and name, in one open-addressed table of
// their indexes (four bytes a slot, two slots a file). A folder with an
// identity is matched by it, one without (a record that kept none) by its
// text; of files with the same key the first counts.
class OutcomeIndex {
 public:
  explicit OutcomeIndex(const RecordOutcome& o) : o_(o) {
    std::size_t cap = 16;
    while (cap < o.files.size() * 2) cap <<= 1;
    slots_.assign(cap, kFree);
    for (std::size_t i = 0; i < o.files.size(); ++i) {
      const FileOutcome& f = o.files[i];
      const JournalFolder& d = o.folders[f.folder];
      std::size_t s = (d.inode ? hash(d.device, d.inode, o.before(f)) : hash(d.dir, o.before(f))) & (cap - 1);
      while (slots_[s] != kFree && !sameKey(o.files[slots_[s]], f)) s = (s + 1) & (cap - 1);
      if (slots_[s] == kFree) slots_[s] = static_cast<std::uint32_t>(i);
    }
  }

  const FileOutcome* byIdentity(std::uint64_t device, std::uint64_t inode, std::string_view name) const {
    return find(hash(device, inode, name), [&](const JournalFolder& d, std::string_view before) {
      return d.inode && d.device == device && d.inode == inode && before == name;
    });
  }
  const FileOutcome* byText(std::string_view dir, std::string_view name) const {
    return find(hash(dir, name), [&](const JournalFolder& d, std::string_view before) {
      return !d.inode && d.dir == dir && before == name;
    });
  }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX;

  static std::size_t hash(std::uint64_t device, std::uint64_t inode, std::string_view name) {
    return std::hash<std::string_view>()(name) ^ ((device * 31 + inode) * 0x9E3779B97F4A7C15ull);
  }
  static std::size_t hash(std::string_view dir, std::string_view name) {
    return std::hash<std::string_view>()(name) ^ (std::hash<std::string_view>()(dir) * 0x9E3779B97F4A7C15ull);
  }

  bool sameKey(const FileOutcome& a, const FileOutcome& b) const {
    const JournalFolder& d = o_.folders[a.folder];
    const JournalFolder& e = o_.folders[b.folder];
    if ((a.before != b.before && o_.before(a) != o_.before(b)) || (d.inode != 0) != (e.inode != 0))
      return false;
    return d.inode ? d.device == e.device && d.inode == e.inode : d.dir == e.dir;
  }

  template <class Match>
  const FileOutcome* find(std::size_t h, Match match) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask; slots_[s] != kFree; s = (s + 1) & mask) {
      const FileOutcome& f = o_.files[slots_[s]];
      if (match(o_.folders[f.folder], o_.before(f))) return &f;
    }
    return nullptr;
  }

  const RecordOutcome& o_;
  std::vector<std::uint32_t> slots_;
};

}  // namespace

std::string_view RecordOutcome::name(std::uint32_t id) const {
  return id == detail::kNoName || !names ? std::string_view() : (*names)[id];
}

void showUndoInList(filelist::FileList& list, const RecordOutcome& outcome) {
  if (outcome.files.empty()) return;
  // A row belongs to a file when it lists the file's name in the file's
  // folder: the same folder by identity, or by its text for a record that
  // kept none.
  const OutcomeIndex files(outcome);
  const filelist::FileList::Batch batch(list);
  for (int row = 0; row < list.rowCount(); ++row) {
    const std::uint32_t folder = list.folderOf(row);
    if (folder == filelist::kNoFolder) continue;
    const filelist::FolderInfo& info = list.folder(folder);
    // The record spells a name kept in the old code page or as raw bytes with its mark.
    std::string marked;
    const bool isMarked = list.gbkName(row) || list.rawName(row);
    if (isMarked) marked = list.diskName(row);
    const std::string_view name = isMarked ? std::string_view(marked) : list.oldName(row);
    const FileOutcome* f =
        info.known ? files.byIdentity(info.identity.device, info.identity.inode, name) : nullptr;
    if (!f) f = files.byText(info.dir, name);
    if (!f) continue;
    if (f->reason == why::Stopped) continue;  // not reached: the row stays as the pass left it
    if (const std::string_view after = outcome.after(*f); after != name) list.setOldName(row, after);
    if (f->ok) {
      list.setStatus(row, filelist::Status::Undone);
    } else {
      list.setStatus(row, filelist::Status::UndoFailed, f->reason, f->detail);
    }
  }
}

}  // namespace qorin::rename
