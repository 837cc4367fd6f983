// SPDX-License-Identifier: GPL-3.0-or-later
// What a tag write tells its caller: done, or why not.
#pragma once

#include <cstdint>

#include "platform/open_file.h"

namespace qorin::tags {

enum class WriteFailure : std::uint8_t {
  None,
  ReadOnlyFile,
  FolderNotWritable,
  DiskFull,
  NoBackupFolder,
  TooLarge,       // the tag would outgrow the sizes its format can state
  NotFullyRead,   // the old tag could not be walked to its end: rewriting it would lose frames
  OldTagDamaged,  // the old tag claims more bytes than the file holds before the audio's end
  NotOpenForWriting,
  Other,
};

struct WriteResult {
  WriteFailure failure = WriteFailure::None;
  explicit operator bool() const { return failure == WriteFailure::None; }
};

inline WriteResult failedWith(WriteFailure f) { return {f}; }

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
