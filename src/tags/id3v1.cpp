#include "tags/id3v1.h"

#include <algorithm>
#include <cstdint>

#include "text/gbtext.h"

namespace qorin::tags {

namespace {

struct Field {
  std::size_t offset, size;
};
constexpr Field kTitleField{3, 30}, kArtistField{33, 30}, kAlbumField{63, 30}, kYearField{93, 4},
    kCommentField{97, 30};
// ID3v1.1 keeps a zero byte and the track in the comment's last two bytes.
constexpr std::size_t kVersion11MarkAt = 125, kTrackAt = 126, kGenreAt = 127;
static_assert(kCommentField.offset + kId3v1CommentWithTrack == kVersion11MarkAt &&
              kCommentField.offset + kId3v1CommentWithoutTrack == kTrackAt);

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

}  // namespace

bool hasId3v1(platform::ByteSource& file) {
  std::string block;
  std::uint64_t len = 0;
  return readTail(file, block, len) && isBlock(block);
}

bool parseId3v1Block(std::string_view block, TagFields& fields) {
  if (!isBlock(block)) return false;
  fields[kTitle] = trimSpaces(upToZero(block, kTitleField.offset, kTitleField.size));
  fields[kArtist] = trimSpaces(upToZero(block, kArtistField.offset, kArtistField.size));
  fields[kAlbum] = trimSpaces(upToZero(block, kAlbumField.offset, kAlbumField.size));
  fields[kYear] = upToZero(block, kYearField.offset, kYearField.size);
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(block[i]); };
  if (byte(kVersion11MarkAt) != 0) {  // ID3v1.0: the comment runs to offset 126
    fields[kComment] = upToZero(block, kCommentField.offset, kCommentField.size);
    fields[kTrack].clear();
  } else {
    fields[kComment] = upToZero(block, kCommentField.offset, kId3v1CommentWithTrack);
    fields[kTrack] = byte(kTrackAt) == 0 ? std::string() : std::to_string(byte(kTrackAt));
  }
  fields[kGenre] = std::to_string(byte(kGenreAt));
  return true;
}

bool readId3v1(platform::ByteSource& file, TagFields& fields) {
  std::string block;
  std::uint64_t len = 0;
  return readTail(file, block, len) && parseId3v1Block(block, fields);
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

bool writeId3v1(platform::OpenFile& file, std::string_view title, std::string_view artist,
                std::string_view album, std::string_view year, std::string_view comment,
                std::string_view track, int genre) {
  if (!file.isWritable()) return false;
  const auto trackByte = static_cast<std::uint8_t>(static_cast<std::uint32_t>(text::toNumber(track)) & 0xFF);
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
    if (!l) return false;
    len = *l;
  }
  const std::uint64_t at = replace ? len - kId3v1Size : len;
  if (file.seek(at) && file.write(block)) return true;
  // Leave no half-written block behind.
  if (replace) {
    if (file.seek(at)) file.write(old);
  } else {
    file.truncate(len);
  }
  return false;
}

bool deleteId3v1(platform::OpenFile& file) {
  if (!file.isOpen()) return false;
  std::string block;
  std::uint64_t len = 0;
  if (!readTail(file, block, len) || !isBlock(block)) return true;
  return file.truncate(len - kId3v1Size);
}

}  // namespace qorin::tags
