#include "tags/id3v2_unicode.h"

#include <algorithm>

#include "platform/open_file.h"
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

std::optional<std::string> unicodeContent(const Id3v2Frame& f, int version) {
  if (!f.readable || f.content.empty() || detail::encodingOf(f.content[0]) != TextEncoding::Latin1)
    return std::nullopt;
  const std::string_view id = layoutId(f, version);
  if (id.empty()) return std::nullopt;
  const auto texts = detail::storedTexts(id, f.content);
  if (!texts ||
      std::all_of(texts->begin(), texts->end(), [](std::string_view t) { return text::isAscii(t); }))
    return std::nullopt;
  return detail::reencodeContent(id, f.content, false);
}

ConversionResult failed(ConversionProblem p) { return {UnicodeConversion::Failed, p}; }

}  // namespace

std::optional<std::string> unicodeTag(std::string_view oldTag) {
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(oldTag);
  const int v = walk.version;
  if (v < 2 || v > 4) return std::nullopt;
  const bool tagUnsync = v == 4 && anyFlag(walk.flags, HeaderFlag::Unsynchronisation);
  std::string frames;
  bool changed = false;
  for (const Id3v2Frame& f : walk.frames) {
    if (const auto content = unicodeContent(f, v)) {
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

ConversionResult convertId3v2ToUnicode(const std::string& path, const std::string& stateDir) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return failed(ConversionProblem::CannotOpen);
  if (!hasId3v2(file)) return {};
  std::uint64_t length = 0;
  const auto oldTag = detail::readOldTag(file, length);
  if (!oldTag) return failed(ConversionProblem::TagPastEnd);
  auto tag = unicodeTag(*oldTag);
  if (!tag) return {};
  file.close();
  if (!file.open(path, platform::OpenMode::ReadWrite)) return failed(ConversionProblem::NotWritable);
  // The file may have changed between the two openings.
  std::uint64_t lengthNow = 0;
  const auto tagNow = detail::readOldTag(file, lengthNow);
  if (!tagNow || *tagNow != *oldTag) return failed(ConversionProblem::ChangedMeanwhile);
  if (!file.replaceRange(0, length, *tag, stateDir)) return failed(ConversionProblem::WriteFailed);
  return {UnicodeConversion::Converted, {}};
}

}  // namespace qorin::tags
