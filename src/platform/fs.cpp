#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <type_traits>
#include <utility>

#include "text/gbtext.h"
#include "text/names.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max are used below
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace qorin::platform {

std::string withSeparator(std::string_view dir) {
  std::string d(dir);
  if (d.empty() || d.back() != kSeparator) d += kSeparator;
  return d;
}

std::string_view directoryOf(std::string_view path) {
  const auto p = path.rfind(kSeparator);
  return p == std::string_view::npos ? std::string_view() : path.substr(0, p + 1);
}

std::string_view fileNameOf(std::string_view path) {
  const auto p = path.rfind(kSeparator);
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

bool nameLess(std::string_view a, std::string_view b) { return text::naturalLess(a, b); }

std::uint64_t nameHash(std::string_view name) {
  if constexpr (kNamesIgnoreCase) return std::hash<std::string>{}(text::asciiUpper(name));
  return std::hash<std::string_view>{}(name);
}

#ifndef _WIN32

std::optional<std::string> nativePath(std::string_view path) {
  // An embedded NUL would silently cut the path short in every system call.
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return text::gbToUtf8(path);
}

namespace {
bool statPath(std::string_view path, struct stat& st) {
  const auto p = nativePath(path);
  return p && ::stat(p->c_str(), &st) == 0;
}
}  // namespace

bool exists(std::string_view path) {
  struct stat st {};
  return statPath(path, st);
}

bool isFile(std::string_view path) {
  struct stat st {};
  return statPath(path, st) && S_ISREG(st.st_mode);
}

bool isDirectory(std::string_view path) {
  struct stat st {};
  return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isWritableDirectory(std::string_view dir) {
  const auto p = nativePath(dir);
  return p && isDirectory(dir) && ::access(p->c_str(), W_OK) == 0;
}

namespace {
ListError listErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ListError::Missing;
    case ENAMETOOLONG:
      return ListError::PathTooLong;
    default:
      return ListError::Unreadable;
  }
}
}  // namespace

DirectoryListing listFiles(std::string_view dir, bool withHidden, bool withNameHashes) {
  DirectoryListing out;
  const auto native = nativePath(withSeparator(dir));
  if (!native) {
    out.error = ListError::Unconvertible;
    return out;
  }
  DIR* d = ::opendir(native->c_str());
  if (!d) {
    out.error = listErrorOf(errno);
    return out;
  }
  out.ok = true;
  const int fd = ::dirfd(d);
  // The folder whose files these are, told by the very handle that lists it.
  if (struct stat st{}; ::fstat(fd, &st) == 0) {
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
  }
  out.hashed = withNameHashes;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    // An ASCII name is its own code-page form: no conversion, no allocation.
    const bool ascii = text::isAscii(name);
    if (withNameHashes) {
      if (ascii) {
        out.nameHashes.push_back(nameHash(name));
      } else if (auto gb = text::utf8ToGb(name)) {
        out.nameHashes.push_back(nameHash(*gb));
      }
    }
    if (!withHidden && name.front() == '.') continue;
    bool file = e->d_type == DT_REG;
    bool folder = e->d_type == DT_DIR;  // a link to a folder is not followed
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st {};
      file = ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
      if (e->d_type == DT_UNKNOWN)
        folder = ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    if (!file && !folder) continue;
    if (ascii) {
      (file ? out.names : out.folders).emplace_back(name);
    } else if (auto gb = text::utf8ToGb(name)) {
      (file ? out.names : out.folders).push_back(std::move(*gb));
    } else if (file) {
      ++out.unconvertible;
    }
  }
  ::closedir(d);
  // Some file systems list in the order the files were made, or the
  // reverse, often the natural one already: a look costs less than a sort.
  const auto less = [](const std::string& a, const std::string& b) { return nameLess(a, b); };
  if (std::is_sorted(out.names.rbegin(), out.names.rend(), less))
    std::reverse(out.names.begin(), out.names.end());
  else if (!std::is_sorted(out.names.begin(), out.names.end(), less))
    std::sort(out.names.begin(), out.names.end(), less);
  std::sort(out.folders.begin(), out.folders.end(), less);
  return out;
}

