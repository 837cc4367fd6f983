// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/record_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/fs.h"
#include "text/gbtext.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qorin::platform {

namespace {

std::string uniqueSuffix() {
  std::random_device rd;
  char buf[40];
  std::snprintf(buf, sizeof buf, ".%08x%08x.new", rd(), rd());
  return buf;
}

}  // namespace

#ifndef _WIN32

namespace {

// Opens a regular file of the user's without following a link at its last
// part and without waiting on a FIFO. Another user's file fails with EPERM:
// what it says is not the user's to act on, even for root.
int openRegular(const std::string& native, int flags, int& error) {
  const int fd = ::open(native.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    error = S_ISREG(st.st_mode) ? EPERM : EINVAL;
    ::close(fd);
    return -1;
  }
  // Regular files ignore O_NONBLOCK; it only kept the open from waiting.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool refusedError(int error) {
  return error == ELOOP || error == EINVAL || error == ENXIO || error == EISDIR;
}

}  // namespace

FileHold::~FileHold() { release(); }

FileHold::FileHold(FileHold&& other) noexcept : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
  }
  return *this;
}

HoldResult FileHold::fail(int error) {
  error_ = error ? error : EIO;
  release();
  if (error_ == EWOULDBLOCK) return HoldResult::Busy;
  if (error_ == ENOENT || error_ == EEXIST) return HoldResult::Missing;
  return refusedError(error_) ? HoldResult::Refused : HoldResult::Failed;
}

bool ownFolder(std::string_view dir, bool create) {
  const auto p = nativePath(dir);
  if (!p) return false;
  std::string path = *p;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (create && !createDirectories(dir)) return false;  // made 0700
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

HoldResult FileHold::create(std::string_view path) {
  release();
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  if (!ownFolder(directoryOf(path), true)) return fail(errno ? errno : EPERM);
  // Made and held under a name no one looks for, then given its own: no
  // other process can take it for a record whose owner has ended.
  const std::string reserved = *p + uniqueSuffix();
  int error = 0;
  fd_ = openRegular(reserved, O_RDWR | O_CREAT | O_EXCL, error);
  if (fd_ < 0) return fail(error);
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::unlink(reserved.c_str());
    return fail(e);
  }
  const auto gbReserved = text::utf8ToGb(reserved);
  if (!gbReserved || renameNoReplace(*gbReserved, path) != RenameResult::Renamed) {
    const int e = errno ? errno : EEXIST;
    ::unlink(reserved.c_str());
    return fail(e);
  }
  return HoldResult::Held;
}

HoldResult FileHold::take(std::string_view path) {
  release();
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  int error = 0;
  fd_ = openRegular(*p, O_RDONLY, error);
  if (fd_ < 0 && error == EPERM) {
    error_ = error;
    return HoldResult::Foreign;
  }
  if (fd_ < 0) return fail(error);
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return fail(errno);
  return HoldResult::Held;
}

bool FileHold::held() const { return fd_ >= 0; }

void FileHold::release() {
  if (fd_ < 0) return;
  ::close(fd_);  // the lock goes with the last descriptor of the open file
  fd_ = -1;
}

RecordReader::~RecordReader() { close(); }

