// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX half of fs.h: paths, listings and whole files (the folder
// handle is in folder_posix.cpp).
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

#include "platform/fs.h"
#include "platform/no_replace.h"
#include "platform/open_file.h"
#include "platform/open_file_io.h"
#include "text/detect.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::platform {
std::optional<std::string> nativePath(std::string_view path) {
  const auto mark = path.find(kGbkNameMark);
  if (mark == std::string_view::npos) return text::gbToUtf8(path);
  // Any other NUL would silently cut the path short in every system call.
  const std::string_view head = path.substr(0, mark), name = path.substr(mark);
  const bool raw = isRawName(name);
  const std::string_view bytes = nameText(name);
  if (!head.empty() && head.back() != '/') return std::nullopt;
  if (bytes.empty() || bytes.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos ||
      text::isUtf8(bytes) || (!raw && !text::gbToUtf8(bytes)))
    return std::nullopt;
  auto out = text::gbToUtf8(head);
  if (out) *out += bytes;
  return out;
}

namespace {
// How a name read from the disk is held: UTF-8 converted; GBK kept as its
// bytes behind the mark where they read as GBK for sure, as unlabelled
// texts are read; any other as raw bytes. Guessing wrong here would write
// the guess back in UTF-8 for good.
std::optional<std::string> heldName(std::string_view name) {
  if (auto gb = text::utf8ToGb(name)) return gb;
  const text::Reading r = text::readUnlabelled(name);
  if (r.charset == text::Charset::Gbk && !r.uncertain && text::gbToUtf8(name)) return gbkName(name);
  return rawName(name);
}

}  // namespace

std::optional<std::string> pathFromSystem(std::string_view bytes) {
  const auto slash = bytes.rfind('/');
  const std::string_view head =
      slash == std::string_view::npos ? std::string_view() : bytes.substr(0, slash + 1);
  auto out = text::utf8ToGb(head);
  auto last = heldName(bytes.substr(head.size()));
  if (!out || !last) return std::nullopt;
  *out += *last;
  return out;
}

