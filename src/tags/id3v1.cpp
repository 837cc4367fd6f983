// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v1.h"

#include <algorithm>
#include <cstdint>

#include "tags/genres.h"
#include "tags/tag_slots.h"
#include "tags/write_io.h"
#include "text/detect.h"
#include "text/gbtext.h"

namespace qorin::tags {

namespace {

using Field = Id3v1Place;
constexpr Field kTitleField = slotRow(kTitle).id3v1, kArtistField = slotRow(kArtist).id3v1,
                kAlbumField = slotRow(kAlbum).id3v1, kYearField = slotRow(kYear).id3v1,
                kCommentField = slotRow(kComment).id3v1;
// ID3v1.1 keeps a zero byte and the track in the comment's last two bytes.
constexpr std::size_t kVersion11MarkAt = 125, kTrackAt = slotRow(kTrack).id3v1.offset,
                      kGenreAt = slotRow(kGenre).id3v1.offset;
static_assert(kCommentField.offset + kId3v1CommentWithTrack == kVersion11MarkAt &&
              kCommentField.offset + kId3v1CommentWithoutTrack == kTrackAt && kGenreAt + 1 == kId3v1Size);

std::string upToZero(std::string_view block, std::size_t offset, std::size_t size) {
  const std::string_view f = block.substr(offset, size);
  return std::string(f.substr(0, f.find('\0')));
}

std::string trimSpaces(std::string s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

void put(std::string& block, Field f, std::string_view text) {
  const std::string_view cut = text::cutToBytes(text, f.size);
  std::copy(cut.begin(), cut.end(), block.begin() + static_cast<std::ptrdiff_t>(f.offset));
}

bool readTail(platform::ByteSource& file, std::string& block, std::uint64_t& length) {
  const auto len = file.length();
  if (!len || *len < kId3v1Size) return false;
  length = *len;
  return file.readAt(*len - kId3v1Size, kId3v1Size, block) && block.size() == kId3v1Size;
}

bool isBlock(std::string_view block) { return block.size() == kId3v1Size && block.substr(0, 3) == "TAG"; }

// The track text taken to the nearest whole number ("2.7" stores 3); a text
// that is not a number gives 0.
std::int64_t nearestInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  std::int64_t whole = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    whole = std::min<std::int64_t>(whole * 10 + (s[i] - '0'), 1 << 30);
  // The first digit after the point alone decides: x.5 and above round away from zero.
  if (i + 1 < s.size() && s[i] == '.' && s[i + 1] >= '5' && s[i + 1] <= '9') ++whole;
  return negative ? -whole : whole;
}

}  // namespace

std::optional<std::string> id3v1Bytes(std::string_view text, std::string* unheld) {
  std::string wide;  // the four-byte characters, which GBK lacks
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = text::charLength(text, i);
    if (n == 4) wide += text.substr(i, n);
    i += n;
  }
  if (wide.empty()) return std::string(text);
  if (const auto utf16 = text::gbToUtf16(text)) {
    std::string latin1;
    for (std::size_t i = 0; i + 1 < utf16->size(); i += 2) {
      if ((*utf16)[i + 1] != '\0') {
        latin1.clear();
        break;
      }
      latin1 += (*utf16)[i];
    }
    if (latin1.size() * 2 == utf16->size()) return latin1;
  }
  if (unheld) *unheld = std::move(wide);
  return std::nullopt;
}

bool hasId3v1(platform::ByteSource& file) {
  std::string block;
  std::uint64_t len = 0;
  return readTail(file, block, len) && isBlock(block);
}

