#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "text/gbtext.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

bool nameLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
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

DirectoryListing listFiles(std::string_view dir) {
  DirectoryListing out;
  const auto native = nativePath(withSeparator(dir));
  if (!native) return out;
  DIR* d = ::opendir(native->c_str());
  if (!d) return out;
  out.ok = true;
  const int fd = ::dirfd(d);
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    bool file = e->d_type == DT_REG;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st {};
      file = ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    if (!file) continue;
    if (auto gb = text::utf8ToGb(name)) {
      out.names.push_back(std::move(*gb));
    } else {
      ++out.unconvertible;
    }
  }
  ::closedir(d);
  std::sort(out.names.begin(), out.names.end(),
            [](const std::string& a, const std::string& b) { return nameLess(a, b); });
  return out;
}

namespace {

int renameNoReplaceNative(const char* from, const char* to) {
#ifdef SYS_renameat2
  if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  // The file system refuses the flag: link + unlink cannot replace either.
  if (::link(from, to) != 0) return -1;
  if (::unlink(from) != 0) {
    const int saved = errno;
    ::unlink(to);  // back out: the second name is ours and points at the same file
    errno = saved;
    return -1;
  }
  return 0;
}

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

#include <windows.h>

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

DirectoryListing listFiles(std::string_view dir) {
  DirectoryListing out;
  const auto pattern = wide(withSeparator(dir) + "*.*");
  if (!pattern) return out;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  out.ok = true;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string_view bytes(reinterpret_cast<const char*>(fd.cFileName), wcslen(fd.cFileName) * 2);
    if (auto gb = text::utf16ToGb(bytes, false))
      out.names.push_back(std::move(*gb));
    else
      ++out.unconvertible;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(out.names.begin(), out.names.end(),
            [](const std::string& a, const std::string& b) { return nameLess(a, b); });
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
std::string stateDirectory() { return programDirectory(); }

#endif

}  // namespace qorin::platform
