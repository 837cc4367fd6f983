// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v2_unicode.h"

#include <algorithm>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/id3v2_text.h"
#include "tags/syncsafe.h"
#include "text/gbtext.h"

namespace qorin::tags {

using detail::Id3v2Frame;

namespace {

// Room left for later edits when the converted frames outgrow the old tag.
constexpr std::size_t kNewPadding = 1024;

std::string sizeField(int version, std::size_t size) {
  if (version == 2) return detail::be32(static_cast<std::uint32_t>(size)).substr(1);
  if (version == 4) return encodeSyncSafe(static_cast<std::uint32_t>(size));
  return detail::be32(static_cast<std::uint32_t>(size));
}

std::size_t headerLength(int version) { return version == 2 ? kFrameHeaderSizeV22 : kFrameHeaderSize; }

// The frame with new content: the flags keep the status and the group, the
// content is stored plain (no compression, no unsynchronisation).
std::string convertedFrame(int version, const Id3v2Frame& f, std::string_view content) {
  std::string out(f.id);
  const std::size_t size = content.size() + (f.group ? 1 : 0);
  out += sizeField(version, size);
  if (version != 2) {
    out += static_cast<char>(f.status);
    const std::uint8_t grouping =
        version == 4 ? flagBits(FrameFormatV24::Grouping) : flagBits(FrameFormatV23::Grouping);
    out += static_cast<char>(f.group ? grouping : 0);
    if (f.group) out += static_cast<char>(*f.group);
  }
  out += content;
  return out;
}

// The frame as stored, its size field written afresh: a frame cut off by the
// tag's end gets the size it has, and ID3v2.4 sizes become sync-safe also
// where the old tag held plain numbers. Under ID3v2.4's tag-wide
// unsynchronisation each frame says so itself, since the new header does not.
std::string storedFrame(int version, const Id3v2Frame& f, bool tagUnsync) {
  const std::size_t head = headerLength(version);
  std::string out(f.raw);
  out.replace(version == 2 ? kFrameIdSizeV22 : kFrameSizeAt, version == 2 ? 3 : 4,
              sizeField(version, f.raw.size() - head));
  if (version == 4 && tagUnsync)
    out[kFrameFormatAt] = static_cast<char>(f.format | flagBits(FrameFormatV24::Unsynchronisation));
  return out;
}

// The identifier whose layout says where the texts stand.
std::string_view layoutId(const Id3v2Frame& f, int version) {
  if (version == 2 && f.id == "PIC") return f.id;
  return detail::v23Id(f, version);
}

// The frame's texts re-encoded when every non-ASCII one is read with
// certainty and one of them is not ISO-8859-1; the uncertain ones are told.
std::optional<std::string> unicodeContent(const Id3v2Frame& f, int version, TextContext& context,
                                          std::vector<UncertainText>* uncertain) {
  if (!f.readable || f.content.empty() || detail::encodingOf(f.content[0]) != TextEncoding::Latin1)
    return std::nullopt;
  const std::string_view id = layoutId(f, version);
  if (id.empty()) return std::nullopt;
  const auto texts = detail::storedTexts(id, f.content);
  if (!texts) return std::nullopt;
  bool needed = false, sure = true;
  for (const std::string_view t : *texts) {
    if (text::isAscii(t)) continue;
    text::Reading r = context.read(t);
    if (r.uncertain) {
      sure = false;
      if (uncertain)
        uncertain->push_back({std::move(r.text), std::move(r.alternative), r.charset, r.runnerUp});
    }
    needed = needed || r.charset != text::Charset::Latin1;
  }
  if (!needed || !sure) return std::nullopt;
  return detail::reencodeContent(id, f.content, false, &context);
}

ConversionResult failed(ConversionProblem p) { return {UnicodeConversion::Failed, p, {}}; }

}  // namespace

namespace {

std::optional<std::string> convertedTag(const detail::Id3v2Frames& walk, std::string_view oldTag,
                                        TextContext& context, std::vector<UncertainText>* uncertain) {
  const int v = walk.version;
  if (v < 2 || v > 4) return std::nullopt;
  const bool tagUnsync = v == 4 && anyFlag(walk.flags, HeaderFlag::Unsynchronisation);
  std::string frames;
  bool changed = false;
  for (const Id3v2Frame& f : walk.frames) {
    if (const auto content = unicodeContent(f, v, context, uncertain)) {
      frames += convertedFrame(v, f, *content);
      changed = true;
    } else {
      frames += storedFrame(v, f, tagUnsync);
    }
  }
  if (!changed) return std::nullopt;

  // The frames are stored plain now and the extended header (its CRC would
  // no longer hold) is gone.
  const bool footer = v == 4 && anyFlag(walk.flags, HeaderFlag::Footer);
  const auto flags = static_cast<std::uint8_t>(
      walk.flags & ~flagBits(HeaderFlag::Unsynchronisation, HeaderFlag::ExtendedHeader));
  if (!footer) {
    // Keep the audio where it was when the frames fit; ID3v2.4 allows no
    // padding beside a footer.
    const std::size_t oldBody = oldTag.size() - kId3v2HeaderSize;
    frames.resize(frames.size() <= oldBody ? oldBody : frames.size() + kNewPadding, '\0');
  }
  if (frames.size() > kSyncSafeMax) return std::nullopt;
  std::string header("ID3", 3);
  header += oldTag.substr(kId3v2VersionAt, 2);
  header += static_cast<char>(flags);
  header += encodeSyncSafe(static_cast<std::uint32_t>(frames.size()));
  std::string tag = header + frames;
  if (footer) tag += "3DI" + header.substr(3);
  return tag;
}

// The ID3v1 texts that no ID3v2 field holds, where they are read with
// certainty, into `fields`; true when one of them is not ISO-8859-1 (which
// every reader already shows as it is).
bool addId3v1Texts(std::string_view block, TagFields& fields, TextContext& context,
                   std::vector<UncertainText>& uncertain) {
  TagFields decoded, stored;
  if (!parseId3v1Block(block, decoded, &stored)) return false;
  bool needed = false;
  for (const int slot : {kTitle, kArtist, kAlbum, kYear, kComment}) {
    if (!fields[slot].empty()) continue;
    if (text::isAscii(stored[slot])) {  // carried along, but no reason to write by itself
      fields[slot] = stored[slot];
      continue;
    }
    text::Reading r = context.read(stored[slot]);
    if (r.uncertain) {
      uncertain.push_back({std::move(r.text), std::move(r.alternative), r.charset, r.runnerUp});
      continue;
    }
    needed = needed || r.charset != text::Charset::Latin1;
    fields[slot] = std::move(r.text);
  }
  if (needed && fields[kTrack].empty()) fields[kTrack] = decoded[kTrack];
  return needed;
}

// The ID3v1 block's texts, when `tail` is one.
void weighId3v1(std::string_view tail, text::Evidence& e) {
  TagFields decoded, stored;
  if (!parseId3v1Block(tail, decoded, &stored)) return;
  for (const int slot : {kTitle, kArtist, kAlbum, kYear, kComment}) e.add(stored[slot]);
}

}  // namespace

std::optional<std::string> unicodeTag(std::string_view oldTag, std::vector<UncertainText>* uncertain) {
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  if (!walk.complete) return std::nullopt;
  TextContext context;
  detail::weighFrames(walk, context.tag);
  return convertedTag(walk, oldTag, context, uncertain);
}

text::Evidence tagEvidence(std::string_view oldTag, std::string_view tail) {
  text::Evidence e;
  if (!oldTag.empty()) detail::weighFrames(detail::walkId3v2Frames(oldTag), e);
  weighId3v1(tail, e);
  return e;
}

ConversionPlan planConversion(std::string_view oldTag, std::string_view tail, const text::Evidence* folder,
                              std::optional<text::Charset> chosen) {
  ConversionPlan p;
  std::string tag(oldTag);
  // Both tags of a file are taken for one writer's.
  TextContext context;
  context.folder = folder;
  context.chosen = chosen;
  context.tag = tagEvidence(oldTag, tail);
  if (!oldTag.empty()) {
    const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
    p.complete = walk.complete;
    if (auto converted = convertedTag(walk, oldTag, context, &p.uncertain)) tag = *std::move(converted);
  }
  // An uncertain ID3v2 text keeps the ID3v1 block out: the tag it would go
  // into is rewritten through the slots.
  TagFields shown, fields;  // the texts as the frames hold them ("(17)", not "Rock"): those stay
  if (p.uncertain.empty() && (tag.empty() || parseId3v2Tag(tag, shown, &fields))) {
    if (addId3v1Texts(tail, fields, context, p.uncertain)) {
      p.newTag = buildId3v2Tag(fields, tag);
      return p;
    }
  }
  if (tag != oldTag) p.newTag = std::move(tag);
  return p;
}

namespace {

// The file's ID3v2 tag (empty for none) and its last 128 bytes.
std::optional<std::string> readBoth(platform::OpenFile& file, std::uint64_t& length, std::string& tail) {
  auto tag = detail::readOldTag(file, length);
  tail.clear();
  const auto size = file.length();
  if (tag && size && *size >= kId3v1Size && !file.readAt(*size - kId3v1Size, kId3v1Size, tail))
    return std::nullopt;
  return tag;
}

}  // namespace

text::Evidence fileEvidence(const std::string& path) {
  platform::OpenFile file;
  std::uint64_t length = 0;
  std::string tail;
  if (!file.open(path, platform::OpenMode::Read)) return {};
  const auto tag = readBoth(file, length, tail);
  return tag ? tagEvidence(*tag, tail) : text::Evidence{};
}

ConversionResult convertId3v2ToUnicode(const std::string& path, const std::string& stateDir,
                                       const text::Evidence* folder, std::optional<text::Charset> chosen) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return failed(ConversionProblem::CannotOpen);
  std::uint64_t length = 0;
  std::string tail;
  const auto oldTag = readBoth(file, length, tail);
  if (!oldTag) return failed(ConversionProblem::TagPastEnd);
  ConversionPlan plan = planConversion(*oldTag, tail, folder, chosen);
  ConversionResult done{plan.uncertain.empty() ? UnicodeConversion::Converted : UnicodeConversion::Uncertain,
                        ConversionProblem::None, std::move(plan.uncertain)};
  if (!plan.newTag) {
    if (done.outcome == UnicodeConversion::Converted) done.outcome = UnicodeConversion::NotNeeded;
    return done;
  }
  if (!plan.complete) return failed(ConversionProblem::NotFullyRead);
  if (plan.newTag->size() - kId3v2HeaderSize > kSyncSafeMax) return failed(ConversionProblem::WriteFailed);
  file.close();
  if (!file.open(path, platform::OpenMode::ReadWrite)) return failed(ConversionProblem::NotWritable);
  // The file may have changed between the two openings.
  std::uint64_t lengthNow = 0;
  std::string tailNow;
  const auto tagNow = readBoth(file, lengthNow, tailNow);
  if (!tagNow || *tagNow != *oldTag || tailNow != tail) return failed(ConversionProblem::ChangedMeanwhile);
  if (!file.replaceRange(0, length, *plan.newTag, stateDir)) return failed(ConversionProblem::WriteFailed);
  return done;
}

}  // namespace qorin::tags