bool parseId3v1Block(std::string_view block, TagFields& fields, TagFields* asStored, OtherReadings* others,
                     TextContext* context) {
  if (!isBlock(block)) return false;
  TagFields out;
  out[kTitle] = trimSpaces(upToZero(block, kTitleField.offset, kTitleField.size));
  out[kArtist] = trimSpaces(upToZero(block, kArtistField.offset, kArtistField.size));
  out[kAlbum] = trimSpaces(upToZero(block, kAlbumField.offset, kAlbumField.size));
  out[kYear] = upToZero(block, kYearField.offset, kYearField.size);
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(block[i]); };
  if (byte(kVersion11MarkAt) != 0) {  // ID3v1.0: the comment runs to offset 126
    out[kComment] = upToZero(block, kCommentField.offset, kCommentField.size);
  } else {
    out[kComment] = upToZero(block, kCommentField.offset, kId3v1CommentWithTrack);
    if (byte(kTrackAt) != 0) out[kTrack] = std::to_string(byte(kTrackAt));
  }
  out[kGenre] = std::to_string(byte(kGenreAt));
  if (asStored) *asStored = out;
  // The block has no word on its encoding: its texts are decided together.
  constexpr int kTexts[] = {kTitle, kArtist, kAlbum, kYear, kComment};
  TextContext own;
  TextContext& ctx = context ? *context : own;
  ctx.tag = {};
  for (const int slot : kTexts) ctx.tag.add(out[slot]);
  OtherReadings guesses;
  for (const int slot : kTexts) {
    text::Reading r = ctx.read(out[slot]);
    out[slot] = std::move(r.text);
    if (r.uncertain) guesses[slot] = std::move(r.alternative);
  }
  for (int slot = kTitle; slot <= kComment; ++slot) fields[slot] = std::move(out[slot]);
  if (others) {
    for (int slot = kTitle; slot <= kComment; ++slot) (*others)[slot] = std::move(guesses[slot]);
  }
  return true;
}

std::string id3v1GenreName(std::string_view number) {
  if (number.empty()) return {};
  return std::string(playedGenreName(text::toNumber(number)).value_or(std::string_view()));
}

bool readId3v1(platform::ByteSource& file, TagFields& fields, TagFields* asStored, OtherReadings* others,
               TextContext* context) {
  std::string block;
  std::uint64_t len = 0;
  return readTail(file, block, len) && parseId3v1Block(block, fields, asStored, others, context);
}

std::string buildId3v1Block(std::string_view title, std::string_view artist, std::string_view album,
                            std::string_view year, std::string_view comment) {
  std::string block(kId3v1Size, '\0');
  block.replace(0, 3, "TAG");
  put(block, kTitleField, title);
  put(block, kArtistField, artist);
  put(block, kAlbumField, album);
  put(block, kYearField, year);
  put(block, kCommentField, comment);
  return block;
}

WriteResult writeId3v1(platform::OpenFile& file, std::string_view title, std::string_view artist,
                       std::string_view album, std::string_view year, std::string_view comment,
                       std::string_view track, int genre) {
  if (!file.isWritable()) return failedWith(WriteFailure::NotOpenForWriting);
  const auto trackByte = static_cast<std::uint8_t>(static_cast<std::uint64_t>(nearestInteger(track)) & 0xFF);
  const std::string_view fitted =
      text::cutToBytes(comment, trackByte != 0 ? kId3v1CommentWithTrack : kId3v1CommentWithoutTrack);
  std::string block = buildId3v1Block(title, artist, album, year, fitted);
  block[kTrackAt] = static_cast<char>(trackByte);
  block[kGenreAt] = static_cast<char>(static_cast<std::uint32_t>(genre) & 0xFF);

  std::string old;
  std::uint64_t len = 0;
  const bool replace = readTail(file, old, len) && isBlock(old);
  if (!replace) {
    const auto l = file.length();
    if (!l) return ioFailure(file);
    len = *l;
  }
  const std::uint64_t at = replace ? len - kId3v1Size : len;
  if (file.seek(at) && file.write(block)) return {};
  const WriteResult failed = ioFailure(file);
  // Leave no half-written block behind.
  if (replace) {
    if (file.seek(at)) file.write(old);
  } else {
    file.truncate(len);
  }
  return failed;
}

WriteResult deleteId3v1(platform::OpenFile& file) {
  if (!file.isOpen()) return failedWith(WriteFailure::NotOpenForWriting);
  std::string block;
  std::uint64_t len = 0;
  if (!readTail(file, block, len) || !isBlock(block)) return {};
  if (!file.truncate(len - kId3v1Size)) return ioFailure(file);
  return {};
}

}  // namespace qorin::tags
