// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/formats.h"

#include "tags/id3_reader.h"
#ifdef QORIN_HAVE_TAGLIB
#include "tags/taglib_reader.h"
#endif
#include "text/names.h"

namespace qorin::tags {

namespace {

struct Registered {
  std::string_view extension;  // without the ".", upper case
  const TagReader* reader;
};

// A new format: its reader's unit, and one line here.
constexpr Registered kReaders[] = {
    {"MP3", &kId3Reader},
#ifdef QORIN_HAVE_TAGLIB
    {"FLAC", &kFlacReader}, {"OGG", &kOggReader},   {"OPUS", &kOpusReader}, {"M4A", &kMp4Reader},
    {"MP4", &kMp4Reader},   {"APE", &kApeReader},   {"WMA", &kAsfReader},   {"WAV", &kWavReader},
    {"AIF", &kAiffReader},  {"AIFF", &kAiffReader},
#endif
};

}  // namespace

const TagReader* tagReaderFor(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return nullptr;
  const std::string_view extension = name.substr(dot + 1);
  for (const Registered& r : kReaders)
    if (text::equalsNoCase(extension, r.extension)) return r.reader;
  return nullptr;
}

}  // namespace qorin::tags
