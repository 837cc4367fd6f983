// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/formats.h"

#include <iterator>

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

// A new family: its TagKind and one line here.
constexpr TagFamily kFamilies[] = {
    {TagKind::Id3, "", true, true},  // MP3 and MP2: ours to edit and repair
    {TagKind::Vorbis, "Vorbis注释", false, false},
    {TagKind::Mp4, "MP4标签", false, false},
    {TagKind::Ape, "APE标签", false, false},
    {TagKind::Asf, "ASF标签", false, false},
    // ID3 inside a WAV or AIFF chunk or before a TrueAudio stream: neither the
    // editor nor the repair writes one there.
    {TagKind::Id3Chunk, "ID3标签", false, false},
    {TagKind::Module, "模块标签", false, false},
};
static_assert(std::size(kFamilies) + 1 == static_cast<std::size_t>(TagKind::kCount));
constexpr bool inKindOrder() {
  for (std::size_t i = 0; i < std::size(kFamilies); ++i)
    if (static_cast<std::size_t>(kFamilies[i].kind) != i + 1) return false;
  return true;
}
static_assert(inKindOrder());

}  // namespace

std::span<const TagFamily> tagFamilies() { return kFamilies; }

const TagFamily* familyOf(TagKind kind) {
  const auto k = static_cast<std::size_t>(kind);
  return k >= 1 && k <= std::size(kFamilies) ? &kFamilies[k - 1] : nullptr;
}

const TagFamily* familyFor(std::string_view name) {
  const TagReader* reader = tagReaderFor(name);
  return reader ? familyOf(reader->kind) : nullptr;
}

std::vector<std::string_view> extensionsOf(TagKind kind) {
  std::vector<std::string_view> out;
  for (const Registered& r : kReaders)
    if (r.reader->kind == kind) out.push_back(r.extension);
  return out;
}

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
