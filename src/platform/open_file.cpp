#include "platform/open_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>

#include "platform/fs.h"
#include "text/gbtext.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qorin::platform {

namespace {

struct FaultState {
  std::mutex mutex;
  FileFaultHook hook;
};

FaultState& faults() {
  static FaultState s;
  return s;
}

bool injectedFault(FileStep step, std::string_view path) {
  FaultState& s = faults();
  std::lock_guard lock(s.mutex);
  return s.hook && s.hook(step, path);
}

constexpr std::size_t kCopyChunk = 1 << 20;

std::string randomSuffix() {
  static std::mt19937_64 rng{std::random_device{}()};
  char buf[40];
  std::snprintf(buf, sizeof buf, ".qorin-%016llx.tmp", static_cast<unsigned long long>(rng()));
  return buf;
}

#ifdef _WIN32

std::optional<std::wstring> widePath(std::string_view path) {
  const auto u16 = text::gbToUtf16(path);
  if (!u16) return std::nullopt;
  std::wstring w(u16->size() / 2, L'\0');
  for (std::size_t i = 0; i < w.size(); ++i) {
    w[i] = static_cast<wchar_t>(static_cast<unsigned char>((*u16)[2 * i]) |
                                (static_cast<unsigned char>((*u16)[2 * i + 1]) << 8));
  }
  return w;
}

std::int64_t sysSeek(int fd, std::uint64_t off) { return _lseeki64(fd, static_cast<__int64>(off), SEEK_SET); }
long sysRead(int fd, char* p, std::size_t n) {
  return _read(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long sysWrite(int fd, const char* p, std::size_t n) {
  return _write(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
bool sysPread(int fd, std::uint64_t off, char* p, std::size_t n, std::size_t& got) {
  got = 0;
  if (sysSeek(fd, off) < 0) return false;
  while (got < n) {
    const long r = sysRead(fd, p + got, n - got);
    if (r < 0) return false;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

#else

bool sysPread(int fd, std::uint64_t off, char* p, std::size_t n, std::size_t& got) {
  got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, p + got, n - got, static_cast<off_t>(off + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

#endif

// Writes all of `bytes` at the descriptor's current position.
bool writeAll(int fd, std::string_view bytes, std::string_view faultPath) {
  if (injectedFault(FileStep::Write, faultPath)) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
#ifdef _WIN32
    const long n = sysWrite(fd, bytes.data() + done, bytes.size() - done);
#else
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Copies [from, from + count) of `src` to the current position of `dst`.
bool copyRange(int src, std::uint64_t from, std::uint64_t count, int dst, std::string_view faultPath) {
  std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyChunk)), '\0');
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, buf.size()));
    std::size_t got = 0;
    if (!sysPread(src, from, buf.data(), want, got) || got != want) return false;
    if (!writeAll(dst, std::string_view(buf.data(), got), faultPath)) return false;
    from += got;
    count -= got;
  }
  return true;
}

}  // namespace

void setFileFaultHook(FileFaultHook hook) {
  FaultState& s = faults();
  std::lock_guard lock(s.mutex);
  s.hook = std::move(hook);
}

void failOpenForWriting(std::string_view path) {
  if (path.empty()) {
    setFileFaultHook({});
    return;
  }
  setFileFaultHook([p = std::string(path)](FileStep step, std::string_view at) {
    return step == FileStep::OpenForWriting && at == p;
  });
}

bool MemoryBytes::readAt(std::uint64_t offset, std::size_t n, std::string& out) {
  out.clear();
  if (offset < bytes_.size()) out.assign(bytes_.substr(static_cast<std::size_t>(offset), n));
  return true;
}

OpenFile::~OpenFile() { close(); }

void OpenFile::close() {
  if (fd_ >= 0) {
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
  }
  fd_ = -1;
  writable_ = false;
  path_.clear();
}

bool OpenFile::open(std::string_view path, OpenMode mode) {
  close();
  const bool rw = mode == OpenMode::ReadWrite;
  if (rw && injectedFault(FileStep::OpenForWriting, path)) return false;
#ifdef _WIN32
  const auto w = widePath(path);
  if (!w) return false;
  int fd = -1;
  // Others may read while we write, as the editor expects.
  if (_wsopen_s(&fd, w->c_str(), (rw ? _O_RDWR : _O_RDONLY) | _O_BINARY, rw ? _SH_DENYWR : _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0)
    return false;
#else
  const auto p = nativePath(path);
  if (!p) return false;
  // O_NONBLOCK: a named pipe put where a listed file was must not hang the
  // window in open(); it is refused below. Regular files ignore the flag.
  const int fd = ::open(p->c_str(), (rw ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
#endif
  fd_ = fd;
  writable_ = rw;
  path_ = std::string(path);
  return true;
}

std::optional<std::uint64_t> OpenFile::length() {
  if (fd_ < 0) return std::nullopt;
#ifdef _WIN32
  struct _stat64 st {};
  if (_fstat64(fd_, &st) != 0) return std::nullopt;
#else
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return std::nullopt;
#endif
  return static_cast<std::uint64_t>(st.st_size);
}

bool OpenFile::readAt(std::uint64_t offset, std::size_t n, std::string& out) {
  out.clear();
  if (fd_ < 0) return false;
  // Never allocate beyond what the file holds, whatever a size field claims.
  const auto len = length();
  if (!len) return false;
  if (offset >= *len) return true;
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, *len - offset));
  out.resize(n);
  std::size_t got = 0;
  const bool ok = sysPread(fd_, offset, out.data(), n, got);
  out.resize(got);
  return ok;
}

bool OpenFile::seek(std::uint64_t offset) {
  if (fd_ < 0) return false;
#ifdef _WIN32
  return _lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) >= 0;
#else
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
#endif
}

std::optional<std::string> OpenFile::read(std::size_t n) {
  if (fd_ < 0) return std::nullopt;
#ifdef _WIN32
  const std::int64_t pos = _telli64(fd_);
#else
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
#endif
  if (pos < 0) return std::nullopt;
  std::string out;
  if (!readAt(static_cast<std::uint64_t>(pos), n, out)) return std::nullopt;
  if (!seek(static_cast<std::uint64_t>(pos) + out.size())) return std::nullopt;
  return out;
}

bool OpenFile::write(std::string_view bytes) { return isWritable() && writeAll(fd_, bytes, path_); }

bool OpenFile::truncate(std::uint64_t newLength) {
  if (!isWritable()) return false;
#ifdef _WIN32
  return _chsize_s(fd_, static_cast<__int64>(newLength)) == 0 && _commit(fd_) == 0;
#else
  return ::ftruncate(fd_, static_cast<off_t>(newLength)) == 0 && ::fsync(fd_) == 0;
#endif
}

bool OpenFile::replaceRange(std::uint64_t offset, std::uint64_t oldLength, std::string_view newBytes) {
  if (!isWritable()) return false;
  const auto len = length();
  if (!len || offset > *len || oldLength > *len - offset) return false;
  const std::uint64_t tailFrom = offset + oldLength;

#ifdef _WIN32
  const auto target = widePath(path_);
  const auto tmp = widePath(std::string(directoryOf(path_)) + randomSuffix());
  if (!target || !tmp) return false;
  int t = -1;
  if (_wsopen_s(&t, tmp->c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYWR,
                _S_IREAD | _S_IWRITE) != 0)
    return false;
  bool ok = copyRange(fd_, 0, offset, t, path_) && writeAll(t, newBytes, path_) &&
            copyRange(fd_, tailFrom, *len - tailFrom, t, path_) && _commit(t) == 0;
  _close(t);
  if (ok && injectedFault(FileStep::Rename, path_)) ok = false;
  if (ok) {
    // Windows cannot replace a file we hold open: let go, move, and reopen.
    const std::string path = path_;
    close();
    ok = MoveFileExW(tmp->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileW(tmp->c_str());
    open(path, OpenMode::ReadWrite);
    return ok && isOpen();
  }
  DeleteFileW(tmp->c_str());
  return false;
#else
  const auto native = nativePath(path_);
  if (!native) return false;
  // Replace the file a symbolic link points to, not the link.
  std::string target = *native;
  if (char resolved[PATH_MAX]; ::realpath(native->c_str(), resolved)) target = resolved;
  const auto slash = target.rfind('/');
  const std::string tmp =
      (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + randomSuffix();

  struct stat st {};
  if (::fstat(fd_, &st) != 0) return false;
  const int t = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (t < 0) return false;
  (void)!::fchown(t, st.st_uid, st.st_gid);  // best effort: only root may give files away
  bool ok = ::fchmod(t, st.st_mode & 07777) == 0 && copyRange(fd_, 0, offset, t, path_) &&
            writeAll(t, newBytes, path_) && copyRange(fd_, tailFrom, *len - tailFrom, t, path_) &&
            ::fsync(t) == 0;
  ok = ok && !injectedFault(FileStep::Rename, path_) && ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::close(t);
    ::unlink(tmp.c_str());
    return false;
  }
  if (const int dir = ::open(slash == std::string::npos ? "." : target.substr(0, slash + 1).c_str(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  ::close(fd_);
  fd_ = t;
  ::lseek(fd_, 0, SEEK_SET);
  return true;
#endif
}

}  // namespace qorin::platform
