// SPDX-License-Identifier: GPL-3.0-or-later
// Texts stored without a word on their encoding (ID3v2 encoding 0, ID3v1):
// which reading they are, decided by evidence.
#pragma once

#include <string>
#include <string_view>

namespace qorin::text {

enum class Charset : unsigned char { Ascii, Utf8, Gbk, Big5, Latin1 };

struct Reading {
  Charset charset = Charset::Ascii;
  std::string text;  // the best reading, in the code page
  // The best two readings scored too close to tell: `text` is shown, but
  // nothing may be made permanent from it.
  bool uncertain = false;
  Charset runnerUp = Charset::Ascii;  // with `uncertain`
  std::string alternative;            // the runner-up's reading, in the code page
};

// The reading of unlabelled bytes.
Reading readUnlabelled(std::string_view bytes);

}  // namespace qorin::text
