#include "tags/id3v2_frames.h"

#include "tags/id3v2.h"

namespace qorin::tags::detail {

namespace {

bool validId(std::string_view id) {
  for (const char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool syncSafe(std::string_view b, std::uint32_t& v) {
  v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c & 0x80) return false;
    v = (v << 7) | c;
  }
  return true;
}

void prepareContent(Id3v2Frame& f, int version, bool tagUnsync) {
  std::string_view c(f.raw);
  c.remove_prefix(version == 2 ? 6 : 10);
  if (version == 3) {
    if (f.format & 0xC0) return;  // compressed or encrypted
    if (f.format & 0x20) {        // grouping identity byte
      if (c.empty()) return;
      c.remove_prefix(1);
    }
    f.content.assign(c);
  } else if (version == 4) {
    if (f.format & 0x0C) return;  // compressed or encrypted
    if (f.format & 0x40) {
      if (c.empty()) return;
      c.remove_prefix(1);
    }
    if (f.format & 0x01) {  // data length indicator
      if (c.size() < 4) return;
      c.remove_prefix(4);
    }
    f.content = (f.format & 0x02) || tagUnsync ? removeUnsync(c) : std::string(c);
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
  out.version = static_cast<unsigned char>(tag[3]);
  const auto flags = static_cast<unsigned char>(tag[5]);
  const int v = out.version;
  if (v == 2 && (flags & 0x40)) return out;  // ID3v2.2 compression: no known scheme

  // ID3v2.2/2.3 unsynchronise the whole tag; ID3v2.4 does it per frame.
  std::string whole;
  std::string_view body = tag.substr(kId3v2HeaderSize);
  if (v <= 3 && (flags & 0x80)) {
    whole = removeUnsync(body);
    body = whole;
  }

  std::size_t pos = 0;
  if (flags & 0x40) {
    if (body.size() < 4) return out;
    std::uint32_t ext = 0;
    if (v == 4) {
      if (!syncSafe(body, ext) || ext < 6) return out;
      pos = ext;
    } else if (v == 3) {
      pos = 4 + static_cast<std::size_t>(bigEndian(body, 4));
    }
  }

  const std::size_t idLen = v == 2 ? 3 : 4, headLen = v == 2 ? 6 : 10;
  while (pos <= body.size() && body.size() - pos >= headLen) {
    const std::string_view head = body.substr(pos, headLen);
    if (head[0] == '\0' || !validId(head.substr(0, idLen))) break;  // padding or garbage
    std::uint32_t size = 0;
    if (v == 2) {
      size = bigEndian(head.substr(3), 3);
    } else if (v == 4) {
      if (!syncSafe(head.substr(4), size)) break;
    } else {
      size = bigEndian(head.substr(4), 4);
    }
    if (size > body.size() - pos - headLen) break;
    Id3v2Frame f;
    f.id.assign(head.substr(0, idLen));
    if (v != 2) {
      f.status = static_cast<std::uint8_t>(head[8]);
      f.format = static_cast<std::uint8_t>(head[9]);
    }
    f.raw.assign(body.substr(pos, headLen + size));
    prepareContent(f, v, v == 4 && (flags & 0x80));
    out.frames.push_back(std::move(f));
    pos += headLen + size;
  }
  return out;
}

}  // namespace qorin::tags::detail
