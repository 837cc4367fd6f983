// SPDX-License-Identifier: GPL-3.0-or-later
// Paths as the system reaches them, so that a list and the record of a pass
// name a folder one way however the user spelt it ("./sub", "a//b/", "..").
#include <algorithm>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "text/gbtext.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#else
#include <sys/stat.h>

#include <cstdlib>
#endif

namespace qorin::platform {

std::optional<std::string> canonicalPath(std::string_view path) { return CanonicalPaths().of(path); }

#ifndef _WIN32

namespace {

// The folder's real path, its links resolved by the system.
std::optional<std::string> realFolder(const std::string& dir) {
  char* real = ::realpath(dir.c_str(), nullptr);
  if (!real) return std::nullopt;
  std::string out = real;
  std::free(real);
  return out;
}

}  // namespace

std::optional<std::string> CanonicalPaths::of(std::string_view path) {
  const auto native = nativePath(path);
  if (!native || native->empty()) return std::nullopt;
  const std::string full = native->front() == '/' ? *native : workingDirectory() + *native;
  if (full.empty() || full.front() != '/') return std::nullopt;
  // Empty, "." and ".." parts go as text, as a file manager takes them
  // ("a/../b" is b even where a is a link or not there).
  std::vector<std::string_view> parts;
  for (std::size_t at = 0; at < full.size();) {
    const std::size_t end = std::min(full.find('/', at), full.size());
    const std::string_view part = std::string_view(full).substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string dir;
  for (std::size_t k = 0; k + 1 < parts.size(); ++k) (dir += '/') += parts[k];
  const std::string whole = parts.empty() ? "/" : dir + "/" + std::string(parts.back());
  struct stat st {};
  std::optional<std::string> real;
  if (parts.empty() || (::stat(whole.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    real = realFolder(whole);
  } else {
    // No folder: its folder resolved, its own name kept.
    if (dir.empty()) dir = "/";
    if (dir != dir_ || real_.empty()) {
      const auto r = realFolder(dir);
      if (!r) return std::nullopt;
      dir_ = dir;
      real_ = *r;
    }
    real = (real_ == "/" ? real_ : real_ + "/") + std::string(parts.back());
  }
  return real ? pathFromSystem(*real) : std::nullopt;
}

#else

namespace {

std::optional<std::string> narrow(std::wstring_view w) {
  return text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(w.data()), w.size() * 2), false);
}

// The folder as its handle tells it: junctions and links resolved. The
// full path as it stands where the system cannot tell (some network shares).
std::optional<std::string> finalPath(const std::wstring& full) {
  const auto gb = narrow(full);
  const auto w = gb ? widePath(*gb) : std::nullopt;
  HANDLE h = w ? CreateFileW(w->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
               : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) return gb;
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), VOLUME_NAME_DOS);
  if (n >= out.size()) {
    out.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), VOLUME_NAME_DOS);
  }
  CloseHandle(h);
  if (n == 0 || n >= out.size()) return gb;
  out.resize(n);
  if (out.starts_with(L"\\\\?\\UNC\\")) return narrow(L"\\\\" + out.substr(8));
  if (out.starts_with(L"\\\\?\\")) return narrow(out.substr(4));
  return narrow(out);
}

}  // namespace

std::optional<std::string> CanonicalPaths::of(std::string_view path) {
  const auto w = toWide(path);
  if (!w || w->empty()) return std::nullopt;
  // "." and ".." parts, "/" and repeated separators: Windows takes them as
  // text, a relative path against the working folder.
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(w->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n + 1);
    n = GetFullPathNameW(w->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return std::nullopt;
  full.resize(n);
  const std::size_t rootEnd = full.size() >= 3 && full[1] == L':' ? 3 : 2;
  while (full.size() > rootEnd && full.back() == L'\\') full.pop_back();
  const auto gb = narrow(full);
  const auto at = gb ? widePath(*gb) : std::nullopt;
  const DWORD a = at ? GetFileAttributesW(at->c_str()) : INVALID_FILE_ATTRIBUTES;
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return finalPath(full);
  // No folder: its folder resolved, its own name kept.
  const std::size_t slash = full.rfind(L'\\');
  if (slash == std::wstring::npos) return std::nullopt;
  const std::wstring folder = full.substr(0, slash < rootEnd ? rootEnd : slash);
  const auto dir = narrow(folder);
  const auto name = narrow(std::wstring_view(full).substr(slash + 1));
  if (!dir || !name) return std::nullopt;
  if (*dir != dir_ || real_.empty()) {
    const auto real = finalPath(folder);
    if (!real) return std::nullopt;
    dir_ = *dir;
    real_ = *real;
  }
  return withSeparator(real_) + *name;
}

#endif

}  // namespace qorin::platform
