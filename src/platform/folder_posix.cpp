// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX folder handle of fs.h: a folder held open, and the names in it
// asked about and renamed through that handle.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/fs.h"
#include "platform/names.h"
#include "platform/no_replace.h"
#include "text/gbtext.h"

namespace qorin::platform {
Folder::Folder(std::string_view dir) {
  const auto p = nativePath(withSeparator(dir));
  if (!p) {
    error_ = EILSEQ;
    return;
  }
  fd_ = ::open(p->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    identity_.device = static_cast<std::uint64_t>(st.st_dev);
    identity_.inode = static_cast<std::uint64_t>(st.st_ino);
  }
}

Folder::Folder(std::string_view dir, const FileIdentity& expected, bool anyDevice) {
  const auto p = nativePath(withSeparator(dir));
  if (!p) {
    error_ = EILSEQ;
    return;
  }
  // Without its separator, so that O_NOFOLLOW sees the last part of the path.
  std::string path = *p;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  // A link there now: followed only to see where it leads, which the
  // identity below accepts only when it is the folder itself (the user may
  // have chosen a link to a folder).
  if (fd < 0 && (errno == ELOOP || errno == ENOTDIR))
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    changed_ = error_ == ENOENT || error_ == ENOTDIR || error_ == ELOOP;
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_ino) != expected.inode ||
      (!anyDevice && static_cast<std::uint64_t>(st.st_dev) != expected.device)) {
    error_ = ENOENT;
    changed_ = true;
    ::close(fd);
    return;
  }
  fd_ = fd;
  identity_.device = static_cast<std::uint64_t>(st.st_dev);
  identity_.inode = static_cast<std::uint64_t>(st.st_ino);
}

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      error_(other.error_),
      changed_(other.changed_),
      identity_(other.identity_),
      shared_(other.shared_),
      own_(std::move(other.own_)),
      ignoresCase_(other.ignoresCase_) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    changed_ = other.changed_;
    identity_ = other.identity_;
    shared_ = other.shared_;
    own_ = std::move(other.own_);
    ignoresCase_ = other.ignoresCase_;
  }
  return *this;
}

bool Folder::isOpen() const { return fd_ >= 0; }

bool Folder::enter() const { return fd_ >= 0 && ::fchdir(fd_) == 0; }

std::size_t Folder::nameLimit() const {
  if (fd_ < 0) return 255;
  const long n = ::fpathconf(fd_, _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : 255;
}
namespace {
// One name in the system's encoding, ending in NUL; the usual short ASCII
// name needs no allocation, which a pass over thousands of files notices.
class ShortNative {
 public:
  explicit ShortNative(std::string_view gb) {
    if (gb.size() < sizeof small_ && text::isAscii(gb) && gb.find('\0') == std::string_view::npos) {
      std::memcpy(small_, gb.data(), gb.size());
      small_[gb.size()] = '\0';
      ptr_ = small_;
    } else if (auto p = nativePath(gb)) {
      big_ = std::move(*p);
      ptr_ = big_.c_str();
    }
  }
  explicit operator bool() const { return ptr_ != nullptr; }
  const char* c_str() const { return ptr_; }

 private:
  char small_[256];
  std::string big_;
  const char* ptr_ = nullptr;
};

std::optional<FileIdentity> identityAt(int fd, const char* name);
Folder::Outcome renameAt(int fd, const char* from, const char* to, RenameWays& ways, std::uint64_t device);
}  // namespace

std::optional<NativeName> NativeName::of(std::string_view name) {
  auto p = nativePath(name);
  if (!p) return std::nullopt;
  NativeName n;
  n.bytes_ = std::move(*p);
  return n;
}

std::optional<FileIdentity> Folder::identityOf(std::string_view name) const {
  const ShortNative n(name);
  return n ? identityAt(fd_, n.c_str()) : std::nullopt;
}

std::optional<FileIdentity> Folder::identityOf(const NativeName& name) const {
  return identityAt(fd_, name.bytes_.c_str());
}

namespace {
std::optional<FileIdentity> identityAt(int fd, const char* n) {
  if (fd < 0) return std::nullopt;
#ifdef STATX_BTIME
  struct statx sx {};
  if (::statx(fd, n, AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_SIZE | STATX_BTIME, &sx) == 0) {
    FileIdentity id{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, sx.stx_size, 0};
    if (sx.stx_mask & STATX_BTIME)
      id.birth = static_cast<std::uint64_t>(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec;
    return id;
  }
  if (errno != ENOSYS) return std::nullopt;
#endif
  struct stat st {};
  if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::uint64_t>(st.st_size), 0};
}

Folder::Outcome renameAt(int fd, const char* from, const char* to, RenameWays& ways, std::uint64_t device) {
  if (fd < 0) return {RenameResult::SourceMissing, 0};
  if (detail::renameNoReplaceAt(fd, from, to, ways, device) == 0) return {RenameResult::Renamed, 0};
  const int err = errno;
  if (err == EEXIST) return {RenameResult::TargetExists, 0};
  if (err == ENOENT) return {RenameResult::SourceMissing, 0};
  return {RenameResult::Failed, err};
}
}  // namespace

Folder::Outcome Folder::rename(std::string_view from, std::string_view to) const {
  if (fd_ < 0) return {RenameResult::SourceMissing, 0};
  const ShortNative src(from), dst(to);
  if (!src || !dst) return {RenameResult::Unconvertible, 0};
  return renameAt(fd_, src.c_str(), dst.c_str(), shared_ ? *shared_ : own_, identity_.device);
}

Folder::Outcome Folder::rename(const NativeName& from, const NativeName& to) const {
  return renameAt(fd_, from.bytes_.c_str(), to.bytes_.c_str(), shared_ ? *shared_ : own_, identity_.device);
}

bool Folder::removeSecondName(std::string_view name, const FileIdentity& file) const {
  const ShortNative n(name);
  struct stat st {};
  if (fd_ < 0 || !n || ::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  // A file that ignores case may show one name under two spellings: only a
  // count of two links or more says another name remains.
  if (!S_ISREG(st.st_mode) || st.st_nlink < 2 || static_cast<std::uint64_t>(st.st_ino) != file.inode ||
      static_cast<std::uint64_t>(st.st_dev) != file.device)
    return false;
  return ::unlinkat(fd_, n.c_str(), 0) == 0;
}

bool Folder::removePlaceholder(std::string_view name, std::uint64_t inode) const {
  const ShortNative n(name);
  struct stat st {};
  if (fd_ < 0 || !n || ::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISREG(st.st_mode) || st.st_size != 0 ||
      (inode != 0 && static_cast<std::uint64_t>(st.st_ino) != inode))
    return false;
  return ::unlinkat(fd_, n.c_str(), 0) == 0;
}

bool Folder::ignoresCase() const {
  if (fd_ < 0) return false;
  if (ignoresCase_ < 0) ignoresCase_ = detail::ignoresCaseAt(fd_) ? 1 : 0;
  return ignoresCase_ == 1;
}

bool Folder::sync() const { return fd_ >= 0 && ::fsync(fd_) == 0; }

}  // namespace qorin::platform
#endif
