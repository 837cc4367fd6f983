// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "platform/open_file_io.h"
#include "text/gbtext.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#ifdef __linux__
#include <sys/xattr.h>
#endif
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

}  // namespace

bool detail::injectedFault(FileStep step, std::string_view path) {
  FaultState& s = faults();
  std::lock_guard lock(s.mutex);
  return s.hook && s.hook(step, path);
}
namespace io {

namespace {
constexpr std::size_t kCopyChunk = 1 << 20;
using detail::injectedFault;
}  // namespace

std::uint64_t randomNumber() {
  std::random_device rd;
  return (std::uint64_t{rd()} << 32) ^ rd();
}

#ifndef _WIN32
long processId() { return static_cast<long>(::getpid()); }
#else
long processId() { return static_cast<long>(GetCurrentProcessId()); }
#endif

std::string tempName() {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%ld-%016llx%s", kTempPrefix.data(), processId(),
                static_cast<unsigned long long>(randomNumber()), kTempSuffix.data());
  return buf;
}

#ifdef _WIN32

namespace {
std::int64_t sysSeek(int fd, std::uint64_t off) { return _lseeki64(fd, static_cast<__int64>(off), SEEK_SET); }
long sysRead(int fd, char* p, std::size_t n) {
  return _read(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long sysWrite(int fd, const char* p, std::size_t n) {
  return _write(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
}  // namespace
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

bool writeAll(int fd, std::string_view bytes, Fault fault) {
  if (fault.injectable && injectedFault(fault.step, fault.path)) return false;
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

bool copyRange(int src, std::uint64_t from, std::uint64_t count, int dst, Fault fault) {
#ifdef __linux__
  while (count > 0) {
    if (fault.injectable && injectedFault(fault.step, fault.path)) return false;
    loff_t in = static_cast<loff_t>(from);
    const ssize_t n = ::copy_file_range(
        src, &in, dst, nullptr, static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyChunk)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) break;
    if (n <= 0) return false;  // an error, or the source ended early
    from += static_cast<std::uint64_t>(n);
    count -= static_cast<std::uint64_t>(n);
  }
  if (count == 0) return true;
#endif
  std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyChunk)), '\0');
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, buf.size()));
    std::size_t got = 0;
    if (!sysPread(src, from, buf.data(), want, got) || got != want) return false;
    if (!writeAll(dst, std::string_view(buf.data(), got), fault)) return false;
    from += got;
    count -= got;
  }
  return true;
}
}  // namespace io

namespace {
using detail::injectedFault;
using namespace io;
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

bool OpenFile::fail(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      failure_ = IoFailure::ReadOnlyFile;
      break;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      failure_ = IoFailure::DiskFull;
      break;
    default:
      failure_ = IoFailure::Other;
  }
  return false;
}

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
  failure_ = IoFailure::None;
  const bool rw = mode == OpenMode::ReadWrite;
  if (rw && injectedFault(FileStep::OpenForWriting, path)) return fail(EACCES);
