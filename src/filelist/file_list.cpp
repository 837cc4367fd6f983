// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/file_list.h"

#include <algorithm>

#include "platform/fs.h"
#include "text/gbtext.h"

namespace qorin::filelist {

StatusIcon statusIcon(Status s) {
  switch (s) {
    case Status::None:
      return StatusIcon::None;
    case Status::RenameFailed:
    case Status::UndoFailed:
    case Status::ConversionFailed:
      return StatusIcon::Failure;
    case Status::ConversionUncertain:
      return StatusIcon::Warning;
    case Status::Renamed:
    case Status::Undone:
    case Status::Converted:
    case Status::ConversionNotNeeded:
    case Status::NameConverted:
    case Status::Unchanged:
      break;
  }
  return StatusIcon::Success;
}

FileEntry FileList::operator[](int row) const {
  const Record& r = at(row);
  FileEntry e;
  e.oldName = r.oldName.view();
  e.newName = r.newName.view();
  if (shown(row)) e.newNameCell = e.newName;
  e.folder = r.folder;
  if (r.folder != kNoFolder) e.dir = folders_[r.folder].dir;
  e.statusCode = r.status;
  e.icon = statusIcon(r.status);
  e.mp3Code = r.mp3;
  e.proposalProblem = r.proposalProblem;
  e.mark = r.mark;
  e.statusReason = r.statusReason;
  e.markDetail = r.markDetail;
  e.statusDetail = r.statusDetail;
  e.gbkName = r.gbk;
  e.rawName = r.raw;
  if (r.status == Status::ConversionUncertain && static_cast<std::size_t>(r.statusDetail) < notes_.size())
    e.statusNote = notes_[static_cast<std::size_t>(r.statusDetail)];
  return e;
}

std::string_view FileList::dirOf(int row) const {
  const std::uint32_t f = at(row).folder;
  return f == kNoFolder ? std::string_view() : std::string_view(folders_[f].dir);
}

std::uint32_t FileList::addFolder(std::string dir, const platform::FileIdentity& identity, bool known) {
  const auto it = folderByDir_.find(dir);
  if (it != folderByDir_.end()) {
    const FolderInfo& f = folders_[it->second];
    if (f.known == known && f.identity == identity) return it->second;
  }
  const auto index = static_cast<std::uint32_t>(folders_.size());
  folders_.push_back({dir, identity, known});
  folderByDir_[std::move(dir)] = index;
  return index;
}

std::uint32_t FileList::folderFor(std::string_view dir) {
  if (dir.empty()) return kNoFolder;
  const platform::Folder f(dir);
  platform::FileIdentity id;
  if (f.isOpen()) {
    id.device = f.identity().device;
    id.inode = f.identity().inode;
  }
  return addFolder(std::string(dir), id, f.isOpen());
}

std::uint32_t FileList::folderFor(std::string_view dir, const platform::FileIdentity& identity) {
  if (dir.empty()) return kNoFolder;
  return addFolder(std::string(dir), {identity.device, identity.inode, 0, 0}, true);
}

void FileList::addName(std::string_view name) {
  // A million entries are held at once: an entry that grows shows here first.
  static_assert(sizeof(void*) != 8 || sizeof(Record) <= 56, "an entry outgrew its 56 bytes");
  CompactText text(platform::nameText(name));  // before the vector may move what `name` points into
  Record& e = entries_.emplace_back();
  e.oldName = std::move(text);
  e.gbk = platform::isGbkName(name);
  e.raw = platform::isRawName(name);
  if (!facts_.empty()) facts_.emplace_back();
  ++namesVersion_;
}

void FileList::setFolder(int first, int last, std::uint32_t folder) {
  last = std::min(last, fileCount() - 1);
  for (int r = std::max(first, 0); r <= last; ++r) at(r).folder = folder;
  ++namesVersion_;
  changed(std::max(first, 0), std::min(last, rows_ - 1), columnBit(kColDir));
}

void FileList::fillRows(unsigned flags, int first, int last, std::string_view dir) {
  const std::uint32_t folder = flags & kFillDirectory ? folderFor(dir) : kNoFolder;
  if (flags & kFillDirectory) ++namesVersion_;
  if (rows_ > 0 && entries_[0].status != Status::None) {
    for (int r = 0; r < rows_; ++r) {
      Record& e = at(r);
      e.status = Status::None;
      e.statusReason = {};
    }
    notes_.clear();
    freeNotes_.clear();
    changed(0, rows_ - 1, columnBit(kColStatus));
  }
  last = std::min(last, fileCount() - 1);
  if ((flags & kFillAppend) && first <= last && first == rows_) {
    flushChanges();
    if (observer_) observer_->beginAppendRows(first, last);
    for (int r = first; r <= last; ++r) {
      Record& e = at(r);
      e.shown = false;
      e.status = Status::None;
      e.statusReason = {};
      e.mark = {};
      e.mp3 = Mp3Status::None;
      if (flags & kFillDirectory) e.folder = folder;
    }
    rows_ = last + 1;
    ++namesVersion_;
    if (observer_) observer_->endAppendRows();
  } else {
    last = std::min(last, rows_ - 1);
    if (flags & kFillDirectory)
      for (int r = std::max(first, 0); r <= last; ++r) at(r).folder = folder;
    if ((flags & kFillNewNames) && first <= shownPrefix_ && last >= 0) {
      // Rows 0..last show their proposals now, and the run of shown ones
      // after them disappears: a new prefix, and the rows flagged one by
      // one in the way lose their flags.
      const int oldPrefix = shownPrefix_;
      shownPrefix_ = last + 1;
      int r = std::max(last + 1, oldPrefix);
      if (anyFlagged_) {
        for (int k = 0; k < r; ++k) at(k).shown = false;
        for (; r < rows_ && at(r).shown; ++r) at(r).shown = false;
        anyFlagged_ = r < rows_;
      }
      changed(std::max(first, 0), last,
              columnBit(kColNew) | (flags & kFillDirectory ? columnBit(kColDir) : 0));
      changed(last + 1, r - 1, columnBit(kColNew));
      return;
    }
    unsigned bits = 0;
    if (flags & kFillNewNames) {
      for (int r = std::max(first, 0); r <= last; ++r) at(r).shown = true;
      anyFlagged_ = anyFlagged_ || first <= last;
      bits |= columnBit(kColNew);
    }
    if (flags & kFillDirectory) bits |= columnBit(kColDir);
    if (bits) changed(std::max(first, 0), last, bits);
  }
  // Older proposals shown below the range disappear (beyond the prefix,
  // only rows shown one by one are there).
  int r = std::max(last + 1, 0);
  const int from = r;
  for (; r < rows_ && shown(r); ++r) {
    if (r < shownPrefix_) {
      // The prefix ends here; what follows it keeps only its flags.
      shownPrefix_ = r;
    }
    at(r).shown = false;
  }
  changed(from, r - 1, columnBit(kColNew));
}

void FileList::setDirectory(int row, std::string_view dir) {
  at(row).folder = folderFor(dir);
  ++namesVersion_;
  changed(row, row, columnBit(kColDir));
}

std::string FileList::diskName(int row) const {
  const Record& e = at(row);
  if (e.raw) return platform::rawName(e.oldName.view());
  if (e.gbk) return platform::gbkName(e.oldName.view());
  return std::string(e.oldName.view());
}

bool FileList::anyGbkName() const {
  return std::any_of(entries_.begin(), entries_.begin() + rows_, [](const Record& e) { return e.gbk; });
}

void FileList::setOldName(int row, std::string_view name) {
  at(row).oldName.assign(platform::nameText(name));
  at(row).gbk = platform::isGbkName(name);
  at(row).raw = platform::isRawName(name);
  ++namesVersion_;
  changed(row, row, columnBit(kColOld));
}

void FileList::showProposal(int row) {
  if (row >= shownPrefix_) {
    at(row).shown = true;
    anyFlagged_ = true;
  }
  changed(row, row, columnBit(kColNew));
}

void FileList::dropNote(Record& e) {
  if (e.status != Status::ConversionUncertain || static_cast<std::size_t>(e.statusDetail) >= notes_.size())
    return;
  notes_[static_cast<std::size_t>(e.statusDetail)].clear();
  notes_[static_cast<std::size_t>(e.statusDetail)].shrink_to_fit();
  freeNotes_.push_back(e.statusDetail);
  e.status = Status::None;
}

void FileList::setStatus(int row, Status status, std::string note) {
  Record& e = at(row);
  dropNote(e);
  std::int32_t slot = 0;
  if (!freeNotes_.empty()) {
    slot = freeNotes_.back();
    freeNotes_.pop_back();
    notes_[static_cast<std::size_t>(slot)] = std::move(note);
  } else {
    slot = static_cast<std::int32_t>(notes_.size());
    notes_.push_back(std::move(note));
  }
  e.status = status;
  e.statusReason = {};
  e.statusDetail = slot;
  changed(row, row, columnBit(kColStatus));
}

void FileList::setStatus(int row, Status status, Outcome reason, std::int32_t detail) {
  Record& e = at(row);
  dropNote(e);
  e.status = status;
  e.statusReason = reason;
  e.statusDetail = detail;
  changed(row, row, columnBit(kColStatus));
}

void FileList::setMarks(std::span<const Mark> marks) {
  int first = rows_, last = -1;
  for (int r = 0; r < rows_; ++r) {
    Record& e = at(r);
    const Mark m = static_cast<std::size_t>(r) < marks.size() ? marks[static_cast<std::size_t>(r)] : Mark{};
    if (e.mark == m.reason && e.markDetail == m.detail) continue;
    e.mark = m.reason;
    e.markDetail = m.detail;
    first = std::min(first, r);
    last = r;
  }
  changed(first, last, columnBit(kColNew));
}

void FileList::setMp3Status(int row, Mp3Status status) {
  at(row).mp3 = status;
  changed(row, row, columnBit(kColMp3));
}

void FileList::removeRows(const std::vector<int>& rows) {
  if (rows.empty()) return;
  flushChanges();
  ++namesVersion_;
  // One contiguous block is announced as such; anything else as a reset,
  // which keeps deleting every other row of 100,000 linear.
  const bool contiguous = rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
  if (observer_) {
    if (contiguous)
      observer_->beginRemoveRows(rows.front(), rows.back());
    else
      observer_->beginReset();
  }
  // The shown prefix loses the rows removed from it.
  shownPrefix_ -= static_cast<int>(std::lower_bound(rows.begin(), rows.end(), shownPrefix_) - rows.begin());
  int removedRows = 0;
  if (contiguous) {
    const auto b = entries_.begin() + rows.front(), e = entries_.begin() + rows.back() + 1;
    removedRows = std::max(0, std::min(rows.back() + 1, rows_) - rows.front());
    entries_.erase(b, e);
    if (!facts_.empty()) facts_.erase(facts_.begin() + rows.front(), facts_.begin() + rows.back() + 1);
  } else {
    std::size_t next = 0, out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (next < rows.size() && rows[next] == static_cast<int>(i)) {
        ++next;
        if (static_cast<int>(i) < rows_) ++removedRows;
        continue;
      }
      if (out != i) {
        entries_[out] = std::move(entries_[i]);
        if (!facts_.empty()) facts_[out] = facts_[i];
      }
      ++out;
    }
    entries_.resize(out);
    if (!facts_.empty()) facts_.resize(out);
  }
  rows_ -= removedRows;
  if (entries_.empty()) {
    entries_.shrink_to_fit();  // a list emptied by hand gives its memory back, as clear() does
    facts_ = {};
  }
  if (observer_) {
    if (contiguous)
      observer_->endRemoveRows();
    else
      observer_->endReset();
  }
}

