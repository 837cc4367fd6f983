// SPDX-License-Identifier: GPL-3.0-or-later
// A tag write's failure from the file it wrote through.
#pragma once

#include "platform/open_file.h"
#include "tags/write_result.h"

namespace qorin::tags {

// The failure of the file's last operation; Other when the system named none.
inline WriteResult ioFailure(const platform::OpenFile& file) {
  using platform::IoFailure;
  switch (file.lastFailure()) {
    case IoFailure::ReadOnlyFile:
      return {WriteFailure::ReadOnlyFile};
    case IoFailure::FolderNotWritable:
      return {WriteFailure::FolderNotWritable};
    case IoFailure::DiskFull:
      return {WriteFailure::DiskFull};
    case IoFailure::NoBackupFolder:
      return {WriteFailure::NoBackupFolder};
    case IoFailure::None:
    case IoFailure::Other:
      break;
  }
  return {WriteFailure::Other};
}

}  // namespace qorin::tags
