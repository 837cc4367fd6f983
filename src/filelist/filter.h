// SPDX-License-Identifier: GPL-3.0-or-later
// Thinning out the file list: remove the entries whose name has an extension
// or contains a text, or keep only those.
#pragma once

#include <string>
#include <vector>

#include "filelist/file_list.h"

namespace qorin::filelist {

enum class FilterOperation { Remove, Keep };  // 操作方式组合框: 删除 / 保留
enum class FilterMatch { Extension, Contains };

struct FilterOptions {
  FilterOperation operation = FilterOperation::Remove;
  FilterMatch match = FilterMatch::Extension;
  // The extension without "." (its case ignored), or the text looked for in
  // the file name only, never the directory (its case ignored too).
  std::string text;
};

bool filterMatches(const FileEntry& e, const FilterOptions& o);

// The rows the filter removes, ascending.
std::vector<int> rowsToFilter(const FileList& list, const FilterOptions& o);

// Removes them in one pass and returns how many went. Each entry's undo
// record goes with it; the other columns stay as they were.
int applyFilter(FileList& list, const FilterOptions& o);

}  // namespace qorin::filelist
