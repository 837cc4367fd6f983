// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/gb18030.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qorin::text {

namespace {

#include "text/gb18030_tables.inc"

constexpr std::uint32_t kTwoByteCount = 126 * 190;
constexpr std::uint32_t kFourByteBmpEnd = 39420;       // linear index of 0x8431A530
constexpr std::uint32_t kSupplementaryStart = 189000;  // linear index of 0x90308130
constexpr std::uint32_t kUnmapped = 0;

bool lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool digit(unsigned char c) { return c >= 0x30 && c <= 0x39; }

std::uint32_t twoByteCodePoint(std::uint32_t index) {
  if (kTwoByte[index] != 0) return kTwoByte[index];
  for (const auto& a : kTwoByteAstral)
    if (a[0] == index) return a[1];
  return kUnmapped;
}

std::uint32_t fourByteCodePoint(std::uint32_t linear) {
  if (linear < kFourByteBmpEnd) {
    const auto* run = std::upper_bound(std::begin(kFourByteRuns), std::end(kFourByteRuns), linear,
                                       [](std::uint32_t v, const auto& r) { return v < r[0]; });
    if (run == std::begin(kFourByteRuns)) return kUnmapped;
    --run;
    return linear - (*run)[0] < (*run)[2] ? (*run)[1] + (linear - (*run)[0]) : kUnmapped;
  }
  if (linear >= kSupplementaryStart && linear - kSupplementaryStart < 0x100000)
    return 0x10000 + (linear - kSupplementaryStart);
  return kUnmapped;
}

// The code of every BMP character, packed big-endian (one, two or four
// bytes); built once, read-only afterwards.
const std::vector<std::uint32_t>& bmpCodes() {
  static const std::vector<std::uint32_t> codes = [] {
    std::vector<std::uint32_t> c(0x10000, kUnmapped);
    for (std::uint32_t u = 0; u < 0x80; ++u) c[u] = u;
    for (std::uint32_t i = 0; i < kTwoByteCount; ++i) {
      if (kTwoByte[i] == 0) continue;
      const std::uint32_t trail = i % 190;
      c[kTwoByte[i]] = (0x81 + i / 190) << 8 | (trail < 0x3F ? 0x40 + trail : 0x41 + trail);
    }
    for (const auto& r : kFourByteRuns) {
      for (std::uint32_t k = 0; k < r[2]; ++k) {
        std::uint32_t linear = r[0] + k;
        const std::uint32_t b3 = 0x30 + linear % 10;
        linear /= 10;
        const std::uint32_t b2 = 0x81 + linear % 126;
        linear /= 126;
        const std::uint32_t b1 = 0x30 + linear % 10;
        const std::uint32_t b0 = 0x81 + linear / 10;
        if (c[r[1] + k] == kUnmapped) c[r[1] + k] = b0 << 24 | b1 << 16 | b2 << 8 | b3;
      }
    }
    return c;
  }();
  return codes;
}

void putLinear(std::string& out, std::uint32_t linear) {
  char b[4];
  b[3] = static_cast<char>(0x30 + linear % 10);
  linear /= 10;
  b[2] = static_cast<char>(0x81 + linear % 126);
  linear /= 126;
  b[1] = static_cast<char>(0x30 + linear % 10);
  b[0] = static_cast<char>(0x81 + linear / 10);
  out.append(b, 4);
}

bool putCodePoint(std::string& out, std::uint32_t cp) {
  if (cp >= 0x10000) {
    for (const auto& a : kTwoByteAstral) {
      if (a[1] == cp) {
        const std::uint32_t trail = a[0] % 190;
        out += static_cast<char>(0x81 + a[0] / 190);
        out += static_cast<char>(trail < 0x3F ? 0x40 + trail : 0x41 + trail);
        return true;
      }
    }
    putLinear(out, kSupplementaryStart + (cp - 0x10000));
    return true;
  }
  const std::uint32_t code = bmpCodes()[cp];
  if (code == kUnmapped && cp != 0) return false;
  if (code < 0x100) {
    out += static_cast<char>(code);
  } else if (code < 0x10000) {
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  } else {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((code >> shift) & 0xFF);
  }
  return true;
}

}  // namespace

std::optional<std::u16string> gb18030ToUtf16(std::string_view gb) {
  std::u16string out;
  out.reserve(gb.size());
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(gb[k]); };
  for (std::size_t i = 0; i < gb.size();) {
    const unsigned char b0 = at(i);
    std::uint32_t cp = kUnmapped;
    if (b0 < 0x80) {
      out += static_cast<char16_t>(b0);
      ++i;
      continue;
    }
    if (!lead(b0) || i + 1 >= gb.size()) return std::nullopt;
    const unsigned char b1 = at(i + 1);
    if (digit(b1)) {
      if (i + 3 >= gb.size() || !lead(at(i + 2)) || !digit(at(i + 3))) return std::nullopt;
      const std::uint32_t linear =
          (((b0 - 0x81u) * 10 + (b1 - 0x30u)) * 126 + (at(i + 2) - 0x81u)) * 10 + (at(i + 3) - 0x30u);
      cp = fourByteCodePoint(linear);
      i += 4;
    } else {
      if (b1 < 0x40 || b1 == 0x7F || b1 == 0xFF) return std::nullopt;
      cp = twoByteCodePoint((b0 - 0x81u) * 190 + (b1 < 0x80 ? b1 - 0x40u : b1 - 0x41u));
      i += 2;
    }
    if (cp == kUnmapped) return std::nullopt;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::optional<std::string> utf16ToGb18030(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 2);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    std::uint32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (!putCodePoint(out, cp)) return std::nullopt;
  }
  return out;
}

}  // namespace qorin::text
