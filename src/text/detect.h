// SPDX-License-Identifier: GPL-3.0-or-later
// Texts stored without a word on their encoding (ID3v2 encoding 0, ID3v1):
// which reading they are, decided by evidence.
#pragma once

#include <array>
#include <initializer_list>
#include <optional>
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

// The reading of unlabelled bytes, judged alone.
Reading readUnlabelled(std::string_view bytes);

// What texts that share one encoding (the texts of a tag, the tags of an
// album) say together: per reading, how much worse it explains each text
// than that text's best reading, summed. A short text alone often cannot
// tell GBK from Big5; a dozen of them can.
class Evidence {
 public:
  // Weighs one more text; ASCII says nothing.
  void add(std::string_view bytes);
  Evidence& operator+=(const Evidence& other);
  int texts() const { return texts_; }
  // The reading the texts agree on, when the others trail it clearly.
  std::optional<Charset> decided() const;

 private:
  std::array<int, 4> cost_{};  // UTF-8, GBK, Big5, ISO-8859-1
  int texts_ = 0;
};

// The reading of bytes that share their encoding with others: a text certain
// alone keeps its reading; an uncertain one takes that of the first pool
// that decides one (null pools skipped), when the bytes allow it.
Reading readUnlabelled(std::string_view bytes, std::initializer_list<const Evidence*> pools);

// The bytes read as `charset` (a code page the user named); nothing when they
// are not text in it.
std::optional<std::string> readAs(std::string_view bytes, Charset charset);

}  // namespace qorin::text