bool isSystemPathDirectory(std::string_view bytes) {
  struct stat st {};
  return bytes.find('\0') == std::string_view::npos && ::stat(std::string(bytes).c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
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

DirectoryListing listFiles(std::string_view dir, bool withHidden, bool withNameHashes, const StopFn& stop) {
  DirectoryListing out;
  const auto native = nativePath(withSeparator(dir));
  if (!native) {
    out.error = ListError::Unconvertible;
    return out;
  }
  if (detail::injectedFault(FileStep::List, dir)) {
    out.error = ListError::Unreadable;
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
  out.temporaries = false;
  constexpr std::size_t kStopEvery = 4096;  // a look per entry would cost more than the listing
  std::size_t seen = 0;
  while (const dirent* e = ::readdir(d)) {
    if ((++seen & (kStopEvery - 1)) == 0 && stop && stop()) {
      ::closedir(d);
      DirectoryListing cut;
      cut.stopped = true;
      return cut;
    }
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (name.starts_with(io::kTempPrefix)) out.temporaries = true;
    // An ASCII name is its own code-page form: no conversion, no allocation.
    const bool ascii = text::isAscii(name);
    if (withNameHashes) {
      if (ascii) {
        out.nameHashes.push_back(nameHash(name));
      } else if (auto held = heldName(name)) {
        out.nameHashes.push_back(nameHash(*held));
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
    } else if (auto held = heldName(name)) {
      // A folder's path cannot carry a name kept in the old code page.
      if (file)
        out.names.push_back(std::move(*held));
      else if (isMarkedName(*held))
        out.unreadableFolders.push_back(escapedBytes(name));
      else
        out.folders.push_back(std::move(*held));
    } else if (file) {
      ++out.unconvertible;
    } else {
      out.unreadableFolders.push_back(escapedBytes(name));
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

// A path-based rename asks the device afresh each time.
int renameNoReplaceNative(const char* from, const char* to) {
  RenameWays ways;
  return detail::renameNoReplaceAt(AT_FDCWD, from, to, ways, 0);
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

std::string errorText(int error) {
  // The common ones in the program's own words, whatever the locale; the
  // rest as the system says them.
  static constexpr std::pair<int, const char*> kWords[] = {
      {EACCES, "权限不够"},         {EPERM, "不允许的操作"},       {ENOENT, "没有那个文件或目录"},
      {EEXIST, "文件已存在"},       {ENOSPC, "磁盘空间不足"},      {EDQUOT, "超出磁盘配额"},
      {EROFS, "只读文件系统"},      {EBUSY, "设备或资源忙"},       {EXDEV, "不能跨文件系统移动"},
      {ENAMETOOLONG, "文件名过长"}, {ENOTDIR, "不是目录"},         {EISDIR, "是一个目录"},
      {EIO, "输入/输出错误"},       {EMFILE, "打开的文件过多"},    {ENFILE, "打开的文件过多"},
      {ENOTEMPTY, "目录不是空的"},  {ELOOP, "符号链接的层次过多"}, {EINVAL, "无效的参数"},
      {ENOMEM, "内存不足"},         {EILSEQ, "无效的字符序列"},    {ETXTBSY, "文件正在使用"},
      {EAGAIN, "资源暂时不可用"},   {ENODEV, "没有那个设备"},      {ENXIO, "没有那个设备或地址"},
      {ESTALE, "文件句柄已失效"},   {EOPNOTSUPP, "不支持的操作"},  {EFBIG, "文件过大"},
      {EMLINK, "链接过多"},         {EINTR, "操作被中断"},         {ENOTCONN, "传输端点尚未连接"},
      {ETIMEDOUT, "连接超时"},      {EFAULT, "地址错误"},
  };
  for (const auto& [code, words] : kWords)
    if (code == error) return text::gb(words);
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
  if (auto gb = text::utf8ToGb(msg))
    return *gb + text::gb("（错误 ") + std::to_string(error) + text::gb("）");
  return text::gb("系统错误 ") + std::to_string(error);
}

bool Folder::eachName(const std::function<void(std::string_view)>& visit) const {
  if (fd_ < 0) return false;
  if (detail::injectedFault(FileStep::List, {})) return false;
  // A second descriptor: readdir owns and closes it, and it starts at the top.
  const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return false;
  }
  errno = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (auto held = heldName(name)) visit(*held);
    errno = 0;
  }
  const bool ok = errno == 0;
  ::closedir(d);
  return ok;
}

bool replaceFile(std::string_view from, std::string_view to) {
  const auto src = nativePath(from), dst = nativePath(to);
  return src && dst && ::rename(src->c_str(), dst->c_str()) == 0;
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
  // Non-blocking: a FIFO put there is refused below instead of waited on.
  const int fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  if (struct stat st{}; ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
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
  mode_t mode = 0644;
  if (::lstat(p->c_str(), &st) == 0) {
    // Only a regular file is replaced: a link, FIFO or folder there is left as it is.
    if (!S_ISREG(st.st_mode)) return false;
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return false;
  }
  const std::string tmp = uniqueSibling(*p);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
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
  // A link there, even a dangling one, is not followed: nothing is made at its target.
  const int fd =
      ::open(p->c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
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

std::string workingDirectory() {
  std::string buf(4096, '\0');
  if (!::getcwd(buf.data(), buf.size())) return {};
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return buf.ends_with('/') ? buf : buf + '/';
}

std::optional<FileTimes> fileTimes(std::string_view path) {
  const auto p = nativePath(path);
  if (!p) return std::nullopt;
  constexpr std::int64_t kNs = 1000000000;
#ifdef STATX_BTIME
  struct statx sx {};
  if (::statx(AT_FDCWD, p->c_str(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) == 0) {
    FileTimes t{sx.stx_size, sx.stx_mtime.tv_sec * kNs + sx.stx_mtime.tv_nsec, std::nullopt};
    if (sx.stx_mask & STATX_BTIME) t.created = sx.stx_btime.tv_sec * kNs + sx.stx_btime.tv_nsec;
    return t;
  }
  if (errno != ENOSYS) return std::nullopt;
#endif
  struct stat st {};
  if (::stat(p->c_str(), &st) != 0) return std::nullopt;
  return FileTimes{static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec * kNs + st.st_mtim.tv_nsec,
                   std::nullopt};
}

}  // namespace qorin::platform
#endif
