// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "text/gb18030.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace qorin::text {
namespace {

std::u16string utf16Of(std::uint32_t cp) {
  if (cp < 0x10000) return std::u16string(1, static_cast<char16_t>(cp));
  return {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
          static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
}

TEST(Gb18030Tables, KnownCodesBothWays) {
  struct Case {
    std::string gb;
    std::uint32_t cp;
  };
  const Case cases[] = {
      {"a", 'a'},
      {"\xD6\xD0", 0x4E2D},            // 中, GB2312
      {"\x81\x40", 0x4E02},            // first two-byte code
      {"\x8C\x57", 0x5B78},            // 學: the trail byte looks like "W"
      {"\xA2\xE3", 0x20AC},            // €
      {"\xA8\xBC", 0x1E3F},            // ḿ, moved to two bytes in 2005
      {"\xFE\x51", 0x20087},           // a two-byte code outside the BMP
      {"\x81\x30\x81\x30", 0x80},      // first four-byte code
      {"\x84\x31\xA4\x39", 0xFFFF},    // last of the BMP
      {"\x90\x30\x81\x30", 0x10000},   // first outside the BMP
      {"\x95\x32\x82\x36", 0x20000},   // 𠀀
      {"\xE3\x32\x9A\x35", 0x10FFFF},  // last
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gb18030ToUtf16(c.gb), utf16Of(c.cp)) << std::hex << c.cp;
    EXPECT_EQ(utf16ToGb18030(utf16Of(c.cp)), c.gb) << std::hex << c.cp;
  }
}

TEST(Gb18030Tables, RefusesWhatIsNoCharacter) {
  for (const std::string bad :
       {"\x80", "\xFF", "\x81", "\x81\x7F", "\x81\xFF", "\x81\x30", "\x81\x30\x81", "\x81\x30\x81\x3A",
        "\x84\x31\xA5\x30", "\xE3\x32\x9A\x36", "\xFE\x39\xFE\x39"})
    EXPECT_FALSE(gb18030ToUtf16(bad)) << bad;
  EXPECT_FALSE(utf16ToGb18030(u"a\xD800"));
  EXPECT_FALSE(utf16ToGb18030(u"\xDC00z"));
  EXPECT_EQ(utf16ToGb18030(std::u16string(1, u'\0')), std::string(1, '\0'));
}

// Every character goes out and comes back as itself, but for the few
// private-use ones whose codes the 2005 mapping gave to real characters.
TEST(Gb18030Tables, EveryCharacterRoundTrips) {
  std::size_t failures = 0, unmapped = 0;
  for (std::uint32_t cp = 0; cp <= 0x10FFFF && failures < 10; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const auto gb = utf16ToGb18030(utf16Of(cp));
    if (!gb) {
      EXPECT_TRUE(cp >= 0xE000 && cp <= 0xF8FF) << "U+" << std::hex << cp;
      ++unmapped;
    } else if (gb18030ToUtf16(*gb) != utf16Of(cp)) {
      ADD_FAILURE() << "U+" << std::hex << cp;
      ++failures;
    }
  }
  EXPECT_LT(unmapped, 40u);
}

#ifndef _WIN32
// The tables must keep the mapping of the Linux build: iconv's, for every
// two- and four-byte code of the BMP and every character.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::optional<std::string> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buf[32];
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size(), dstLeft = sizeof buf;
    char* dst = buf;
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0)
      return std::nullopt;
    return std::string(buf, sizeof buf - dstLeft);
  }

 private:
  iconv_t cd_;
};

std::optional<std::u16string> asUtf16(const std::optional<std::string>& bytes) {
  if (!bytes || bytes->size() % 2) return std::nullopt;
  std::u16string u(bytes->size() / 2, u'\0');
  for (std::size_t i = 0; i < u.size(); ++i)
    u[i] = static_cast<char16_t>(static_cast<unsigned char>((*bytes)[2 * i]) |
                                 static_cast<unsigned char>((*bytes)[2 * i + 1]) << 8);
  return u;
}

TEST(Gb18030Tables, MatchIconv) {
  Iconv decode("UTF-16LE", "GB18030"), encode("GB18030", "UTF-16LE");
  ASSERT_TRUE(decode.ok() && encode.ok());
  std::size_t failures = 0;
  const auto check = [&](const std::string& gb) {
    if (failures < 10 && gb18030ToUtf16(gb) != asUtf16(decode(gb))) {
      ADD_FAILURE() << "decoding " << std::hex << static_cast<unsigned>(static_cast<unsigned char>(gb[0]))
                    << " " << static_cast<unsigned>(static_cast<unsigned char>(gb[1]));
      ++failures;
    }
  };
  for (int b0 = 0x80; b0 <= 0xFF; ++b0) {
    for (int b1 = 0x30; b1 <= 0xFF; ++b1) {
      check({static_cast<char>(b0), static_cast<char>(b1)});
      if (b0 > 0x84 || b1 > 0x39) continue;
      for (int b2 = 0x81; b2 <= 0xFE; ++b2)
        for (int b3 = 0x30; b3 <= 0x39; ++b3)
          check({static_cast<char>(b0), static_cast<char>(b1), static_cast<char>(b2), static_cast<char>(b3)});
    }
  }
  for (std::uint32_t cp = 0; cp <= 0x10FFFF && failures < 10; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::u16string u = utf16Of(cp);
    const std::string bytes(reinterpret_cast<const char*>(u.data()), u.size() * 2);
    if (utf16ToGb18030(u) != encode(bytes)) {
      ADD_FAILURE() << "encoding U+" << std::hex << cp;
      ++failures;
    }
  }
}
#endif

}  // namespace
}  // namespace qorin::text
