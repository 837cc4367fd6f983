// SPDX-License-Identifier: GPL-3.0-or-later
// Walking the frames of an ID3v2 tag in memory the way mature readers do;
// shared by the reader, the writer (which carries frames over into the new
// tag) and the conversion to Unicode.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::tags::detail {

// Views point into the walked tag or into Id3v2Frames::owned.
struct Id3v2Frame {
  std::string_view id;  // as stored: 3 letters in ID3v2.2, else 4
  // An ID3v2.2 identifier inside an ID3v2.3/2.4 tag ("TP1\0"): `id` is its
  // ID3v2.3 name and `raw` still starts with the stored one.
  bool renamed = false;
  std::uint8_t status = 0;            // FrameStatusV23 or FrameStatusV24 bits
  std::uint8_t format = 0;            // FrameFormatV23 or FrameFormatV24 bits
  std::optional<std::uint8_t> group;  // the grouping identifier
  bool readable = false;              // content holds the frame's data (not encrypted, inflated)
  bool truncated = false;             // the frame ran past the tag's end: cut there
  std::string_view content;           // without unsynchronisation and the extra header bytes
  std::string_view raw;               // as stored, header included (after the tag's unsynchronisation)
};

struct Id3v2Frames {
  int version = 0;         // major version byte
  std::uint8_t flags = 0;  // the header's flags
  std::vector<Id3v2Frame> frames;
  // The walk ended at padding or at the tag's end: every frame was seen. A
  // tag walked only in part must not be rewritten, or what was not read is lost.
  bool complete = true;
  // Bytes the views need that the tag does not hold as they are.
  std::vector<std::unique_ptr<std::string>> owned;
};

// Walks from the end of the header (skipping an extended header unless a
// frame starts where it would) until padding or the tag's end. Inside an
// ID3v2.3/2.4 tag an ID3v2.2 identifier padded with NUL or space is mapped
// as in ID3v2.2, and a frame with an identifier unknown to us (letters and
// digits, any case) is kept as it is; anything else ends the walk with
// `complete` false. An ID3v2.4 tag whose sizes do not walk as sync-safe numbers is
// walked with plain 32-bit sizes, as a widely used writer stores them. A frame
// running past the tag's end keeps what the tag holds. The result views
// `tag`, which must outlive it.
Id3v2Frames walkId3v2Frames(std::string_view tag);

std::string removeUnsync(std::string_view bytes);

// The ID3v2.3 identifier of an ID3v2.2 frame, or nothing when it has none.
std::optional<std::string_view> v23IdOf(std::string_view id22);

inline std::uint32_t bigEndian(std::string_view b, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(b[i]);
  return v;
}

inline std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

}  // namespace qorin::tags::detail
