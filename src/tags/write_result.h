// SPDX-License-Identifier: GPL-3.0-or-later
// What a tag write tells its caller: done, or why not.
#pragma once

#include <cstdint>

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

}  // namespace qorin::tags
