// SPDX-License-Identifier: GPL-3.0-or-later
// The only place the program touches the file system. Paths and names are
// code-page (GB18030) text; they are converted to the system's encoding here,
// and a path that cannot be converted without loss makes the operation fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fs_types.h"
#include "platform/names.h"

namespace qorin::platform {

// A path given as the system's bytes (a dropped URL, say) as code-page text,
// its last part marked where it is kept in the old code page; nothing when
// it is neither UTF-8 nor that.
std::optional<std::string> pathFromSystem(std::string_view bytes);
// Whether such a path leads to a folder.
bool isSystemPathDirectory(std::string_view bytes);

// The path as a list and a record name it: no "." or ".." part (taken as
// text, as a file manager does), no repeated or trailing separator, a
// relative path taken from the working folder, and then its folder given
// by its real path (links followed). A last part that is no folder is kept
// as given, a name in the old code page, a link or a name not there
// included: the file renamed is the entry named. A folder comes back
// without its separator. Nothing when its folder is not there or has no
// code-page form.
std::optional<std::string> canonicalPath(std::string_view path);

// The same for many paths, the last folder's real path remembered: the
// files of one drop share their folder.
class CanonicalPaths {
 public:
  std::optional<std::string> of(std::string_view path);

 private:
  std::string dir_, real_;
};

// Native path for the system calls; nothing when `path` cannot be converted.
// A last part marked as kept in the old code page goes in as its bytes.
std::optional<std::string> nativePath(std::string_view path);

bool exists(std::string_view path);
bool isFile(std::string_view path);
bool isDirectory(std::string_view path);
bool isWritableDirectory(std::string_view dir);

// One level ("." and ".." never), in natural order (text::naturalLess).
// Hidden entries (dot-names here, the hidden attribute on Windows) are
// left out unless `withHidden`. `stop` is asked every few thousand entries.
DirectoryListing listFiles(std::string_view dir, bool withHidden = true, bool withNameHashes = false,
                           const StopFn& stop = {});

// Renames `from` to `to`, never replacing an existing file. A target that is
// the file itself (same name, or a case-only change on a case-insensitive
// file system) succeeds in place.
RenameResult renameNoReplace(std::string_view from, std::string_view to);

// Reads a whole small regular file; nothing when it cannot be read or exceeds
// maxBytes. A link there is not followed, and a FIFO or device is refused
// rather than waited on.
std::optional<std::string> readFile(std::string_view path, std::size_t maxBytes);

// Replaces the file's content through a temporary file in the same directory
// that is flushed and renamed over it (mode kept), so a crash leaves either
// the old or the new content. Only a regular file is replaced: a link (which
// is not followed), FIFO or folder at `path` makes it fail.
bool writeFileAtomic(std::string_view path, std::string_view content);

// Creates an empty file if none exists; true when a regular file is there
// afterwards. A link is not followed, so a dangling one creates nothing.
bool touchFile(std::string_view path);

// Nothing when the file cannot be looked at.
std::optional<FileTimes> fileTimes(std::string_view path);

// The local clock at `seconds` since 1970 (UTC); nothing outside what the
// system converts.
std::optional<LocalTime> localTime(std::int64_t seconds);

// The system's message for an error number, in the code page.
std::string errorText(int error);

// A name converted once to the system's encoding, for a caller that uses
// it more than once (a pass takes a file's identity, then renames it).
class NativeName {
 public:
  static std::optional<NativeName> of(std::string_view name);  // nothing when it cannot be converted

 private:
  friend class Folder;
  std::string bytes_;
};

// How a rename is kept from replacing a file, in the order tried: the
// kernel's no-replace flag; a hard link, then the old name removed; the
// target name claimed with an empty file of our own that is renamed over.
// FUSE mounts of exFAT and FAT take neither of the first two, NFS not the flag.
enum class NoReplaceWay : unsigned char { Flag, Link, Placeholder };

// Told by a rename of the link or the placeholder way before each of its
// acts that leaves a trace, so that the record of a pass can say what a
// kill half way left: a second name of the file, or an empty file of ours
// under the target name (the flag way, one system call, leaves none).
// linking() and claiming() return 0 to go ahead, or the error that keeps
// the rename from being made.
class RenameIntents {
 public:
  virtual int linking() = 0;   // before the target is made a second name of the file
  virtual int claiming() = 0;  // before the target is claimed with an empty file
  // The placeholder's inode, before the rename over it; 0: none was made.
  virtual void claimed(std::uint64_t inode) = 0;

