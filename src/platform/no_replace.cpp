// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/no_replace.h"

#include "platform/fs.h"

#include <algorithm>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>
#endif

namespace qorin::platform {

NoReplaceWay RenameWays::wayFor(std::uint64_t device) const {
  const auto it =
      std::find_if(learned_.begin(), learned_.end(), [device](const auto& e) { return e.first == device; });
  return it == learned_.end() ? NoReplaceWay::Flag : it->second;
}

void RenameWays::learn(std::uint64_t device, NoReplaceWay way) {
  const auto it =
      std::find_if(learned_.begin(), learned_.end(), [device](const auto& e) { return e.first == device; });
  if (it == learned_.end())
    learned_.emplace_back(device, way);
  else
    it->second = way;
}

#ifndef _WIN32
namespace detail {
namespace {

// Errors that say the file system does not do it at all, rather than that
// this rename cannot be made.
bool flagRefused(int e) { return e == EINVAL || e == ENOSYS || e == ENOTSUP || e == EOPNOTSUPP; }
bool linkRefused(int e) { return e == EPERM || e == ENOSYS || e == ENOTSUP || e == EOPNOTSUPP; }

// A rename that did not go ahead because its intent could not be recorded:
// no other way is tried.
constexpr int kUnrecorded = -2;

int byFlag(int fd, const char* from, const char* to, const RenameWays& ways) {
  if (ways.refuses(NoReplaceWay::Flag)) {
    errno = EINVAL;
    return -1;
  }
#ifdef SYS_renameat2
  ways.atCall();
  return ::syscall(SYS_renameat2, fd, from, fd, to, 1 /* RENAME_NOREPLACE */) == 0 ? 0 : -1;
#else
  errno = ENOSYS;
  return -1;
#endif
}

// The record hears first: a kill between the link and the unlink leaves a
// second name it knows to be ours.
int byLink(int fd, const char* from, const char* to, const RenameWays& ways) {
  if (ways.refuses(NoReplaceWay::Link)) {
    errno = EPERM;
    return -1;
  }
  if (RenameIntents* intents = ways.intents()) {
    ways.atCall();
    if (const int e = intents->linking()) {
      errno = e;
      return kUnrecorded;
    }
  }
  ways.atCall();
  if (::linkat(fd, from, fd, to, 0) != 0) return -1;
  ways.atCall();
  if (::unlinkat(fd, from, 0) != 0) {
    const int saved = errno;
    ways.atCall();
    ::unlinkat(fd, to, 0);  // back out: the second name is ours and points at the same file
    errno = saved;
    return -1;
  }
  return 0;
}

bool sameEmptyFile(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev && S_ISREG(b.st_mode) && b.st_size == 0;
}

// The name is claimed with O_EXCL, so a file that was there before (under
// any spelling, where the file system ignores case) makes it fail and is
// never touched. Between the claim and the rename another process could put
// a file of its own over our placeholder, and the rename would then replace
// that one: a file made after we took the name, in a name that was ours and
// empty, which no one had reason to use; no file of the user that existed
// before can be lost that way. The record hears of the claim before it is
// made and of the placeholder's inode before the rename, so a kill between
// them leaves nothing the recovery cannot tell for ours.
int byPlaceholder(int fd, const char* from, const char* to, const RenameWays& ways) {
  RenameIntents* const intents = ways.intents();
  if (intents) {
    ways.atCall();
    if (const int e = intents->claiming()) {
      errno = e;
      return -1;
    }
  }
  // No look at `from` first: a source that is gone fails the rename, and
  // the placeholder goes again; on FUSE every look is a round trip.
  ways.atCall();
  const int p = ::openat(fd, to, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (p < 0) {
    const int saved = errno;
    if (intents) intents->claimed(0);
    errno = saved;
    return -1;
  }
  struct stat ours {};
  ways.atCall();
  const bool known = ::fstat(p, &ours) == 0;
  if (intents && known) {
    ways.atCall();
    intents->claimed(static_cast<std::uint64_t>(ours.st_ino));
  }
  // Closed before the rename: FUSE keeps an open file that is renamed over
  // as a hidden ".fuse_hidden" entry until it is closed.
  ways.atCall();
  ::close(p);
  ways.atCall();
  if (::renameat(fd, from, fd, to) == 0) return 0;
  const int saved = errno;
  // Removed only while it is still the empty file we made.
  struct stat now {};
  ways.atCall();
  if (known && ::fstatat(fd, to, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameEmptyFile(ours, now)) {
    ways.atCall();
    ::unlinkat(fd, to, 0);
  }
  errno = saved;
  return -1;
}

}  // namespace

int renameNoReplaceAt(int fd, const char* from, const char* to, RenameWays& ways, std::uint64_t device) {
  NoReplaceWay way = ways.wayFor(device);
  if (way == NoReplaceWay::Flag) {
    if (byFlag(fd, from, to, ways) == 0) return 0;
    if (!flagRefused(errno)) return -1;
    way = NoReplaceWay::Link;
    ways.learn(device, way);
  }
  if (way == NoReplaceWay::Link) {
    const int r = byLink(fd, from, to, ways);
    if (r == 0) return 0;
    if (r == kUnrecorded || !linkRefused(errno)) return -1;
    way = NoReplaceWay::Placeholder;
    ways.learn(device, way);
  }
  return byPlaceholder(fd, from, to, ways);
}

bool ignoresCaseAt(int fd) {
  std::random_device rd;
  char lower[48];
  std::snprintf(lower, sizeof lower, ".qorin-case-%08x%08x.tmp", rd(), rd());
  char upper[48];
  for (std::size_t i = 0; i < sizeof lower; ++i)
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[i])));
  const int p = ::openat(fd, lower, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (p < 0) return false;
  struct stat ours {};
  const bool known = ::fstat(p, &ours) == 0;
  ::close(p);
  // No one else spells our random name, so finding it under the other case
  // is enough: FUSE gives each spelling an inode number of its own.
  struct stat other {};
  const bool same = known && ::fstatat(fd, upper, &other, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(other.st_mode) && other.st_size == 0;
  struct stat now {};
  if (known && ::fstatat(fd, lower, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameEmptyFile(ours, now))
    ::unlinkat(fd, lower, 0);
  return same;
}

}  // namespace detail
#endif

}  // namespace qorin::platform