namespace {

int renameInFolder(int dirFd, const char* from, const char* to) {
#ifdef SYS_renameat2
  if (::syscall(SYS_renameat2, dirFd, from, dirFd, to, 1 /* RENAME_NOREPLACE */) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  // The file system refuses the flag: link + unlink cannot replace either.
  if (::linkat(dirFd, from, dirFd, to, 0) != 0) return -1;
  if (::unlinkat(dirFd, from, 0) != 0) {
    const int saved = errno;
    ::unlinkat(dirFd, to, 0);  // back out: the second name is ours and points at the same file
    errno = saved;
    return -1;
  }
  return 0;
}

int renameNoReplaceNative(const char* from, const char* to) { return renameInFolder(AT_FDCWD, from, to); }

std::string uniqueSibling(const std::string& path) {
  static std::mt19937_64 rng{std::random_device{}()};
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  char buf[40];
  std::snprintf(buf, sizeof buf, ".qorin-%016llx.tmp", static_cast<unsigned long long>(rng()));
  return dir + buf;
}

}  // namespace

RenameResult renameNoReplace(std::string_view from, std::string_view to) {
  const auto src = nativePath(from);
  const auto dst = nativePath(to);
  if (!src || !dst) return RenameResult::Unconvertible;
  struct stat sst {};
  if (::lstat(src->c_str(), &sst) != 0) return RenameResult::SourceMissing;
  if (*src == *dst) return RenameResult::Renamed;
  if (renameNoReplaceNative(src->c_str(), dst->c_str()) == 0) return RenameResult::Renamed;
  if (errno != EEXIST) return RenameResult::Failed;
  // The target exists. When it is the same directory entry under another
  // spelling (case-insensitive file system), go through a temporary name.
  struct stat dstSt {};
  if (::lstat(dst->c_str(), &dstSt) != 0 || dstSt.st_ino != sst.st_ino || dstSt.st_dev != sst.st_dev)
    return RenameResult::TargetExists;
  const std::string tmp = uniqueSibling(*src);
  if (renameNoReplaceNative(src->c_str(), tmp.c_str()) != 0) return RenameResult::Failed;
  if (renameNoReplaceNative(tmp.c_str(), dst->c_str()) == 0) return RenameResult::Renamed;
  // A real second link of the same file holds the name: put ours back.
  renameNoReplaceNative(tmp.c_str(), src->c_str());
  return RenameResult::TargetExists;
}

std::string errorText(int error) {
  char buf[256] = {};
  // The GNU strerror_r may return a static text instead of filling buf.
  const auto pick = [&buf](auto r) -> const char* {
    if constexpr (std::is_same_v<decltype(r), char*>) {
      return r;
    } else {
      return r == 0 ? buf : "";
    }
  };
  const char* msg = pick(::strerror_r(error, buf, sizeof buf));
  if (auto gb = text::utf8ToGb(msg)) return *gb;
  return "errno " + std::to_string(error);
}

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
      identity_(other.identity_) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    changed_ = other.changed_;
    identity_ = other.identity_;
  }
  return *this;
}

bool Folder::isOpen() const { return fd_ >= 0; }

