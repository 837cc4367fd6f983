// SPDX-License-Identifier: GPL-3.0-or-later
// An open file for the tag code: positioned reads and writes, and replacing a
// byte range (which moves the audio) atomically, so a failure or crash leaves
// the file either as it was or as it should be. Paths are code-page (GB18030)
// text like everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::platform {

// Something whose bytes can be read at an offset: an open file, or bytes in
// memory (the tag readers are fuzzed that way).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Nothing when the length cannot be told (for example a file that is not open).
  virtual std::optional<std::uint64_t> length() = 0;
  // Up to `n` bytes at `offset` into `out` (replacing its content); false on a
  // read error. Fewer bytes than asked is not an error at the end.
  virtual bool readAt(std::uint64_t offset, std::size_t n, std::string& out) = 0;
};

// Holds a view: the bytes must outlive it, so a temporary string is refused.
class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) {}
  explicit MemoryBytes(std::string&&) = delete;
  explicit MemoryBytes(const std::string&&) = delete;
  std::optional<std::uint64_t> length() override { return bytes_.size(); }
  bool readAt(std::uint64_t offset, std::size_t n, std::string& out) override;

 private:
  std::string_view bytes_;
};

enum class OpenMode { Read, ReadWrite };

// Why opening for writing, a write or replaceRange failed, as far as the
// system told.
enum class IoFailure : std::uint8_t {
  None,
  ReadOnlyFile,       // the file may not be written (permissions, a read-only mount)
  FolderNotWritable,  // its folder refused the new file, and an in-place rewrite was not possible
  DiskFull,           // no room left (or the quota reached)
  NoBackupFolder,     // it must be rewritten in place, and there is no folder for its backup
  Other,
};

class OpenFile final : public ByteSource {
 public:
  OpenFile() = default;
  OpenFile(std::string_view path, OpenMode mode) { open(path, mode); }
  ~OpenFile() override;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  bool open(std::string_view path, OpenMode mode);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  bool isWritable() const { return isOpen() && writable_; }
  const std::string& path() const { return path_; }

  std::optional<std::uint64_t> length() override;
  bool readAt(std::uint64_t offset, std::size_t n, std::string& out) override;

  bool seek(std::uint64_t offset);
  // Up to n bytes from the current position; nothing on a read error.
  std::optional<std::string> read(std::size_t n);
  // All of `bytes` at the current position, or false.
  bool write(std::string_view bytes);
  bool truncate(std::uint64_t length);

  // Replaces `oldLength` bytes at `offset` by `newBytes` (deleting and
  // inserting are the special cases) so that a failure or a crash at any
  // moment leaves the file as it was or as it should be, and nothing beside it:
  // - the new content goes to an unnamed file in the same folder (O_TMPFILE;
  //   where that is missing, a temporary name) with the original's mode,
  //   owner, group and extended attributes, is flushed, and only then named
  //   and renamed over the original;
  // - a file that must keep its inode (hard-linked, in a folder we cannot
  //   write, or whose owner or group the new file could not get) is rewritten
  //   in place after its original bytes were copied to a backup under
  //   `stateDir`, which is removed afterwards (restorePendingBackups puts back
  //   one a crash left). Without a stateDir such a file is not written.
  // On any failure the original is untouched and the result false (and this
  // object closed in the rare case that the original, let go of for the
  // rename, cannot be opened again).
  // Afterwards this object refers to the new content, positioned at its start.
  bool replaceRange(std::uint64_t offset, std::uint64_t oldLength, std::string_view newBytes,
                    std::string_view stateDir = {});
  // The last replaceRange failed because the file had to be rewritten in
  // place and there was no stateDir for its backup.
  bool lackedBackupFolder() const { return lackedBackupFolder_; }
  // Why the last open, write, truncate or replaceRange failed; None after one
  // that succeeded.
  IoFailure lastFailure() const { return failure_; }

 private:
  bool fail(int error);  // records the failure errno `error` stands for; always false

  int fd_ = -1;
  bool writable_ = false;
  bool lackedBackupFolder_ = false;
  IoFailure failure_ = IoFailure::None;
  std::string path_;
};

// Puts back the originals of in-place rewrites that a crash interrupted (from
// their backups under `stateDir`) and removes backups that were never
// complete. Call once at start, before any file is written. A backup whose
// file is gone or is another file now stays, counted as failed. An empty
// `stateDir` (no folder to keep backups in) has none.
struct BackupRestore {
  int restored = 0;
  int failed = 0;
};
BackupRestore restorePendingBackups(std::string_view stateDir);

// Removes the temporary files an interrupted replaceRange left in `dir`: those
// older than a minute and those whose writing process has ended; only regular
// files named exactly as replaceRange names them, a link never followed. Every
// replaceRange does this for the folder it writes to, and adding or tagging
// files of a folder does it too. Returns how many went.
int removeStaleTemporaries(std::string_view dir);

// Test seam: the hook is asked before each of these steps and makes it fail by
// returning true. `path` is the path the file was opened with (for a step of
// replaceRange, the original's path, not the temporary's): Write is each write
// of new content (into the temporary, or in place), Backup each write of the
// backup, Rename the naming of the finished temporary; List each listing of a
// folder (listFiles and Folder::names), with the folder's path where known.
enum class FileStep { OpenForWriting, Write, Rename, Backup, List };
using FileFaultHook = std::function<bool(FileStep step, std::string_view path)>;
void setFileFaultHook(FileFaultHook hook);  // an empty hook removes it
namespace detail {
bool injectedFault(FileStep step, std::string_view path);
}

// The common case for window tests: opening `path` for writing fails (even as
// root). An empty path removes the fault.
void failOpenForWriting(std::string_view path);

}  // namespace qorin::platform
