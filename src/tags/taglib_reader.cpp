// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/taglib_reader.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "platform/open_file.h"
#include "tags/id3v2.h"
#include "tags/id3v2_text.h"
#include "tags/syncsafe.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::tags {

namespace {

// TagLib reads in many small pieces; a window of the file keeps the system
// calls few. The file is only read, so its length is asked once.
class ReadOnlyStream final : public TagLib::IOStream {
 public:
  explicit ReadOnlyStream(platform::OpenFile& file) : file_(file), length_(file.length().value_or(0)) {}

  TagLib::FileName name() const override { return file_.path().c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return file_.isOpen(); }
  void seek(long offset, Position p) override;
  long tell() const override { return static_cast<long>(pos_); }
  long length() override { return static_cast<long>(length_); }
  void truncate(long) override {}

  // Up to `n` bytes at `offset`, fewer at the end; valid until the next read.
  std::string_view bytesAt(std::uint64_t offset, std::size_t n);

 private:
  static constexpr std::size_t kWindow = 16 * 1024;

  platform::OpenFile& file_;
  std::uint64_t length_;
  std::uint64_t pos_ = 0;
  std::uint64_t windowAt_ = 0;
  std::string window_;
};

std::string_view ReadOnlyStream::bytesAt(std::uint64_t offset, std::size_t n) {
  if (n == 0 || offset >= length_) return {};
  const bool inWindow = offset >= windowAt_ && offset - windowAt_ <= window_.size() &&
                        n <= window_.size() - (offset - windowAt_);
  if (!inWindow) {
    // readAt never reads past the end, whatever length a damaged size field asks for.
    if (!file_.readAt(offset, std::max(n, kWindow), window_)) window_.clear();
    windowAt_ = offset;
  }
  const auto from = static_cast<std::size_t>(offset - windowAt_);
  return std::string_view(window_).substr(from, n);
}

TagLib::ByteVector ReadOnlyStream::readBlock(unsigned long length) {
  const std::string_view b = bytesAt(pos_, length);
  pos_ += b.size();
  return TagLib::ByteVector(b.data(), static_cast<unsigned int>(b.size()));
}

void ReadOnlyStream::seek(long offset, Position p) {
  // Offsets come from the file's size fields: a damaged one must not overflow.
  const std::int64_t base = p == Beginning ? 0
                            : p == Current ? static_cast<std::int64_t>(pos_)
                                           : static_cast<std::int64_t>(length_);
  const std::int64_t to = offset > 0 && base > INT64_MAX - offset ? INT64_MAX : base + offset;  // base >= 0
  pos_ = static_cast<std::uint64_t>(std::max<std::int64_t>(0, to));
}

std::string_view viewOf(const TagLib::ByteVector& b) { return {b.data(), b.size()}; }

// TagLib's texts are Unicode already (MP4 and ASF label theirs).
std::string gbOf(const TagLib::String& s) {
  return text::utf16ToGbLenient(viewOf(s.data(TagLib::String::UTF16LE)), false);
}

// Vorbis comments and APE items are UTF-8 by their formats, but some taggers
// write code-page bytes there: those are read as ID3 reads unlabelled texts.
std::string gbOfUtf8(std::string_view bytes) { return detail::decodeText(TextEncoding::Utf8, bytes); }

std::uint32_t le32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

// Field names of Vorbis comments and APE items, in any case.
struct FieldName {
  std::string_view key;
  int slot;
};
constexpr FieldName kFieldNames[] = {
    {"TITLE", kTitle},         {"ARTIST", kArtist},        {"ALBUM", kAlbum},
    {"TRACKNUMBER", kTrack},   {"TRACK", kTrack},          {"DATE", kYear},
    {"YEAR", kYear},           {"GENRE", kGenre},          {"COMMENT", kComment},
    {"DESCRIPTION", kComment}, {"COMPOSER", kComposer},    {"ORIGINALARTIST", kOriginalArtist},
    {"COPYRIGHT", kCopyright}, {"ENCODED-BY", kEncodedBy}, {"ENCODEDBY", kEncodedBy},
};

// The first value of a field fills its slot.
void setField(TagFields& fields, std::string_view key, std::string_view value) {
  int slot = 0;
  for (const FieldName& f : kFieldNames)
    if (text::equalsNoCase(key, f.key)) slot = f.slot;
  if (slot == 0 || !fields[slot].empty()) return;
  std::string t = gbOfUtf8(value);
  // A date ("2003-05-01") names by its year, as an ID3 year frame would.
  if (slot == kYear && t.size() > 4 &&
      std::all_of(t.begin(), t.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
    t.resize(4);
  fields[slot] = std::move(t);
}

// A Vorbis comment after its packet's magic: vendor, count, "KEY=value"
// entries. Counts its fields; reading stops at the first one that runs past
// the bytes. Nothing when even the vendor and count do not fit.
std::optional<int> parseVorbisComment(std::string_view c, TagFields& fields) {
  if (c.size() < 8) return std::nullopt;
  const std::uint32_t vendor = le32(c, 0);
  if (vendor > c.size() - 8) return std::nullopt;
  std::size_t pos = 4 + vendor;
  const std::uint32_t count = le32(c, pos);
  pos += 4;
  int found = 0;
  for (std::uint32_t i = 0; i < count && c.size() - pos >= 4; ++i) {
    const std::uint32_t n = le32(c, pos);
    pos += 4;
    if (n > c.size() - pos) break;
    const std::string_view entry = c.substr(pos, n);
    pos += n;
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    ++found;
    setField(fields, entry.substr(0, eq), entry.substr(eq + 1));
  }
  return found;
}

// APEv2 items: value size, flags, NUL-ended key, value. Only text items
// name; several values of one are NUL-separated and the first is taken.
int parseApeItems(std::string_view items, std::uint32_t count, TagFields& fields) {
  std::size_t pos = 0;
  int found = 0;
  for (std::uint32_t i = 0; i < count && items.size() - pos >= 8; ++i) {
    const std::uint32_t size = le32(items, pos), flags = le32(items, pos + 4);
    pos += 8;
    const std::size_t keyEnd = items.find('\0', pos);
    if (keyEnd == std::string_view::npos) break;
    const std::string_view key = items.substr(pos, keyEnd - pos);
    pos = keyEnd + 1;
    if (size > items.size() - pos) break;
    const std::string_view value = items.substr(pos, size);
    pos += size;
    ++found;
    if (((flags >> 1) & 3) == 0) setField(fields, key, value.substr(0, value.find('\0')));
  }
  return found;
}

// The raw VORBIS_COMMENT block of a FLAC file (after an ID3v2 tag some
// writers put first), which TagLib only hands over decoded.
std::optional<std::string_view> flacCommentBlock(ReadOnlyStream& file) {
  std::uint64_t at = 0;
  std::string_view b = file.bytesAt(0, kId3v2HeaderSize);
  if (b.size() == kId3v2HeaderSize && b.starts_with("ID3")) {
    const auto size = decodeSyncSafe(b.substr(kId3v2SizeAt, 4));
    if (!size) return std::nullopt;
    const bool footer =
        static_cast<unsigned char>(b[kId3v2FlagsAt]) & static_cast<unsigned>(HeaderFlag::Footer);
    at = kId3v2HeaderSize + *size + (footer ? kId3v2FooterSize : 0);
  }
  if (file.bytesAt(at, 4) != "fLaC") return std::nullopt;
  for (at += 4;;) {
    b = file.bytesAt(at, 4);
    if (b.size() < 4) return std::nullopt;
    const auto type = static_cast<unsigned char>(b[0]) & 0x7Fu;
    const bool last = static_cast<unsigned char>(b[0]) & 0x80u;
    const std::uint32_t size = (static_cast<std::uint32_t>(static_cast<unsigned char>(b[1])) << 16) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(b[2])) << 8) |
                               static_cast<unsigned char>(b[3]);
    at += 4;
    if (type == 4) {
      b = file.bytesAt(at, size);
      if (b.size() < size) return std::nullopt;
      return b;
    }
    if (last) return std::nullopt;
    at += size;
  }
}

// The APEv2 tag's items, its footer ending the file or standing before an
// ID3v1 block: the items' bytes and their count.
struct ApeItems {
  std::string bytes;
  std::uint32_t count = 0;
};
std::optional<ApeItems> apeItems(ReadOnlyStream& file) {
  const auto length = static_cast<std::uint64_t>(file.length());
  constexpr std::uint64_t kFooter = 32, kId3v1 = 128;
  for (const std::uint64_t end : {length, length >= kId3v1 ? length - kId3v1 : 0}) {
    if (end < kFooter) continue;
    const std::string_view foot = file.bytesAt(end - kFooter, kFooter);
    if (foot.size() < kFooter || !foot.starts_with("APETAGEX")) continue;
    const std::uint32_t size = le32(foot, 12);
    if (size < kFooter || size > end) return std::nullopt;
    ApeItems items;
    items.count = le32(foot, 16);
    items.bytes = file.bytesAt(end - size, size - kFooter);
    if (items.bytes.size() != size - kFooter) return std::nullopt;
    return items;
  }
  return std::nullopt;
}

// What TagLib decoded, where the raw bytes could not be had.
NamingRead fromTag(const TagLib::Tag* t, TagFields& fields) {
  if (!t || t->isEmpty()) return NamingRead::NoTag;
  fields[kTitle] = gbOf(t->title());
  fields[kArtist] = gbOf(t->artist());
  fields[kAlbum] = gbOf(t->album());
  fields[kComment] = gbOf(t->comment());
  fields[kGenre] = gbOf(t->genre());
  if (t->year()) fields[kYear] = std::to_string(t->year());
  if (t->track()) fields[kTrack] = std::to_string(t->track());
  return NamingRead::Tagged;
}

NamingRead fromVorbisComment(const std::optional<std::string_view>& raw, const TagLib::Tag* decoded,
                             TagFields& fields) {
  TagFields found;
  const std::optional<int> n = raw ? parseVorbisComment(*raw, found) : std::nullopt;
  if (!n) return fromTag(decoded, fields);
  if (*n == 0) return NamingRead::NoTag;
  fields = std::move(found);
  return NamingRead::Tagged;
}

NamingRead readFlac(ReadOnlyStream& stream, TagFields& fields) {
  TagLib::FLAC::File f(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (!f.isValid()) return NamingRead::Damaged;
  if (!f.hasXiphComment()) return NamingRead::NoTag;
  return fromVorbisComment(flacCommentBlock(stream), f.xiphComment(), fields);
}

// The comment header is the second packet: its magic, then the comment.
NamingRead fromCommentPacket(TagLib::Ogg::File& f, std::string_view magic, const TagLib::Tag* decoded,
                             TagFields& fields) {
  const TagLib::ByteVector packet = f.packet(1);
  std::string_view b = viewOf(packet);
  if (!b.starts_with(magic)) return fromTag(decoded, fields);
  b.remove_prefix(magic.size());
  return fromVorbisComment(b, decoded, fields);
}

NamingRead readOpus(ReadOnlyStream& stream, TagFields& fields) {
  TagLib::Ogg::Opus::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return fromCommentPacket(f, "OpusTags", f.tag(), fields);
}

NamingRead readOgg(ReadOnlyStream& stream, TagFields& fields) {
  {
    TagLib::Ogg::Vorbis::File f(&stream, false);
    if (f.isValid()) return fromCommentPacket(f, "\x03vorbis", f.tag(), fields);
  }
  stream.seek(0, TagLib::IOStream::Beginning);
  return readOpus(stream, fields);
}

NamingRead readMp4(ReadOnlyStream& stream, TagFields& fields) {
  TagLib::MP4::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return f.hasMP4Tag() ? fromTag(f.tag(), fields) : NamingRead::NoTag;
}

NamingRead readAsf(ReadOnlyStream& stream, TagFields& fields) {
  TagLib::ASF::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return fromTag(f.tag(), fields);
}

NamingRead readApe(ReadOnlyStream& stream, TagFields& fields) {
  TagLib::APE::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  if (!f.hasAPETag()) return NamingRead::NoTag;
  const std::optional<ApeItems> items = apeItems(stream);
  if (!items) return fromTag(f.APETag(), fields);
  TagFields found;
  if (parseApeItems(items->bytes, items->count, found) == 0) return NamingRead::NoTag;
  fields = std::move(found);
  return NamingRead::Tagged;
}

// WAV and AIFF keep an ID3v2 tag as a chunk; TagLib lets a subclass have its
// bytes, which the program's own ID3v2 code reads (encoding-0 frames by
// detection, as in MP3 files).
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
};

template <typename Riff>
NamingRead readChunk(ReadOnlyStream& stream, TagFields& fields) {
  ChunkFile<Riff> f(&stream);
  if (!f.isValid()) return NamingRead::Damaged;
  const std::optional<std::string> chunk = f.id3Chunk();
  if (!chunk) return NamingRead::NoTag;
  TagFields found;
  if (!parseId3v2Tag(*chunk, found)) return NamingRead::NoTag;
  fields = std::move(found);
  return NamingRead::Tagged;
}

template <NamingRead (*read)(ReadOnlyStream&, TagFields&)>
NamingRead readForNaming(std::string_view path, TagPriority, TagFields& fields) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return NamingRead::Unreadable;
  ReadOnlyStream stream(file);
  try {
    return read(stream, fields);
  } catch (const std::exception&) {  // a damaged size field TagLib believed
    return NamingRead::Damaged;
  }
}

}  // namespace

const TagReader kFlacReader = {TagKind::Vorbis, readForNaming<readFlac>};
const TagReader kOggReader = {TagKind::Vorbis, readForNaming<readOgg>};
const TagReader kOpusReader = {TagKind::Vorbis, readForNaming<readOpus>};
const TagReader kMp4Reader = {TagKind::Mp4, readForNaming<readMp4>};
const TagReader kApeReader = {TagKind::Ape, readForNaming<readApe>};
const TagReader kAsfReader = {TagKind::Asf, readForNaming<readAsf>};
const TagReader kWavReader = {TagKind::Id3Chunk, readForNaming<readChunk<TagLib::RIFF::WAV::File>>};
const TagReader kAiffReader = {TagKind::Id3Chunk, readForNaming<readChunk<TagLib::RIFF::AIFF::File>>};

}  // namespace qorin::tags