bool RecordReader::open(std::string_view path, std::uint64_t maxBytes) {
  close();
  const auto p = nativePath(path);
  if (!p) return false;
  int error = 0;
  fd_ = openRegular(*p, O_RDONLY, error);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    close();
    return false;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool RecordReader::read(std::uint64_t from, std::size_t count, char* to) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, to + done, count - done, static_cast<off_t>(from + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void RecordReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

RecordWriter::~RecordWriter() { close(); }

bool RecordWriter::fail(int error) {
  error_ = error ? error : EIO;
  return false;
}

bool RecordWriter::create(std::string_view path) {
  close();
  error_ = 0;
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  if (!createDirectories(directoryOf(path))) return fail(errno);
  path_ = *p;
  temporary_.clear();
  int error = 0;
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
    fd_ = openRegular(path_, O_WRONLY, error);  // reserved by its holder: written in place
    if (fd_ < 0) return fail(error);
    committed_ = false;
    return true;
  }
  // A unique name: two writers never share a temporary, and a link
  // planted at a name cannot be written through.
  temporary_ = path_ + uniqueSuffix();
  fd_ = openRegular(temporary_, O_WRONLY | O_CREAT | O_EXCL, error);
  if (fd_ < 0) {
    temporary_.clear();
    return fail(error);
  }
  committed_ = false;
  return true;
}

bool RecordWriter::openAppend(std::string_view path, std::uint64_t keep) {
  close();
  error_ = 0;
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  path_ = *p;
  temporary_.clear();
  int error = 0;
  fd_ = openRegular(path_, O_WRONLY | O_APPEND, error);
  if (fd_ < 0) return fail(error);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return fail(errno);
  if (static_cast<std::uint64_t>(st.st_size) > keep &&
      (::ftruncate(fd_, static_cast<off_t>(keep)) != 0 || ::fdatasync(fd_) != 0))
    return fail(errno);
  committed_ = true;
  return true;
}

bool RecordWriter::write(std::string_view bytes) {
  if (fd_ < 0) return fail(EBADF);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) return fail(ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool RecordWriter::sync() {
  if (fd_ < 0) return fail(EBADF);
  return ::fdatasync(fd_) == 0 || fail(errno);
}

bool RecordWriter::commit() {
  if (fd_ < 0) return fail(EBADF);
  if (committed_) return true;
  if (::fdatasync(fd_) != 0) return fail(errno);
  if (!temporary_.empty() && ::rename(temporary_.c_str(), path_.c_str()) != 0) return fail(errno);
  committed_ = true;
  // The record's name is on the disk before the first rename it describes.
  const auto slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

void RecordWriter::close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool removeOwnFile(std::string_view path) {
  const auto p = nativePath(path);
  return p && ::unlink(p->c_str()) == 0;
}

#else  // _WIN32

namespace {

// Far beyond any record's end: locking there keeps others' reads free.
constexpr DWORD kLockOffsetHigh = 0x40000000;

HANDLE openRegular(const std::string& path, DWORD access, DWORD disposition, DWORD& error) {
  const auto w = widePath(path);
  if (!w) {
    error = ERROR_NO_UNICODE_TRANSLATION;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = CreateFileW(w->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return h;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      GetFileType(h) != FILE_TYPE_DISK) {
    error = ERROR_INVALID_PARAMETER;
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

// Opened and locked, or INVALID_HANDLE_VALUE with `error`.
HANDLE openLocked(const std::string& path, DWORD access, DWORD disposition, DWORD& error) {
  HANDLE h = openRegular(path, access, disposition, error);
  if (h == INVALID_HANDLE_VALUE) return h;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    error = GetLastError();
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace

FileHold::~FileHold() { release(); }

FileHold::FileHold(FileHold&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(other.error_) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = other.error_;
  }
  return *this;
}

HoldResult FileHold::fail(int error) {
  error_ = error ? error : static_cast<int>(ERROR_GEN_FAILURE);
  release();
  switch (error_) {
    case ERROR_LOCK_VIOLATION:
      return HoldResult::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_EXISTS:
      return HoldResult::Missing;
    case ERROR_INVALID_PARAMETER:
      return HoldResult::Refused;
    default:
      return HoldResult::Failed;
  }
}

bool ownFolder(std::string_view dir, bool create) {
  const auto w = widePath(dir);
  if (!w) return false;
  if (create && !createDirectories(dir)) return false;
  const DWORD a = GetFileAttributesW(w->c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

HoldResult FileHold::create(std::string_view path) {
  release();
  if (!ownFolder(directoryOf(path), true)) return fail(static_cast<int>(ERROR_ACCESS_DENIED));
  DWORD error = 0;
  HANDLE h = openLocked(std::string(path), GENERIC_READ | GENERIC_WRITE, CREATE_NEW, error);
  if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(error));
  handle_ = h;
  return HoldResult::Held;
}

HoldResult FileHold::take(std::string_view path) {
  release();
  DWORD error = 0;
  HANDLE h = openLocked(std::string(path), GENERIC_READ, OPEN_EXISTING, error);
  if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(error));
  handle_ = h;
  return HoldResult::Held;
}

bool FileHold::held() const { return handle_ != nullptr; }

void FileHold::release() {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));  // the lock goes with the handle
  handle_ = nullptr;
}

RecordReader::~RecordReader() { close(); }

bool RecordReader::open(std::string_view path, std::uint64_t maxBytes) {
  close();
  DWORD error = 0;
  HANDLE h = openRegular(std::string(path), GENERIC_READ, OPEN_EXISTING, error);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size) || static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
    close();
    return false;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool RecordReader::read(std::uint64_t from, std::size_t count, char* to) {
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    const std::uint64_t pos = from + done;
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    if (!ReadFile(static_cast<HANDLE>(handle_), to + done, chunk, &n, &at) || n == 0) return false;
    done += n;
  }
  return true;
}

void RecordReader::close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  size_ = 0;
}

RecordWriter::~RecordWriter() { close(); }

bool RecordWriter::fail(int error) {
  error_ = error ? error : static_cast<int>(ERROR_WRITE_FAULT);
  return false;
}

bool RecordWriter::create(std::string_view path) {
  close();
  error_ = 0;
  if (!createDirectories(directoryOf(path))) return fail(static_cast<int>(GetLastError()));
  path_ = std::string(path);
  temporary_.clear();
  DWORD error = 0;
  HANDLE h = openRegular(path_, GENERIC_WRITE, OPEN_EXISTING, error);
  if (h != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size) && size.QuadPart == 0) {
      handle_ = h;  // reserved by its holder: written in place
      committed_ = false;
      return true;
    }
    CloseHandle(h);
  }
  temporary_ = path_ + uniqueSuffix();
  h = openRegular(temporary_, GENERIC_WRITE, CREATE_NEW, error);
  if (h == INVALID_HANDLE_VALUE) {
    temporary_.clear();
    return fail(static_cast<int>(error));
  }
  handle_ = h;
  committed_ = false;
  return true;
}

bool RecordWriter::openAppend(std::string_view path, std::uint64_t keep) {
  close();
  error_ = 0;
  path_ = std::string(path);
  temporary_.clear();
  DWORD error = 0;
  HANDLE h = openRegular(path_, GENERIC_WRITE, OPEN_EXISTING, error);
  if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(error));
  handle_ = h;
  LARGE_INTEGER size{}, at{};
  if (!GetFileSizeEx(h, &size)) return fail(static_cast<int>(GetLastError()));
  if (static_cast<std::uint64_t>(size.QuadPart) > keep) {
    at.QuadPart = static_cast<LONGLONG>(keep);
    if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN) || !SetEndOfFile(h) || !FlushFileBuffers(h))
      return fail(static_cast<int>(GetLastError()));
  }
  at.QuadPart = 0;
  if (!SetFilePointerEx(h, at, nullptr, FILE_END)) return fail(static_cast<int>(GetLastError()));
  committed_ = true;
  return true;
}

