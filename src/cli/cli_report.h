// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line prints: each row of the plan or of the outcome, as
// lines for a person or as JSON, in the locale's encoding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"

namespace qorin::rename {
struct RecordOutcome;
}

namespace qorin::cli {

// The locale's text encoding against the code page the program works in.
class LocaleText {
 public:
  LocaleText();  // from the environment (LC_ALL, LC_CTYPE, LANG)
  explicit LocaleText(bool codePage) : codePage_(codePage) {}
  std::optional<std::string> toText(std::string_view local) const;
  std::string toLocal(std::string_view text) const;
  // Appends `text` in the locale's encoding; ASCII goes as it is.
  void appendLocal(std::string& out, std::string_view text) const;

 private:
  bool codePage_ = false;  // the locale is GB18030/GBK itself; otherwise UTF-8 (ASCII included)
};

// One row as printed.
struct RowOut {
  enum class State { Rename, Unchanged, WillFail, Renamed, Failed, Stopped, Undone, UndoFailed, Untouched };
  // Undone rows: `oldName` is the name given back, `newName` the pass's.
  // Code-page text. The folder is the list's own (its folders stay where
  // they are while it lives): one path is not copied for every row.
  std::string_view folder;
  std::string oldName, newName;
  State state = State::Rename;
  filelist::Outcome reason{};
  std::int32_t detail = 0;
  filelist::Outcome note{};  // the rule's note on the proposal
};

// Rows of the plan (from the list's proposals and marks).
std::vector<RowOut> planRows(const filelist::FileList& list);
// What the outcome of a pass needs of its plan, kept small while the pass
// runs: each row's old name, packed, and whether it was to stay as it is.
// A failed row's proposal is still the list's after the pass.
struct PlanNames {
  std::string bytes;
  std::vector<std::uint32_t> ends;
  std::vector<bool> unchanged;
  std::size_t size() const { return ends.size(); }
  std::string_view name(std::size_t r) const {
    const std::size_t b = r ? ends[r - 1] : 0;
    return std::string_view(bytes).substr(b, ends[r] - b);
  }
};
PlanNames planNames(const filelist::FileList& list);

// Rows after a pass or an undo: `before` is what the plan held before it ran
// (the old names the pass changed), or empty for an undo.
std::vector<RowOut> outcomeRows(const filelist::FileList& list, const PlanNames& before = {});

// Each file an undo or a rollback dealt with, from its record.
std::vector<RowOut> undoRows(const rename::RecordOutcome& outcome);

bool anyFailed(const std::vector<RowOut>& rows);

// A name or folder for a line of text: a newline as \n, a tab as \t, other
// control characters as \xHH and a backslash doubled, so that every row
// stays one line and reads back one way. Code-page text.
std::string escapedName(std::string_view name);

// `colour`: the states in the terminal's colours.
void printRows(std::FILE* out, const std::vector<RowOut>& rows, const LocaleText& locale,
               bool colour = false);
void printJson(std::FILE* out, const std::vector<RowOut>& rows, const LocaleText& locale);
// The count line under the plan.
std::string planSummary(const std::vector<RowOut>& rows);

}  // namespace qorin::cli
