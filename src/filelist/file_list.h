// SPDX-License-Identifier: GPL-3.0-or-later
// The working set: one entry per listed file, shown as one row of the report
// list. Rules, the preview, the renaming pass and its undo all work here; the
// Qt item model over it only displays it and is told what changed.
//
// An entry is kept small, as a list may hold a million files: its two names
// in sixteen bytes each (short ones without a heap block), its folder as an
// index into a table shared by the folder's entries, and its statuses as
// one-byte codes whose texts are the program's own.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "filelist/compact_text.h"
#include "filelist/outcome.h"
#include "platform/fs_types.h"
#include "platform/names.h"

namespace qorin::filelist {

enum class StatusIcon : unsigned char { None, Success, Failure, Warning };

// Column 命名状态: what the last pass, undo or tag conversion did to the row.
enum class Status : unsigned char {
  None,
  Renamed,              // 更名成功
  RenameFailed,         // 更名失败
  Undone,               // 撤消成功
  UndoFailed,           // 撤消失败
  Converted,            // 已转为Unicode
  ConversionNotNeeded,  // 无需转换
  ConversionFailed,     // 转换失败
  ConversionUncertain,  // 编码无法确定: a text's reading is not certain, it was left as stored
  NameConverted,        // 已转为UTF-8: the name kept in the old code page is now the same text in UTF-8
  Unchanged,            // 不变: the pass found the name already as proposed
};
StatusIcon statusIcon(Status s);

// Column MP3标签状态, written by the MP3 naming rule: empty for an MP3 file
// named from its tag, the family of the tag another audio file was named from.
enum class Mp3Status : unsigned char {
  None,
  NotMp3,      // no tag reader takes the file
  NoTag,       // it has none of its format's tags
  TextChunks,  // WAV's RIFF INFO, AIFF's NAME and AUTH
  // From here on: named from a tag of family kTagged + its tags::TagKind,
  // worded by the tag readers' registry.
  kTagged,
};
constexpr Mp3Status taggedWith(unsigned family) {
  return static_cast<Mp3Status>(static_cast<unsigned>(Mp3Status::kTagged) + family);
}
// The family of a file named from its tag (tags::TagKind), or -1.
constexpr int familyOf(Mp3Status s) {
  return s >= Mp3Status::kTagged ? static_cast<int>(s) - static_cast<int>(Mp3Status::kTagged) : -1;
}
// The rows 删除无标签条目 removes: no tag the rule could name them from.
inline bool isUntagged(Mp3Status s) { return s == Mp3Status::NotMp3 || s == Mp3Status::NoTag; }

// Column indices of the report list.
enum Column : int { kColOld = 0, kColNew = 1, kColDir = 2, kColStatus = 3, kColMp3 = 4, kColumnCount = 5 };
constexpr unsigned columnBit(Column c) { return 1u << c; }

// A folder that entries live in: its text as column 路径 shows it (ending in
// the separator) and which folder it was when they were added. The pass and
// the undo rename only inside that very folder.
struct FolderInfo {
  std::string dir;
  platform::FileIdentity identity;  // device and inode; the rest stays 0
  bool known = false;               // the folder could be opened when its entries were added
};

inline constexpr std::uint32_t kNoFolder = UINT32_MAX;

// One entry as the callers see it: texts that point into the list, valid
// until the list next changes.
struct FileEntry {
  std::string_view oldName;      // current name, no directory; column 旧文件名
  std::string_view newName;      // proposal of the last rule run
  std::string_view newNameCell;  // column 新文件名: the proposal while it is shown
  std::string_view dir;          // column 路径, ending in the separator ("" before the row is filled)
  std::uint32_t folder = kNoFolder;
  Status statusCode = Status::None;
  Mp3Status mp3Code = Mp3Status::None;
  StatusIcon icon = StatusIcon::None;
  // Set by a rule that could not make a proposal (the file could not be
  // read), or a note on the proposal it made; any new proposal clears it.
  Outcome proposalProblem;
  Outcome mark;                 // why the shown proposal will not apply (column 新文件名)
  Outcome statusReason;         // why the last pass or undo failed for this row (column 命名状态)
  std::string_view statusNote;  // the status's own tooltip (the readings of 编码无法确定)
  std::int32_t markDetail = 0;
  std::int32_t statusDetail = 0;
  bool gbkName = false;  // the name on disk is `oldName` in the old code page, not UTF-8
  bool rawName = false;  // the name on disk is the bytes of `oldName`, in no encoding known

  // Folder and name as shown.
  std::string oldPath() const {
    std::string p(dir);
    p += oldName;
    return p;
  }
  // Folder and name as the platform reaches the file (platform::gbkName, rawName).
  std::string diskPath() const {
    std::string p(dir);
    if (gbkName || rawName) p += platform::kGbkNameMark;
    if (rawName) p += platform::kGbkNameMark;
    p += oldName;
    return p;
  }
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
  struct Record;

