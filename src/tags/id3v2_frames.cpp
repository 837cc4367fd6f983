// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v2_frames.h"

#include <zlib.h>

#include <algorithm>
#include <utility>

#include "tags/id3v2_format.h"
#include "tags/syncsafe.h"

namespace qorin::tags::detail {

namespace {

bool validId(std::string_view id) {
  return std::all_of(id.begin(), id.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// How the identifier at a frame's start in an ID3v2.3/2.4 tag reads.
enum class IdKind { Standard, V22, Other, Invalid };

IdKind kindOf(std::string_view id) {
  if (validId(id)) return IdKind::Standard;
  if ((id[3] == '\0' || id[3] == ' ') && validId(id.substr(0, 3))) return IdKind::V22;
  // Other programs' own frames ("Date"): mature readers step over them by size.
  const bool alnum = std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
  return alnum ? IdKind::Other : IdKind::Invalid;
}

std::string_view own(Id3v2Frames& out, std::string bytes) {
  out.owned.push_back(std::make_unique<std::string>(std::move(bytes)));
  return *out.owned.back();
}

// zlib expands at most about 1032 times; a frame claiming more lies, and
// nothing in a tag needs more than 128 MiB.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kMaxInflated = 128u << 20;

std::optional<std::string> inflateBytes(std::string_view in, std::optional<std::uint32_t> expected) {
  std::uint64_t cap = std::min<std::uint64_t>(in.size() * kMaxInflateRatio + 64, kMaxInflated);
  if (expected) cap = std::min<std::uint64_t>(cap, *expected);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  std::string out(static_cast<std::size_t>(std::min<std::uint64_t>(cap, in.size() * 4 + 64)), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  bool ok = false;
  for (;;) {
    if (zs.total_out == out.size()) {
      if (out.size() >= cap) {
        ok = expected.has_value();  // the declared size reached: what follows is not ours
        break;
      }
      out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(cap, out.size() * 2)));
    }
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + zs.total_out);
    zs.avail_out = static_cast<uInt>(out.size() - zs.total_out);
    const int r = inflate(&zs, Z_NO_FLUSH);
    if (r == Z_STREAM_END) {
      ok = true;
      break;
    }
    if (r != Z_OK && !(r == Z_BUF_ERROR && zs.avail_out == 0)) break;  // damaged or cut short
  }
  out.resize(zs.total_out);
  inflateEnd(&zs);
  if (!ok) return std::nullopt;
  return out;
}

// Fills content from raw: takes off the bytes the format flags put before the
// data, undoes unsynchronisation, inflates compressed data. An encrypted frame
// stays unreadable.
void prepareContent(Id3v2Frames& out, Id3v2Frame& f, int version, bool tagUnsync) {
  std::string_view c = f.raw.substr(version == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize);
  std::optional<std::uint32_t> inflatedSize;
  bool compressed = false;
  if (version == 2) {
    f.content = c;
    f.readable = true;
    return;
  }
  if (version == 4) {
    using F = FrameFormatV24;
    // Unsynchronisation covers everything after the frame header.
    if (anyFlag(f.format, F::Unsynchronisation) || tagUnsync) c = own(out, removeUnsync(c));
    if (anyFlag(f.format, F::Grouping)) {
      if (c.empty()) return;
      f.group = static_cast<std::uint8_t>(c[0]);
      c.remove_prefix(1);
    }
    if (anyFlag(f.format, F::Encryption)) return;
    if (anyFlag(f.format, F::DataLengthIndicator)) {
      if (c.size() < kSyncSafeBytes) return;
      inflatedSize = decodeSyncSafe(c).value_or(bigEndian(c, kSyncSafeBytes));
      c.remove_prefix(kSyncSafeBytes);
    }
    compressed = anyFlag(f.format, F::Compression);
  } else {
    // ID3v2.3: the extra bytes follow in the order of their flags.
    using F = FrameFormatV23;
    if (anyFlag(f.format, F::Compression)) {
      if (c.size() < 4) return;
      inflatedSize = bigEndian(c, 4);
      c.remove_prefix(4);
      compressed = true;
    }
    if (anyFlag(f.format, F::Encryption)) return;
    if (anyFlag(f.format, F::Grouping)) {
      if (c.empty()) return;
      f.group = static_cast<std::uint8_t>(c[0]);
      c.remove_prefix(1);
    }
  }
  if (compressed) {
    auto inflated = inflateBytes(c, inflatedSize);
    if (!inflated) return;
    c = own(out, *std::move(inflated));
  }
  f.content = c;
  f.readable = true;
}

struct Walk {
  std::vector<Id3v2Frame> frames;
  bool clean = true;     // ended at the tag's end or in zero padding, every frame inside the tag
  bool complete = true;  // ended at padding or the tag's end, not on something unreadable
};

Walk walkFrames(Id3v2Frames& out, std::string_view body, std::size_t pos, int v, bool syncSafeSizes,
                bool tagUnsync) {
  Walk w;
  const std::size_t idLen = v == 2 ? kFrameIdSizeV22 : kFrameIdSize;
  const std::size_t headLen = v == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize;
  const auto stop = [&w] {
    w.clean = false;
    w.complete = false;
  };
  while (pos < body.size()) {
    if (body[pos] == '\0') {
      // Padding is zeros to the end; a zero inside a frame's text is not. Like
      // the mature readers, an identifier of zeros ends the frames either way.
      const std::string_view rest = body.substr(pos);
      w.clean = std::all_of(rest.begin(), rest.end(), [](char c) { return c == '\0'; });
      const std::string_view id = rest.substr(0, idLen);
      w.complete = std::all_of(id.begin(), id.end(), [](char c) { return c == '\0'; });
      break;
    }
    const std::string_view head = body.substr(pos, headLen);
    const IdKind kind = head.size() < headLen ? IdKind::Invalid
                        : v == 2 ? (validId(head.substr(0, idLen)) ? IdKind::Standard : IdKind::Invalid)
                                 : kindOf(head.substr(0, idLen));
    if (kind == IdKind::Invalid) {
      stop();
      break;
    }
    std::uint32_t size = 0;
    if (v == 2) {
      size = bigEndian(head.substr(idLen), 3);
    } else if (syncSafeSizes) {
      const auto s = decodeSyncSafe(head.substr(kFrameSizeAt));
      if (!s) {
        stop();
        break;
      }
      size = *s;
    } else {
      size = bigEndian(head.substr(kFrameSizeAt), 4);
    }
    Id3v2Frame f;
    const std::size_t room = body.size() - pos - headLen;
    if (size > room) {
      // A frame of ours cut by the tag's end keeps what the tag holds; an
      // unknown one that does not fit is more likely not a frame at all.
      if (kind == IdKind::Other) {
        stop();
        break;
      }
      f.truncated = true;
      w.clean = false;
      size = static_cast<std::uint32_t>(room);
    }
    f.id = head.substr(0, idLen);
    if (kind == IdKind::V22) {
      if (const auto mapped = v23IdOf(f.id.substr(0, kFrameIdSizeV22))) {
        f.id = *mapped;
        f.renamed = true;
      }
    }
    if (v != 2) {
      f.status = static_cast<std::uint8_t>(head[kFrameStatusAt]);
      f.format = static_cast<std::uint8_t>(head[kFrameFormatAt]);
    }
    f.raw = body.substr(pos, headLen + size);
    prepareContent(out, f, v, tagUnsync);
    w.frames.push_back(f);
    pos += headLen + size;
  }
  return w;
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
  out.flags = static_cast<std::uint8_t>(tag[kId3v2FlagsAt]);
  const int v = out.version;
  if (v == 2 && anyFlag(out.flags, HeaderFlag::CompressionV22)) {
    out.complete = false;  // no scheme was ever defined: nothing can be read
    return out;
  }

  // ID3v2.2/2.3 unsynchronise the whole tag; ID3v2.4 does it per frame.
  const bool unsync = anyFlag(out.flags, HeaderFlag::Unsynchronisation);
  std::string_view body = tag.substr(kId3v2HeaderSize);
  if (v <= 3 && unsync) body = own(out, removeUnsync(body));

  const std::size_t idLen = v == 2 ? kFrameIdSizeV22 : kFrameIdSize;
  std::size_t pos = 0;
  // Writers set the flag without writing the header; a frame right after the
  // tag header means there is none.
  const bool frameFirst = body.size() >= idLen && validId(body.substr(0, idLen));
  if (v != 2 && anyFlag(out.flags, HeaderFlag::ExtendedHeader) && !frameFirst) {
    out.complete = false;  // until the header's size is known
    if (body.size() < 4) return out;
    if (v == 4) {
      // The size counts itself; six bytes is the least a valid one holds.
      const auto ext = decodeSyncSafe(body);
      if (!ext || *ext < 6) return out;
      pos = *ext;
    } else {
      pos = 4 + static_cast<std::size_t>(bigEndian(body, 4));  // the size leaves itself out
    }
  }

  const bool tagUnsync = v == 4 && unsync;
  Walk w = walkFrames(out, body, pos, v, v == 4, tagUnsync);
  if (v == 4 && !w.clean) {
    Walk plain = walkFrames(out, body, pos, v, false, tagUnsync);
    if (plain.clean || (plain.complete && !w.complete) || plain.frames.size() > w.frames.size())
      w = std::move(plain);
  }
  out.frames = std::move(w.frames);
  // A version we do not know may lay its frames out otherwise.
  out.complete = w.complete && v >= 2 && v <= 4;
  return out;
}

std::optional<std::string_view> v23IdOf(std::string_view id22) {
  static constexpr std::pair<std::string_view, std::string_view> kIds[] = {
      {"BUF", "RBUF"},
      {"CNT", "PCNT"},
      {"COM", "COMM"},
      {"CRA", "AENC"},
      {"ETC", "ETCO"},
      {"EQU", "EQUA"},
      {"GEO", "GEOB"},
      {"IPL", "IPLS"},
      {"LNK", "LINK"},
      {"MCI", "MCDI"},
      {"MLL", "MLLT"},
      {"PIC", "APIC"},
      {"POP", "POPM"},
      {"REV", "RVRB"},
      {"RVA", "RVAD"},
      {"SLT", "SYLT"},
      {"STC", "SYTC"},
      {"TAL", "TALB"},
      {"TBP", "TBPM"},
      {"TCM", "TCOM"},
      {"TCO", "TCON"},
      {"TCR", "TCOP"},
      {"TDA", "TDAT"},
      {"TDY", "TDLY"},
      {"TEN", "TENC"},
      {"TFT", "TFLT"},
      {"TIM", "TIME"},
      {"TKE", "TKEY"},
      {"TLA", "TLAN"},
      {"TLE", "TLEN"},
      {"TMT", "TMED"},
      {"TOA", "TOPE"},
      {"TOF", "TOFN"},
      {"TOL", "TOLY"},
      {"TOR", "TORY"},
      {"TOT", "TOAL"},
      {"TP1", "TPE1"},
      {"TP2", "TPE2"},
      {"TP3", "TPE3"},
      {"TP4", "TPE4"},
      {"TPA", "TPOS"},
      {"TPB", "TPUB"},
      {"TRC", "TSRC"},
      {"TRD", "TRDA"},
      {"TRK", "TRCK"},
      {"TSI", "TSIZ"},
      {"TSS", "TSSE"},
      {"TT1", "TIT1"},
      {"TT2", "TIT2"},
      {"TT3", "TIT3"},
      {"TXT", "TEXT"},
      {"TXX", "TXXX"},
      {"TYE", "TYER"},
      {"UFI", "UFID"},
      {"ULT", "USLT"},
      {"WAF", "WOAF"},
      {"WAR", "WOAR"},
      {"WAS", "WOAS"},
      {"WCM", "WCOM"},
      {"WCP", "WCOP"},
      {"WPB", "WPUB"},
      {"WXX", "WXXX"},
      // Not in the standard, written by a widely used player.
      {"TCP", "TCMP"},
      {"TS2", "TSO2"},
      {"TSA", "TSOA"},
      {"TSC", "TSOC"},
      {"TSP", "TSOP"},
      {"TST", "TSOT"},
      {"PCS", "PCST"},
      {"TDS", "TDES"},
      {"TID", "TGID"},
      {"WFD", "WFED"},
      {"TKW", "TKWD"},
      {"TCT", "TCAT"},
      {"MVN", "MVNM"},
      {"MVI", "MVIN"},
      {"GP1", "GRP1"},
  };
  for (const auto& [from, to] : kIds) {
    if (from == id22) return to;
  }
  return std::nullopt;
}

}  // namespace qorin::tags::detail
