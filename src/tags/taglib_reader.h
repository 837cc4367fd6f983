// SPDX-License-Identifier: GPL-3.0-or-later
// The tags of the other audio formats TagLib reads as a naming source:
// Vorbis comments (FLAC, Ogg Vorbis, Opus, Ogg FLAC, Speex), MP4 (M4A), APE
// (Monkey's Audio, Musepack, WavPack), ASF (WMA), the ID3 tag of WAV, AIFF
// and TrueAudio (with WAV's RIFF INFO and AIFF's text chunks for what it
// lacks) and the titles of tracker modules. TagLib reaches the file only
// through the platform layer (a read-only stream over platform::OpenFile)
// and never writes. Texts whose encoding the format leaves open (code-page
// bytes where UTF-8 belongs, the encoding-0 frames of an ID3 chunk) are read
// as ID3 texts are.
#pragma once

#include "tags/tag_reader.h"

namespace qorin::tags {

extern const TagReader kFlacReader;
extern const TagReader kOggReader;  // an Ogg file of any of the codecs above
extern const TagReader kOpusReader;
extern const TagReader kMp4Reader;
extern const TagReader kApeReader;
extern const TagReader kMusepackReader;
extern const TagReader kWavPackReader;
extern const TagReader kAsfReader;
extern const TagReader kWavReader;
extern const TagReader kAiffReader;
extern const TagReader kTrueAudioReader;
extern const TagReader kModReader;
extern const TagReader kS3mReader;
extern const TagReader kItReader;
extern const TagReader kXmReader;

}  // namespace qorin::tags
