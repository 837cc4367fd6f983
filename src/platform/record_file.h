// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own files in its state folder: the records of renaming
// passes. They are never reached through a link, only regular files of the
// user's are taken (a FIFO there is refused, not waited on, and another
// user's record is not the user's to act on), and each record is held
// by the process that made it for as long as that process runs, so that no
// other copy of the program recovers, undoes or replaces it meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::platform {

enum class HoldResult : unsigned char {
  Held,     // the file is ours until release()
  Busy,     // another process holds it
  Missing,  // nothing there (or, for create(), something is)
  Refused,  // a link, a FIFO, a folder: not a file of ours
  Foreign,  // another user's file (take() only)
  Failed,   // any other error (error())
};

// An exclusive hold on one file (flock, or a lock range on Windows), kept
// until released or destroyed. A process holds a file once: a second hold
// on the same file from the same process is Busy too.
class FileHold {
 public:
  FileHold() = default;
  ~FileHold();
  FileHold(FileHold&& other) noexcept;
  FileHold& operator=(FileHold&& other) noexcept;
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;

  // Creates `path`, which must not exist, empty (mode 0600) and held, in a
  // folder of our own (ownFolder; made when missing).
  HoldResult create(std::string_view path);
  // Holds the regular file at `path`.
  HoldResult take(std::string_view path);
  bool held() const;
  void release();
  int error() const { return error_; }

 private:
  HoldResult fail(int error);
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  int error_ = 0;
};

// A regular file of ours read where asked, a piece at a time: a reader of
// a large record need not hold all of it at once.
class RecordReader {
 public:
  RecordReader() = default;
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // False when the file cannot be read, is no regular file (or a link), or
  // exceeds maxBytes.
  bool open(std::string_view path, std::uint64_t maxBytes);
  // Its size when opened: the bytes a reader takes of it.
  std::uint64_t size() const { return size_; }
  // `count` bytes from `from` on to `to`; false on an error or when the
  // file ends before them.
  bool read(std::uint64_t from, std::size_t count, char* to);
  void close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  std::uint64_t size_ = 0;
};

// Its first `head` and last `tail` bytes, for a reader that needs only its
// ends; `complete` when the two hold the whole file (then `head` has it all).
struct FileEnds {
  std::string head, tail;
  std::uint64_t size = 0;
  bool complete = false;
};
std::optional<FileEnds> readOwnFileEnds(std::string_view path, std::size_t head, std::size_t tail);

// A record written front to back.
class RecordWriter {
 public:
  RecordWriter() = default;
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // An empty file at `path` (one reserved by its holder) is written in
  // place. Otherwise the content goes to a temporary of a unique name
  // beside it that commit() renames over `path`. The folder is made when
  // missing.
  bool create(std::string_view path);
  // Continues the record at `path`, first cutting it after its first
  // `keep` bytes (a torn last line must not stand between the record and
  // what is appended).
  bool openAppend(std::string_view path, std::uint64_t keep);
  bool write(std::string_view bytes);
  bool sync();  // the data written so far is on the disk
  // The content, synced, is in place at `path`, and so is its name.
  bool commit();
  void close();  // an uncommitted temporary is removed
  int error() const { return error_; }

 private:
  bool fail(int error);
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  std::string path_, temporary_;  // native
  bool committed_ = false;
  int error_ = 0;
};

// Whether `dir` is a folder of the program's own to keep records in: a real
// folder (no link), the user's, that no one else may write to (its group
// neither). With `create`, a missing one is made (mode 0700) first.
bool ownFolder(std::string_view dir, bool create);

// Removes a file of ours (a link there is removed, never its target).
bool removeOwnFile(std::string_view path);

}  // namespace qorin::platform
