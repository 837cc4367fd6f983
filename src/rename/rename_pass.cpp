#include "rename/rename_pass.h"

#include <cmath>

#include "platform/fs.h"
#include "text/gbtext.h"

namespace qorin::rename {

namespace {

// "■" in GB18030.
constexpr std::string_view kMark = "\xA1\xF6";

class ProgressMarks {
 public:
  ProgressMarks(int total, const ProgressFn& fn) : total_(total), fn_(fn) {}

  void after(int done) {
    const int marks = progressMarks(done, total_);
    if (marks <= last_) return;
    for (int k = last_; k < marks; ++k) bar_ += kMark;
    last_ = marks;
    if (fn_) fn_(bar_);
  }

 private:
  int total_;
  const ProgressFn& fn_;
  int last_ = 0;
  std::string bar_;
};

// One rename that can never leave the entry's directory or replace a file.
bool renameInDirectory(const std::string& dir, const std::string& from, const std::string& to) {
  // An entry without a directory would be resolved against the working
  // directory, which is never the file the row shows.
  if (dir.empty() || !isApplicableName(to)) return false;
  return platform::renameNoReplace(dir + from, dir + to) == platform::RenameResult::Renamed;
}

std::string decimal(int n) { return std::to_string(n); }

Summary summary(int total, int succeeded, const char* allDone, const char* okLine, const char* failLine) {
  Summary s;
  s.allSucceeded = succeeded == total;
  if (s.allSucceeded) {
    s.text = text::gb(allDone);
    return s;
  }
  s.text = text::gb("文件总数：") + decimal(total) + text::gb(" 个文件\r\n\r\n") + decimal(succeeded) +
           text::gb(okLine) + decimal(total - succeeded) + text::gb(failLine);
  return s;
}

}  // namespace

int progressMarks(int i, int n) {
  if (n <= 0 || i <= 0) return 0;
  const double marks = std::floor(static_cast<double>(i) / static_cast<double>(n) * 20.0);
  return marks >= 20.0 ? 20 : static_cast<int>(marks);
}

std::string progressBar(int marks) {
  std::string bar;
  for (int k = 0; k < marks; ++k) bar += kMark;
  return bar;
}

bool isApplicableName(std::string_view name, bool windowsSeparators) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = text::charLength(name, i);
    if (len == 1) {
      const char c = name[i];
      if (c == '\0' || c == '/' || (windowsSeparators && c == '\\')) return false;
    }
    i += len;
  }
  return true;
}

bool isApplicableName(std::string_view name) {
#ifdef _WIN32
  return isApplicableName(name, true);
#else
  return isApplicableName(name, false);
#endif
}

int renamePass(filelist::FileList& list, const ProgressFn& progress) {
  // Entries still waiting for their row (added, not yet filled) have no
  // directory shown and are not part of the pass.
  const int n = list.rowCount();
  ProgressMarks marks(n, progress);
  const std::string ok = text::gb("更名成功"), failed = text::gb("更名失败");
  int succeeded = 0;
  for (int row = 0; row < n; ++row) {
    const filelist::FileEntry& e = list[row];
    if (renameInDirectory(e.dir, e.oldName, e.newName)) {
      ++succeeded;
      std::string previous = e.oldName;
      list.setOldName(row, e.newName);
      list.setUndoName(row, std::move(previous));
      list.setStatus(row, ok, filelist::StatusIcon::Success);
    } else {
      list.setUndoName(row, std::string());
      list.setNewNameCell(row, e.newName);
      list.setStatus(row, failed, filelist::StatusIcon::Failure);
    }
    marks.after(row + 1);
  }
  return succeeded;
}

int undoLastPass(filelist::FileList& list, const ProgressFn& progress) {
  const int n = list.rowCount();
  ProgressMarks marks(n, progress);
  const std::string ok = text::gb("撤消成功"), failed = text::gb("撤消失败");
  int succeeded = 0;
  for (int row = 0; row < n; ++row) {
    const filelist::FileEntry& e = list[row];
    // The record is kept after an undo; the window offers the undo once.
    if (!e.undoName.empty() && renameInDirectory(e.dir, e.oldName, e.undoName)) {
      ++succeeded;
      list.setOldName(row, e.undoName);
      list.setStatus(row, ok, filelist::StatusIcon::Success);
    } else {
      list.setStatus(row, failed, filelist::StatusIcon::Failure);
    }
    marks.after(row + 1);
  }
  return succeeded;
}

Summary renameSummary(int total, int succeeded) {
  return summary(total, succeeded, "文件更名完毕！", " 个文件更名成功！\r\n", " 个文件更名失败！");
}

Summary undoSummary(int total, int succeeded) {
  return summary(total, succeeded, "上一次的操作已经成功撤消！", " 个文件撤消成功！\r\n",
                 " 个文件撤消失败！");
}

}  // namespace qorin::rename
