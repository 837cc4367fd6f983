// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX half of open_file.h: replacing a file's bytes through a new
// file or in place with a backup, putting backups back, clearing temporaries.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include "platform/fs.h"
#include "platform/open_file.h"
#include "platform/open_file_io.h"
#include "platform/record_file.h"

namespace qorin::platform {

using detail::injectedFault;
using namespace io;

namespace {

// A temporary this old is abandoned: a write names it only to rename it at once.
constexpr std::time_t kStaleSeconds = 60;

// The pid in a name "<prefix><pid>-...", or 0.
long pidInName(std::string_view name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix) return 0;
  long pid = 0;
  std::size_t i = prefix.size();
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 1L << 30; ++i)
    pid = pid * 10 + (name[i] - '0');
  return i < name.size() && name[i] == '-' ? pid : 0;
}

// ".qorin-new-<pid>-<16 hex digits>.tmp", exactly as tempName makes them.
bool isTempName(std::string_view name) {
  if (pidInName(name, kTempPrefix) == 0) return false;
  const std::string_view rest = name.substr(name.find('-', kTempPrefix.size()) + 1);
  constexpr std::size_t kDigits = 16;
  return rest.size() == kDigits + kTempSuffix.size() && rest.substr(kDigits) == kTempSuffix &&
         std::all_of(rest.begin(), rest.begin() + kDigits,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

constexpr const char* kBackupFolder = "tag-backups";
// A backup: this mark, the original's path (length first), its device and
// inode, the length of the bytes, then the bytes. Numbers little-endian.
constexpr std::string_view kBackupMark = "QORBAK01";

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void syncDirectory(const std::string& dir) {
  const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d < 0) return;
  ::fsync(d);
  ::close(d);
}

bool processEnded(long pid) {
  return pid > 0 && pid != processId() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

int removeStaleIn(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  const std::time_t now = std::time(nullptr);
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (!isTempName(name)) continue;
    const long pid = pidInName(name, kTempPrefix);
    struct stat st {};
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if ((now - st.st_mtime > kStaleSeconds || processEnded(pid)) && ::unlinkat(::dirfd(d), e->d_name, 0) == 0)
      ++removed;
  }
  ::closedir(d);
  return removed;
}

// Gives the new file what the original has: owner, group, mode, extended
// attributes (ACLs among them). False when one of them cannot be given; the
// system sets the security labels of a new file itself. What the new file has
// already is not asked for: FAT through FUSE refuses chown and chmod outright,
// and every file there has the same owner and mode anyway.
bool copyAttributes(int from, int to, const struct stat& st) {
  struct stat now {};
  if (::fstat(to, &now) != 0) return false;
  if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) && ::fchown(to, st.st_uid, st.st_gid) != 0)
    return false;
  if ((now.st_mode & 07777) != (st.st_mode & 07777) && ::fchmod(to, st.st_mode & 07777) != 0) return false;
#ifdef __linux__
  const ssize_t n = ::flistxattr(from, nullptr, 0);
  if (n < 0) return errno == EOPNOTSUPP || errno == ENOSYS;  // a file system without them
  std::string names(static_cast<std::size_t>(n), '\0');
  const ssize_t got = ::flistxattr(from, names.data(), names.size());
  if (got < 0) return false;
  names.resize(static_cast<std::size_t>(got));
  for (std::size_t at = 0; at < names.size();) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    if (name.rfind("security.", 0) == 0) continue;
    const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
    if (size < 0) return false;
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t read = ::fgetxattr(from, name.c_str(), value.data(), value.size());
    if (read < 0 || ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(read), 0) != 0)
      return false;
  }
#else
  (void)from;
#endif
  return true;
}

// The file at `path` opened for writing again if it still is the one `st`
// describes, else -1; errno as it was.
int reopen(const std::string& path, const struct stat& st) {
  const int error = errno;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  struct stat now {};
  if (fd >= 0 && (::fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)) {
    ::close(fd);
    fd = -1;
  }
  errno = error;
  return fd;
}

// KeepInodeFolder: the folder refused a new file.
enum class Outcome { Done, Failed, KeepInode, KeepInodeFolder };

struct Replacement {
  int fd;  // the original
  std::uint64_t length, offset, tailFrom;
  std::string_view newBytes;
  std::string_view faultPath;
};