std::size_t Folder::nameLimit() const {
  if (fd_ < 0) return 255;
  const long n = ::fpathconf(fd_, _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : 255;
}

std::optional<std::vector<std::string>> Folder::names() const {
  if (fd_ < 0) return std::nullopt;
  // A second descriptor: readdir owns and closes it, and it starts at the top.
  const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::string> out;
  errno = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (auto gb = text::utf8ToGb(name)) out.push_back(std::move(*gb));
  }
  const bool ok = errno == 0;
  ::closedir(d);
  if (!ok) return std::nullopt;
  return out;
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
Folder::Outcome renameAt(int fd, const char* from, const char* to);
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

Folder::Outcome renameAt(int fd, const char* from, const char* to) {
  if (fd < 0) return {RenameResult::SourceMissing, 0};
  if (renameInFolder(fd, from, to) == 0) return {RenameResult::Renamed, 0};
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
  return renameAt(fd_, src.c_str(), dst.c_str());
}

Folder::Outcome Folder::rename(const NativeName& from, const NativeName& to) const {
  return renameAt(fd_, from.bytes_.c_str(), to.bytes_.c_str());
}

bool Folder::sync() const { return fd_ >= 0 && ::fsync(fd_) == 0; }

JournalFile::~JournalFile() { close(); }

bool JournalFile::fail(int error) {
  error_ = error ? error : EIO;
  return false;
}

bool JournalFile::isOpen() const { return fd_ >= 0; }

bool JournalFile::create(std::string_view path) {
  close();
  error_ = 0;
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  if (!createDirectories(directoryOf(path))) return fail(errno);
  path_ = *p;
  // A fixed sibling name: a temporary left by a crash is simply reused.
  temporary_ = path_ + ".new";
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd_ < 0) return fail(errno);
  committed_ = false;
  return true;
}

bool JournalFile::openAppend(std::string_view path) {
  close();
  error_ = 0;
  const auto p = nativePath(path);
  if (!p) return fail(EILSEQ);
  path_ = *p;
  temporary_.clear();
  fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd_ < 0) return fail(errno);
  committed_ = true;
  return true;
}