void FileList::clear() {
  flushChanges();
  if (observer_) observer_->beginReset();
  entries_.clear();
  entries_.shrink_to_fit();
  facts_ = {};
  folders_.clear();
  folderByDir_.clear();
  notes_.clear();
  freeNotes_.clear();
  rows_ = 0;
  shownPrefix_ = 0;
  anyFlagged_ = false;
  ++namesVersion_;
  if (observer_) observer_->endReset();
}

void FileList::reorder(const std::vector<int>& order) {
  if (static_cast<int>(order.size()) != rows_) return;
  flushChanges();
  if (observer_) observer_->beginReset();
  // The rows shown no longer make a prefix: each keeps its own flag.
  for (int r = 0; r < shownPrefix_; ++r) at(r).shown = true;
  anyFlagged_ = anyFlagged_ || shownPrefix_ > 0;
  shownPrefix_ = 0;
  std::vector<Record> moved;
  moved.reserve(entries_.size());
  for (int from : order) moved.push_back(std::move(entries_[static_cast<std::size_t>(from)]));
  for (std::size_t k = order.size(); k < entries_.size(); ++k) moved.push_back(std::move(entries_[k]));
  entries_ = std::move(moved);
  if (!facts_.empty()) {
    std::vector<Facts> f;
    f.reserve(facts_.size());
    for (int from : order) f.push_back(facts_[static_cast<std::size_t>(from)]);
    for (std::size_t k = order.size(); k < facts_.size(); ++k) f.push_back(facts_[k]);
    facts_ = std::move(f);
  }
  ++namesVersion_;
  if (observer_) observer_->endReset();
}

FileList::Facts& FileList::facts(int row) {
  if (facts_.size() != entries_.size()) facts_.resize(entries_.size());
  return facts_[static_cast<std::size_t>(row)];
}

std::vector<int> FileList::rowsWithMp3Status() const {
  std::vector<int> out;
  for (int r = 0; r < rows_; ++r)
    if (isUntagged(at(r).mp3)) out.push_back(r);
  return out;
}

}  // namespace qorin::filelist
