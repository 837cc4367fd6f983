// An open file for the tag code: positioned reads and writes, and replacing a
// byte range (which moves the audio) atomically through a sibling temporary
// file, so a failure or crash leaves the file either as it was or as it should
// be. Paths are code-page (GB18030) text like everywhere else.
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

class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::uint64_t> length() override { return bytes_.size(); }
  bool readAt(std::uint64_t offset, std::size_t n, std::string& out) override;

 private:
  std::string_view bytes_;
};

enum class OpenMode { Read, ReadWrite };

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
  // inserting are the special cases). The new content goes to a temporary file
  // in the same directory, is flushed and renamed over the original with its
  // mode kept; on any failure the original is untouched and the result false.
  // Afterwards this object refers to the new file, positioned at its start.
  bool replaceRange(std::uint64_t offset, std::uint64_t oldLength, std::string_view newBytes);

 private:
  int fd_ = -1;
  bool writable_ = false;
  std::string path_;
};

// Test seam: the hook is asked before each of these steps and makes it fail by
// returning true. `path` is the path the file was opened with (for a write or
// rename during replaceRange, the original's path, not the temporary's).
enum class FileStep { OpenForWriting, Write, Rename };
using FileFaultHook = std::function<bool(FileStep step, std::string_view path)>;
void setFileFaultHook(FileFaultHook hook);  // an empty hook removes it

// The common case for window tests: opening `path` for writing fails (even as
// root). An empty path removes the fault.
void failOpenForWriting(std::string_view path);

}  // namespace qorin::platform
