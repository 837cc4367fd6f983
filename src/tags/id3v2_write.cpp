#include <algorithm>
#include <array>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/id3v2_text.h"
#include "tags/syncsafe.h"
#include "text/gbtext.h"

namespace qorin::tags {

using detail::be32;
using detail::bigEndian;
using detail::encodingOf;
using detail::Id3v2Frame;

namespace {

constexpr std::size_t kTemplatePadding = 877;

// What the template's frames hold before their text: the encoding byte, then
// for WXXX an empty description, for COMM a language and an empty description.
constexpr std::string_view kTextPrefix("\0", 1);
constexpr std::string_view kUrlPrefix("\0\0", 2);
constexpr std::string_view kCommentPrefix("\0CHS\0", 5);
static_assert(kTextPrefix[0] == encodingByte(TextEncoding::Latin1) &&
              kUrlPrefix[0] == encodingByte(TextEncoding::Latin1) &&
              kCommentPrefix[0] == encodingByte(TextEncoding::Latin1));

std::string_view templatePrefix(std::string_view id) {
  return id[0] == 'T' ? kTextPrefix : id[0] == 'W' ? kUrlPrefix : kCommentPrefix;
}

// The content of a slot's frame. ASCII keeps the template's encoding byte 0
// and its bytes; any other text goes as UTF-16 with a byte-order mark, which
// every ID3v2.3 reader decodes (code-page bytes under encoding 0 are read as
// Latin-1 everywhere else). A URL has no encoding of its own: a non-ASCII one
// is stored as UTF-8, which the reader takes back.
std::string slotContent(std::string_view id, std::string_view text) {
  const std::string_view prefix = templatePrefix(id);
  if (text::isAscii(text)) return std::string(prefix) + std::string(text);
  if (id[0] == 'W') return std::string(prefix) + text::gbToUtf8(text).value_or(std::string(text));
  const auto wide = detail::utf16WithBom(text);
  if (!wide) return std::string(prefix) + std::string(text);  // not code-page text: kept as it came
  const std::string enc(1, encodingByte(TextEncoding::Utf16));
  if (id[0] == 'T') return enc + *wide;
  return enc + std::string(prefix.substr(1, 3)) + std::string("\xFF\xFE\0\0", 4) + *wide;
}

constexpr std::array<std::string_view, 10> kOwnTextFrames = {"TIT2", "TPE1", "TALB", "TRCK", "TYER",
                                                             "TCON", "TCOM", "TOPE", "TCOP", "TENC"};
// ID3v2.4 frames tied to the old tag's place or bytes.
constexpr std::array<std::string_view, 3> kBoundToOldTag = {"SEEK", "ASPI", "SIGN"};

bool listed(const auto& list, std::string_view id) {
  return std::find(list.begin(), list.end(), id) != list.end();
}

constexpr std::uint8_t kStatusV24 = flagBits(FrameStatusV24::DiscardOnTagChange,
                                             FrameStatusV24::DiscardOnFileChange, FrameStatusV24::ReadOnly);
static_assert(flagBits(FrameStatusV23::DiscardOnTagChange, FrameStatusV23::DiscardOnFileChange,
                       FrameStatusV23::ReadOnly) == kStatusV24 << 1);

std::uint8_t v23Status(const Id3v2Frame& f, int version) {
  if (version == 4) return static_cast<std::uint8_t>((f.status & kStatusV24) << 1);
  return version == 3 ? f.status : 0;
}

std::string v23Frame(std::string_view id, std::uint8_t status, std::optional<std::uint8_t> group,
                     std::string_view content) {
  std::string f(id);
  f += be32(static_cast<std::uint32_t>(content.size() + (group ? 1 : 0)));
  f += static_cast<char>(status);
  f += static_cast<char>(group ? flagBits(FrameFormatV23::Grouping) : 0);
  if (group) f += static_cast<char>(*group);
  f += content;
  return f;
}

// True when the content cannot stay as it is in ID3v2.3: encodings 2 and 3
// exist only in ID3v2.4, and so do several values in one text frame.
bool needsReencoding(std::string_view id, std::string_view content, int version) {
  if (content.empty() || !detail::hasEncodingByte(id)) return false;
  const TextEncoding enc = encodingOf(content[0]);
  if (enc != TextEncoding::Latin1 && enc != TextEncoding::Utf16) return true;
  if (version != 4 || id[0] != 'T' || id == "TXXX") return false;
  const std::string_view body = content.substr(1);
  const std::size_t end = detail::findTerminator(body, enc, 0);
  return end != std::string_view::npos && end + detail::terminatorLength(enc) < body.size();
}

// PIC names its image by a three-letter format; APIC by a MIME type.
std::string picToApic(std::string_view c) {
  if (c.size() < 5) return std::string(c);
  std::string format(c.substr(1, 3));
  std::string mime = format == "-->" ? format : "image/" + text::asciiLower(format);
  if (format == "JPG") mime = "image/jpeg";
  while (!mime.empty() && (mime.back() == '\0' || mime.back() == ' ')) mime.pop_back();
  return std::string(c.substr(0, 1)) + mime + '\0' + std::string(c.substr(4));
}

// LNK names the linked frame by its three-letter identifier.
std::optional<std::string> linkToV23(std::string_view c) {
  if (c.size() < 3) return std::nullopt;
  const auto id = detail::v23IdOf(c.substr(0, 3));
  if (!id) return std::nullopt;
  return std::string(*id) + std::string(c.substr(3));
}

// TDRC's month, day and time, as ID3v2.3's TDAT (DDMM) and TIME (HHMM); the
// year goes to the slot's TYER.
std::string recordingDate(const Id3v2Frame& f, std::uint8_t status) {
  const std::vector<std::string> values = detail::textValues(f.content);
  if (values.empty()) return {};
  const std::string& t = values.front();
  const auto digits = [&](std::size_t at, std::size_t n) {
    return t.size() >= at + n && std::all_of(t.begin() + static_cast<std::ptrdiff_t>(at),
                                             t.begin() + static_cast<std::ptrdiff_t>(at + n),
                                             [](char c) { return c >= '0' && c <= '9'; });
  };
  std::string out;
  if (digits(5, 2) && digits(8, 2) && t[4] == '-' && t[7] == '-')
    out += v23Frame("TDAT", status, std::nullopt, std::string(kTextPrefix) + t.substr(8, 2) + t.substr(5, 2));
  if (digits(11, 2) && digits(14, 2) && t[10] == 'T' && t[13] == ':')
    out +=
        v23Frame("TIME", status, std::nullopt, std::string(kTextPrefix) + t.substr(11, 2) + t.substr(14, 2));
  return out;
}

// The frames of the old tag that the new one keeps, as ID3v2.3 frames: all but
// those the slots fill (the text frames, the editor's comment, the first URL
// frame), those their writer asked to drop when the tag changes, and those
// tied to the old tag's place.
std::string carriedFrames(std::string_view oldTag) {
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  const int v = walk.version;
  if (v < 2 || v > 4) return {};
  std::string out;
  bool commentTaken = false, urlTaken = false;
  std::vector<std::string> people;  // TIPL and TMCL: one IPLS in ID3v2.3
  std::uint8_t peopleStatus = 0;
  for (const Id3v2Frame& f : walk.frames) {
    const std::string_view id = detail::v23Id(f, v);
    if (id.empty() || listed(kOwnTextFrames, id)) continue;
    if (id == "COMM" && !commentTaken && detail::isEditorComment(f)) {
      commentTaken = true;
      continue;
    }
    if (id == "WXXX" && !urlTaken && f.readable) {
      urlTaken = true;
      continue;
    }
    const bool discard = v == 3 ? anyFlag(f.status, FrameStatusV23::DiscardOnTagChange)
                                : v == 4 && anyFlag(f.status, FrameStatusV24::DiscardOnTagChange);
    if (discard || (v == 4 && listed(kBoundToOldTag, id))) continue;
    // A frame cut off by the tag's end keeps its text; other data would be damaged.
    if (f.truncated && (id[0] != 'T' || !f.readable)) continue;
    if (v == 3 && !f.truncated && !(f.readable && needsReencoding(id, f.content, v))) {
      out += f.raw;  // compressed and encrypted frames too, exactly as stored
      continue;
    }
    if (!f.readable) continue;  // an encrypted ID3v2.4 frame has no ID3v2.3 form we could vouch for
    const std::uint8_t status = v23Status(f, v);
    std::string content(f.content);
    if (v == 2 && f.id == "PIC") content = picToApic(content);
    if (v == 2 && f.id == "LNK") {
      auto link = linkToV23(content);
      if (!link) continue;
      content = *std::move(link);
    }
    if (v == 4 && id == "TDRC") {
      out += recordingDate(f, status);
      continue;
    }
    if (v == 4 && (id == "TIPL" || id == "TMCL")) {
      for (std::string& value : detail::textValues(content)) people.push_back(std::move(value));
      peopleStatus = status;
      continue;
    }
    std::string_view v23id = id;
    if (v == 4 && id == "TDOR") {
      v23id = "TORY";
      const auto values = detail::textValues(content);
      content = std::string(kTextPrefix) + (values.empty() ? std::string() : values.front().substr(0, 4));
    }
    if (needsReencoding(v23id, content, v)) {
      if (auto re = detail::reencodeContent(v23id, content, v == 4)) content = *std::move(re);
    }
    out += v23Frame(v23id, status, f.group, content);
  }
  if (!people.empty()) {
    if (auto c = detail::textContent(people)) out += v23Frame("IPLS", peopleStatus, std::nullopt, *c);
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

namespace detail {

std::optional<std::string> readOldTag(platform::OpenFile& file, std::uint64_t& length) {
  length = 0;
  if (!hasId3v2(file)) return std::string();
  const auto len = oldTagLength(file);
  if (!len) return std::nullopt;
  std::string tag;
  if (!file.readAt(0, static_cast<std::size_t>(*len), tag) || tag.size() != *len) return std::nullopt;
  length = *len;
  return tag;
}

}  // namespace detail

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

bool setFrameText(std::string& tag, std::string_view id, std::string_view text) {
  if (id.size() != 4) return false;
  constexpr std::size_t kHead = kFrameHeaderSize;
  std::size_t p = kId3v2HeaderSize;
  while (p + kHead <= tag.size() && tag[p] != '\0') {
    const std::uint32_t size = bigEndian(std::string_view(tag).substr(p + kFrameSizeAt), 4);
    if (size > tag.size() - p - kHead) return false;
    if (std::string_view(tag).substr(p, kFrameIdSize) == id) {
      const std::string content = slotContent(id, text);
      tag.replace(p + kHead, size, content);
      tag.replace(p + kFrameSizeAt, 4, be32(static_cast<std::uint32_t>(content.size())));
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

bool writeId3v2(platform::OpenFile& file, const TagFields& fields, std::string_view stateDir) {
  if (!file.isWritable()) return false;
  std::uint64_t oldLength = 0;
  const auto oldTag = detail::readOldTag(file, oldLength);
  if (!oldTag) return false;
  const std::string tag = buildId3v2Tag(fields, *oldTag);
  // Frames carried over from a huge old tag could outgrow the 28-bit size.
  if (tag.size() - kId3v2HeaderSize > kSyncSafeMax) return false;
  return file.replaceRange(0, oldLength, tag, stateDir);
}

bool deleteId3v2(platform::OpenFile& file, std::string_view stateDir) {
  if (!file.isOpen()) return false;
  if (!hasId3v2(file)) return true;
  if (!file.isWritable()) return false;
  std::uint64_t length = 0;
  return detail::readOldTag(file, length) && file.replaceRange(0, length, {}, stateDir);
}

}  // namespace qorin::tags
