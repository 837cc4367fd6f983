#include <algorithm>
#include <array>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/syncsafe.h"
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

// What the template's frames hold before their text: the encoding byte (code
// page), then for WXXX an empty description, for COMM a language and an empty
// description.
constexpr std::string_view kTextPrefix("\0", 1);
constexpr std::string_view kUrlPrefix("\0\0", 2);
constexpr std::string_view kCommentPrefix("\0CHS\0", 5);
static_assert(kTextPrefix[0] == encodingByte(TextEncoding::Latin1) &&
              kUrlPrefix[0] == encodingByte(TextEncoding::Latin1) &&
              kCommentPrefix[0] == encodingByte(TextEncoding::Latin1));

std::string_view templatePrefix(std::string_view id) {
  return id[0] == 'T' ? kTextPrefix : id[0] == 'W' ? kUrlPrefix : kCommentPrefix;
}

constexpr std::array<const char*, 12> kOwnFrames = {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                                    "COMM", "TCOM", "TOPE", "TCOP", "WXXX", "TENC"};

// ID3v2.4 frames that ID3v2.3 has no place for (TDRC is the year, which the
// new tag holds in TYER).
constexpr std::array<const char*, 18> kOnlyInV24 = {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN",
                                                    "TDOR", "TDRC", "TDRL", "TDTG", "TIPL", "TMCL",
                                                    "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};

constexpr std::uint8_t kStatusV24 = flagBits(FrameStatusV24::DiscardOnTagChange,
                                             FrameStatusV24::DiscardOnFileChange, FrameStatusV24::ReadOnly);
static_assert(flagBits(FrameStatusV23::DiscardOnTagChange, FrameStatusV23::DiscardOnFileChange,
                       FrameStatusV23::ReadOnly) == kStatusV24 << 1);

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
  const auto encoding = content.empty() ? TextEncoding::Latin1
                                        : static_cast<TextEncoding>(static_cast<unsigned char>(content[0]));
  if (hasEncodingByte(f.id) && (encoding == TextEncoding::Utf16Be || encoding == TextEncoding::Utf8)) {
    // UTF-16BE and UTF-8 are ID3v2.4 only: text frames are re-encoded as
    // UTF-16 with a byte-order mark, anything else cannot be carried.
    if (f.id[0] != 'T' || f.id == "TXXX") return std::nullopt;
    const bool big = encoding == TextEncoding::Utf16Be;
    std::string utf16 = "\xFF\xFE";
    std::string_view rest = std::string_view(content).substr(1);
    std::optional<std::string> gb =
        big ? text::utf16ToGb(rest.substr(0, rest.size() & ~std::size_t{1}), true) : text::utf8ToGb(rest);
    if (!gb) return std::nullopt;
    std::replace(gb->begin(), gb->end(), '\0', '/');  // several values: ID3v2.3 joins with "/"
    while (!gb->empty() && gb->back() == '/') gb->pop_back();
    const auto wide = text::gbToUtf16(*gb);
    if (!wide) return std::nullopt;
    content = encodingByte(TextEncoding::Utf16) + utf16 + *wide;
  }
  // Status flags move one bit up; format flags are dropped with the bytes they
  // announced (grouping, data length) already taken off the content.
  const auto status = static_cast<char>((f.status & kStatusV24) << 1);
  return f.id + be32(static_cast<std::uint32_t>(content.size())) + status + '\0' + content;
}

std::string carriedFrames(std::string_view oldTag) {
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  if (walk.version != 3 && walk.version != 4) return {};
  std::string out;
  for (const Id3v2Frame& f : walk.frames) {
    if (listed(kOwnFrames, f.id)) continue;
    // The writer asked for the frame to go when the tag is altered.
    const bool discard = walk.version == 3 ? anyFlag(f.status, FrameStatusV23::DiscardOnTagChange)
                                           : anyFlag(f.status, FrameStatusV24::DiscardOnTagChange);
    if (discard) continue;
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
  const auto declared = decodeSyncSafe(std::string_view(head).substr(kId3v2SizeAt));
  if (!declared) return std::nullopt;
  std::uint64_t size = kId3v2HeaderSize + std::uint64_t{*declared};
  if (head[kId3v2VersionAt] == 4 &&
      anyFlag(static_cast<std::uint8_t>(head[kId3v2FlagsAt]), HeaderFlag::Footer))
    size += kId3v2FooterSize;
  const std::uint64_t limit = *len - (hasId3v1(file) ? std::min<std::uint64_t>(*len, kId3v1Size) : 0);
  if (size > limit) return std::nullopt;
  return size;
}

}  // namespace

std::string newId3v2Template() {
  std::string t("ID3\x03\x00\x00", 6);  // version 2.3, no flags
  t += encodeSyncSafe(kId3v2TemplateSize - kId3v2HeaderSize);
  const auto frame = [&](std::string_view id, std::uint8_t status, std::string_view content) {
    t += id;
    t += be32(static_cast<std::uint32_t>(content.size()));
    t += static_cast<char>(status);
    t += '\0';  // format flags
    t += content;
  };
  // The encoder's name no longer holds once the audio is altered.
  const std::uint8_t dropWithAudio = flagBits(FrameStatusV23::DiscardOnFileChange);
  frame("TRCK", 0, kTextPrefix);
  frame("TENC", dropWithAudio, kTextPrefix);
  frame("WXXX", 0, kUrlPrefix);
  frame("TCOP", 0, kTextPrefix);
  frame("TOPE", 0, kTextPrefix);
  frame("TCOM", 0, kTextPrefix);
  frame("COMM", 0, kCommentPrefix);
  frame("TCON", 0, kTextPrefix);
  frame("TYER", 0, kTextPrefix);
  frame("TALB", 0, kTextPrefix);
  frame("TPE1", 0, kTextPrefix);
  frame("TIT2", 0, kTextPrefix);
  t.resize(kId3v2TemplateSize, '\0');
  return t;
}

bool setFrameText(std::string& tag, std::string_view id, std::string_view textBytes) {
  if (id.size() != 4) return false;
  constexpr std::size_t kHead = kFrameHeaderSize;
  std::size_t p = kId3v2HeaderSize;
  while (p + kHead <= tag.size() && tag[p] != '\0') {
    const std::uint32_t size = bigEndian(std::string_view(tag).substr(p + kFrameSizeAt), 4);
    if (size > tag.size() - p - kHead) return false;
    if (std::string_view(tag).substr(p, kFrameIdSize) == id) {
      const std::size_t off = kHead + templatePrefix(id).size();
      if (size + kHead < off) return false;  // shorter than its own prefix
      tag.replace(p + off, size + kHead - off, textBytes);
      tag.replace(p + kFrameSizeAt, 4, be32(static_cast<std::uint32_t>(textBytes.size() + off - kHead)));
      return true;
    }
    p += kHead + size;
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
  tag.replace(kId3v2SizeAt, kSyncSafeBytes,
              encodeSyncSafe(static_cast<std::uint32_t>(tag.size() - kId3v2HeaderSize)));
  return tag;
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
  const std::string tag = buildId3v2Tag(fields, oldTag);
  // Frames carried over from a huge old tag could outgrow the 28-bit size.
  if (tag.size() - kId3v2HeaderSize > kSyncSafeMax) return false;
  return file.replaceRange(0, oldLength, tag);
}

bool deleteId3v2(platform::OpenFile& file) {
  if (!file.isOpen()) return false;
  if (!hasId3v2(file)) return true;
  if (!file.isWritable()) return false;
  const auto len = oldTagLength(file);
  return len && file.replaceRange(0, *len, {});
}

}  // namespace qorin::tags
