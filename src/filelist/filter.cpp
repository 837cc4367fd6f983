// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/filter.h"

#include "text/names.h"

namespace qorin::filelist {

bool filterMatches(const FileEntry& e, const FilterOptions& o) {
  return o.match == FilterMatch::Extension ? text::hasExtension(e.oldName, o.text)
                                           : text::containsNoCase(e.oldName, o.text);
}

std::vector<int> rowsToFilter(const FileList& list, const FilterOptions& o) {
  std::vector<int> rows;
  const bool removeMatches = o.operation == FilterOperation::Remove;
  for (int i = 0; i < list.fileCount(); ++i)
    if (filterMatches(list[i], o) == removeMatches) rows.push_back(i);
  return rows;
}

int applyFilter(FileList& list, const FilterOptions& o) {
  const std::vector<int> rows = rowsToFilter(list, o);
  list.removeRows(rows);
  return static_cast<int>(rows.size());
}

}  // namespace qorin::filelist
