// SPDX-License-Identifier: GPL-3.0-or-later
// The folders the program keeps its own files in: beside the program for a
// portable copy, otherwise per user; and whether a folder is safe to use.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "text/gbtext.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qorin::platform {

namespace {

// An installed program (its data in <prefix>/share/qorin beside
// <prefix>/bin) keeps the user's files per user even where it could write
// its own folder, as root can write /usr/bin. A portable copy in a folder
// someone else owns or may write to goes per user as well.
bool keepsFilesBeside(std::string_view programDir) {
  const std::string dir = withSeparator(programDir);
  return isWritableDirectory(dir) && folderIsSafe(dir) &&
         !isDirectory(dir + ".." + kSeparator + "share" + kSeparator + "qorin");
}

}  // namespace

std::string configDirectory() { return configDirectoryFor(programDirectory()); }
std::string stateDirectory() { return stateDirectoryFor(programDirectory()); }

#ifndef _WIN32

bool folderIsSafe(std::string_view dir) {
  auto path = nativePath(dir);
  if (!path) return false;
  while (path->size() > 1 && path->back() == '/') path->pop_back();
  const uid_t me = ::geteuid();
  struct stat st {};
  if (::lstat(path->c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode) && (st.st_uid != me || ::stat(path->c_str(), &st) != 0)) return false;
  // Its group may not write to it either: a group is seldom the user alone.
  if (!S_ISDIR(st.st_mode) || st.st_uid != me || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  // Whoever may rename entries in the folder holding it may swap it for
  // another: that one must be the user's or root's, and closed to others
  // unless sticky (as /tmp, where no one else may rename what is ours).
  const auto slash = path->rfind('/');
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path->substr(0, slash);
  struct stat up {};
  return ::stat(parent.c_str(), &up) == 0 && (up.st_uid == me || up.st_uid == 0) &&
         ((up.st_mode & S_IWOTH) == 0 || (up.st_mode & S_ISVTX) != 0);
}

std::string homeDirectory() {
  if (const char* h = std::getenv("HOME"); h && *h == '/') {
    if (auto gb = text::utf8ToGb(h)) return withSeparator(*gb);
  }
  // Unset under some service managers and in `env -i`: the account's own entry.
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
  struct passwd pw {};
  struct passwd* found = nullptr;
  int error = 0;
  while ((error = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found)) == ERANGE &&
         buf.size() < (1u << 20))
    buf.resize(buf.size() * 2);
  if (error != 0 || !found || !pw.pw_dir || pw.pw_dir[0] != '/') return {};
  const auto gb = text::utf8ToGb(pw.pw_dir);
  return gb ? withSeparator(*gb) : std::string();
}

namespace {

// $<xdgVariable>/qorin/, or ~/<homeFallback>/qorin/, created on demand;
// empty when neither can be had.
std::string perUserDirectory(std::string_view programDir, const char* xdgVariable, const char* homeFallback) {
  const std::string prog = withSeparator(programDir);
  if (keepsFilesBeside(prog)) return prog;
  std::string base;
  if (const char* x = std::getenv(xdgVariable); x && *x == '/') {
    const auto gb = text::utf8ToGb(x);
    if (!gb) return {};
    base = withSeparator(*gb);
  } else if (const std::string home = homeDirectory(); !home.empty()) {
    base = home + homeFallback + "/";
  } else {
    return {};
  }
  // A new account may have no ~/.local yet: make every missing folder.
  const std::string dir = base + "qorin/";
  return createDirectories(dir) && isDirectory(dir) ? dir : std::string();
}

}  // namespace

std::string configDirectoryFor(std::string_view programDir) {
  return perUserDirectory(programDir, "XDG_CONFIG_HOME", ".config");
}
std::string stateDirectoryFor(std::string_view programDir) {
  return perUserDirectory(programDir, "XDG_STATE_HOME", ".local/state");
}

#else

// Owners and permissions of Windows folders are access lists, which the
// per-user folders under the profile get right by default.
bool folderIsSafe(std::string_view dir) { return isDirectory(dir); }

namespace {

// %<variable>%\qorin\, created on demand; empty when it cannot be had.
std::string perUserDirectory(std::string_view programDir, const wchar_t* variable) {
  const std::string prog = withSeparator(programDir);
  if (keepsFilesBeside(prog)) return prog;
  const wchar_t* base = _wgetenv(variable);
  if (!base || !*base) base = _wgetenv(L"APPDATA");
  if (!base || !*base) return {};
  const std::wstring_view wide(base);
  const auto gbBase =
      text::utf16ToGb(std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2), false);
  if (!gbBase || gbBase->empty()) return {};
  const std::string dir = withSeparator(*gbBase) + "qorin\\";
  return createDirectories(dir) ? dir : std::string();
}

}  // namespace

std::string configDirectoryFor(std::string_view programDir) {
  return perUserDirectory(programDir, L"APPDATA");
}
std::string stateDirectoryFor(std::string_view programDir) {
  return perUserDirectory(programDir, L"LOCALAPPDATA");
}

#endif

}  // namespace qorin::platform
