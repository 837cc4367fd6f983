// SPDX-License-Identifier: GPL-3.0-or-later
// Sync-safe integers of ID3v2: 28 bits spread over four bytes of seven bits
// each, most significant first, so that no size byte can look like the start
// of an MPEG frame. Tag sizes (and ID3v2.4 frame and extended-header sizes)
// are stored this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::tags {

inline constexpr std::size_t kSyncSafeBytes = 4;
inline constexpr std::uint32_t kSyncSafeMax = (1u << 28) - 1;

// True when `bytes` holds at least four bytes and none of the first four has
// its top bit set.
bool isSyncSafe(std::string_view bytes);

// The value of the first four bytes; nothing when there are fewer than four
// or one of them has its top bit set.
std::optional<std::uint32_t> decodeSyncSafe(std::string_view bytes);

// The four bytes of `n`, which must not exceed kSyncSafeMax (higher bits are
// dropped).
std::string encodeSyncSafe(std::uint32_t n);

}  // namespace qorin::tags
