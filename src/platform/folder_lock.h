// SPDX-License-Identifier: GPL-3.0-or-later
// One renaming run at a time per folder, among every copy of the program
// (windows and qorin-cli alike): a run holds an advisory lock on each folder
// it renames in. The locks are files of the program's own in its state
// folder, "locks/<device>-<inode>.lock" (flock, a lock range on Windows),
// so the kernel lets go of them when a holder dies however it ends.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::platform {

// A folder as the locks tell it: which one it is, not how it is spelled.
struct FolderKey {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FolderKey&) const = default;
};

enum class LockResult : unsigned char {
  Held,    // every folder is ours until release()
  Busy,    // another holds busy(); the ones before it are kept
  Failed,  // the lock folder or a lock file could not be had (error())
};

// The locks of one run. They are taken in the order of their keys and held
// while the rest are waited for, so two runs waiting for each other's
// folders cannot both wait for ever. A process holds a folder once: a
// second FolderLocks of the same process over it finds it Busy.
class FolderLocks {
 public:
  FolderLocks() = default;
  // `stateDir` ends in the separator; the keys may come in any order and
  // more than once.
  FolderLocks(std::string_view stateDir, std::vector<FolderKey> keys);
  ~FolderLocks();
  FolderLocks(FolderLocks&& other) noexcept;
  FolderLocks& operator=(FolderLocks&& other) noexcept;
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

  // Sorted, each once.
  const std::vector<FolderKey>& keys() const { return keys_; }
  // Takes the locks not held yet without waiting for any. Called again
  // after Busy, it goes on where it stopped: a caller that waits tries
  // again every so often.
  LockResult take();
  bool held() const { return held_.size() == keys_.size(); }
  // The key take() stopped at (valid after Busy or Failed).
  std::size_t busy() const { return held_.size(); }
  int error() const { return error_; }
  // Lets every lock go and removes the lock files, which no one can be
  // using once they are ours.
  void release();

 private:
  std::string dir_;  // the lock folder, ending in the separator
  std::vector<FolderKey> keys_;
#ifdef _WIN32
  std::vector<void*> held_;
#else
  std::vector<int> held_;
#endif
  int error_ = 0;
};

// Removes the lock files that a killed holder left in `stateDir`, each
// only while it is locked by the caller: a lock in use is left alone.
void removeStaleFolderLocks(std::string_view stateDir);

}  // namespace qorin::platform