#ifdef _WIN32
  const auto w = widePath(path);
  if (!w) return false;
  int fd = -1;
  // Others may read while we write, as the editor expects.
  if (_wsopen_s(&fd, w->c_str(), (rw ? _O_RDWR : _O_RDONLY) | _O_BINARY, rw ? _SH_DENYWR : _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0)
    return fail(errno);
#else
  const auto p = nativePath(path);
  if (!p) return false;
  // O_NONBLOCK: a named pipe put where a listed file was must not hang the
  // window in open(); it is refused below. Regular files ignore the flag.
  const int fd = ::open(p->c_str(), (rw ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(errno);
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

bool OpenFile::write(std::string_view bytes) {
  if (!isWritable()) return fail(EBADF);
  if (!writeAll(fd_, bytes, {FileStep::Write, path_})) return fail(errno);
  failure_ = IoFailure::None;
  return true;
}

bool OpenFile::truncate(std::uint64_t newLength) {
  if (!isWritable()) return fail(EBADF);
#ifdef _WIN32
  const bool ok = _chsize_s(fd_, static_cast<__int64>(newLength)) == 0 && _commit(fd_) == 0;
#else
  const bool ok = ::ftruncate(fd_, static_cast<off_t>(newLength)) == 0 && ::fsync(fd_) == 0;
#endif
  if (!ok) return fail(errno);
  failure_ = IoFailure::None;
  return true;
}

#ifdef _WIN32

namespace {

// A temporary this old is abandoned: a write names it only to rename it at once.
constexpr std::uint64_t kStaleTicks = 60ull * 10'000'000;  // FILETIME counts 100 ns

bool processEnded(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

}  // namespace

bool OpenFile::replaceRange(std::uint64_t offset, std::uint64_t oldLength, std::string_view newBytes,
                            std::string_view /*stateDir*/) {
  failure_ = IoFailure::None;
  if (!isWritable()) return fail(EBADF);
  const auto len = length();
  if (!len || offset > *len || oldLength > *len - offset) return false;
  // A second name would keep the old content, and Windows cannot rewrite a
  // file in place with a backup as the POSIX build does: such a file is left.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), &info) ||
      info.nNumberOfLinks > 1)
    return false;
  removeStaleTemporaries(directoryOf(path_));
  const std::uint64_t tailFrom = offset + oldLength;
  const Fault write{FileStep::Write, path_};
  const auto target = widePath(path_);
  const auto tmp = widePath(std::string(directoryOf(path_)) + tempName());
  if (!target || !tmp) return false;
  int t = -1;
  if (_wsopen_s(&t, tmp->c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYWR,
                _S_IREAD | _S_IWRITE) != 0) {
    failure_ = IoFailure::FolderNotWritable;
    return false;
  }
  bool ok = copyRange(fd_, 0, offset, t, write) && writeAll(t, newBytes, write) &&
            copyRange(fd_, tailFrom, *len - tailFrom, t, write) && _commit(t) == 0;
  if (!ok) fail(errno);
  _close(t);
  if (ok && injectedFault(FileStep::Rename, path_)) ok = false;
  if (!ok) {
    DeleteFileW(tmp->c_str());
    if (failure_ == IoFailure::None) failure_ = IoFailure::Other;
    return false;
  }
  // Windows cannot replace a file we hold open: let go, move, and reopen.
  const std::string path = path_;
  close();
  ok = MoveFileExW(tmp->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileW(tmp->c_str());
  open(path, OpenMode::ReadWrite);
  return ok && isOpen();
}

BackupRestore restorePendingBackups(std::string_view) { return {}; }  // no in-place rewrites here

int removeStaleTemporaries(std::string_view dir) {
  const auto pattern =
      widePath(withSeparator(dir) + std::string(kTempPrefix) + "*" + std::string(kTempSuffix));
  if (!pattern) return 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  FILETIME nowTime;
  GetSystemTimeAsFileTime(&nowTime);
  const auto ticks = [](const FILETIME& t) {
    return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
  };
  int removed = 0;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // "<prefix><pid>-<random><suffix>": ASCII throughout.
    std::string name;
    for (const wchar_t* c = fd.cFileName; *c; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
    DWORD pid = 0;
    std::size_t i = kTempPrefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < (1u << 28); ++i)
      pid = pid * 10 + static_cast<DWORD>(name[i] - '0');
    if (i >= name.size() || name[i] != '-' || pid == GetCurrentProcessId()) continue;
    const bool old = ticks(nowTime) > ticks(fd.ftLastWriteTime) + kStaleTicks;
    if (!old && !processEnded(pid)) continue;
    if (const auto w = widePath(withSeparator(dir) + name); w && DeleteFileW(w->c_str())) ++removed;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return removed;
}

#endif
}  // namespace qorin::platform
