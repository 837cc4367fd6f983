// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder_lock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/fs.h"
#include "platform/record_file.h"

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

constexpr std::string_view kSuffix = ".lock";

std::string lockName(const FolderKey& k) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llx-%llx", static_cast<unsigned long long>(k.device),
                static_cast<unsigned long long>(k.inode));
  return buf + std::string(kSuffix);
}

std::string lockFolderOf(std::string_view stateDir) {
  return stateDir.empty() ? std::string() : std::string(stateDir) + "locks" + kSeparator;
}

#ifndef _WIN32

using Handle = int;

// The lock file at `path`, locked. A holder removes its file before it lets
// go, so a lock won on a file that no longer has the name is no one's: the
// name is opened again.
LockResult lockFile(const std::string& path, bool create, Handle& fd, int& error) {
  const auto native = nativePath(path);
  if (!native) {
    error = EILSEQ;
    return LockResult::Failed;
  }
  for (int attempt = 0; attempt < 16; ++attempt) {
    fd = ::open(native->c_str(), O_RDWR | (create ? O_CREAT : 0) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = errno;
      return LockResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      error = EINVAL;
      ::close(fd);
      return LockResult::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      error = errno;
      ::close(fd);
      return error == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
    }
    struct stat now {};
    if (::lstat(native->c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
      return LockResult::Held;
    ::close(fd);
  }
  error = EAGAIN;
  return LockResult::Failed;
}

// Removed while still locked, so no one can take a lock on it meanwhile.
void unlockFile(const std::string& path, Handle fd) {
  if (const auto native = nativePath(path)) ::unlink(native->c_str());
  ::close(fd);
}

int lastError() { return errno ? errno : EPERM; }

#else

using Handle = void*;

// Deleted by the system once no one has it open, a holder killed or not;
// while it waits to be, it cannot be opened, as when it is held.
LockResult lockFile(const std::string& path, bool create, Handle& handle, int& error) {
  const auto w = widePath(path);
  if (!w) {
    error = static_cast<int>(ERROR_NO_UNICODE_TRANSLATION);
    return LockResult::Failed;
  }
  HANDLE h = CreateFileW(
      w->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    error = static_cast<int>(e);
    return e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? LockResult::Busy : LockResult::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      GetFileType(h) != FILE_TYPE_DISK) {
    error = static_cast<int>(ERROR_INVALID_PARAMETER);
    CloseHandle(h);
    return LockResult::Failed;
  }
  OVERLAPPED at{};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD e = GetLastError();
    error = static_cast<int>(e);
    CloseHandle(h);
    return e == ERROR_LOCK_VIOLATION ? LockResult::Busy : LockResult::Failed;
  }
  handle = h;
  return LockResult::Held;
}

void unlockFile(const std::string&, Handle handle) { CloseHandle(static_cast<HANDLE>(handle)); }

int lastError() { return static_cast<int>(ERROR_ACCESS_DENIED); }

#endif

}  // namespace

FolderLocks::FolderLocks(std::string_view stateDir, std::vector<FolderKey> keys)
    : dir_(lockFolderOf(stateDir)), keys_(std::move(keys)) {
  std::sort(keys_.begin(), keys_.end());
  keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
}

FolderLocks::~FolderLocks() { release(); }

FolderLocks::FolderLocks(FolderLocks&& other) noexcept
    : dir_(std::move(other.dir_)),
      keys_(std::move(other.keys_)),
      held_(std::exchange(other.held_, {})),
      error_(other.error_) {}

FolderLocks& FolderLocks::operator=(FolderLocks&& other) noexcept {
  if (this != &other) {
    release();
    dir_ = std::move(other.dir_);
    keys_ = std::move(other.keys_);
    held_ = std::exchange(other.held_, {});
    error_ = other.error_;
  }
  return *this;
}

LockResult FolderLocks::take() {
  if (held()) return LockResult::Held;
  error_ = 0;
  if (dir_.empty()) {
    error_ = ENOENT;
    return LockResult::Failed;
  }
  // Only a folder of our own: no one else can have put a link or a file there.
  errno = 0;
  if (!ownFolder(dir_, true)) {
    error_ = lastError();
    return LockResult::Failed;
  }
  while (!held()) {
    Handle h{};
    const LockResult r = lockFile(dir_ + lockName(keys_[held_.size()]), true, h, error_);
    if (r != LockResult::Held) return r;
    held_.push_back(h);
  }
  return LockResult::Held;
}

void FolderLocks::release() {
  while (!held_.empty()) {
    unlockFile(dir_ + lockName(keys_[held_.size() - 1]), held_.back());
    held_.pop_back();
  }
}

void removeStaleFolderLocks(std::string_view stateDir) {
  const std::string dir = lockFolderOf(stateDir);
  if (dir.empty() || !ownFolder(dir, false)) return;
  for (const std::string& name : listFiles(dir).names) {
    if (!name.ends_with(kSuffix)) continue;
    Handle h{};
    int error = 0;
    if (lockFile(dir + name, false, h, error) == LockResult::Held) unlockFile(dir + name, h);
  }
}

}  // namespace qorin::platform
