// The working set: one entry per listed file, shown as one row of the report
// list. Rules, the preview, the renaming pass and its undo all work here; the
// Qt item model over it only displays it and is told what changed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::filelist {

enum class StatusIcon : unsigned char { None, Success, Failure };

// Why a proposal will not apply (the mark of column 新文件名 in the preview)
// or did not (column 命名状态 after a pass or an undo).
enum class Reason : unsigned char {
  None,               // applies, or applied
  Unchanged,          // the proposal is the current name: nothing to do, not a failure
  SameAsEarlier,      // another row of the same folder proposes it first (detail: that row, from 1)
  TargetExists,       // a file of that name exists and stays
  IllegalName,        // ".", "..", a separator, NUL, a reserved or unconvertible name
  NameTooLong,        // longer than the file system takes
  EmptyName,          //
  SourceMissing,      // the listed file is not there
  Unreadable,         // the rule could not read the file to make a proposal
  SameFileAsEarlier,  // an earlier row lists the same file (detail: that row, from 1)
  FileChanged,        // undo: the file at the name is not the one the pass left
  SystemError,        // the system refused (detail: the error number)
  TagPastEnd,         // a tag claims more bytes than the file holds
  NotWritable,        // the file cannot be written
  ChangedMeanwhile,   // the file changed while it was being rewritten
  WriteFailed,        // writing the file failed
};

// Failure: anything but None and Unchanged.
inline bool isFailure(Reason r) { return r != Reason::None && r != Reason::Unchanged; }

// The tooltip text of a reason, in the code page; empty for None and Unchanged.
std::string reasonText(Reason reason, std::int32_t detail);

struct Mark {
  Reason reason = Reason::None;
  std::int32_t detail = 0;
};

// Column indices of the report list.
enum Column : int { kColOld = 0, kColNew = 1, kColDir = 2, kColStatus = 3, kColMp3 = 4, kColumnCount = 5 };
constexpr unsigned columnBit(Column c) { return 1u << c; }

struct FileEntry {
  std::string oldName;      // current name, no directory; column 旧文件名
  std::string newName;      // proposal of the last rule run
  std::string newNameCell;  // column 新文件名 (may be emptied while newName stays)
  std::string dir;          // column 路径, always ending in the separator
  std::string status;       // column 命名状态
  std::string mp3Status;    // column MP3标签状态
  StatusIcon icon = StatusIcon::None;
  // Set by a rule that could not make a proposal (the file could not be
  // read); any new proposal clears it.
  Reason proposalProblem = Reason::None;
  Reason mark = Reason::None;          // why the shown proposal will not apply
  Reason statusReason = Reason::None;  // why the last pass or undo failed for this row
  std::int32_t markDetail = 0;
  std::int32_t statusDetail = 0;

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
  // (kFillAppend), proposals shown (kFillNewNames), the directory written
  // (kFillDirectory), and stale proposals below the range emptied.
  void fillRows(unsigned flags, int first, int last, std::string_view dir);

  // Per-entry writes; each tells the observer about its cells. A proposal
  // written either way clears the rule's problem mark.
  void setNewName(int row, std::string name) {
    FileEntry& e = entries_[static_cast<std::size_t>(row)];
    e.newName = std::move(name);
    e.proposalProblem = Reason::None;
  }
  std::string& newNameRef(int row) {
    FileEntry& e = entries_[static_cast<std::size_t>(row)];
    e.proposalProblem = Reason::None;
    return e.newName;
  }
  // A rule that cannot propose a name for the row: its proposal is emptied.
  void setProposalProblem(int row, Reason reason) {
    FileEntry& e = entries_[static_cast<std::size_t>(row)];
    e.newName.clear();
    e.proposalProblem = reason;
  }
  void setDirectory(int row, std::string dir);
  void setOldName(int row, std::string name);
  void setNewNameCell(int row, std::string text);
  void setStatus(int row, std::string text, StatusIcon icon, Reason reason = Reason::None,
                 std::int32_t detail = 0);
  void setMp3Status(int row, std::string text);

  // Rows 0..marks.size()-1 take the marks given, the rows after them lose
  // theirs; one notification covers the rows that changed.
  void setMarks(std::span<const Mark> marks);

  // Removes the rows given in ascending order, in one pass over the list.
  void removeRows(const std::vector<int>& ascendingRows);
  void clear();
  // Puts the rows in a new order: row k becomes the entry that was row
  // order[k]; `order` is a permutation of the rows. Entries move whole, with
  // their proposals and statuses.
  void reorder(const std::vector<int>& order);

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