bool JournalFile::write(std::string_view bytes) {
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

bool JournalFile::sync() {
  if (fd_ < 0) return fail(EBADF);
  return ::fdatasync(fd_) == 0 || fail(errno);
}

bool JournalFile::commit() {
  if (fd_ < 0) return fail(EBADF);
  if (committed_) return true;
  if (::fdatasync(fd_) != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) return fail(errno);
  committed_ = true;
  return true;
}

bool replaceFile(std::string_view from, std::string_view to) {
  const auto src = nativePath(from), dst = nativePath(to);
  return src && dst && ::rename(src->c_str(), dst->c_str()) == 0;
}

void JournalFile::close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool createDirectories(std::string_view dir) {
  const auto p = nativePath(dir);
  if (!p) return false;
  std::string path = *p;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return true;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const auto parent = text::utf8ToGb(path.substr(0, slash));
    if (!parent || !createDirectories(*parent)) return false;
  }
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::optional<std::string> readFile(std::string_view path, std::size_t maxBytes) {
  const auto p = nativePath(path);
  if (!p) return std::nullopt;
  const int fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
      ::close(fd);
      return std::nullopt;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

bool writeFileAtomic(std::string_view path, std::string_view content) {
  const auto p = nativePath(path);
  if (!p) return false;
  struct stat st {};
  const mode_t mode = ::stat(p->c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  const std::string tmp = uniqueSibling(*p);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < content.size();) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), p->c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool touchFile(std::string_view path) {
  const auto p = nativePath(path);
  if (!p) return false;
  const int fd = ::open(p->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string programDirectory() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return withSeparator(".");
  buf.resize(static_cast<std::size_t>(n));
  const auto gb = text::utf8ToGb(buf);
  if (!gb) return withSeparator(".");
  return std::string(directoryOf(*gb));
}

namespace {

// $<xdgVariable>/qorin/, or ~/<homeFallback>/qorin/, created on demand; the
// program directory when neither can be had.
std::string perUserDirectory(const char* xdgVariable, const char* homeFallback) {
  const std::string prog = programDirectory();
  if (isWritableDirectory(prog)) return prog;
  std::string base;
  if (const char* x = std::getenv(xdgVariable); x && *x == '/') {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/" + homeFallback;
  } else {
    return prog;
  }
  const auto gbBase = text::utf8ToGb(base);
  if (!gbBase) return prog;
  const std::string dir = withSeparator(*gbBase) + "qorin/";
  if (const auto native = nativePath(dir)) {
    ::mkdir(nativePath(withSeparator(*gbBase))->c_str(), 0700);
    ::mkdir(native->c_str(), 0700);
  }
  return isDirectory(dir) ? dir : prog;
}

}  // namespace

std::string configDirectory() { return perUserDirectory("XDG_CONFIG_HOME", ".config"); }
std::string stateDirectory() { return perUserDirectory("XDG_STATE_HOME", ".local/state"); }

#else  // _WIN32: the same contracts over the wide-character API.

std::optional<std::string> nativePath(std::string_view path) { return text::gbToUtf8(path); }

namespace {
std::optional<std::wstring> wide(std::string_view gb) {
  auto utf16 = text::gbToUtf16(gb);
  if (!utf16) return std::nullopt;
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16->data()), utf16->size() / 2);
}
DWORD attributes(std::string_view path) {
  const auto w = wide(path);
  return w ? GetFileAttributesW(w->c_str()) : INVALID_FILE_ATTRIBUTES;
}
}  // namespace

bool exists(std::string_view path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }
bool isFile(std::string_view path) {
  const DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool isDirectory(std::string_view path) {
  const DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool isWritableDirectory(std::string_view dir) { return isDirectory(dir); }

DirectoryListing listFiles(std::string_view dir, bool withHidden, bool) {
  DirectoryListing out;
  const auto pattern = wide(withSeparator(dir) + "*.*");
  if (!pattern) {
    out.error = ListError::Unconvertible;
    return out;
  }
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    out.error = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY
                    ? ListError::Missing
                : e == ERROR_FILENAME_EXCED_RANGE ? ListError::PathTooLong
                                                  : ListError::Unreadable;
    return out;
  }
  out.ok = true;
  do {
    if (!withHidden && (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
    const bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (folder && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;  // links are not followed
    if (folder && (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0)) continue;
    const std::string_view bytes(reinterpret_cast<const char*>(fd.cFileName), wcslen(fd.cFileName) * 2);
    if (auto gb = text::utf16ToGb(bytes, false))
      (folder ? out.folders : out.names).push_back(std::move(*gb));
    else if (!folder)
      ++out.unconvertible;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  const auto less = [](const std::string& a, const std::string& b) { return nameLess(a, b); };
  std::sort(out.names.begin(), out.names.end(), less);
  std::sort(out.folders.begin(), out.folders.end(), less);
  return out;
}

RenameResult renameNoReplace(std::string_view from, std::string_view to) {
  const auto src = wide(from), dst = wide(to);
  if (!src || !dst) return RenameResult::Unconvertible;
  if (GetFileAttributesW(src->c_str()) == INVALID_FILE_ATTRIBUTES) return RenameResult::SourceMissing;
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing target;
  // a case-only change names the same file and succeeds.
  if (MoveFileExW(src->c_str(), dst->c_str(), 0)) return RenameResult::Renamed;
  return GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS
             ? RenameResult::TargetExists
             : RenameResult::Failed;
}

std::string errorText(int error) {
  wchar_t buf[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(error), 0, buf, 512, nullptr);
  const auto gb =
      n ? text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(buf), n * 2), false) : std::nullopt;
  return gb ? *gb : "error " + std::to_string(error);
}

namespace {
// Device, file index and size of an entry; a link is not followed.
std::optional<FileIdentity> identityOfPath(const std::wstring& path) {
  HANDLE h =
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return std::nullopt;
  const std::uint64_t created = (static_cast<std::uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                                info.ftCreationTime.dwLowDateTime;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                      (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, created};
}
}  // namespace

Folder::Folder(std::string_view dir) : dir_(withSeparator(dir)) {
  const auto w = wide(dir_);
  const auto id = w ? identityOfPath(*w) : std::nullopt;
  if (!id) {
    error_ = static_cast<int>(GetLastError());
    return;
  }
  identity_ = *id;
  identity_.size = identity_.birth = 0;
  open_ = true;
}

Folder::Folder(std::string_view dir, const FileIdentity& expected, bool anyDevice) : Folder(dir) {
  if (open_ && (identity_.inode != expected.inode || (!anyDevice && identity_.device != expected.device))) {
    open_ = false;
    changed_ = true;
  } else if (!open_) {
    changed_ = error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND;
  }
}

Folder::~Folder() = default;
Folder::Folder(Folder&& other) noexcept = default;
Folder& Folder::operator=(Folder&& other) noexcept = default;

bool Folder::isOpen() const { return open_; }

std::size_t Folder::nameLimit() const {
  const auto w = wide(dir_);
  wchar_t root[MAX_PATH + 1];
  DWORD maxComponent = 0;
  if (w && GetVolumePathNameW(w->c_str(), root, MAX_PATH + 1) &&
      GetVolumeInformationW(root, nullptr, 0, nullptr, &maxComponent, nullptr, nullptr, 0) &&
      maxComponent > 0)
    return maxComponent;
  return 255;
}

std::optional<std::vector<std::string>> Folder::names() const {
  const auto pattern = wide(dir_ + "*");
  if (!open_ || !pattern) return std::nullopt;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> out;
  do {
    const std::wstring_view n(fd.cFileName);
    if (n == L"." || n == L"..") continue;
    if (auto gb =
            text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(n.data()), n.size() * 2), false))
      out.push_back(std::move(*gb));
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return out;
}

std::optional<NativeName> NativeName::of(std::string_view name) {
  if (!text::gbToUtf16(name)) return std::nullopt;
  NativeName n;
  n.bytes_ = std::string(name);  // converted with the folder's path when used
  return n;
}

std::optional<FileIdentity> Folder::identityOf(std::string_view name) const {
  const auto w = wide(dir_ + std::string(name));
  return open_ && w ? identityOfPath(*w) : std::nullopt;
}

std::optional<FileIdentity> Folder::identityOf(const NativeName& name) const {
  return identityOf(name.bytes_);
}

Folder::Outcome Folder::rename(std::string_view from, std::string_view to) const {
  const auto src = wide(dir_ + std::string(from)), dst = wide(dir_ + std::string(to));
  if (!src || !dst) return {RenameResult::Unconvertible, 0};
  // A case-only change names the file itself; the caller goes through a
  // recorded name of its own instead, so it is refused like any taken name.
  if (identityOfPath(*dst)) return {RenameResult::TargetExists, 0};
  if (MoveFileExW(src->c_str(), dst->c_str(), 0)) return {RenameResult::Renamed, 0};
  const DWORD e = GetLastError();
  if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) return {RenameResult::TargetExists, 0};
  if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return {RenameResult::SourceMissing, 0};
  return {RenameResult::Failed, static_cast<int>(e)};
}

Folder::Outcome Folder::rename(const NativeName& from, const NativeName& to) const {
  return rename(from.bytes_, to.bytes_);
}

bool Folder::sync() const { return open_; }  // folder entries cannot be flushed from user mode

JournalFile::~JournalFile() { close(); }

bool JournalFile::fail(int error) {
  error_ = error ? error : static_cast<int>(ERROR_WRITE_FAULT);
  return false;
}

bool JournalFile::isOpen() const { return handle_ != nullptr; }

bool JournalFile::create(std::string_view path) {
  close();
  error_ = 0;
  if (!createDirectories(directoryOf(path))) return fail(static_cast<int>(GetLastError()));
  path_ = std::string(path);
  temporary_ = path_ + ".new";
  const auto w = wide(temporary_);
  if (!w) return fail(static_cast<int>(ERROR_NO_UNICODE_TRANSLATION));
  // DELETE: commit() renames the open file over the old journal.
  HANDLE h = CreateFileW(w->c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(GetLastError()));
  handle_ = h;
  committed_ = false;
  return true;
}

bool JournalFile::openAppend(std::string_view path) {
  close();
  error_ = 0;
  path_ = std::string(path);
  temporary_.clear();
  const auto w = wide(path_);
  if (!w) return fail(static_cast<int>(ERROR_NO_UNICODE_TRANSLATION));
  // GENERIC_WRITE, as FlushFileBuffers asks; the writes go to the end.
  HANDLE h = CreateFileW(w->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(static_cast<int>(GetLastError()));
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) {
    const DWORD e = GetLastError();
    CloseHandle(h);
    return fail(static_cast<int>(e));
  }
  handle_ = h;
  committed_ = true;
  return true;
}

bool JournalFile::write(std::string_view bytes) {
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

bool JournalFile::sync() {
  if (!handle_) return fail(static_cast<int>(ERROR_INVALID_HANDLE));
  return FlushFileBuffers(static_cast<HANDLE>(handle_)) || fail(static_cast<int>(GetLastError()));
}

bool JournalFile::commit() {
  if (!handle_) return fail(static_cast<int>(ERROR_INVALID_HANDLE));
  if (committed_) return true;
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) return fail(static_cast<int>(GetLastError()));
  // The handle allows deletion, so the open file can be renamed over the old journal.
  const auto dst = wide(path_);
  const std::size_t bytes = sizeof(FILE_RENAME_INFO) + dst->size() * sizeof(wchar_t);
  std::vector<unsigned char> buf(bytes, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = TRUE;
  info->FileNameLength = static_cast<DWORD>(dst->size() * sizeof(wchar_t));
  std::memcpy(info->FileName, dst->c_str(), info->FileNameLength);
  if (!SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileRenameInfo, info,
                                  static_cast<DWORD>(bytes)))
    return fail(static_cast<int>(GetLastError()));
  committed_ = true;
  return true;
}

void JournalFile::close() {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  if (!committed_ && !temporary_.empty())
    if (const auto w = wide(temporary_)) DeleteFileW(w->c_str());
}

bool replaceFile(std::string_view from, std::string_view to) {
  const auto src = wide(from), dst = wide(to);
  return src && dst &&
         MoveFileExW(src->c_str(), dst->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool createDirectories(std::string_view dir) {
  std::string path(dir);
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (path.empty() || isDirectory(path)) return true;
  const auto cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 2 && !createDirectories(path.substr(0, cut))) return false;
  const auto w = wide(path);
  return w && (CreateDirectoryW(w->c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

std::optional<std::string> readFile(std::string_view path, std::size_t maxBytes) {
  const auto w = wide(path);
  if (!w) return std::nullopt;
  FILE* f = _wfopen(w->c_str(), L"rb");
  if (!f) return std::nullopt;
  std::string out;
  char buf[65536];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    if (out.size() + n > maxBytes) {
      fclose(f);
      return std::nullopt;
    }
    out.append(buf, n);
  }
  fclose(f);
  return out;
}

bool writeFileAtomic(std::string_view path, std::string_view content) {
  const auto w = wide(path);
  const auto t = wide(std::string(path) + ".qorin-tmp");
  if (!w || !t) return false;
  FILE* f = _wfopen(t->c_str(), L"wb");
  if (!f) return false;
  bool ok = fwrite(content.data(), 1, content.size(), f) == content.size() && fflush(f) == 0;
  ok = fclose(f) == 0 && ok;
  ok = ok && MoveFileExW(t->c_str(), w->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(t->c_str());
  return ok;
}

bool touchFile(std::string_view path) {
  const auto w = wide(path);
  if (!w) return false;
  FILE* f = _wfopen(w->c_str(), L"ab");
  if (!f) return false;
  fclose(f);
  return true;
}

std::string programDirectory() {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
  const auto gb = text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(buf), n * 2), false);
  return gb ? std::string(directoryOf(*gb)) : std::string(".\\");
}

// Per-user folders under %APPDATA% come with the Windows build of the core.
std::string configDirectory() { return programDirectory(); }

std::string stateDirectory() {
  const std::string prog = programDirectory();
  if (isWritableDirectory(prog)) return prog;
  if (const wchar_t* a = _wgetenv(L"LOCALAPPDATA"); a && *a) {
    const std::wstring_view v(a);
    if (auto gb =
            text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(v.data()), v.size() * 2), false))
      return withSeparator(*gb) + "qorin\\";
  }
  return prog;
}

#endif

}  // namespace qorin::platform
