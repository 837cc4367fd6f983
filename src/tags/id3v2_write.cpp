// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <array>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/id3v2_text.h"
#include "tags/syncsafe.h"
#include "tags/tag_slots.h"
#include "tags/write_io.h"
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

// The template's frames as they stand in it, the order of the program's
// first tags; every slot once.
constexpr Slot kTemplateOrder[] = {kTrack,   kEncodedBy, kUrl,  kCopyright, kOriginalArtist, kComposer,
                                   kComment, kGenre,     kYear, kAlbum,     kArtist,         kTitle};
static_assert(std::size(kTemplateOrder) == TagFields::kSlotCount);

// A URL frame holds ISO-8859-1 only: other characters go percent-encoded as
// UTF-8, which browsers and other readers understand.
std::string urlBytes(std::string_view text) {
  const std::string utf8 = text::gbToUtf8(text).value_or(std::string(text));
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : utf8) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The content of a slot's frame. ASCII keeps the template's encoding byte 0
// and its bytes; any other text goes as UTF-16 with a byte-order mark, which
// every ID3v2.3 reader decodes (code-page bytes under encoding 0 are read as
// Latin-1 everywhere else). A comment keeps the language its old frame had.
std::string slotContent(std::string_view id, std::string_view text, std::string_view language = {}) {
  std::string prefix(templatePrefix(id));
  if (id == "COMM" && language.size() == 3) prefix.replace(1, 3, language);
  if (id[0] == 'W') return prefix + urlBytes(text);
  if (text::isAscii(text)) return prefix + std::string(text);
  const auto wide = detail::utf16WithBom(text);
  if (!wide) return prefix + std::string(text);  // not code-page text: kept as it came
  // Appended, not enc + ...: GCC 12 at -O3 warns (-Wrestrict) of the insert at 0 that inlines.
  std::string out(1, encodingByte(TextEncoding::Utf16));
  if (id[0] != 'T') {
    out.append(prefix, 1, 3);
    out.append("\xFF\xFE\0\0", 4);
  }
  out += *wide;
  return out;
}

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

