// SPDX-License-Identifier: GPL-3.0-or-later
// Texts stored without an encoding label whose reading is a guess: the
// readers name the other reading per slot, and only when asked.
#include <gtest/gtest.h>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/syncsafe.h"
#include "tags_test_util.h"
#include "text/detect.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using namespace std::literals;

// Two characters as Big5 ("趙傳") that read as well as GBK.
const std::string kAmbiguous = "\xBB\xAF\xB6\xC7";

std::string frame(std::string_view id, std::string_view content) {
  const auto n = static_cast<std::uint32_t>(content.size());
  return std::string(id) + static_cast<char>(n >> 24) + static_cast<char>(n >> 16) +
         static_cast<char>(n >> 8) + static_cast<char>(n) + "\0\0"s + std::string(content);
}

std::string tag23(std::string_view frames) {
  return "ID3\x03\0\0"s + encodeSyncSafe(static_cast<std::uint32_t>(frames.size())) + std::string(frames);
}

TEST(UncertainReadings, NamedPerSlot) {
  const text::Reading r = text::readUnlabelled(kAmbiguous);
  ASSERT_TRUE(r.uncertain);
  const std::string shown = r.text, other = r.alternative;

  const std::string v2 = tag23(frame("TIT2", "\0"s + kAmbiguous) + frame("TPE1", "\0Band"s) +
                               frame("TPE1", "\0"s + kAmbiguous) +  // a second artist: the first is shown
                               frame("TALB", "\x01\xFF\xFE\x75\x8D\x33\x4F"s) +  // UTF-16: labelled
                               frame("COMM", "\0chi\0"s + kAmbiguous) + frame("WXXX", "\0\0"s + kAmbiguous) +
                               frame("TCON", "\0(17)"s));
  TagFields f, stored;
  OtherReadings others;
  others[kAlbum] = "left from before";
  ASSERT_TRUE(parseId3v2Tag(v2, f, &stored, &others));
  EXPECT_EQ(f[kTitle], shown);
  EXPECT_EQ(stored[kTitle], shown);
  const TagFields asked = f;
  const std::pair<int, std::optional<std::string>> v2Cases[] = {
      {kTitle, other}, {kArtist, std::nullopt}, {kAlbum, std::nullopt}, {kComment, other},
      {kUrl, other},   {kGenre, std::nullopt},  {kYear, std::nullopt},
  };
  for (const auto& [slot, expected] : v2Cases) EXPECT_EQ(others[slot], expected) << "ID3v2 slot " << slot;

  std::string v1(kId3v1Size, '\0');
  v1.replace(0, 3, "TAG");
  v1.replace(3, kAmbiguous.size(), kAmbiguous);
  v1.replace(33, 4, "Band");
  OtherReadings v1Others;
  v1Others[kAlbum] = "left from before";
  ASSERT_TRUE(parseId3v1Block(v1, f, &stored, &v1Others));
  EXPECT_EQ(f[kTitle], shown);
  EXPECT_EQ(stored[kTitle], kAmbiguous);  // the block's own bytes, for a write that keeps them
  EXPECT_EQ(v1Others[kTitle], other);
  EXPECT_EQ(v1Others[kArtist], std::nullopt);
  EXPECT_EQ(v1Others[kAlbum], std::nullopt);

  // Not asking reads the same texts.
  TagFields plain;
  ASSERT_TRUE(parseId3v2Tag(v2, plain));
  EXPECT_EQ(plain, asked);
}

}  // namespace
}  // namespace qorin::tags
