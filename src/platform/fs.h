// The only place the program touches the file system. Paths and names are
// code-page (GB18030) text; they are converted to the system's encoding here,
// and a path that cannot be converted without loss makes the operation fail.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The directory text with the separator appended when it does not end in one.
std::string withSeparator(std::string_view dir);

// Everything up to and including the last separator ("" when there is none),
// and the part after it.
std::string_view directoryOf(std::string_view path);
std::string_view fileNameOf(std::string_view path);

// Native path for the system calls; nothing when `path` cannot be converted.
std::optional<std::string> nativePath(std::string_view path);

bool exists(std::string_view path);
bool isFile(std::string_view path);
bool isDirectory(std::string_view path);
bool isWritableDirectory(std::string_view dir);

struct DirectoryListing {
  bool ok = false;                 // the directory could be read
  std::vector<std::string> names;  // files directly in it, in name order
  int unconvertible = 0;           // files left out: name not representable in the code page
};

// One level, files only (no directories, "." and ".." never), hidden files
// included. Name order: ASCII letters compared without case, then bytes.
DirectoryListing listFiles(std::string_view dir);

// The order listFiles uses.
bool nameLess(std::string_view a, std::string_view b);

enum class RenameResult { Renamed, TargetExists, SourceMissing, Unconvertible, Failed };

// Renames `from` to `to`, never replacing an existing file. A target that is
// the file itself (same name, or a case-only change on a case-insensitive
// file system) succeeds in place.
RenameResult renameNoReplace(std::string_view from, std::string_view to);

// Reads a whole small file; nothing when it cannot be read or exceeds maxBytes.
std::optional<std::string> readFile(std::string_view path, std::size_t maxBytes);

// Replaces the file's content through a temporary file in the same directory
// that is flushed and renamed over it (mode kept), so a crash leaves either
// the old or the new content.
bool writeFileAtomic(std::string_view path, std::string_view content);

// Creates an empty file if none exists; true when the file exists afterwards.
bool touchFile(std::string_view path);

// The executable's directory, ending in the separator.
std::string programDirectory();

// Where config.ini and dir.txt live: the program directory when it is
// writable, otherwise the per-user configuration directory (created on demand).
std::string configDirectory();

// Where the program keeps what it records between runs (the journal of the
// last renaming pass): the program directory when it is writable, otherwise
// the per-user state directory (created on demand).
std::string stateDirectory();

}  // namespace qorin::platform
