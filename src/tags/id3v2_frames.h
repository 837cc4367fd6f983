// Walking the frames of an ID3v2 tag in memory; shared by the reader and by
// the writer, which carries unknown frames over into the new tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::tags::detail {

struct Id3v2Frame {
  std::string id;           // as stored: 3 letters in ID3v2.2, else 4
  std::uint8_t status = 0;  // FrameStatusV23 or FrameStatusV24 bits
  std::uint8_t format = 0;  // FrameFormatV23 or FrameFormatV24 bits
  bool readable = false;    // content is plain (not compressed or encrypted)
  std::string content;      // readable: without unsynchronisation and extra header bytes
  std::string raw;          // the frame as stored, header included (after tag-level unsync)
};

struct Id3v2Frames {
  int version = 0;  // major version byte
  std::vector<Id3v2Frame> frames;
};

// Walks from the end of the header (skipping an extended header) until
// padding, an invalid identifier or a frame that runs past the tag.
Id3v2Frames walkId3v2Frames(std::string_view tag);

std::string removeUnsync(std::string_view bytes);

inline std::uint32_t bigEndian(std::string_view b, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(b[i]);
  return v;
}

}  // namespace qorin::tags::detail
