// SPDX-License-Identifier: GPL-3.0-or-later
// WAV, AIFF and TrueAudio: containers that carry an ID3 tag of another's
// kind, read by the program's own ID3 code, and WAV's and AIFF's own text
// chunks for what no ID3 frame gives.
#include <taglib/aifffile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>

#include <optional>
#include <string>

#include "tags/id3_reader.h"
#include "tags/id3v2.h"
#include "tags/taglib_reader.h"
#include "tags/taglib_stream.h"

namespace qorin::tags {

namespace {

using detail::ReadOnlyStream;
using detail::viewOf;

struct ChunkName {
  std::string_view id;
  int slot;
};

// RIFF INFO entries; ITRK is the usual track, IPRT the one TagLib writes.
constexpr ChunkName kInfoNames[] = {
    {"INAM", kTitle}, {"IART", kArtist}, {"IPRD", kAlbum},   {"ITRK", kTrack},     {"IPRT", kTrack},
    {"ICRD", kYear},  {"IGNR", kGenre},  {"ICMT", kComment}, {"ICOP", kCopyright},
};
// AIFF's text chunks.
constexpr ChunkName kAiffNames[] = {
    {"NAME", kTitle}, {"AUTH", kArtist}, {"ANNO", kComment}, {"(c) ", kCopyright}};

template <std::size_t n>
int slotOf(const ChunkName (&names)[n], std::string_view id) {
  for (const ChunkName& c : names)
    if (c.id == id) return c.slot;
  return 0;
}

// A chunk's text ends at its first NUL (writers pad to an even size).
std::string_view upToNul(std::string_view b) { return b.substr(0, b.find('\0')); }

// A LIST chunk's body: "INFO", then entries of id, size, text and a pad byte
// to an even size. Counts the entries; a size running past the body ends it.
int readInfoList(std::string_view list, TagFields& fields) {
  if (!list.starts_with("INFO")) return 0;
  int found = 0;
  for (std::size_t pos = 4; list.size() - pos >= 8;) {
    const std::string_view id = list.substr(pos, 4);
    const std::uint32_t size = detail::le32(list, pos + 4);
    pos += 8;
    if (size > list.size() - pos) break;
    ++found;
    detail::setSlotText(fields, slotOf(kInfoNames, id), upToNul(list.substr(pos, size)));
    pos += size + (size % 2);
    if (pos > list.size()) break;
  }
  return found;
}

// WAV and AIFF keep an ID3v2 tag as a chunk; TagLib lets a subclass have the
// chunks' bytes.
template <typename Riff>
class ChunkFile final : public Riff {
 public:
  explicit ChunkFile(TagLib::IOStream* stream) : Riff(stream, false) {}

  std::optional<std::string> id3Chunk() {
    for (unsigned i = 0; i < this->chunkCount(); ++i) {
      const TagLib::ByteVector name = this->chunkName(i);
      if (name == "ID3 " || name == "id3 ") return std::string(viewOf(this->chunkData(i)));
    }
    return std::nullopt;
  }

  // The container's own texts into the slots still empty; true when it has any.
  bool readTextChunks(TagFields& fields) {
    bool any = false;
    for (unsigned i = 0; i < this->chunkCount(); ++i) {
      const std::string name(viewOf(this->chunkName(i)));
      if (name == "LIST") {
        any = readInfoList(viewOf(this->chunkData(i)), fields) > 0 || any;
      } else if (const int slot = slotOf(kAiffNames, name)) {
        any = true;
        detail::setSlotText(fields, slot, upToNul(viewOf(this->chunkData(i))));
      }
    }
    return any;
  }
};

template <typename Riff>
NamingRead readChunks(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  ChunkFile<Riff> f(&stream);
  if (!f.isValid()) return NamingRead::Damaged;
  TagFields found;
  const std::optional<std::string> chunk = f.id3Chunk();
  const bool id3 = chunk && parseId3v2Tag(*chunk, found);
  const bool text = f.readTextChunks(found);
  if (!id3 && !text) return NamingRead::NoTag;
  fields = std::move(found);
  return id3 ? NamingRead::Tagged : NamingRead::TextChunks;
}

// TrueAudio keeps ID3v2 before the stream and ID3v1 after it, as MP3 does.
NamingRead readTrueAudio(ReadOnlyStream& stream, TagPriority priority, TagFields& fields) {
  {
    TagLib::TrueAudio::File f(&stream, false);
    if (!f.isValid()) return NamingRead::Damaged;
  }
  return readId3Tags(stream.file(), priority, fields) ? NamingRead::Tagged : NamingRead::NoTag;
}

}  // namespace

const TagReader kWavReader = {TagKind::Id3Chunk, detail::readForNaming<readChunks<TagLib::RIFF::WAV::File>>};
const TagReader kAiffReader = {TagKind::Id3Chunk,
                               detail::readForNaming<readChunks<TagLib::RIFF::AIFF::File>>};
const TagReader kTrueAudioReader = {TagKind::Id3Chunk, detail::readForNaming<readTrueAudio>};

}  // namespace qorin::tags
