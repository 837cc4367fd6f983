// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch folder for the benchmarks that rename real files (Linux): on
// tmpfs where there is one, removed with all it holds.
#pragma once

#include <linux/magic.h>
#include <stdlib.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace qorin::bench {

inline bool onTmpfs(const std::filesystem::path& p) {
  struct statfs s {};
  return ::statfs(p.c_str(), &s) == 0 && s.f_type == TMPFS_MAGIC;
}

// The baselines are the kernel's own work, which a disk's journal would
// blur; /tmp is not tmpfs everywhere, /dev/shm nearly always is.
// QORIN_BENCH_ON_DISK=1 measures on the temporary folder's disk instead.
inline std::filesystem::path scratchParent() {
  const std::filesystem::path tmp = std::filesystem::temp_directory_path();
  if (const char* disk = std::getenv("QORIN_BENCH_ON_DISK"); disk && *disk == '1') return tmp;
  if (onTmpfs(tmp)) return tmp;
  if (onTmpfs("/dev/shm") && ::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  return tmp;
}

struct TempRoot {
  explicit TempRoot(const char* prefix = "qorin-rbench-") {
    std::string tmpl = (scratchParent() / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~TempRoot() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  std::filesystem::path path;
};

}  // namespace qorin::bench