 protected:
  ~RenameIntents() = default;
};

// Which way each device takes, learned from the first refusal, so that a
// pass over many files does not ask again for each one. A pass owns one and
// hands it to its folders.
class RenameWays {
 public:
  NoReplaceWay wayFor(std::uint64_t device) const;
  void learn(std::uint64_t device, NoReplaceWay way);
  // For tests: behave as a file system that refuses `way`.
  void refuse(NoReplaceWay way) { refused_ |= static_cast<unsigned char>(1u << static_cast<unsigned>(way)); }
  bool refuses(NoReplaceWay way) const { return (refused_ >> static_cast<unsigned>(way)) & 1u; }

  // Who hears of the renames' intents while a pass, an undo or a recovery
  // runs (nullptr: no one).
  void setIntents(RenameIntents* intents) { intents_ = intents; }
  RenameIntents* intents() const { return intents_; }

  // For tests: `fn` runs before each system call of a rename (and before
  // each intent is told), so a test can end the process at any of them.
  void beforeEachCall(std::function<void()> fn) { beforeCall_ = std::move(fn); }
  void atCall() const {
    if (beforeCall_) beforeCall_();
  }

 private:
  std::vector<std::pair<std::uint64_t, NoReplaceWay>> learned_;
  unsigned char refused_ = 0;
  RenameIntents* intents_ = nullptr;
  std::function<void()> beforeCall_;
};

// An open folder. Names given to it are single names inside it, resolved
// relative to the open folder, so a pass over thousands of files neither
// walks the path again for each one nor follows a folder renamed meanwhile.
// (On Windows names go by path, but while the folder is open no one can
// rename or remove it or a folder above it.)
class Folder {
 public:
  Folder() = default;
  explicit Folder(std::string_view dir);
  // The folder at `dir` only when it is the one `expected` names (device and
  // inode; with `anyDevice` the inode alone, for a volume mounted again).
  // A link as the last part of the path is followed only to that folder.
  // Otherwise it is not open and changed() tells why.
  Folder(std::string_view dir, const FileIdentity& expected, bool anyDevice = false);
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool isOpen() const;
  int error() const { return error_; }  // why it could not be opened
  // Opened against an identity: the path leads to another folder, or to none.
  bool changed() const { return changed_; }
  const FileIdentity& identity() const { return identity_; }  // device and inode of the folder

  // The longest name its file system takes, in native units (UTF-8 bytes,
  // or UTF-16 units on Windows); 255 when it does not say.
  std::size_t nameLimit() const;

  // Every entry (files, folders, links), "." and ".." left out, in no
  // particular order. Names that do not convert are left out: no code-page
  // name can equal them. Nothing when the folder cannot be read.
  std::optional<std::vector<std::string>> names() const;
  // The same names handed to `visit` one at a time, none kept: a folder of a
  // million files is read without holding its listing. False when the
  // folder cannot be read (some names may have been visited).
  bool eachName(const std::function<void(std::string_view)>& visit) const;

  // The entry itself (a link is not followed); nothing when it is missing.
  std::optional<FileIdentity> identityOf(std::string_view name) const;
  std::optional<FileIdentity> identityOf(const NativeName& name) const;

  struct Outcome {
    RenameResult result;
    int error = 0;  // errno (or the Windows error) when result is Failed
  };
  // Renames `from` to `to` inside the folder, never replacing an entry.
  // Unlike renameNoReplace, a target that is the file itself under another
  // spelling is reported as existing: the caller goes through a name of its
  // own that it has recorded.
  Outcome rename(std::string_view from, std::string_view to) const;
  Outcome rename(const NativeName& from, const NativeName& to) const;

