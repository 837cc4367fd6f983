// SPDX-License-Identifier: GPL-3.0-or-later
// What the file system tells and how long work is stopped: the values the
// core passes around without reaching the disk itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qorin::platform {

// Why a directory could not be listed.
enum class ListError : unsigned char {
  None,
  Missing,        // nothing there, or no directory
  Unreadable,     // there, but the system refuses to list it
  PathTooLong,    // longer than the system takes
  Unconvertible,  // the path has no form in the system's encoding
};

struct DirectoryListing {
  bool ok = false;  // the directory could be read
  ListError error = ListError::None;
  std::vector<std::string> names;    // files directly in it, in name order
  std::vector<std::string> folders;  // its sub-folders (links to folders not followed), in name order
  int unconvertible = 0;             // files left out: the system gave a name with no form here
  std::vector<std::string> unreadableFolders;  // sub-folders whose names are not UTF-8, escaped
  // Device and inode of the folder listed (0 where the platform does not
  // tell): the folder its files were found in, whatever the path leads to later.
  std::uint64_t device = 0, inode = 0;
  // When asked for: nameHash of every entry's name (files, folders, links,
  // hidden ones and all), in no order, and whether they were taken.
  std::vector<std::uint64_t> nameHashes;
  bool hashed = false;
  // A name like the temporaries of a tag write is there (a killed write
  // leaves one): removeStaleTemporaries has something to look at. Where a
  // listing cannot tell, it says so.
  bool temporaries = true;
  bool stopped = false;  // `stop` said so before the end: nothing is kept (ok stays false)
};

// Asked between the pieces of long work (listing, reading, planning): true
// ends it early. Cheap to ask, and asked from any thread.
using StopFn = std::function<bool()>;

enum class RenameResult { Renamed, TargetExists, SourceMissing, Unconvertible, Failed };

// What the file system tells about one directory entry; the rename journal
// keeps it to know a file again later.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  // Creation time as the system counts it, 0 where the file system keeps
  // none. It tells a file from a newer one that got the freed inode.
  std::uint64_t birth = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file's size and times, a link followed: nanoseconds since 1970 (UTC).
// `created` is the birth time, nothing where the file system keeps none.
struct FileTimes {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::optional<std::int64_t> created;
};

// A moment as the local clock reads it.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int millisecond = -1;  // 0 to 999; -1 where the source keeps none
  bool operator==(const LocalTime&) const = default;
};

}  // namespace qorin::platform
