// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/add_files.h"

#include <algorithm>

#include "platform/fs.h"
#include "platform/open_file.h"

namespace qorin::filelist {

namespace {

void scanInto(FileList& list, const std::string& dir, const ScanOptions& options, ScanResult& r, int depth) {
  const bool top = depth == 0;
  if (options.stop && options.stop()) {
    r.stopped = true;
    return;
  }
  platform::DirectoryListing listing =
      platform::listFiles(dir, options.hidden, options.nameHashes, options.stop);
  // A killed tag write's leftovers are nobody's files: swept before they are
  // listed, looked for only where the listing saw one.
  if (listing.ok && listing.temporaries && platform::removeStaleTemporaries(dir) > 0)
    listing = platform::listFiles(dir, options.hidden, options.nameHashes, options.stop);
  if (listing.stopped) {
    r.stopped = true;
    return;
  }
  if (!listing.ok) {
    if (top) {
      r.error = listing.error;
    } else if (listing.error != platform::ListError::Missing) {
      r.unreadableFolders.push_back(dir);  // gone since the parent was listed: nothing to say
    }
    return;
  }
  if (top) r.readable = true;
  r.unconvertible += listing.unconvertible;
  if (listing.hashed && listing.inode)
    r.listed.push_back({dir, {listing.device, listing.inode, 0, 0}, std::move(listing.nameHashes)});
  if (!listing.names.empty()) {
    const int first = list.fileCount();
    // Growth stays geometric: an exact reserve per folder would move every
    // entry again for each of a thousand folders.
    if (list.capacity() < static_cast<std::size_t>(first) + listing.names.size())
      list.reserve(std::max(static_cast<std::size_t>(first) * 2,
                            static_cast<std::size_t>(first) + listing.names.size()));
    for (std::string& name : listing.names) list.addName(name);
    listing.names = {};
    const std::uint32_t folder =
        listing.inode ? list.folderFor(dir, {listing.device, listing.inode, 0, 0}) : list.folderFor(dir);
    list.setFolder(first, list.fileCount() - 1, folder);
    list.fillRows(kFillAppend, first, list.fileCount() - 1, {});
    r.added += list.fileCount() - first;
  }
  if (!options.subfolders || (options.maxDepth >= 0 && depth >= options.maxDepth)) return;
  for (const std::string& odd : listing.unreadableFolders) r.unreadableFolders.push_back(dir + odd);
  for (const std::string& sub : listing.folders) {
    if (r.stopped) return;
    scanInto(list, platform::withSeparator(dir + sub), options, r, depth + 1);
  }
}

}  // namespace

ScanResult scanDirectory(FileList& list, std::string& dir, const ScanOptions& options) {
  dir = platform::withSeparator(dir);
  ScanResult r;
  scanInto(list, dir, options, r, 0);
  return r;
}

std::string readRememberedDirectory(const std::string& path) {
  // No path: no folder to keep dir.txt in. A link at dir.txt is neither
  // followed nor replaced.
  if (path.empty() || !platform::touchFile(path)) return {};
  const auto content = platform::readFile(path, 64 * 1024);
  if (!content) return {};
  const auto end = content->find_first_of("\r\n");
  return content->substr(0, end);
}

void rememberDirectory(const std::string& path, std::string_view dir) {
  if (!path.empty()) platform::writeFileAtomic(path, std::string(dir) + "\r\n");
}

}  // namespace qorin::filelist
