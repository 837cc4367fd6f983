// SPDX-License-Identifier: GPL-3.0-or-later
// Adding entries to the file list from folders, and the open-file dialog's
// memory of its folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"
#include "platform/fs_types.h"
#include "platform/names.h"

namespace qorin::filelist {

struct ScanOptions {
  bool subfolders = false;     // every sub-folder too, depth first
  bool hidden = true;          // dot-names (hidden files on Windows) too
  bool nameHashes = false;     // keep what each listing saw, for the preview's marks
  platform::StopFn stop = {};  // asked before each folder and within a large one
  int maxDepth = -1;           // with subfolders: levels below the folder listed; -1: all
};

// A folder as one listing saw it: every name in it, as platform::nameHash.
struct ListedFolder {
  std::string dir;
  platform::FileIdentity identity;
  std::vector<std::uint64_t> nameHashes;
};

struct ScanResult {
  bool readable = false;                                  // the folder itself could be read
  platform::ListError error = platform::ListError::None;  // why not
  int added = 0;                                          // entries appended (and made rows)
  int unconvertible = 0;                       // files left out: their names do not fit the code page
  std::vector<std::string> unreadableFolders;  // sub-folders that could not be read
  std::vector<ListedFolder> listed;            // with ScanOptions::nameHashes, where the platform tells
  bool stopped = false;  // ScanOptions::stop ended it: the folders listed before it stay added
};

// Appends one row per file in `dir` (normalised to end in the separator), in
// natural order; with sub-folders, each folder's files come before its
// sub-folders', which follow in natural order, and every row shows its own
// folder. Links to folders are not followed, so no loop can be walked. Each
// row keeps the identity of the folder as it was listed.
ScanResult scanDirectory(FileList& list, std::string& dir, const ScanOptions& options = {});

// dir.txt (`file`): the directory of the last confirmed open-file dialog.
// Created empty on first use. An empty `file` (no folder for it) is never
// read or written; nor is a link, FIFO or folder at dir.txt.
std::string readRememberedDirectory(const std::string& file);  // "" when missing or unreadable
void rememberDirectory(const std::string& file, std::string_view dir);

}  // namespace qorin::filelist