 public:
  void setObserver(FileListObserver* o) { observer_ = o; }

  // fileCount: entries; rowCount: rows shown. They differ only between adding
  // names and the fillRows call that makes them rows.
  int fileCount() const { return static_cast<int>(entries_.size()); }
  int rowCount() const { return rows_; }
  bool empty() const { return entries_.empty(); }

  FileEntry operator[](int row) const;

  // Every entry, as views.
  class Entries {
   public:
    class iterator {
     public:
      iterator(const FileList& l, int row) : l_(&l), row_(row) {}
      FileEntry operator*() const { return (*l_)[row_]; }
      iterator& operator++() {
        ++row_;
        return *this;
      }
      bool operator==(const iterator& o) const { return row_ == o.row_; }

     private:
      const FileList* l_;
      int row_;
    };
    explicit Entries(const FileList& l) : l_(l) {}
    iterator begin() const { return {l_, 0}; }
    iterator end() const { return {l_, l_.fileCount()}; }

   private:
    const FileList& l_;
  };
  Entries entries() const { return Entries(*this); }

  // What the hot loops read, without building a whole view.
  std::string_view oldName(int row) const { return at(row).oldName.view(); }
  // Whether the row's name is kept on disk in the old code page, or as raw bytes.
  bool gbkName(int row) const { return at(row).gbk; }
  bool rawName(int row) const { return at(row).raw; }
  // The name as the platform takes it: marked where it is kept either way.
  std::string diskName(int row) const;
  bool anyGbkName() const;
  std::string_view newName(int row) const { return at(row).newName.view(); }
  Outcome proposalProblem(int row) const { return at(row).proposalProblem; }
  // The rule's reason against the proposal; a note is none.
  Outcome proposalFailure(int row) const {
    const Outcome o = at(row).proposalProblem;
    return o.failed() ? o : Outcome{};
  }
  std::uint32_t folderOf(int row) const { return at(row).folder; }
  std::string_view dirOf(int row) const;

  // The folders of the entries. A folder's index stays valid until clear().
  std::size_t folderCount() const { return folders_.size(); }
  const FolderInfo& folder(std::uint32_t index) const { return folders_[index]; }
  // The folder `dir` (its separator appended when missing) as it is now:
  // the index of the record for that text and identity, made when new. With
  // `identity` given (taken where the folder was just listed) nothing is
  // looked at on the disk.
  std::uint32_t folderFor(std::string_view dir);
  std::uint32_t folderFor(std::string_view dir, const platform::FileIdentity& identity);

  // Appends an entry that becomes a row with the next fillRows(kFillAppend).
  // Names here and in setOldName may carry platform::kGbkNameMark.
  void addName(std::string_view name);
  void reserve(std::size_t n) { entries_.reserve(n); }
  std::size_t capacity() const { return entries_.capacity(); }
  // Entries first..last take the folder (before or after they are rows).
  void setFolder(int first, int last, std::uint32_t folder);

  // Copies model data into the columns for rows first..last (0-based,
  // inclusive): statuses cleared when row 0 carries one, rows appended
  // (kFillAppend), proposals shown (kFillNewNames), the directory written
  // (kFillDirectory), and stale proposals below the range emptied.
  void fillRows(unsigned flags, int first, int last, std::string_view dir);

  // Per-entry writes; each tells the observer about its cells. A proposal
  // written either way clears the rule's problem mark.
  // A proposal for a name kept by its raw bytes fails unless it keeps them
  // whole or leaves them all out (platform::rawTarget).
  void setNewName(int row, std::string_view name) {
    Record& e = at(row);
    e.newName.assign(name);
    e.proposalProblem = e.raw && platform::rawTarget(e.oldName.view(), name) == platform::RawTarget::Converts
                            ? why::NameEncodingUnknown
                            : Outcome{};
  }
  // A proposal with a note that does not stop it.
  void setNewName(int row, std::string_view name, Outcome note) {
    setNewName(row, name);
    if (at(row).proposalProblem.none()) at(row).proposalProblem = note;
  }
  // A rule that cannot propose a name for the row: its proposal is emptied.
  void setProposalProblem(int row, Outcome reason) {
    Record& e = at(row);
    e.newName.clear();
    e.proposalProblem = reason;
  }
  void setDirectory(int row, std::string_view dir);
  void setOldName(int row, std::string_view name);
  // Column 新文件名 shows the row's proposal (a failed one after a pass).
  void showProposal(int row);
  void setStatus(int row, Status status, Outcome reason = {}, std::int32_t detail = 0);
  // A status whose tooltip is a text of its own (few rows have one).
  void setStatus(int row, Status status, std::string note);
  void setMp3Status(int row, Mp3Status status);

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

