// The renaming pass over the file list and its one-level undo. The window
// computes the proposals (newName) first and shows the summaries afterwards;
// everything between, file operations and per-row results, happens here.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "filelist/file_list.h"

namespace qorin::rename {

// Called with the progress bar text each time it gains marks (at most 20
// times per pass), so the window can show it and keep painting.
using ProgressFn = std::function<void(std::string_view bar)>;

// Marks after entry i (1-based) of n: floor(i / n * 20), in floating point.
int progressMarks(int i, int n);

// The bar of `marks` "■" characters, in the code page.
std::string progressBar(int marks);

// False for a name that must never reach the file system: empty, "." or
// "..", or holding a NUL or a path separator ('/', and '\' when
// `windowsSeparators`). The walk goes by characters, so a double-byte
// character whose second byte is 0x5C is not taken for a backslash.
bool isApplicableName(std::string_view name, bool windowsSeparators);
bool isApplicableName(std::string_view name);  // this platform's separators

// Renames every shown entry from dir + oldName to dir + newName, never
// replacing an existing file. Each row gets its status; a success records
// the previous name in undoName, a failure empties it and shows the failed
// proposal in the new-name column. Returns the number of successes.
int renamePass(filelist::FileList& list, const ProgressFn& progress = {});

// Gives every entry with an undo record its previous name back. An entry
// without one (its rename failed, or it was added after the pass) counts as
// a failure and its file is not touched. Returns the number of successes.
int undoLastPass(filelist::FileList& list, const ProgressFn& progress = {});

struct Summary {
  std::string text;  // code page, lines separated by CR LF
  bool allSucceeded = false;
};

Summary renameSummary(int total, int succeeded);
Summary undoSummary(int total, int succeeded);

}  // namespace qorin::rename
