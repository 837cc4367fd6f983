// Adding entries to the file list from folders and file paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"

namespace qorin::filelist {

struct ScanResult {
  int added = 0;          // entries appended
  int unconvertible = 0;  // files left out: their names do not fit the code page
};

// Appends one entry per file directly in `dir` (normalised to end in the
// separator), in name order. Nothing is added for sub-directories.
ScanResult scanDirectory(FileList& list, std::string& dir);

// dir.txt (`file`): the directory of the last confirmed open-file dialog.
// Created empty on first use.
std::string readRememberedDirectory(const std::string& file);  // "" when missing or unreadable
void rememberDirectory(const std::string& file, std::string_view dir);

}  // namespace qorin::filelist