  // What sorting and the date rule read of an entry's file, read once when
  // first asked (`known` bits say what is there). Kept beside the entries,
  // and only for a list that asked: it moves, goes and clears with them.
  struct Facts {
    enum : unsigned char { kTimes = 1, kTaken = 2, kMissing = 4, kHasBirth = 8, kHasTaken = 16 };
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // ns since 1970
    std::int64_t created = 0;   // ns since 1970, where kHasBirth
    platform::LocalTime taken;  // where kHasTaken
    unsigned char known = 0;
    // Why the date taken could not be read, where its worker failed on it
    // (with kMissing) or was stopped before it (then kTaken stays unset).
    Outcome failed;
  };
  Facts& facts(int row);
  // The file was written: its facts are read again when next asked.
  void forgetFacts(int row) {
    if (!facts_.empty()) facts_[static_cast<std::size_t>(row)] = {};
  }

  // Rows the MP3 rule found without a tag to name them from (isUntagged).
  std::vector<int> rowsWithMp3Status() const;

  // While one lives, the cells written are told as one change when it goes:
  // a pass writes a million statuses, which the view takes better at once.
  class Batch {
   public:
    explicit Batch(FileList& list) : list_(list) { ++list_.batching_; }
    ~Batch() {
      if (--list_.batching_ == 0) list_.flushChanges();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    FileList& list_;
  };

  // Changes whenever an entry's name or folder, or the entries themselves,
  // change; proposals, statuses and marks leave it alone. What is worked out
  // from the current names may be kept while it stays the same.
  std::uint64_t namesVersion() const { return namesVersion_; }

 private:
  struct Record {
    CompactText oldName;
    CompactText newName;  // the proposal; column 新文件名 shows it while shown()
    std::uint32_t folder = kNoFolder;
    std::int32_t markDetail = 0;
    std::int32_t statusDetail = 0;
    Status status = Status::None;
    Mp3Status mp3 = Mp3Status::None;
    Outcome proposalProblem;
    Outcome mark;
    Outcome statusReason;
    bool shown = false;  // shown one by one, beyond the prefix
    bool gbk = false;    // oldName is stored on disk in the old code page
    bool raw = false;    // oldName is the name's bytes on disk, in no encoding known
  };

  // A row's proposal shows in column 新文件名: the rows of a preview make a
  // prefix, kept as a count, so a keystroke need not touch every entry for
  // it; a failed proposal after a pass shows by its entry's own flag.
  bool shown(int row) const { return row < shownPrefix_ || at(row).shown; }

  Record& at(int row) { return entries_[static_cast<std::size_t>(row)]; }
  const Record& at(int row) const { return entries_[static_cast<std::size_t>(row)]; }
  void changed(int first, int last, unsigned bits) {
    if (!observer_ || first > last) return;
    if (batching_ > 0) {
      pendingFirst_ = std::min(pendingFirst_, first);
      pendingLast_ = std::max(pendingLast_, last);
      pendingBits_ |= bits;
      return;
    }
    observer_->cellsChanged(first, last, bits);
  }
  // What a batch gathered, told before anything else is.
  void flushChanges() {
    if (observer_ && pendingFirst_ <= pendingLast_)
      observer_->cellsChanged(pendingFirst_, std::min(pendingLast_, rows_ - 1), pendingBits_);
    pendingFirst_ = INT_MAX;
    pendingLast_ = -1;
    pendingBits_ = 0;
  }
  std::uint32_t addFolder(std::string dir, const platform::FileIdentity& identity, bool known);

  std::vector<Record> entries_;
  std::vector<Facts> facts_;  // empty, or one per entry
  int rows_ = 0;
  // A deque, so the texts stay where they are while folders are added.
  std::deque<FolderInfo> folders_;
  std::unordered_map<std::string, std::uint32_t> folderByDir_;  // the latest record of each text
  std::uint64_t namesVersion_ = 0;
  // The tooltips of statuses that have one; a row's statusDetail indexes it.
  // Freed slots are empty and reused.
  std::vector<std::string> notes_;
  std::vector<std::int32_t> freeNotes_;
  void dropNote(Record& e);
  FileListObserver* observer_ = nullptr;
  int shownPrefix_ = 0;      // rows 0..shownPrefix_-1 show their proposals
  bool anyFlagged_ = false;  // some entry may carry its own flag
  int batching_ = 0;
  int pendingFirst_ = INT_MAX, pendingLast_ = -1;
  unsigned pendingBits_ = 0;
};

}  // namespace qorin::filelist
