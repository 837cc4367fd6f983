#include "tags/id3v2_frames.h"

#include "tags/id3v2_format.h"
#include "tags/syncsafe.h"

namespace qorin::tags::detail {

namespace {

bool validId(std::string_view id) {
  for (const char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Takes the group byte off the front of `c`; false when there is none.
bool dropGroupByte(std::string_view& c) {
  if (c.empty()) return false;
  c.remove_prefix(1);
  return true;
}

void prepareContent(Id3v2Frame& f, int version, bool tagUnsync) {
  std::string_view c(f.raw);
  c.remove_prefix(version == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize);
  if (version == 3) {
    using F = FrameFormatV23;
    if (anyFlag(f.format, F::Compression, F::Encryption)) return;
    if (anyFlag(f.format, F::Grouping) && !dropGroupByte(c)) return;
    f.content.assign(c);
  } else if (version == 4) {
    using F = FrameFormatV24;
    if (anyFlag(f.format, F::Compression, F::Encryption)) return;
    if (anyFlag(f.format, F::Grouping) && !dropGroupByte(c)) return;
    if (anyFlag(f.format, F::DataLengthIndicator)) {
      if (c.size() < kSyncSafeBytes) return;
      c.remove_prefix(kSyncSafeBytes);
    }
    f.content = anyFlag(f.format, F::Unsynchronisation) || tagUnsync ? removeUnsync(c) : std::string(c);
  } else {
    f.content.assign(c);
  }
  f.readable = true;
}

}  // namespace

std::string removeUnsync(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += bytes[i];
    if (static_cast<unsigned char>(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == '\0') ++i;
  }
  return out;
}

Id3v2Frames walkId3v2Frames(std::string_view tag) {
  Id3v2Frames out;
  if (tag.size() < kId3v2HeaderSize || tag.substr(0, 3) != "ID3") return out;
  out.version = static_cast<unsigned char>(tag[kId3v2VersionAt]);
  const auto flags = static_cast<std::uint8_t>(tag[kId3v2FlagsAt]);
  const int v = out.version;
  if (v == 2 && anyFlag(flags, HeaderFlag::CompressionV22)) return out;

  // ID3v2.2/2.3 unsynchronise the whole tag; ID3v2.4 does it per frame.
  const bool unsync = anyFlag(flags, HeaderFlag::Unsynchronisation);
  std::string whole;
  std::string_view body = tag.substr(kId3v2HeaderSize);
  if (v <= 3 && unsync) {
    whole = removeUnsync(body);
    body = whole;
  }

  std::size_t pos = 0;
  if (anyFlag(flags, HeaderFlag::ExtendedHeader)) {
    if (body.size() < 4) return out;
    if (v == 4) {
      // The size counts itself; six bytes is the least a valid one holds.
      const auto ext = decodeSyncSafe(body);
      if (!ext || *ext < 6) return out;
      pos = *ext;
    } else if (v == 3) {
      pos = 4 + static_cast<std::size_t>(bigEndian(body, 4));  // the size leaves itself out
    }
  }

  const std::size_t idLen = v == 2 ? kFrameIdSizeV22 : kFrameIdSize;
  const std::size_t headLen = v == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize;
  while (pos <= body.size() && body.size() - pos >= headLen) {
    const std::string_view head = body.substr(pos, headLen);
    if (head[0] == '\0' || !validId(head.substr(0, idLen))) break;  // padding or garbage
    std::uint32_t size = 0;
    if (v == 2) {
      size = bigEndian(head.substr(idLen), 3);
    } else if (v == 4) {
      const auto s = decodeSyncSafe(head.substr(kFrameSizeAt));
      if (!s) break;
      size = *s;
    } else {
      size = bigEndian(head.substr(kFrameSizeAt), 4);
    }
    if (size > body.size() - pos - headLen) break;
    Id3v2Frame f;
    f.id.assign(head.substr(0, idLen));
    if (v != 2) {
      f.status = static_cast<std::uint8_t>(head[kFrameStatusAt]);
      f.format = static_cast<std::uint8_t>(head[kFrameFormatAt]);
    }
    f.raw.assign(body.substr(pos, headLen + size));
    prepareContent(f, v, v == 4 && unsync);
    out.frames.push_back(std::move(f));
    pos += headLen + size;
  }
  return out;
}

}  // namespace qorin::tags::detail
