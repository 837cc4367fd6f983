// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux renames that never replace an entry, and the case probe; used by
// fs.cpp only.
#pragma once

#ifndef _WIN32
#include <cstdint>

#include "platform/fs.h"

namespace qorin::platform::detail {

// Renames `from` to `to` in the folder `dirFd` (or AT_FDCWD) the first way
// the device takes; 0, or -1 with errno (EEXIST: the target is taken).
int renameNoReplaceAt(int dirFd, const char* from, const char* to, RenameWays& ways, std::uint64_t device);

// Whether the folder's file system finds a name under another case; false
// when it cannot be asked (no file can be made there).
bool ignoresCaseAt(int dirFd);

}  // namespace qorin::platform::detail
#endif
