// The working set: one entry per listed file, shown as one row of the report
// list. Rules, the preview, the renaming pass and its undo all work here; the
// Qt item model over it only displays it and is told what changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorin::filelist {

enum class StatusIcon : unsigned char { None, Success, Failure };

// Column indices of the report list.
enum Column : int { kColOld = 0, kColNew = 1, kColDir = 2, kColStatus = 3, kColMp3 = 4, kColumnCount = 5 };
constexpr unsigned columnBit(Column c) { return 1u << c; }

struct FileEntry {
  std::string oldName;      // current name, no directory; column 旧文件名
  std::string newName;      // proposal of the last rule run
  std::string newNameCell;  // column 新文件名 (may be emptied while newName stays)
  std::string dir;          // column 路径, always ending in the separator
  std::string status;       // column 命名状态
  StatusIcon icon = StatusIcon::None;
  std::string mp3Status;  // column MP3标签状态
  // The name before the last renaming pass, empty when that rename failed or
  // the entry was added after it. It travels with its entry, so removing or
  // adding entries can never make an undo give a file another file's name.
  std::string undoName;

  std::string oldPath() const { return dir + oldName; }
};

class FileListObserver {
 public:
  virtual ~FileListObserver() = default;
  virtual void beginAppendRows(int first, int last) = 0;
  virtual void endAppendRows() = 0;
  virtual void beginRemoveRows(int first, int last) = 0;
  virtual void endRemoveRows() = 0;
  virtual void beginReset() = 0;
  virtual void endReset() = 0;
  virtual void cellsChanged(int firstRow, int lastRow, unsigned columnBits) = 0;
};

// fillRows flags.
enum FillFlags : unsigned { kFillAppend = 1, kFillNewNames = 2, kFillDirectory = 4 };

class FileList {
 public:
  void setObserver(FileListObserver* o) { observer_ = o; }

  // fileCount: entries; rowCount: rows shown. They differ only between adding
  // names and the fillRows call that makes them rows.
  int fileCount() const { return static_cast<int>(entries_.size()); }
  int rowCount() const { return rows_; }
  bool empty() const { return entries_.empty(); }

  const FileEntry& operator[](int row) const { return entries_[static_cast<std::size_t>(row)]; }
  const std::vector<FileEntry>& entries() const { return entries_; }

  // Appends an entry that becomes a row with the next fillRows(kFillAppend).
  void addName(std::string name);
  void reserve(std::size_t n) { entries_.reserve(n); }

  // Copies model data into the columns for rows first..last (0-based,
  // inclusive): statuses cleared when row 0 carries one, rows appended
  // (flag 1), proposals shown (flag 2), the directory written (flag 4), and
  // stale proposals below the range emptied.
  void fillRows(unsigned flags, int first, int last, std::string_view dir);

  // Per-entry writes; each tells the observer about its cells.
  void setNewName(int row, std::string name) {
    entries_[static_cast<std::size_t>(row)].newName = std::move(name);
  }
  std::string& newNameRef(int row) { return entries_[static_cast<std::size_t>(row)].newName; }
  void setDirectory(int row, std::string dir);
  void setOldName(int row, std::string name);
  void setNewNameCell(int row, std::string text);
  void setStatus(int row, std::string text, StatusIcon icon);
  void setMp3Status(int row, std::string text);
  void setUndoName(int row, std::string name) {
    entries_[static_cast<std::size_t>(row)].undoName = std::move(name);
  }

  // Removes the rows given in ascending order, in one pass over the list.
  void removeRows(const std::vector<int>& ascendingRows);
  void clear();

  // Rows whose column MP3标签状态 is not empty.
  std::vector<int> rowsWithMp3Status() const;

 private:
  void changed(int first, int last, unsigned bits) {
    if (observer_ && first <= last) observer_->cellsChanged(first, last, bits);
  }

  std::vector<FileEntry> entries_;
  int rows_ = 0;
  FileListObserver* observer_ = nullptr;
};

}  // namespace qorin::filelist