// Writes the new content to a file of its own in `dir` and renames it over
// `target`. The file has no name (O_TMPFILE) until it is complete, so a crash
// leaves nothing; where the file system cannot do that (FUSE, NFS) it has a
// temporary name from the start. `fd` is the original (r.fd); afterwards it is
// the new file, or on failure the original again (-1 when it could not be
// opened again).
Outcome replaceByNewFile(const Replacement& r, const struct stat& st, const std::string& target,
                         const std::string& dir, int& fd) {
  std::string tmp;
  int t = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (t < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    tmp = dir + tempName();
    t = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  }
  if (t < 0) return errno == EACCES || errno == EPERM ? Outcome::KeepInodeFolder : Outcome::Failed;
  const auto discard = [&] {
    const int error = errno;  // the caller names the failure by it
    ::close(t);
    if (!tmp.empty()) ::unlink(tmp.c_str());
    errno = error;
  };
  if (!copyAttributes(r.fd, t, st)) {
    discard();
    return Outcome::KeepInode;
  }
  const Fault write{FileStep::Write, r.faultPath};
  bool ok = copyRange(r.fd, 0, r.offset, t, write) && writeAll(t, r.newBytes, write) &&
            copyRange(r.fd, r.tailFrom, r.length - r.tailFrom, t, write) && ::fsync(t) == 0 &&
            !injectedFault(FileStep::Rename, r.faultPath);
  if (ok && tmp.empty()) {
    // Named only now, and renamed at once.
    const std::string name = dir + tempName();
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", t);
    ok = ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (ok) tmp = name;
  }
  if (ok) {
    // A file renamed over while open lives on under another name until it is
    // closed (".fuse_hidden..." on FUSE, ".nfs..." on NFS): let go of it first.
    ::close(fd);
    fd = -1;
    ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) fd = reopen(target, st);
  }
  if (!ok) {
    discard();
    return Outcome::Failed;
  }
  syncDirectory(dir);
  // fusefat keeps writing a handle's size into the directory entry it was
  // opened under, which the rename removed: open the file under its new name.
  struct stat made {};
  fd = ::fstat(t, &made) == 0 ? reopen(target, made) : -1;
  if (fd >= 0) {
    ::close(t);
  } else {
    fd = t;
  }
  return Outcome::Done;
}

