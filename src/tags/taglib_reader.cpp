// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/taglib_reader.h"

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/itfile.h>
#include <taglib/modfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/s3mfile.h>
#include <taglib/speexfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>
#include <taglib/xmfile.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tags/id3v2_format.h"
#include "tags/syncsafe.h"
#include "tags/taglib_stream.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::tags {

namespace {

using detail::fromTag;
using detail::le32;
using detail::ReadOnlyStream;
using detail::viewOf;

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
  for (const FieldName& f : kFieldNames)
    if (text::equalsNoCase(key, f.key)) return detail::setSlotText(fields, f.slot, value);
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

NamingRead fromVorbisComment(const std::optional<std::string_view>& raw, const TagLib::Tag* decoded,
                             TagFields& fields) {
  TagFields found;
  const std::optional<int> n = raw ? parseVorbisComment(*raw, found) : std::nullopt;
  if (!n) return fromTag(decoded, fields);
  if (*n == 0) return NamingRead::NoTag;
  fields = std::move(found);
  return NamingRead::Tagged;
}

NamingRead readFlac(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
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

// Ogg FLAC: the second packet is a metadata block, the comment when its
// type (the low 7 bits of its first byte) is 4.
NamingRead fromFlacPacket(TagLib::Ogg::FLAC::File& f, TagFields& fields) {
  const TagLib::ByteVector packet = f.packet(1);
  std::string_view b = viewOf(packet);
  if (b.size() < 4 || (static_cast<unsigned char>(b[0]) & 0x7Fu) != 4) return fromTag(f.tag(), fields);
  return fromVorbisComment(b.substr(4), f.tag(), fields);
}

NamingRead readOpus(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  TagLib::Ogg::Opus::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return fromCommentPacket(f, "OpusTags", f.tag(), fields);
}

// An Ogg file of any codec TagLib knows: .ogg and .oga hold Vorbis mostly,
// also Opus, FLAC or Speex.
NamingRead readOgg(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  const auto again = [&stream] { stream.seek(0, TagLib::IOStream::Beginning); };
  {
    TagLib::Ogg::Vorbis::File f(&stream, false);
    if (f.isValid()) return fromCommentPacket(f, "\x03vorbis", f.tag(), fields);
  }
  again();
  {
    TagLib::Ogg::Opus::File f(&stream, false);
    if (f.isValid()) return fromCommentPacket(f, "OpusTags", f.tag(), fields);
  }
  again();
  {
    TagLib::Ogg::FLAC::File f(&stream, false);
    if (f.isValid()) return f.hasXiphComment() ? fromFlacPacket(f, fields) : NamingRead::NoTag;
  }
  again();
  TagLib::Ogg::Speex::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return fromCommentPacket(f, "", f.tag(), fields);  // Speex's comment has no magic
}

NamingRead readMp4(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  TagLib::MP4::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return f.hasMP4Tag() ? fromTag(f.tag(), fields) : NamingRead::NoTag;
}

NamingRead readAsf(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  TagLib::ASF::File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  return fromTag(f.tag(), fields);
}

// Monkey's Audio, Musepack and WavPack all end in an APEv2 tag.
template <typename File>
NamingRead readApe(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  if (!f.hasAPETag()) return NamingRead::NoTag;
  const std::optional<ApeItems> items = apeItems(stream);
  if (!items) return fromTag(f.APETag(), fields);
  TagFields found;
  if (parseApeItems(items->bytes, items->count, found) == 0) return NamingRead::NoTag;
  fields = std::move(found);
  return NamingRead::Tagged;
}

// Tracker modules hold a title in their header, in whatever code page the
// tracker ran under; TagLib hands it over as ISO-8859-1, byte for byte.
template <typename File>
NamingRead readModule(ReadOnlyStream& stream, TagPriority, TagFields& fields) {
  File f(&stream, false);
  if (!f.isValid()) return NamingRead::Damaged;
  const TagLib::ByteVector bytes = f.tag()->title().data(TagLib::String::Latin1);
  std::string_view title = viewOf(bytes);
  while (!title.empty() && (title.back() == ' ' || title.back() == '\0')) title.remove_suffix(1);
  if (title.empty()) return NamingRead::NoTag;
  fields[kTitle] = text::decodeUnlabelled(title);
  return NamingRead::Tagged;
}

}  // namespace

using detail::readForNaming;

const TagReader kFlacReader = {TagKind::Vorbis, readForNaming<readFlac>};
const TagReader kOggReader = {TagKind::Vorbis, readForNaming<readOgg>};
const TagReader kOpusReader = {TagKind::Vorbis, readForNaming<readOpus>};
const TagReader kMp4Reader = {TagKind::Mp4, readForNaming<readMp4>};
const TagReader kApeReader = {TagKind::Ape, readForNaming<readApe<TagLib::APE::File>>};
const TagReader kMusepackReader = {TagKind::Ape, readForNaming<readApe<TagLib::MPC::File>>};
const TagReader kWavPackReader = {TagKind::Ape, readForNaming<readApe<TagLib::WavPack::File>>};
const TagReader kAsfReader = {TagKind::Asf, readForNaming<readAsf>};
const TagReader kModReader = {TagKind::Module, readForNaming<readModule<TagLib::Mod::File>>};
const TagReader kS3mReader = {TagKind::Module, readForNaming<readModule<TagLib::S3M::File>>};
const TagReader kItReader = {TagKind::Module, readForNaming<readModule<TagLib::IT::File>>};
const TagReader kXmReader = {TagKind::Module, readForNaming<readModule<TagLib::XM::File>>};

}  // namespace qorin::tags
