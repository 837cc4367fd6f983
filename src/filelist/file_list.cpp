#include "filelist/file_list.h"

#include <algorithm>

#include "platform/fs.h"
#include "text/gbtext.h"

namespace qorin::filelist {

std::string reasonText(Reason reason, std::int32_t detail) {
  switch (reason) {
    case Reason::None:
    case Reason::Unchanged:
      return {};
    case Reason::SameAsEarlier:
      return text::gb("与第") + std::to_string(detail) + text::gb("行的新文件名相同");
    case Reason::TargetExists:
      return text::gb("目标文件已存在");
    case Reason::IllegalName:
      return text::gb("文件名含有非法字符");
    case Reason::NameTooLong:
      return text::gb("文件名过长");
    case Reason::EmptyName:
      return text::gb("文件名为空");
    case Reason::SourceMissing:
      return text::gb("原文件不存在");
    case Reason::Unreadable:
      return text::gb("无法读取文件");
    case Reason::SameFileAsEarlier:
      return text::gb("与第") + std::to_string(detail) + text::gb("行是同一个文件");
    case Reason::FileChanged:
      return text::gb("文件已被移动或更改");
    case Reason::SystemError:
      return platform::errorText(detail);
    case Reason::TagPastEnd:
      return text::gb("ID3v2标签的长度超出文件");
    case Reason::NotWritable:
      return text::gb("文件不能写入");
    case Reason::ChangedMeanwhile:
      return text::gb("文件在转换时被改动");
    case Reason::WriteFailed:
      return text::gb("写入文件失败");
  }
  return {};
}

void FileList::addName(std::string name) {
  FileEntry e;
  e.oldName = std::move(name);
  entries_.push_back(std::move(e));
}

void FileList::fillRows(unsigned flags, int first, int last, std::string_view dir) {
  if (rows_ > 0 && !entries_[0].status.empty()) {
    for (int r = 0; r < rows_; ++r) {
      FileEntry& e = entries_[static_cast<std::size_t>(r)];
      e.status.clear();
      e.icon = StatusIcon::None;
      e.statusReason = Reason::None;
    }
    changed(0, rows_ - 1, columnBit(kColStatus));
  }
  last = std::min(last, fileCount() - 1);
  if ((flags & kFillAppend) && first <= last && first == rows_) {
    if (observer_) observer_->beginAppendRows(first, last);
    for (int r = first; r <= last; ++r) {
      FileEntry& e = entries_[static_cast<std::size_t>(r)];
      e.newNameCell.clear();
      e.status.clear();
      e.icon = StatusIcon::None;
      e.statusReason = Reason::None;
      e.mark = Reason::None;
      e.mp3Status.clear();
      if (flags & kFillDirectory) e.dir = std::string(dir);
    }
    rows_ = last + 1;
    if (observer_) observer_->endAppendRows();
  } else {
    last = std::min(last, rows_ - 1);
    unsigned bits = 0;
    for (int r = first; r <= last; ++r) {
      FileEntry& e = entries_[static_cast<std::size_t>(r)];
      if (flags & kFillNewNames) e.newNameCell = e.newName;
      if (flags & kFillDirectory) e.dir = std::string(dir);
    }
    if (flags & kFillNewNames) bits |= columnBit(kColNew);
    if (flags & kFillDirectory) bits |= columnBit(kColDir);
    if (bits) changed(std::max(first, 0), last, bits);
  }
  // Older proposals shown below the range disappear.
  int r = std::max(last + 1, 0);
  const int from = r;
  for (; r < rows_ && !entries_[static_cast<std::size_t>(r)].newNameCell.empty(); ++r)
    entries_[static_cast<std::size_t>(r)].newNameCell.clear();
  changed(from, r - 1, columnBit(kColNew));
}

void FileList::setDirectory(int row, std::string dir) {
  entries_[static_cast<std::size_t>(row)].dir = std::move(dir);
  changed(row, row, columnBit(kColDir));
}

void FileList::setOldName(int row, std::string name) {
  entries_[static_cast<std::size_t>(row)].oldName = std::move(name);
  changed(row, row, columnBit(kColOld));
}

void FileList::setNewNameCell(int row, std::string text) {
  entries_[static_cast<std::size_t>(row)].newNameCell = std::move(text);
  changed(row, row, columnBit(kColNew));
}

void FileList::setStatus(int row, std::string text, StatusIcon icon, Reason reason, std::int32_t detail) {
  FileEntry& e = entries_[static_cast<std::size_t>(row)];
  e.status = std::move(text);
  e.icon = icon;
  e.statusReason = reason;
  e.statusDetail = detail;
  changed(row, row, columnBit(kColStatus));
}

void FileList::setMarks(std::span<const Mark> marks) {
  int first = rows_, last = -1;
  for (int r = 0; r < rows_; ++r) {
    FileEntry& e = entries_[static_cast<std::size_t>(r)];
    const Mark m = static_cast<std::size_t>(r) < marks.size() ? marks[static_cast<std::size_t>(r)] : Mark{};
    if (e.mark == m.reason && e.markDetail == m.detail) continue;
    e.mark = m.reason;
    e.markDetail = m.detail;
    first = std::min(first, r);
    last = r;
  }
  changed(first, last, columnBit(kColNew));
}

void FileList::setMp3Status(int row, std::string text) {
  entries_[static_cast<std::size_t>(row)].mp3Status = std::move(text);
  changed(row, row, columnBit(kColMp3));
}

void FileList::removeRows(const std::vector<int>& rows) {
  if (rows.empty()) return;
  // One contiguous block is announced as such; anything else as a reset,
  // which keeps deleting every other row of 100,000 linear.
  const bool contiguous = rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
  if (observer_) {
    if (contiguous)
      observer_->beginRemoveRows(rows.front(), rows.back());
    else
      observer_->beginReset();
  }
  std::size_t next = 0, out = 0;
  int removedRows = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (next < rows.size() && rows[next] == static_cast<int>(i)) {
      ++next;
      if (static_cast<int>(i) < rows_) ++removedRows;
      continue;
    }
    if (out != i) entries_[out] = std::move(entries_[i]);
    ++out;
  }
  entries_.resize(out);
  rows_ -= removedRows;
  if (observer_) {
    if (contiguous)
      observer_->endRemoveRows();
    else
      observer_->endReset();
  }
}

void FileList::clear() {
  if (observer_) observer_->beginReset();
  entries_.clear();
  entries_.shrink_to_fit();
  rows_ = 0;
  if (observer_) observer_->endReset();
}

void FileList::reorder(const std::vector<int>& order) {
  if (static_cast<int>(order.size()) != rows_) return;
  if (observer_) observer_->beginReset();
  std::vector<FileEntry> moved;
  moved.reserve(entries_.size());
  for (int from : order) moved.push_back(std::move(entries_[static_cast<std::size_t>(from)]));
  for (std::size_t k = order.size(); k < entries_.size(); ++k) moved.push_back(std::move(entries_[k]));
  entries_ = std::move(moved);
  if (observer_) observer_->endReset();
}

std::vector<int> FileList::rowsWithMp3Status() const {
  std::vector<int> out;
  for (int r = 0; r < rows_; ++r)
    if (!entries_[static_cast<std::size_t>(r)].mp3Status.empty()) out.push_back(r);
  return out;
}

}  // namespace qorin::filelist
