// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows half of fs.h: the same contracts over the wide-character API.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max are used below
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <type_traits>
#include <utility>

#include "platform/fs.h"
#include "platform/no_replace.h"
#include "platform/open_file.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::platform {
// Dropped paths come as UTF-8 here: the names on disk are UTF-16.
std::optional<std::string> pathFromSystem(std::string_view bytes) { return text::utf8ToGb(bytes); }
bool isSystemPathDirectory(std::string_view bytes) {
  const auto p = text::utf8ToGb(bytes);
  return p && isDirectory(*p);
}

std::optional<std::string> nativePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return text::gbToUtf8(path);
}

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path that needs no resolving before \\?\ goes in front: it starts at a
// drive's root or a share and holds no "." or ".." parts.
bool plainFullPath(const std::wstring& w) {
  const bool drive = w.size() >= 3 && w[1] == L':' && isSeparator(w[2]);
  const bool share = w.size() >= 3 && isSeparator(w[0]) && isSeparator(w[1]) && w[2] != L'?' && w[2] != L'.';
  if (!drive && !share) return false;
  for (std::size_t i = 0; i < w.size();) {
    const std::size_t end = std::min(w.find_first_of(L"\\/", i), w.size());
    const std::wstring_view part(w.data() + i, end - i);
    if (part == L"." || part == L"..") return false;
    i = end + 1;
  }
  return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices, with any extension;
// a name ending in "." or " " loses that end; the characters below are
// refused. With the \\?\ prefix such names would be made as they are and
// no other program could open them.
bool usableName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ') return false;
  for (std::size_t i = 0; i < name.size(); i += text::charLength(name, i)) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (text::charLength(name, i) == 1 &&
        (c < 0x20 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos))
      return false;
  }
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string up = text::asciiUpper(base);
  if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL") return false;
  return !(up.size() == 4 && (up.starts_with("COM") || up.starts_with("LPT")) && up[3] >= '1' &&
           up[3] <= '9');
}

DWORD attributes(std::string_view path) {
  const auto w = widePath(path);
  return w ? GetFileAttributesW(w->c_str()) : INVALID_FILE_ATTRIBUTES;
}

std::uint64_t randomNumber() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  return rng();
}

// "<dir>.qorin-<random>.tmp": a name of our own beside `path`.
std::string uniqueSibling(std::string_view path) {
  char buf[40];
  std::snprintf(buf, sizeof buf, ".qorin-%016llx.tmp", static_cast<unsigned long long>(randomNumber()));
  return std::string(directoryOf(path)) + buf;
}

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

// A file on a disk that is no link (nor any other reparse point) and no folder.
bool plainFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace

std::optional<std::wstring> toWide(std::string_view gb) {
  if (gb.find('\0') != std::string_view::npos) return std::nullopt;
  const auto utf16 = text::gbToUtf16(gb);
  if (!utf16) return std::nullopt;
  std::wstring w(utf16->size() / 2, L'\0');
  std::memcpy(w.data(), utf16->data(), utf16->size());
  return w;
}

std::string fromWide(std::wstring_view w) {
  return text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(w.data()), w.size() * 2), false)
      .value_or(std::string());
}