bool RecordWriter::write(std::string_view bytes) {
  if (!handle_) return fail(static_cast<int>(ERROR_INVALID_HANDLE));
  while (!bytes.empty()) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data(), chunk, &done, nullptr) || done == 0)
      return fail(static_cast<int>(GetLastError()));
    bytes.remove_prefix(done);
  }
  return true;
}

bool RecordWriter::sync() {
  if (!handle_) return fail(static_cast<int>(ERROR_INVALID_HANDLE));
  return FlushFileBuffers(static_cast<HANDLE>(handle_)) || fail(static_cast<int>(GetLastError()));
}

bool RecordWriter::commit() {
  if (!handle_) return fail(static_cast<int>(ERROR_INVALID_HANDLE));
  if (committed_) return true;
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) return fail(static_cast<int>(GetLastError()));
  if (!temporary_.empty()) {
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    const auto src = widePath(temporary_), dst = widePath(path_);
    if (!src || !dst ||
        !MoveFileExW(src->c_str(), dst->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD e = GetLastError();
      if (src) DeleteFileW(src->c_str());
      temporary_.clear();
      return fail(static_cast<int>(e));
    }
    // Appends after a commit go to the file in its place.
    DWORD error = 0;
    HANDLE h = openRegular(path_, GENERIC_WRITE, OPEN_EXISTING, error);
    if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(error));
    LARGE_INTEGER zero{};
    SetFilePointerEx(h, zero, nullptr, FILE_END);
    handle_ = h;
  }
  committed_ = true;
  return true;
}

void RecordWriter::close() {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  if (!committed_ && !temporary_.empty())
    if (const auto w = widePath(temporary_)) DeleteFileW(w->c_str());
  temporary_.clear();
}

bool removeOwnFile(std::string_view path) {
  const auto w = widePath(path);
  return w && DeleteFileW(w->c_str());
}

#endif

std::optional<FileEnds> readOwnFileEnds(std::string_view path, std::size_t head, std::size_t tail) {
  RecordReader file;
  if (!file.open(path, UINT64_MAX)) return std::nullopt;
  FileEnds out;
  out.size = file.size();
  out.complete = out.size <= head + tail;
  out.head.resize(out.complete ? static_cast<std::size_t>(out.size) : head);
  out.tail.resize(out.complete ? 0 : tail);
  if (!file.read(0, out.head.size(), out.head.data()) ||
      !file.read(out.size - out.tail.size(), out.tail.size(), out.tail.data()))
    return std::nullopt;
  return out;
}

}  // namespace qorin::platform
