// SPDX-License-Identifier: GPL-3.0-or-later
// The twelve texts every ID3 reader and writer exchanges with its callers.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace qorin::tags {

// Slot numbers count from 1, as the callers (naming rule, editor) do.
enum Slot : int {
  kTitle = 1,
  kArtist,
  kAlbum,
  kTrack,
  kYear,
  kGenre,
  kComment,
  kComposer,
  kOriginalArtist,
  kCopyright,
  kUrl,
  kEncodedBy,
};

struct TagFields {
  static constexpr int kSlotCount = 12;

  // Code-page (GB18030) texts, all empty when created.
  std::array<std::string, kSlotCount> texts;

  // 1-based slot access; slot must be 1..12.
  std::string& operator[](int slot) { return texts[static_cast<std::size_t>(slot - 1)]; }
  const std::string& operator[](int slot) const { return texts[static_cast<std::size_t>(slot - 1)]; }

  bool operator==(const TagFields&) const = default;
};

// For the slots whose text was stored without an encoding label and whose
// two likeliest readings scored too close to tell: the reading not shown.
// Nothing for a slot read with certainty.
struct OtherReadings {
  std::array<std::optional<std::string>, TagFields::kSlotCount> texts;

  // 1-based slot access; slot must be 1..12.
  std::optional<std::string>& operator[](int slot) { return texts[static_cast<std::size_t>(slot - 1)]; }
  const std::optional<std::string>& operator[](int slot) const {
    return texts[static_cast<std::size_t>(slot - 1)];
  }
};

}  // namespace qorin::tags
