// SPDX-License-Identifier: GPL-3.0-or-later
// Sync-safe integers: the four size bytes of ID3v2.
#include <gtest/gtest.h>

#include "tags/syncsafe.h"
#include "tags_test_util.h"

namespace qorin::tags {
namespace {

using namespace std::literals;

TEST(SyncSafe, KnownValuesBothWays) {
  struct Case {
    std::string bytes;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"\0\0\0\0"s, 0},        {"\0\0\0\x7F"s, 127},      {"\0\0\x01\0"s, 128},
      {"\0\0\x07\x76"s, 1014},  // the program's 1024-byte template
      {"\0\x01\0\0"s, 16384},  {"\x01\0\0\0"s, 1u << 21}, {"\x7F\x7F\x7F\x7F"s, kSyncSafeMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_TRUE(isSyncSafe(c.bytes));
    EXPECT_EQ(decodeSyncSafe(c.bytes), c.value);
    EXPECT_EQ(encodeSyncSafe(c.value), c.bytes);
  }
}

TEST(SyncSafe, TopBitOrShortInputIsNotAValue) {
  const std::string invalid[] = {
      "\x80\0\0\0"s, "\0\x80\0\0"s, "\0\0\x80\0"s, "\0\0\0\x80"s, "\xFF\xFF\xFF\xFF"s, ""s, "\0\0\0"s,
  };
  for (const std::string& b : invalid) {
    EXPECT_FALSE(isSyncSafe(b)) << tagtest::hex(b);
    EXPECT_FALSE(decodeSyncSafe(b).has_value()) << tagtest::hex(b);
  }
  // Only the first four bytes count: what follows a size is the next field.
  EXPECT_EQ(decodeSyncSafe("\0\0\0\x05\xFF"sv), 5u);
}

TEST(SyncSafe, EveryEncodingIsValidAndDecodesBack) {
  for (std::uint32_t n = 0; n <= kSyncSafeMax; n = n * 3 + 1) {
    const std::string b = encodeSyncSafe(n);
    ASSERT_EQ(b.size(), kSyncSafeBytes);
    ASSERT_TRUE(isSyncSafe(b)) << n;
    ASSERT_EQ(decodeSyncSafe(b), n);
  }
  // Bits above the 28 a size can hold are dropped, never spilled into a top bit.
  EXPECT_EQ(encodeSyncSafe(kSyncSafeMax + 1), "\0\0\0\0"s);
  EXPECT_TRUE(isSyncSafe(encodeSyncSafe(0xFFFFFFFFu)));
}

}  // namespace
}  // namespace qorin::tags