std::optional<std::wstring> widePath(std::string_view path) {
  auto w = toWide(path);
  if (!w) return std::nullopt;
  if (w->starts_with(LR"(\\?\)") || w->starts_with(LR"(\\.\)")) return w;
  for (wchar_t& c : *w)
    if (c == L'/') c = L'\\';
  std::wstring full;
  if (plainFullPath(*w)) {
    full = std::move(*w);
  } else {
    // Relative, or with "." and ".." parts: the system resolves it first.
    const DWORD n = GetFullPathNameW(w->c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    full.assign(n, L'\0');
    const DWORD got = GetFullPathNameW(w->c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return w;
    full.resize(got);
    if (!plainFullPath(full)) return w;
  }
  // Doubled separators would be empty names after the prefix.
  std::wstring out = full[1] == L':' ? LR"(\\?\)" : LR"(\\?\UNC)";
  const std::size_t from = full[1] == L':' ? 0 : 1;
  for (std::size_t i = from; i < full.size(); ++i)
    if (!(full[i] == L'\\' && !out.empty() && out.back() == L'\\' && i > from)) out += full[i];
  return out;
}

bool exists(std::string_view path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }
bool isFile(std::string_view path) {
  const DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool isDirectory(std::string_view path) {
  const DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The read-only mark of a folder does not stop new files; only trying tells.
bool isWritableDirectory(std::string_view dir) {
  if (!isDirectory(dir)) return false;
  char name[48];
  std::snprintf(name, sizeof name, ".qorin-probe-%016llx.tmp",
                static_cast<unsigned long long>(randomNumber()));
  const auto w = widePath(withSeparator(dir) + name);
  if (!w) return false;
  HANDLE h = CreateFileW(w->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

DirectoryListing listFiles(std::string_view dir, bool withHidden, bool withNameHashes, const StopFn& stop) {
  DirectoryListing out;
  const auto pattern = widePath(withSeparator(dir) + "*");
  if (!pattern) {
    out.error = ListError::Unconvertible;
    return out;
  }
  if (detail::injectedFault(FileStep::List, dir)) {
    out.error = ListError::Unreadable;
    return out;
  }
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    out.ok = e == ERROR_FILE_NOT_FOUND;  // an empty drive root
    if (!out.ok)
      out.error = e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY ? ListError::Missing
                  : e == ERROR_FILENAME_EXCED_RANGE                 ? ListError::PathTooLong
                                                                    : ListError::Unreadable;
    return out;
  }
  out.ok = true;
  // The folder these files are in, as a Folder opened on it would tell.
  if (const Folder f(dir); f.isOpen()) {
    out.device = f.identity().device;
    out.inode = f.identity().inode;
  }
  out.hashed = withNameHashes;
  constexpr std::size_t kStopEvery = 4096;  // a look per entry would cost more than the listing
  std::size_t seen = 0;
  do {
    if ((++seen & (kStopEvery - 1)) == 0 && stop && stop()) {
      FindClose(h);
      DirectoryListing cut;
      cut.stopped = true;
      return cut;
    }
    const bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const std::wstring_view n(fd.cFileName);
    if (folder && (n == L"." || n == L"..")) continue;
    auto gb = text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(n.data()), n.size() * 2), false);
    if (withNameHashes && gb) out.nameHashes.push_back(nameHash(*gb));
    if (!withHidden && (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
    if (folder && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;  // links are not followed
    if (gb)
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
  const auto src = widePath(from), dst = widePath(to);
  if (!src || !dst) return RenameResult::Unconvertible;
  const auto srcId = identityOfPath(*src);
  if (!srcId) return RenameResult::SourceMissing;
  if (*src == *dst) return RenameResult::Renamed;
  if (!usableName(fileNameOf(to))) return RenameResult::Failed;
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing target.
  // The target may be the file itself: a case-only change goes through a
  // temporary name; a second link of the file is a taken name (wine would
  // move over it).
  if (const auto dstId = identityOfPath(*dst)) {
    if (*dstId != *srcId || CompareStringOrdinal(src->c_str(), -1, dst->c_str(), -1, TRUE) != CSTR_EQUAL)
      return RenameResult::TargetExists;
    const auto tmp = widePath(uniqueSibling(from));
    if (!tmp || !MoveFileExW(src->c_str(), tmp->c_str(), 0)) return RenameResult::Failed;
    if (MoveFileExW(tmp->c_str(), dst->c_str(), 0)) return RenameResult::Renamed;
    MoveFileExW(tmp->c_str(), src->c_str(), 0);
    return RenameResult::Failed;
  }
  if (MoveFileExW(src->c_str(), dst->c_str(), 0)) return RenameResult::Renamed;
  const DWORD e = GetLastError();
  return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? RenameResult::TargetExists
                                                             : RenameResult::Failed;
}

std::string errorText(int error) {
  wchar_t buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, buf, 512, nullptr);
  while (n > 0 && (buf[n - 1] == L'\r' || buf[n - 1] == L'\n' || buf[n - 1] == L' ')) --n;
  const std::string gb = n ? fromWide(std::wstring_view(buf, n)) : std::string();
  return gb.empty() ? "error " + std::to_string(error) : gb;
}

Folder::Folder(std::string_view dir) : dir_(withSeparator(dir)) {
  const auto w = widePath(dir_);
  if (!w) {
    error_ = static_cast<int>(ERROR_NO_UNICODE_TRANSLATION);
    return;
  }
  // Opened as a process opens its current folder: others may still read and
  // write in it, but not rename or delete it, nor any folder above it, while
  // the handle lives; so the path keeps naming the folder checked here.
  HANDLE h = CreateFileW(w->c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = static_cast<int>(ERROR_DIRECTORY);
    CloseHandle(h);
    return;
  }
  identity_ = {info.dwVolumeSerialNumber,
               (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, 0, 0};
  handle_ = h;
}

Folder::Folder(std::string_view dir, const FileIdentity& expected, bool anyDevice) : Folder(dir) {
  if (handle_ && (identity_.inode != expected.inode || (!anyDevice && identity_.device != expected.device))) {
    CloseHandle(handle_);
    handle_ = nullptr;
    changed_ = true;
  } else if (!handle_) {
    changed_ = error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND;
  }
}

Folder::~Folder() {
  if (handle_) CloseHandle(handle_);
}

Folder::Folder(Folder&& other) noexcept
    : dir_(std::move(other.dir_)),
      handle_(std::exchange(other.handle_, nullptr)),
      error_(other.error_),
      changed_(other.changed_),
      identity_(other.identity_),
      shared_(other.shared_),
      own_(std::move(other.own_)),
      ignoresCase_(other.ignoresCase_) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (handle_) CloseHandle(handle_);
    dir_ = std::move(other.dir_);
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = other.error_;
    changed_ = other.changed_;
    identity_ = other.identity_;
    shared_ = other.shared_;
    own_ = std::move(other.own_);
    ignoresCase_ = other.ignoresCase_;
  }
  return *this;
}

bool Folder::isOpen() const { return handle_ != nullptr; }

std::size_t Folder::nameLimit() const {
  const auto w = widePath(dir_);
  std::wstring root(w ? w->size() + 1 : 0, L'\0');
  DWORD maxComponent = 0;
  if (w && GetVolumePathNameW(w->c_str(), root.data(), static_cast<DWORD>(root.size())) &&
      GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, &maxComponent, nullptr, nullptr, 0) &&
      maxComponent > 0)
    return maxComponent;
  return 255;
}

bool Folder::eachName(const std::function<void(std::string_view)>& visit) const {
  const auto pattern = widePath(dir_ + "*");
  if (!handle_ || !pattern) return false;
  if (detail::injectedFault(FileStep::List, dir_)) return false;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern->c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring_view n(fd.cFileName);
    if (n == L"." || n == L"..") continue;
    if (auto gb =
            text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(n.data()), n.size() * 2), false))
      visit(*gb);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return true;
}

std::optional<NativeName> NativeName::of(std::string_view name) {
  if (!toWide(name)) return std::nullopt;
  NativeName n;
  n.bytes_ = std::string(name);  // converted with the folder's path when used
  return n;
}

std::optional<FileIdentity> Folder::identityOf(std::string_view name) const {
  const auto w = widePath(dir_ + std::string(name));
  return handle_ && w ? identityOfPath(*w) : std::nullopt;
}

std::optional<FileIdentity> Folder::identityOf(const NativeName& name) const {
  return identityOf(name.bytes_);
}

Folder::Outcome Folder::rename(std::string_view from, std::string_view to) const {
  const auto src = widePath(dir_ + std::string(from)), dst = widePath(dir_ + std::string(to));
  if (!handle_) return {RenameResult::SourceMissing, 0};  // as with no folder there
  if (!src || !dst) return {RenameResult::Unconvertible, 0};
  if (!usableName(fileNameOf(to))) return {RenameResult::Failed, static_cast<int>(ERROR_INVALID_NAME)};
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

// No worker process runs on Windows: its readers stay in the program.
bool Folder::enter() const { return false; }

bool Folder::sync() const { return handle_ != nullptr; }  // folder entries cannot be flushed from user mode

// NTFS as Windows mounts it; a folder marked case-sensitive is rare enough to go by name.
bool Folder::ignoresCase() const { return kNamesIgnoreCase; }

// Renames here never go by a link or a placeholder: nothing of theirs is left.
bool Folder::removeSecondName(std::string_view, const FileIdentity&) const { return false; }
bool Folder::removePlaceholder(std::string_view, std::uint64_t) const { return false; }

bool replaceFile(std::string_view from, std::string_view to) {
  const auto src = widePath(from), dst = widePath(to);
  return src && dst &&
         MoveFileExW(src->c_str(), dst->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool createDirectories(std::string_view dir) {
  std::string path(dir);
  while (!path.empty() && directoryOf(path).size() == path.size()) path.pop_back();
  if (path.empty() || isDirectory(path)) return true;
  // "C:" and "\\server\share" are no folders to make.
  const std::string_view parent = directoryOf(path);
  if (parent.size() > 3 && !(parent.starts_with("\\\\") && parent.find('\\', 2) == parent.size() - 1) &&
      !createDirectories(parent))
    return false;
  const auto w = widePath(path);
  return w && (CreateDirectoryW(w->c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

std::optional<std::string> readFile(std::string_view path, std::size_t maxBytes) {
  const auto w = widePath(path);
  if (!w) return std::nullopt;
  HANDLE h = CreateFileW(w->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  if (!plainFile(h)) {
    CloseHandle(h);
    return std::nullopt;
  }
  std::string out;
  char buf[65536];
  DWORD n = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n > 0) {
    if (out.size() + n > maxBytes) {
      ok = false;
      break;
    }
    out.append(buf, n);
  }
  CloseHandle(h);
  return ok ? std::optional<std::string>(std::move(out)) : std::nullopt;
}

bool writeFileAtomic(std::string_view path, std::string_view content) {
  const auto w = widePath(path);
  const auto t = widePath(uniqueSibling(path));
  if (!w || !t) return false;
  // Only a plain file is replaced: a link or folder there is left as it is.
  if (const DWORD a = GetFileAttributesW(w->c_str());
      a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  HANDLE h = CreateFileW(t->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (std::string_view rest = content; ok && !rest.empty();) {
    DWORD done = 0;
    ok = WriteFile(h, rest.data(), static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30)), &done,
                   nullptr) &&
         done > 0;
    rest.remove_prefix(done);
  }
  ok = FlushFileBuffers(h) && ok;
  CloseHandle(h);
  ok = ok && MoveFileExW(t->c_str(), w->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(t->c_str());
  return ok;
}

bool touchFile(std::string_view path) {
  const auto w = widePath(path);
  if (!w) return false;
  // A link there is opened itself, not followed: nothing is made at its target.
  HANDLE h = CreateFileW(w->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool plain = plainFile(h);
  CloseHandle(h);
  return plain;
}

std::string programDirectory() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".\\";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);  // cut short: a longer path
  }
  if (buf.starts_with(LR"(\\?\UNC\)")) {
    buf.replace(0, 8, LR"(\\)");
  } else if (buf.starts_with(LR"(\\?\)")) {
    buf.erase(0, 4);
  }
  const std::string gb = fromWide(buf);
  return gb.empty() ? std::string(".\\") : std::string(directoryOf(gb));
}

std::string workingDirectory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring buf(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, buf.data());
  if (got == 0 || got >= n) return {};
  buf.resize(got);
  const auto utf8 = text::gbToUtf8(fromWide(buf));
  if (!utf8 || utf8->empty()) return {};
  return utf8->ends_with('\\') ? *utf8 : *utf8 + '\\';
}

std::optional<FileTimes> fileTimes(std::string_view path) {
  const auto w = widePath(path);
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!w || !GetFileAttributesExW(w->c_str(), GetFileExInfoStandard, &d)) return std::nullopt;
  // FILETIME counts 100 ns from 1601.
  const auto ns = [](const FILETIME& ft) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
  };
  FileTimes t{(static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow, ns(d.ftLastWriteTime),
              std::nullopt};
  if (d.ftCreationTime.dwHighDateTime != 0 || d.ftCreationTime.dwLowDateTime != 0)
    t.created = ns(d.ftCreationTime);
  return t;
}

}  // namespace qorin::platform
#endif
