// SPDX-License-Identifier: GPL-3.0-or-later
// Folders the program cannot read or change, made for tests that may run
// as root: one whose permissions refuse the listing, one whose path is
// longer than the system takes, and one no one may change.
#pragma once

#include <string>

#ifdef __linux__
#include <fcntl.h>
#include <limits.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>
#endif

namespace qorin::testing {

#ifdef __linux__

// Sets or clears the immutable flag of a file or folder: no one may change
// it, root included. False where the file system keeps no such flag.
inline bool setImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return ok;
}

// While it lives, the calling thread is denied what permissions deny, root
// included: the capabilities that override them are out of its effective set.
class PermissionsApply {
 public:
  PermissionsApply() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ok_ = ::syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~PermissionsApply() {
    if (ok_) ::syscall(SYS_capset, &header_, saved_);
  }
  PermissionsApply(const PermissionsApply&) = delete;
  PermissionsApply& operator=(const PermissionsApply&) = delete;
  bool ok() const { return ok_; }

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool ok_ = false;
};

// Folders nested under `base` (an existing folder, with its separator)
// until the whole path exceeds PATH_MAX; they go with the object, level by
// level, as no path reaches the deepest one.
class DeepFolder {
 public:
  explicit DeepFolder(const std::string& base) : base_(base), path_(base) {
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd >= 0 && path_.size() <= PATH_MAX) {
      if (::mkdirat(fd, kName.c_str(), 0755) != 0) break;
      const int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
      ++levels_;
      path_ += kName + "/";
    }
    if (fd >= 0) ::close(fd);
  }
  ~DeepFolder() {
    std::vector<int> fds{::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    for (int k = 0; k + 1 < levels_ && fds.back() >= 0; ++k)
      fds.push_back(::openat(fds.back(), kName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t k = fds.size(); k-- > 0;) {
      if (fds[k] >= 0) {
        ::unlinkat(fds[k], kName.c_str(), AT_REMOVEDIR);
        ::close(fds[k]);
      }
    }
  }
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;
  const std::string& path() const { return path_; }  // with its separator
  bool made() const { return path_.size() > PATH_MAX; }

 private:
  inline static const std::string kName = std::string(200, 'd');
  std::string base_, path_;
  int levels_ = 0;
};

#else

// Elsewhere no flag keeps a folder from change: the tests that need one skip.
inline bool setImmutable(const std::string&, bool) { return false; }

#endif

}  // namespace qorin::testing
