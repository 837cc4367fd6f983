#include <algorithm>
#include <array>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_frames.h"
#include "text/gbtext.h"

namespace qorin::tags {

using detail::bigEndian;
using detail::Id3v2Frame;

namespace {

constexpr std::size_t kTemplatePadding = 877;

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::size_t textOffset(std::string_view id) { return id[0] == 'T' ? 11 : id[0] == 'W' ? 12 : 15; }

constexpr std::array<const char*, 12> kOwnFrames = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                                    "COMM", "TCOM", "TOPE", "TCOP", "WXXX", "TENC"};

// ID3v2.4 frames that ID3v2.3 has no place for (TDRC is the year, which the
// new tag holds in TYER).
constexpr std::array<const char*, 18> kOnlyInV24 = {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN",
                                                    "TDOR", "TDRC", "TDRL", "TDTG", "TIPL", "TMCL",
                                                    "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};

bool listed(const auto& list, std::string_view id) {
  return std::any_of(list.begin(), list.end(), [&](const char* s) { return id == s; });
}

// Frames whose content starts with a text encoding byte.
bool hasEncodingByte(std::string_view id) {
  static constexpr std::array<const char*, 9> kOthers = {"COMM", "USLT", "SYLT", "APIC", "GEOB",
                                                         "USER", "OWNE", "COMR", "WXXX"};
  return id[0] == 'T' || listed(kOthers, id);
}

// An ID3v2.4 frame as ID3v2.3 wants it, or nothing when it has no form there.
std::optional<std::string> asV23Frame(const Id3v2Frame& f) {
  if (!f.readable || listed(kOnlyInV24, f.id)) return std::nullopt;
  std::string content = f.content;
  if (hasEncodingByte(f.id) && !content.empty() && static_cast<unsigned char>(content[0]) > 1) {
    // UTF-16BE and UTF-8 are ID3v2.4 only: text frames are re-encoded as
    // UTF-16 with a byte-order mark, anything else cannot be carried.
    if (f.id[0] != 'T' || f.id == "TXXX") return std::nullopt;
    const bool big = content[0] == 2;
    std::string utf16 = "\xFF\xFE";
    std::string_view rest = std::string_view(content).substr(1);
    std::optional<std::string> gb =
        big ? text::utf16ToGb(rest.substr(0, rest.size() & ~std::size_t{1}), true) : text::utf8ToGb(rest);
    if (!gb) return std::nullopt;
    std::replace(gb->begin(), gb->end(), '\0', '/');  // several values: ID3v2.3 joins with "/"
    while (!gb->empty() && gb->back() == '/') gb->pop_back();
    const auto wide = text::gbToUtf16(*gb);
    if (!wide) return std::nullopt;
    content = std::string("\x01", 1) + utf16 + *wide;
  }
  // Status flags move one bit up; format flags are dropped with the bytes they
  // announced (grouping, data length) already taken off the content.
  const auto status = static_cast<char>((f.status & 0x70) << 1);
  return f.id + be32(static_cast<std::uint32_t>(content.size())) + status + '\0' + content;
}

std::string carriedFrames(std::string_view oldTag) {
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  if (walk.version != 3 && walk.version != 4) return {};
  std::string out;
  for (const Id3v2Frame& f : walk.frames) {
    if (listed(kOwnFrames, f.id)) continue;
    // The writer asked for the frame to go when the tag is altered.
    if (f.status & (walk.version == 3 ? 0x80 : 0x40)) continue;
    if (walk.version == 3) {
      out += f.raw;
    } else if (const auto frame = asV23Frame(f)) {
      out += *frame;
    }
  }
  return out;
}

// Length of the old tag as it sits in the file, or nothing when its header
// claims bytes the file does not hold before the audio's end.
std::optional<std::uint64_t> oldTagLength(platform::OpenFile& file) {
  const auto len = file.length();
  if (!len) return std::nullopt;
  std::string head;
  if (!file.readAt(0, kId3v2HeaderSize, head)) return std::nullopt;
  std::uint64_t size = decodeTagSize(std::string_view(head).substr(6, 4));
  if (head[3] == 4 && (static_cast<unsigned char>(head[5]) & 0x10)) size += kId3v2HeaderSize;  // footer
  const std::uint64_t limit = *len - (hasId3v1(file) ? std::min<std::uint64_t>(*len, kId3v1Size) : 0);
  if (size > limit) return std::nullopt;
  return size;
}

}  // namespace

std::string encodeTagSize(std::uint32_t n) {
  return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
          static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}

std::string newId3v2Template() {
  std::string t("ID3\x03\x00\x00", 6);
  t += encodeTagSize(kId3v2TemplateSize - kId3v2HeaderSize);
  const auto frame = [&](std::string_view id, std::string_view flags, std::string_view content) {
    t += id;
    t += be32(static_cast<std::uint32_t>(content.size()));
    t += flags;
    t += content;
  };
  const std::string_view none("\0\0", 2), enc0("\0", 1);
  frame("TRCK", none, enc0);
  frame("TENC", std::string_view("\x40\0", 2), enc0);
  frame("WXXX", none, std::string_view("\0\0", 2));
  frame("TCOP", none, enc0);
  frame("TOPE", none, enc0);
  frame("TCOM", none, enc0);
  frame("COMM", none, std::string_view("\0CHS\0", 5));
  frame("TCON", none, enc0);
  frame("TYER", none, enc0);
  frame("TALB", none, enc0);
  frame("TPE1", none, enc0);
  frame("TIT2", none, enc0);
  t.resize(kId3v2TemplateSize, '\0');
  return t;
}

bool setFrameText(std::string& tag, std::string_view id, std::string_view textBytes) {
  if (id.size() != 4) return false;
  std::size_t p = kId3v2HeaderSize;
  while (p + 10 <= tag.size() && tag[p] != '\0') {
    const std::uint32_t size = bigEndian(std::string_view(tag).substr(p + 4), 4);
    if (size > tag.size() - p - 10) return false;
    if (std::string_view(tag).substr(p, 4) == id) {
      const std::size_t off = textOffset(id);
      if (size + 10 < off) return false;  // shorter than its own prefix
      tag.replace(p + off, size + 10 - off, textBytes);
      tag.replace(p + 4, 4, be32(static_cast<std::uint32_t>(textBytes.size() + off - 10)));
      return true;
    }
    p += 10 + size;
  }
  return false;
}

std::string buildId3v2Tag(const TagFields& fields, std::string_view oldTag) {
  std::string tag = newId3v2Template();
  static constexpr std::pair<const char*, int> kFillOrder[] = {
      {"TIT2", kTitle},    {"TPE1", kArtist},         {"TALB", kAlbum},   {"TRCK", kTrack},
      {"TYER", kYear},     {"TCON", kGenre},          {"COMM", kComment}, {"TCOP", kCopyright},
      {"TCOM", kComposer}, {"TOPE", kOriginalArtist}, {"WXXX", kUrl},     {"TENC", kEncodedBy},
  };
  for (const auto& [id, slot] : kFillOrder) setFrameText(tag, id, fields[slot]);
  tag.insert(tag.size() - kTemplatePadding, carriedFrames(oldTag));
  tag.replace(6, 4, encodeTagSize(static_cast<std::uint32_t>(tag.size() - kId3v2HeaderSize)));
  return tag;
}

TagFields collectId3v2Fields(const Id3v2EditorTexts& b) {
  TagFields f;
  f[kTitle] = b.title;
  f[kArtist] = b.artist;
  f[kAlbum] = b.album;
  f[kTrack] = b.track;
  f[kYear] = b.year;
  if (b.genreValue >= 0) f[kGenre] = "(" + std::to_string(b.genreValue) + ")" + b.genreText;
  f[kComment] = b.comment;
  f[kComposer] = b.composer;
  f[kOriginalArtist] = b.originalArtist;
  f[kCopyright] = b.copyright;
  f[kUrl] = b.url;
  f[kEncodedBy] = b.encodedBy;
  return f;
}

bool writeId3v2(platform::OpenFile& file, const TagFields& fields) {
  if (!file.isWritable()) return false;
  std::uint64_t oldLength = 0;
  std::string oldTag;
  if (hasId3v2(file)) {
    const auto len = oldTagLength(file);
    if (!len) return false;
    oldLength = *len;
    if (!file.readAt(0, static_cast<std::size_t>(oldLength), oldTag) || oldTag.size() != oldLength)
      return false;
  }
  return file.replaceRange(0, oldLength, buildId3v2Tag(fields, oldTag));
}

bool deleteId3v2(platform::OpenFile& file) {
  if (!file.isOpen()) return false;
  if (!hasId3v2(file)) return true;
  if (!file.isWritable()) return false;
  const auto len = oldTagLength(file);
  return len && file.replaceRange(0, *len, {});
}

}  // namespace qorin::tags
