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
  std::string_view extension;  // without the ".", lower case
  const TagReader* reader;
};

// A new format: its reader's unit, and one line here. Every extension TagLib
// reads is here (ID3 files through our own reader); the open dialog lists
// them in this order.
constexpr Registered kReaders[] = {
    {"mp3", &kId3Reader},
#ifdef QORIN_HAVE_TAGLIB
    {"wav", &kWavReader},    {"wma", &kAsfReader},       {"flac", &kFlacReader}, {"ogg", &kOggReader},
    {"oga", &kOggReader},    {"opus", &kOpusReader},     {"spx", &kOggReader},   {"m4a", &kMp4Reader},
    {"m4b", &kMp4Reader},    {"m4p", &kMp4Reader},       {"m4r", &kMp4Reader},   {"mp4", &kMp4Reader},
    {"m4v", &kMp4Reader},    {"3g2", &kMp4Reader},       {"ape", &kApeReader},   {"mpc", &kMusepackReader},
    {"wv", &kWavPackReader}, {"tta", &kTrueAudioReader}, {"asf", &kAsfReader},   {"aif", &kAiffReader},
    {"aiff", &kAiffReader},  {"aifc", &kAiffReader},     {"afc", &kAiffReader},  {"mod", &kModReader},
    {"module", &kModReader}, {"nst", &kModReader},       {"wow", &kModReader},   {"s3m", &kS3mReader},
    {"it", &kItReader},      {"xm", &kXmReader},
#endif
    {"mp2", &kId3Reader},
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

std::vector<std::string_view> namedExtensions() {
  std::vector<std::string_view> out;
  for (const Registered& r : kReaders) out.push_back(r.extension);
  return out;
}

}  // namespace qorin::tags
