// SPDX-License-Identifier: GPL-3.0-or-later
// The low-level file steps open_file.cpp and open_file_posix.cpp share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/open_file.h"

namespace qorin::platform::io {

// Temporary files of replaceRange: ".qorin-new-<pid>-<random>.tmp". The pid
// tells whether their writer still runs. (Renames use ".qorin-<random>.tmp"
// for a user's own file in passing; that name is never removed here.)
inline constexpr std::string_view kTempPrefix = ".qorin-new-";
inline constexpr std::string_view kTempSuffix = ".tmp";

std::uint64_t randomNumber();
long processId();
std::string tempName();

// Reads up to `n` bytes at `off`; `got` tells how many (fewer at the end).
bool sysPread(int fd, std::uint64_t off, char* p, std::size_t n, std::size_t& got);

// Where a write may be made to fail in tests: the step and the original's
// path; none for writes that put an original back.
struct Fault {
  FileStep step;
  std::string_view path;
  bool injectable = true;
};

// Writes all of `bytes` at the descriptor's current position.
bool writeAll(int fd, std::string_view bytes, Fault fault);

// Copies [from, from + count) of `src` to the current position of `dst`, in
// the kernel where the file systems allow.
bool copyRange(int src, std::uint64_t from, std::uint64_t count, int dst, Fault fault);

}  // namespace qorin::platform::io
