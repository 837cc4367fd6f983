// SPDX-License-Identifier: GPL-3.0-or-later
// What the text fuzz targets share: reading their input as a few texts, making
// texts of whole characters, and checks that stop the run with a message.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "text/gbtext.h"

#define FUZZ_CHECK(cond)                                                             \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

namespace qorin::fuzz {

// The input as flag bytes and length-prefixed texts; whatever is left is the rest.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(reinterpret_cast<const char*>(data), size) {}

  // The next byte, 0 when the input is used up.
  std::uint8_t byte() {
    if (data_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(data_.front());
    data_.remove_prefix(1);
    return b;
  }

  // A length byte and that many bytes, as they are or (whole) made into whole
  // characters.
  std::string text(bool whole) {
    const std::size_t n = std::min<std::size_t>(byte(), data_.size());
    const std::string_view raw = data_.substr(0, n);
    data_.remove_prefix(n);
    return whole ? wholeText(raw) : std::string(raw);
  }

  std::string_view rest() const { return data_; }

  // Every byte starts a character: ASCII (NUL becomes "."); 0x81-0xFE the
  // lead of a double-byte character whose trail the next byte picks; 0x80 and
  // 0xFF a four-byte character made from the next two. Trail bytes that look
  // like ASCII (backslash, "]", "|", letters) come up as often as any other.
  static std::string wholeText(std::string_view raw) {
    std::string out;
    std::size_t i = 0;
    const auto next = [&]() -> unsigned {
      return i < raw.size() ? static_cast<unsigned char>(raw[i++]) : 0x1C;
    };
    while (i < raw.size()) {
      const unsigned b = next();
      if (b < 0x80) {
        out += b == 0 ? '.' : static_cast<char>(b);
      } else if (b != 0x80 && b != 0xFF) {
        const unsigned trail = next() % 190;
        out += static_cast<char>(b);
        out += static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + trail - 63);
      } else {
        const unsigned t1 = next(), t2 = next();
        out += static_cast<char>(0x81 + t1 % 126);
        out += static_cast<char>('0' + (t1 + (b & 1)) % 10);
        out += static_cast<char>(0x81 + t2 % 126);
        out += static_cast<char>('0' + t2 % 10);
      }
    }
    return out;
  }

 private:
  std::string_view data_;
};

// Every character of `s` is whole: ASCII, or a double-byte or four-byte
// character (charLength counts a byte that starts none as one).
inline bool isWhole(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::charLength(s, i);
    if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80) return false;
    i += n;
  }
  return true;
}

// The multi-byte characters of `s`, added to `into`.
inline void collectWide(std::string_view s, std::set<std::string>& into) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::charLength(s, i);
    if (n > 1) into.emplace(s.substr(i, n));
    i += n;
  }
}

// Nothing was split: `out` is made of whole characters, and each multi-byte
// one is a character of an input (a split leaves a lone lead byte, or pairs it
// with a byte of its neighbour into a character no input held).
inline bool noneSplit(std::string_view out, const std::set<std::string>& inputChars) {
  if (!isWhole(out)) return false;
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t n = text::charLength(out, i);
    if (n > 1 && !inputChars.contains(std::string(out.substr(i, n)))) return false;
    i += n;
  }
  return true;
}

}  // namespace qorin::fuzz