// True when TDRC's text says no more than ID3v2.3's TYER, TDAT and TIME can
// hold: a year, then the day, then hours and minutes.
bool fitsV23Date(std::string_view t) {
  const auto digits = [&](std::size_t at, std::size_t n) {
    return t.size() >= at + n && std::all_of(t.begin() + static_cast<std::ptrdiff_t>(at),
                                             t.begin() + static_cast<std::ptrdiff_t>(at + n),
                                             [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(0, 4)) return false;
  if (t.size() == 4) return true;
  if (t.size() < 10 || t[4] != '-' || t[7] != '-' || !digits(5, 2) || !digits(8, 2)) return false;
  if (t.size() == 10) return true;
  return t.size() == 16 && t[10] == 'T' && t[13] == ':' && digits(11, 2) && digits(14, 2);
}

// TDRC's month, day and time, as ID3v2.3's TDAT (DDMM) and TIME (HHMM); the
// year goes to the slot's TYER.
std::string recordingDate(std::string_view t, std::uint8_t status) {
  std::string out;
  if (t.size() >= 10)
    out += v23Frame("TDAT", status, std::nullopt,
                    std::string(kTextPrefix) + std::string(t.substr(8, 2)) + std::string(t.substr(5, 2)));
  if (t.size() >= 16)
    out += v23Frame("TIME", status, std::nullopt,
                    std::string(kTextPrefix) + std::string(t.substr(11, 2)) + std::string(t.substr(14, 2)));
  return out;
}

// Where the frames embedded in a CHAP or CTOC start, or nothing when the
// content does not follow its layout.
std::optional<std::size_t> embeddedFramesAt(std::string_view id, std::string_view c) {
  std::size_t at = c.find('\0');  // the element's identifier
  if (at == std::string_view::npos) return std::nullopt;
  ++at;
  if (id == "CHAP") return at + 16 <= c.size() ? std::optional(at + 16) : std::nullopt;
  if (at + 2 > c.size()) return std::nullopt;
  std::size_t entries = static_cast<unsigned char>(c[at + 1]);
  at += 2;
  for (; entries > 0; --entries) {
    const std::size_t end = c.find('\0', at);
    if (end == std::string_view::npos) return std::nullopt;
    at = end + 1;
  }
  return at;
}

std::string carryAll(const detail::Id3v2Frames& walk, const std::vector<bool>& leaveOut);

// A CHAP or CTOC of ID3v2.4 with its embedded frames made ID3v2.3 frames as
// the top-level ones are; as it was when they do not walk to their end.
std::string embeddedToV23(std::string_view id, const std::string& content) {
  const auto at = embeddedFramesAt(id, content);
  if (!at || *at == content.size()) return content;
  const std::string_view frames = std::string_view(content).substr(*at);
  if (frames.size() > kSyncSafeMax) return content;
  std::string tag("ID3\x04\0\0", 6);
  tag += encodeSyncSafe(static_cast<std::uint32_t>(frames.size()));
  tag += frames;
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(tag);
  if (!walk.complete) return content;
  return content.substr(0, *at) + carryAll(walk, std::vector<bool>(walk.frames.size(), false));
}

// Turns the frames of an old tag into ID3v2.3 frames, one at a time.
class Carrier {
 public:
  explicit Carrier(int version) : v_(version) {}
  void add(const Id3v2Frame& f, std::string& out);
  // What needs the whole walk: TIPL and TMCL become one IPLS.
  void finish(std::string& out) const;

 private:
  int v_;
  std::vector<std::string> people_;
  std::uint8_t peopleStatus_ = 0;
};

void Carrier::add(const Id3v2Frame& f, std::string& out) {
  const int v = v_;
  const std::string_view id = detail::v23Id(f, v);
  if (id.empty()) return;
  const bool discard = v == 3 ? anyFlag(f.status, FrameStatusV23::DiscardOnTagChange)
                              : v == 4 && anyFlag(f.status, FrameStatusV24::DiscardOnTagChange);
  if (discard || (v == 4 && listed(kBoundToOldTag, id))) return;
  // A frame cut off by the tag's end keeps its text; other data would be damaged.
  if (f.truncated && (id[0] != 'T' || !f.readable)) return;
  // ID3v2.2 layouts, in an ID3v2.2 tag or under an ID3v2.2 identifier elsewhere.
  const std::string_view stored22 = v == 2 || f.renamed ? f.raw.substr(0, 3) : std::string_view();
  const bool relayout = stored22 == "PIC" || stored22 == "LNK";
  if (v == 3 && !f.truncated && !relayout && !(f.readable && needsReencoding(id, f.content, v))) {
    std::string raw(f.raw);  // compressed and encrypted frames too, exactly as stored
    if (f.renamed) raw.replace(0, kFrameIdSize, id);
    out += raw;
    return;
  }
  if (!f.readable) return;  // an encrypted ID3v2.4 frame has no ID3v2.3 form we could vouch for
  const std::uint8_t status = v23Status(f, v);
  std::string content(f.content);
  if (stored22 == "PIC") content = picToApic(content);
  if (stored22 == "LNK") {
    auto link = linkToV23(content);
    if (!link) return;
    content = *std::move(link);
  }
  if (v == 4 && id == "TDRC") {
    const std::vector<std::string> values = detail::textValues(f.content);
    if (values.size() == 1 && fitsV23Date(values.front())) {
      out += recordingDate(values.front(), status);
      return;
    }
    // Anything else ("Oct 2001") stays a TDRC, which ID3v2.3 readers take too.
  }
  if (v == 4 && (id == "TIPL" || id == "TMCL")) {
    for (std::string& value : detail::textValues(content)) people_.push_back(std::move(value));
    peopleStatus_ = status;
    return;
  }
  std::string_view v23id = id;
  if (v == 4 && id == "TDOR") {
    v23id = "TORY";
    const auto values = detail::textValues(content);
    content = std::string(kTextPrefix) + (values.empty() ? std::string() : values.front().substr(0, 4));
  }
  if (v == 4 && (id == "CHAP" || id == "CTOC")) content = embeddedToV23(id, content);
  if (needsReencoding(v23id, content, v)) {
    if (auto re = detail::reencodeContent(v23id, content, v == 4)) content = *std::move(re);
  }
  out += v23Frame(v23id, status, f.group, content);
}

void Carrier::finish(std::string& out) const {
  if (people_.empty()) return;
  if (auto c = detail::textContent(people_)) out += v23Frame("IPLS", peopleStatus_, std::nullopt, *c);
}

// The frames of a walk as ID3v2.3 frames, in their order, but for those left
// out, those their writer asked to drop when the tag changes, and those tied
// to the old tag's place.
std::string carryAll(const detail::Id3v2Frames& walk, const std::vector<bool>& leaveOut) {
  if (walk.version < 2 || walk.version > 4) return {};
  Carrier carrier(walk.version);
  std::string out;
  for (std::size_t i = 0; i < walk.frames.size(); ++i) {
    if (!leaveOut[i]) carrier.add(walk.frames[i], out);
  }
  carrier.finish(out);
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
  for (const Slot slot : kTemplateOrder) {
    const std::string_view id = slotRow(slot).frame;
    frame(id, slot == kEncodedBy ? dropWithAudio : std::uint8_t{0}, templatePrefix(id));
  }
  t.resize(kId3v2TemplateSize, '\0');
  return t;
}

namespace {

// Where the frame `id` of a tag the template made starts, and its content's size.
std::optional<std::pair<std::size_t, std::uint32_t>> findFrame(const std::string& tag, std::string_view id) {
  constexpr std::size_t kHead = kFrameHeaderSize;
  std::size_t p = kId3v2HeaderSize;
  while (p + kHead <= tag.size() && tag[p] != '\0') {
    const std::uint32_t size = bigEndian(std::string_view(tag).substr(p + kFrameSizeAt), 4);
    if (size > tag.size() - p - kHead) return std::nullopt;
    if (std::string_view(tag).substr(p, kFrameIdSize) == id) return std::pair(p, size);
    p += kHead + size;
  }
  return std::nullopt;
}

bool fillFrame(std::string& tag, std::string_view id, const std::string& content) {
  if (id.size() != 4) return false;
  const auto at = findFrame(tag, id);
  if (!at) return false;
  tag.replace(at->first + kFrameHeaderSize, at->second, content);
  tag.replace(at->first + kFrameSizeAt, 4, be32(static_cast<std::uint32_t>(content.size())));
  return true;
}

// What the new tag takes from the old one for each slot.
struct SlotPlan {
  std::vector<int> slotOf;  // per old frame, the slot that claims it (0: none)
  std::array<bool, TagFields::kSlotCount + 1> keep{};
  std::string commentLanguage;  // of the old editor comment
};

// A slot whose text is what the old tag showed keeps its old frames byte for
// byte (all of them, when the tag repeats one); an edited slot gets one new
// frame in place of them.
SlotPlan planSlots(const TagFields& fields, std::string_view oldTag, const detail::Id3v2Frames& walk) {
  SlotPlan plan;
  plan.slotOf.assign(walk.frames.size(), 0);
  detail::SlotClaims claims;
  std::array<bool, TagFields::kSlotCount + 1> claimed{};
  for (std::size_t i = 0; i < walk.frames.size(); ++i) {
    const int slot = claims.claim(walk.frames[i], walk.version);
    plan.slotOf[i] = slot;
    claimed[static_cast<std::size_t>(slot)] = true;
    if (slot == kComment) plan.commentLanguage = std::string(walk.frames[i].content.substr(1, 3));
  }
  TagFields shown, stored;
  if (oldTag.empty() || !parseId3v2Tag(oldTag, shown, &stored)) return plan;
  for (int slot = 1; slot <= TagFields::kSlotCount; ++slot)
    plan.keep[static_cast<std::size_t>(slot)] =
        claimed[static_cast<std::size_t>(slot)] && fields[slot] == stored[slot];
  return plan;
}

}  // namespace

bool setFrameText(std::string& tag, std::string_view id, std::string_view text) {
  return id.size() == 4 && fillFrame(tag, id, slotContent(id, text));
}

std::string buildId3v2Tag(const TagFields& fields, std::string_view oldTag) {
  std::string tag = newId3v2Template();
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  const SlotPlan plan = planSlots(fields, oldTag, walk);
  // Each slot's frame is found by its identifier, so the order they are filled
  // in leaves the bytes alone.
  for (const SlotRow& row : kSlotTable) {
    const std::string_view id = row.frame;
    const int slot = row.slot;
    if (!plan.keep[static_cast<std::size_t>(slot)]) {
      fillFrame(tag, id, slotContent(id, fields[slot], slot == kComment ? plan.commentLanguage : ""));
      continue;
    }
    // The old frames stand where the template's frame stood.
    std::vector<bool> others(walk.frames.size());
    for (std::size_t i = 0; i < others.size(); ++i) others[i] = plan.slotOf[i] != slot;
    if (const auto at = findFrame(tag, id))
      tag.replace(at->first, kFrameHeaderSize + at->second, carryAll(walk, others));
  }
  std::vector<bool> claimed(walk.frames.size());
  for (std::size_t i = 0; i < claimed.size(); ++i) claimed[i] = plan.slotOf[i] != 0;
  tag.insert(tag.size() - kTemplatePadding, carryAll(walk, claimed));
  tag.replace(kId3v2SizeAt, kSyncSafeBytes,
              encodeSyncSafe(static_cast<std::uint32_t>(tag.size() - kId3v2HeaderSize)));
  return tag;
}

WriteResult writeId3v2(platform::OpenFile& file, const TagFields& fields, std::string_view stateDir) {
  if (!file.isWritable()) return failedWith(WriteFailure::NotOpenForWriting);
  std::uint64_t oldLength = 0;
  const auto oldTag = detail::readOldTag(file, oldLength);
  if (!oldTag) return failedWith(WriteFailure::OldTagDamaged);
  // What the walk did not reach would be lost with the old tag.
  if (!oldTag->empty() && !detail::walkId3v2Frames(*oldTag).complete)
    return failedWith(WriteFailure::NotFullyRead);
  const std::string tag = buildId3v2Tag(fields, *oldTag);
  // Frames carried over from a huge old tag could outgrow the 28-bit size.
  if (tag.size() - kId3v2HeaderSize > kSyncSafeMax) return failedWith(WriteFailure::TooLarge);
  if (!file.replaceRange(0, oldLength, tag, stateDir)) return ioFailure(file);
  return {};
}

WriteResult deleteId3v2(platform::OpenFile& file, std::string_view stateDir) {
  if (!file.isOpen()) return failedWith(WriteFailure::NotOpenForWriting);
  if (!hasId3v2(file)) return {};
  if (!file.isWritable()) return failedWith(WriteFailure::NotOpenForWriting);
  std::uint64_t length = 0;
  if (!detail::readOldTag(file, length)) return failedWith(WriteFailure::OldTagDamaged);
  if (!file.replaceRange(0, length, {}, stateDir)) return ioFailure(file);
  return {};
}

}  // namespace qorin::tags
