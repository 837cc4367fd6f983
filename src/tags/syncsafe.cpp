// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/syncsafe.h"

namespace qorin::tags {

namespace {
constexpr unsigned kBitsPerByte = 7;
constexpr unsigned char kTopBit = 0x80;
constexpr unsigned char kLowBits = 0x7F;
}  // namespace

bool isSyncSafe(std::string_view bytes) {
  if (bytes.size() < kSyncSafeBytes) return false;
  for (std::size_t i = 0; i < kSyncSafeBytes; ++i) {
    if (static_cast<unsigned char>(bytes[i]) & kTopBit) return false;
  }
  return true;
}

std::optional<std::uint32_t> decodeSyncSafe(std::string_view bytes) {
  if (!isSyncSafe(bytes)) return std::nullopt;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < kSyncSafeBytes; ++i)
    v = (v << kBitsPerByte) | static_cast<unsigned char>(bytes[i]);
  return v;
}

std::string encodeSyncSafe(std::uint32_t n) {
  std::string out(kSyncSafeBytes, '\0');
  for (std::size_t i = kSyncSafeBytes; i-- > 0;) {
    out[i] = static_cast<char>(n & kLowBits);
    n >>= kBitsPerByte;
  }
  return out;
}

}  // namespace qorin::tags