std::string le(std::uint64_t v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

std::uint64_t fromLe(std::string_view b) {
  std::uint64_t v = 0;
  for (std::size_t i = b.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[i]);
  return v;
}

struct BackupHead {
  std::string path;
  std::uint64_t device = 0, inode = 0, length = 0, dataAt = 0;
};

std::optional<BackupHead> readBackupHead(int fd) {
  std::string fixed(kBackupMark.size() + 4, '\0');
  std::size_t got = 0;
  if (!sysPread(fd, 0, fixed.data(), fixed.size(), got) || got != fixed.size() ||
      std::string_view(fixed).substr(0, kBackupMark.size()) != kBackupMark)
    return std::nullopt;
  const std::uint64_t pathLength = fromLe(std::string_view(fixed).substr(kBackupMark.size()));
  if (pathLength > PATH_MAX) return std::nullopt;
  std::string rest(static_cast<std::size_t>(pathLength) + 24, '\0');
  if (!sysPread(fd, fixed.size(), rest.data(), rest.size(), got) || got != rest.size()) return std::nullopt;
  BackupHead h;
  h.path = rest.substr(0, static_cast<std::size_t>(pathLength));
  const std::string_view numbers = std::string_view(rest).substr(static_cast<std::size_t>(pathLength));
  h.device = fromLe(numbers.substr(0, 8));
  h.inode = fromLe(numbers.substr(8, 8));
  h.length = fromLe(numbers.substr(16, 8));
  h.dataAt = fixed.size() + rest.size();
  return h;
}

// Puts the backup's bytes back into the file `f` in place.
bool putBack(int backup, const BackupHead& h, int f) {
  const Fault none{FileStep::Write, {}, false};
  return ::lseek(f, 0, SEEK_SET) == 0 && copyRange(backup, h.dataAt, h.length, f, none) &&
         ::ftruncate(f, static_cast<off_t>(h.length)) == 0 && ::fsync(f) == 0;
}

// A file that must keep its inode: its bytes go to a backup under
// `stateDir` first (complete and flushed before the file is touched), then it
// is rewritten in place and the backup removed. A failure midway puts the
// original back from the backup; a crash leaves the backup for
// restorePendingBackups.
bool rewriteInPlace(const Replacement& r, const struct stat& st, const std::string& target,
                    const std::string& stateDir) {
  const std::string dir = stateDir + "/" + kBackupFolder + "/";
  char base[64];
  std::snprintf(base, sizeof base, "%ld-%016llx", processId(),
                static_cast<unsigned long long>(randomNumber()));
  const std::string part = dir + base + ".part", done = dir + base + ".bak";
  const int b = ::open(part.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (b < 0) return false;
  BackupHead head{target, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                  r.length, 0};
  const std::string header = std::string(kBackupMark) + le(target.size(), 4) + target + le(head.device, 8) +
                             le(head.inode, 8) + le(head.length, 8);
  head.dataAt = header.size();
  const Fault backup{FileStep::Backup, r.faultPath};
  const bool saved = writeAll(b, header, backup) && copyRange(r.fd, 0, r.length, b, backup) &&
                     ::fsync(b) == 0 && ::rename(part.c_str(), done.c_str()) == 0;
  if (!saved) {
    ::close(b);
    ::unlink(part.c_str());
    return false;
  }
  syncDirectory(dir);

  const Fault write{FileStep::Write, r.faultPath};
  const std::uint64_t newLength = r.length - (r.tailFrom - r.offset) + r.newBytes.size();
  const bool ok = ::lseek(r.fd, static_cast<off_t>(r.offset), SEEK_SET) >= 0 &&
                  writeAll(r.fd, r.newBytes, write) &&
                  copyRange(b, head.dataAt + r.tailFrom, r.length - r.tailFrom, r.fd, write) &&
                  ::ftruncate(r.fd, static_cast<off_t>(newLength)) == 0 && ::fsync(r.fd) == 0;
  const bool restored = ok || putBack(b, head, r.fd);
  ::close(b);
  if (restored) {
    ::unlink(done.c_str());
    syncDirectory(dir);
  }
  return ok;
}

bool restoreBackup(const std::string& path) {
  // Only a regular file of ours: a FIFO there is not waited on, a link not followed.
  const int b = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (b < 0) return false;
  struct stat bs {
  }, fs{};
  const bool own = ::fstat(b, &bs) == 0 && S_ISREG(bs.st_mode) && bs.st_uid == ::geteuid();
  const auto head = own ? readBackupHead(b) : std::nullopt;
  bool ok = head && static_cast<std::uint64_t>(bs.st_size) == head->dataAt + head->length;
  const int f = ok ? ::open(head->path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1;
  // Only into the very file it came from.
  ok = f >= 0 && ::fstat(f, &fs) == 0 && S_ISREG(fs.st_mode) &&
       static_cast<std::uint64_t>(fs.st_dev) == head->device &&
       static_cast<std::uint64_t>(fs.st_ino) == head->inode && putBack(b, *head, f);
  if (f >= 0) ::close(f);
  ::close(b);
  if (ok) ::unlink(path.c_str());
  return ok;
}

}  // namespace

bool OpenFile::replaceRange(std::uint64_t offset, std::uint64_t oldLength, std::string_view newBytes,
                            std::string_view stateDir) {
  lackedBackupFolder_ = false;
  failure_ = IoFailure::None;
  if (!isWritable()) return fail(EBADF);
  const auto len = length();
  if (!len || offset > *len || oldLength > *len - offset) return fail(EINVAL);
  const auto native = nativePath(path_);
  if (!native) return fail(EINVAL);
  // Replace the file a symbolic link points to, not the link.
  std::string target = *native;
  if (char resolved[PATH_MAX]; ::realpath(native->c_str(), resolved)) target = resolved;
  const std::string dir = parentOf(target);
  removeStaleIn(dir);

  struct stat st {};
  if (::fstat(fd_, &st) != 0) return fail(errno);
  const Replacement r{fd_, *len, offset, offset + oldLength, newBytes, path_};
  // A second name would keep the old content: such a file keeps its inode.
  Outcome outcome = Outcome::KeepInode;
  if (st.st_nlink <= 1) outcome = replaceByNewFile(r, st, target, dir, fd_);
  if (outcome == Outcome::Failed) {
    const int error = errno;
    if (fd_ < 0) close();
    return fail(error);
  }
  if (outcome != Outcome::Done) {
    // A backup folder others may write to is none: its backups would not be put back.
    if (stateDir.empty() || !ownFolder(withSeparator(stateDir) + kBackupFolder, true)) {
      lackedBackupFolder_ = true;
      failure_ =
          outcome == Outcome::KeepInodeFolder ? IoFailure::FolderNotWritable : IoFailure::NoBackupFolder;
      return false;
    }
    const auto nativeState = nativePath(stateDir);
    if (!nativeState) return fail(EINVAL);
    if (!rewriteInPlace(r, st, target, *nativeState)) return fail(errno);
  }
  ::lseek(fd_, 0, SEEK_SET);
  return true;
}

BackupRestore restorePendingBackups(std::string_view stateDir) {
  BackupRestore out;
  const auto native = nativePath(stateDir);
  if (stateDir.empty() || !native) return out;  // "" + "/tag-backups/" would be a folder at the root
  const std::string dir = *native + "/" + kBackupFolder + "/";
  // Backups name the files they go back into: none from a folder others could write to.
  if (!ownFolder(withSeparator(stateDir) + kBackupFolder, false)) return out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
  ::closedir(d);
  for (const std::string& name : names) {
    const bool part = name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
    const bool bak = name.size() > 4 && name.compare(name.size() - 4, 4, ".bak") == 0;
    if (!part && !bak) continue;
    // Another running copy of the program may be at work on it.
    const long pid = pidInName(name, "");
    if (pid == processId() || (pid > 0 && !processEnded(pid))) continue;
    if (part) {
      ::unlink((dir + name).c_str());  // never complete: its file was not touched
    } else if (restoreBackup(dir + name)) {
      ++out.restored;
    } else {
      ++out.failed;
    }
  }
  return out;
}

int removeStaleTemporaries(std::string_view dir) {
  const auto native = nativePath(withSeparator(dir));
  return native ? removeStaleIn(*native) : 0;
}

}  // namespace qorin::platform
#endif