  // Renames learn and use `ways` (which must outlive the folder's renames)
  // instead of the folder's own.
  void shareWays(RenameWays& ways) { shared_ = &ways; }

  // What a rename of the link or the placeholder way may leave when killed
  // half way, taken away. `name` goes only where it is a second name of
  // `file` (device and inode; two names or more), or only where it is an
  // empty regular file, the one of `inode` unless that is 0.
  bool removeSecondName(std::string_view name, const FileIdentity& file) const;
  bool removePlaceholder(std::string_view name, std::uint64_t inode) const;

  // Whether the file system takes names that differ only in case as one
  // (exFAT, FAT); asked of it once, by a probe file of our own.
  bool ignoresCase() const;

  // Makes the folder's entries durable.
  bool sync() const;

  // Makes this folder the process's working folder, so that a name opened
  // afterwards is looked up in it, not by its path again: for the media
  // worker, a process of its own that reads one file at a time.
  bool enter() const;

 private:
#ifdef _WIN32
  std::string dir_;         // with the separator
  void* handle_ = nullptr;  // held without delete sharing: the folder and its parents stay put
#else
  int fd_ = -1;
#endif
  int error_ = 0;
  bool changed_ = false;
  FileIdentity identity_;
  RenameWays* shared_ = nullptr;
  mutable RenameWays own_;
  mutable signed char ignoresCase_ = -1;  // not asked yet
};

// Renames `from` over `to`, replacing it: only for the program's own files.
bool replaceFile(std::string_view from, std::string_view to);

// Creates the directory and its missing parents; true when it exists after.
bool createDirectories(std::string_view dir);

// The executable's directory, ending in the separator.
std::string programDirectory();
// The process's working folder as the system's bytes, ending in the
// separator; empty when it cannot be told.
std::string workingDirectory();

// Where config.ini and dir.txt live: the program directory when it is
// writable and safe (folderIsSafe), otherwise the per-user configuration
// directory (created on demand: $XDG_CONFIG_HOME/qorin/, ~/.config/qorin/, or
// %APPDATA%\qorin\ on Windows). An installed program (with <prefix>/share/qorin
// beside its folder) always goes per user. Empty when no per-user folder can
// be had: the program's own folder is never the fallback.
std::string configDirectory();

// Where the program keeps what it records between runs (the journal of the
// last renaming pass): the program directory as above, otherwise the
// per-user state directory ($XDG_STATE_HOME/qorin/, %LOCALAPPDATA%\qorin\).
std::string stateDirectory();

// The same for a program in `programDir`.
std::string configDirectoryFor(std::string_view programDir);
std::string stateDirectoryFor(std::string_view programDir);

// Whether the program may keep its files in the folder `dir`: it belongs to
// the user running the program and no one else may write to it (neither its
// group nor others; a world-writable folder counts as others', sticky or
// not), so no one else can plant a link or a record there for the program
// to act on; nor may anyone else swap it (the folder holding it is the
// user's or root's). A link to the folder counts when the link is the
// user's too. On Windows: it exists.
bool folderIsSafe(std::string_view dir);

#ifndef _WIN32
// The user's home folder, ending in the separator: $HOME when it holds a full
// path, otherwise the password database's entry for the user; empty when
// neither tells.
std::string homeDirectory();
#endif

#ifdef _WIN32
// The path as the wide-character calls take it: "/" turned into "\", and a
// full path prefixed with \\?\ so that neither the 260-character limit nor
// the stripping of trailing dots and blanks applies. Nothing when it does
// not convert or holds a NUL.
std::optional<std::wstring> widePath(std::string_view path);
// A GB18030 text as UTF-16 and back; nothing (or "") when it does not
// convert or holds a NUL.
std::optional<std::wstring> toWide(std::string_view gb);
std::string fromWide(std::wstring_view w);
#endif

}  // namespace qorin::platform
