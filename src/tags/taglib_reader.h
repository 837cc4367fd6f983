// SPDX-License-Identifier: GPL-3.0-or-later
// The tags of the other common audio formats as a naming source, read through
// TagLib: Vorbis comments (FLAC, Ogg Vorbis, Opus), MP4 (M4A), APE, ASF (WMA)
// and the ID3 chunk of WAV and AIFF. TagLib reaches the file only through the
// platform layer (a read-only stream over platform::OpenFile) and never writes.
// Texts whose encoding the format leaves open (code-page bytes where UTF-8
// belongs, the encoding-0 frames of an ID3 chunk) are read as ID3 texts are.
#pragma once

#include "tags/tag_reader.h"

namespace qorin::tags {

extern const TagReader kFlacReader;
extern const TagReader kOggReader;  // Ogg Vorbis, or Opus under the same extension
extern const TagReader kOpusReader;
extern const TagReader kMp4Reader;
extern const TagReader kApeReader;
extern const TagReader kAsfReader;
extern const TagReader kWavReader;
extern const TagReader kAiffReader;

}  // namespace qorin::tags
