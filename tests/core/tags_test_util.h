// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary directories and whole-file helpers for the tag and open-file tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "tags/tag_fields.h"
#include "temp_dir.h"

namespace qorin::tagtest {

using TempDir = testing::TempDir;

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Stand-in audio: MPEG frame sync bytes and a pattern that shows any shift.
inline std::string fakeAudio(std::size_t n) {
  std::string a(n, '\0');
  for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  if (n >= 2) a.replace(0, 2, "\xFF\xFB");
  return a;
}

inline std::string hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

inline std::string unhex(std::string_view h) {
  std::string out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
    out += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
  }
  return out;
}

}  // namespace qorin::tagtest

namespace qorin::tags {

// Failures show the slots that are set, as hex.
inline void PrintTo(const TagFields& f, std::ostream* os) {
  for (int slot = 1; slot <= TagFields::kSlotCount; ++slot) {
    if (!f[slot].empty()) *os << " [" << slot << "]=" << tagtest::hex(f[slot]);
  }
}

}  // namespace qorin::tags
