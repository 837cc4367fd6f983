// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers of the ID3v2 layout that the reader and the writer share: the
// header's size and flags, the frame flags of versions 2.3 and 2.4, and the
// text encodings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorin::tags {

// Header: "ID3", major version, revision, flags, four sync-safe size bytes.
// The size counts the bytes after the header (and before a footer).
inline constexpr std::size_t kId3v2HeaderSize = 10;
inline constexpr std::size_t kId3v2VersionAt = 3;
inline constexpr std::size_t kId3v2FlagsAt = 5;
inline constexpr std::size_t kId3v2SizeAt = 6;
// An ID3v2.4 footer repeats the header at the tag's end.
inline constexpr std::size_t kId3v2FooterSize = 10;

// Frame headers: identifier, size, and (2.3, 2.4) two flag bytes.
inline constexpr std::size_t kFrameHeaderSize = 10;
inline constexpr std::size_t kFrameHeaderSizeV22 = 6;
inline constexpr std::size_t kFrameIdSize = 4;
inline constexpr std::size_t kFrameIdSizeV22 = 3;
inline constexpr std::size_t kFrameSizeAt = 4;
inline constexpr std::size_t kFrameStatusAt = 8;
inline constexpr std::size_t kFrameFormatAt = 9;

// The header's flag byte.
enum class HeaderFlag : std::uint8_t {
  Unsynchronisation = 0x80,  // 2.2 and 2.3: the whole tag; 2.4: every frame
  ExtendedHeader = 0x40,     // 2.3 and 2.4
  CompressionV22 = 0x40,     // 2.2 only; no scheme for it was ever defined
  Experimental = 0x20,
  Footer = 0x10,  // 2.4
};

// ID3v2.3 frame flags: the status byte, then the format byte.
enum class FrameStatusV23 : std::uint8_t {
  DiscardOnTagChange = 0x80,
  DiscardOnFileChange = 0x40,
  ReadOnly = 0x20,
};
enum class FrameFormatV23 : std::uint8_t {
  Compression = 0x80,
  Encryption = 0x40,
  Grouping = 0x20,  // one group byte leads the content
};

// ID3v2.4 frame flags: the same status one bit lower, a new format byte.
enum class FrameStatusV24 : std::uint8_t {
  DiscardOnTagChange = 0x40,
  DiscardOnFileChange = 0x20,
  ReadOnly = 0x10,
};
enum class FrameFormatV24 : std::uint8_t {
  Grouping = 0x40,  // one group byte leads the content
  Compression = 0x08,
  Encryption = 0x04,
  Unsynchronisation = 0x02,
  DataLengthIndicator = 0x01,  // four sync-safe bytes lead the content
};

// The first content byte of text, comment and URL frames.
enum class TextEncoding : std::uint8_t {
  Latin1 = 0,  // the program stores code-page bytes here, as other writers do
  Utf16 = 1,   // with a byte-order mark
  Utf16Be = 2,
  Utf8 = 3,
};

template <class... Flag>
constexpr std::uint8_t flagBits(Flag... flags) {
  return static_cast<std::uint8_t>((static_cast<std::uint8_t>(flags) | ...));
}

// True when `bits` has any of `flags` set.
template <class... Flag>
constexpr bool anyFlag(std::uint8_t bits, Flag... flags) {
  return (bits & flagBits(flags...)) != 0;
}

constexpr char encodingByte(TextEncoding e) { return static_cast<char>(e); }

}  // namespace qorin::tags
