// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/detect.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "text/gbtext.h"

namespace qorin::text {

namespace {

#include "text/detect_tables.inc"

// How the reading is decided. Every reading the bytes allow (ASCII, UTF-8,
// GBK/GB18030, Big5, ISO-8859-1) is given a cost, roughly the bits it takes to
// say that text in its own kind of writing: the less a text surprises, the
// likelier it was meant. The cheapest reading wins. One pass per reading over
// the bytes, with tables made by tools/gen_detect_tables.py.
//
// - A Chinese character costs by how common it is: the most frequent few
//   hundred 7-10 bits, the rest of GB2312 level 1 (B0A1-D7FE) or of Big5's
//   frequent block (A440-C67E) 12, GB2312 level 2 (D8A1-F7FE) and Big5's
//   less frequent block (C940-F9D5) 17, a private-use code 40. A character
//   of the GBK extension (traditional forms) costs what Big5 says of it, and
//   one of Big5's what GB2312 says of it where it has the same form. Chinese texts are made of common
//   characters; the Chinese that other writing turns into when read as double bytes mostly is not ("Coração"
//   is "Cora玢o", 玢 from level 2).
// - A double-byte reading that cuts an ASCII word ("Bj\xF6rk": F6 72 takes the
//   "r") pays 10; a character between two ASCII letters 6, beside one 2.
//   A lead byte left over at the end pays 14: fixed-size fields (ID3v1) cut
//   texts anywhere, but the reading lost what the byte was.
// - ISO-8859-1: an accented letter inside a word is ordinary (6), two of
//   them in a row cost more unless the pair is ("çã", "äß", "éé": 6), three
//   high bytes in a row, symbols inside words and control codes are not.
// - UTF-8: a letter of a script costs little, a rare block (archaic
//   Cyrillic, Hebrew points, Latin Extended-B) much; switching scripts from
//   one character to the next costs 6 ("Ѧ֮ǫ" is 薛之谦 stored as GBK).
// - Big5 pays 1 up front: this program's users mostly write GBK.
// When the best two readings are within kMargin bits of each other the text
// is uncertain: shown by the best, never made permanent.

constexpr int kImpossible = 1 << 24;
constexpr int kMargin = 5;
constexpr int kBig5Prior = 1;
constexpr int kOddLead = 14;
constexpr int kSplitsWord = 10;
constexpr int kBetweenLetters = 6;
constexpr int kBesideLetter = 2;
constexpr int kScriptSwitch = 6;
constexpr int kOtherScript = 6;

bool letter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }

struct Bytes {
  std::string_view s;
  std::size_t size() const { return s.size(); }
  unsigned char operator[](std::size_t i) const { return static_cast<unsigned char>(s[i]); }
  // The byte at i is an ASCII letter (false outside the text).
  bool letterAt(std::size_t i) const { return i < s.size() && letter((*this)[i]); }
};

struct Score {
  int cost = kImpossible;
  std::size_t length = 0;  // bytes the reading takes: a lead byte cut off at the end is left out
};

// GBK (with GB18030's four-byte forms) or Big5.
Score doubleByte(Bytes b, bool big5) {
  Score r{0, b.size()};
  bool before = false;  // the byte before is an ASCII letter of its own, not half a character
  for (std::size_t i = 0; i < b.size();) {
    const unsigned char c = b[i];
    if (c < 0x80) {
      before = letter(c);
      ++i;
      continue;
    }
    if (c == 0x80 || c == 0xFF) return {};
    if (i + 1 == b.size()) {
      // A reading that keeps no character of the bytes that made the text
      // non-ASCII has nothing to show for itself.
      r.cost += kOddLead + (i == 0 || isAscii(b.s.substr(0, i)) ? 10 : 0);
      r.length = i;
      break;
    }
    const unsigned char t = b[i + 1];
    int index = -1;
    if (t >= 0x40 && t <= 0x7E) {
      index = t - 0x40;
    } else if (!big5 && t >= 0x80 && t <= 0xFE) {
      index = t - 0x41;
    } else if (big5 && t >= 0xA1 && t <= 0xFE) {
      index = t - 0xA1 + 63;
    } else if (!big5 && digit(t) && i + 3 < b.size() && b[i + 2] >= 0x81 && b[i + 2] <= 0xFE &&
               digit(b[i + 3])) {
      r.cost += 14;  // GB18030's four-byte form: what earlier versions of this program wrote
      before = false;
      i += 4;
      continue;
    } else {
      return {};
    }
    const int k = big5 ? kBig5Cost[(c - 0x81) * 157 + index] : kGbkCost[(c - 0x81) * 190 + index];
    if (k == 255) return {};
    r.cost += k;
    const bool after = b.letterAt(i + 2);
    const bool wordGoesOn = after || i + 2 == b.size() || b[i + 2] < 0x80;
    if (letter(t) && (after || (before && wordGoesOn)))
      r.cost += kSplitsWord;
    else if (before && after)
      r.cost += kBetweenLetters;
    else if (before || after)
      r.cost += kBesideLetter;
    before = false;
    i += 2;
  }
  if (big5) r.cost += kBig5Prior;
  return r;
}

enum class Script : unsigned char {
  None,
  Latin,
  Greek,
  Cyrillic,
  Armenian,
  Hebrew,
  Arabic,
  Han,
  Hangul,
  Other
};

struct CodePoint {
  int cost;
  Script script;
};

// What one UTF-8 character costs, before its neighbours are looked at.
CodePoint classify(std::uint32_t cp) {
  using S = Script;
  if (cp < 0xA0) return {30, S::None};  // C1 control codes
  if (cp < 0xC0 || cp == 0xD7 || cp == 0xF7) return {12, S::None};
  if (cp < 0x100) return {6, S::Latin};
  if (cp < 0x180) return {8, S::Latin};
  if (cp < 0x250) return {15, S::Latin};
  if (cp < 0x300) return {15, S::Other};
  if (cp < 0x370) return {24, S::None};  // combining marks: cheaper after a letter
  if (cp < 0x400) return {cp >= 0x391 && cp <= 0x3C9 ? 8 : 14, S::Greek};
  if (cp < 0x460) return {cp >= 0x410 && cp < 0x450 ? 8 : 10, S::Cyrillic};
  if (cp < 0x490) return {18, S::Cyrillic};  // archaic letters, signs
  if (cp < 0x530) return {cp < 0x500 ? 14 : 18, S::Cyrillic};
  if (cp < 0x590) return {12, S::Armenian};
  if (cp < 0x600) return {cp >= 0x5D0 && cp <= 0x5EA ? 9 : 18, S::Hebrew};
  if (cp < 0x700) return {cp >= 0x621 && cp <= 0x64A ? 9 : 16, S::Arabic};
  if (cp < 0x800) return {17, S::Other};
  if (cp < 0x1E00) return {13, S::Other};
  if (cp < 0x1F00) return {10, S::Latin};  // Vietnamese
  if (cp < 0x2000) return {13, S::Other};
  if (cp < 0x2070) return {cp >= 0x2010 && cp <= 0x2026 ? 8 : 11, S::None};
  if (cp < 0x2E80) return {12, S::None};
  if (cp < 0x3000) return {15, S::Han};
  if (cp < 0x3100) return {9, S::Han};  // CJK punctuation, kana
  if (cp < 0x4E00) return {cp >= 0x3400 ? 17 : 13, S::Han};
  if (cp < 0xA000) return {kHanCost[cp - 0x4E00], S::Han};
  if (cp < 0xAC00) return {20, S::Other};  // Yi, Vai and other rare syllabaries
  if (cp < 0xD7A4) return {10, S::Hangul};
  if (cp < 0xE000) return {18, S::Other};
  if (cp < 0xF900) return {40, S::Other};  // private use
  if (cp < 0xFF00) return {15, S::Other};
  if (cp < 0xFF5F) return {10, S::None};  // full-width forms
  if (cp < 0xFFF0) return {12, S::Other};
  if (cp < 0x10000) return {25, S::Other};
  return {cp >= 0x1F300 && cp < 0x1FB00 ? 12 : 18, S::Other};
}

// Well-formed UTF-8 only (the caller checked).
Score utf8(Bytes b) {
  Score r{0, b.size()};
  Script previous = Script::None;  // of the non-ASCII character just before, if any
  int letters = 0, nonAscii = 0;
  bool besideAscii = false;
  unsigned seen = 0;  // scripts met
  for (std::size_t i = 0; i < b.size();) {
    const unsigned char c = b[i];
    if (c < 0x80) {
      previous = Script::None;
      letters += letter(c);
      ++i;
      continue;
    }
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::uint32_t cp = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) cp = cp << 6 | (b[i + k] & 0x3F);
    CodePoint p = classify(cp);
    const bool before = i > 0 && b.letterAt(i - 1), after = b.letterAt(i + n);
    besideAscii = besideAscii || before || after;
    if (p.script == Script::Latin && cp < 0x180 && !before && !after && previous != Script::Latin)
      p.cost += 4;
    if (cp >= 0x300 && cp < 0x370 && (before || previous != Script::None))
      p.cost -= 16;  // decomposed accents
    if (previous != Script::None && p.script != Script::None && p.script != previous) r.cost += kScriptSwitch;
    // A script other than Latin or Chinese is a text of its own kind: rarer here.
    const auto bit = 1u << static_cast<unsigned>(p.script);
    if (p.script != Script::Latin && p.script != Script::Han && p.script != Script::None && !(seen & bit)) {
      r.cost += kOtherScript;
      seen |= bit;
    }
    r.cost += p.cost;
    if (p.script != Script::None) previous = p.script;
    ++nonAscii;
    i += n;
  }
  // A lone letter of an alphabet, with no word around it, is an odd text.
  if (nonAscii == 1 && letters == 0 && !besideAscii && previous != Script::Han && previous != Script::None)
    r.cost += 4;
  return r;
}

bool highLetter(unsigned char c) { return c >= 0xC0 && c != 0xD7 && c != 0xF7; }
bool upper(unsigned char c) { return c >= 0xC0 && c <= 0xDE; }

// Pairs of accented letters that the languages written in ISO-8859-1 use.
bool ordinaryPair(unsigned char a, unsigned char b) {
  constexpr std::array<std::array<unsigned char, 2>, 11> kPairs = {{
      {0xE7, 0xE3},  // çã
      {0xE7, 0xF5},  // çõ
      {0xE7, 0xE1},  // çá
      {0xE7, 0xE2},  // çâ
      {0xE4, 0xDF},  // äß
      {0xF6, 0xDF},  // öß
      {0xFC, 0xDF},  // üß
      {0xE9, 0xE9},  // éé
      {0xE9, 0xE2},  // éâ
      {0xE1, 0xE1},  // áá
      {0xF3, 0xF3},  // óó
  }};
  const auto lower = [](unsigned char c) { return static_cast<unsigned char>(upper(c) ? c + 0x20 : c); };
  for (const auto& p : kPairs)
    if (p[0] == lower(a) && p[1] == lower(b) && upper(a) == upper(b)) return true;
  return false;
}

// ASCII that a word does not hold next to a letter: what Big5 and GBK
// trail bytes often are.
bool oddNeighbour(unsigned char c) { return c == '@' || (c >= '[' && c <= '`') || (c >= '{' && c <= '~'); }

Score latin1(Bytes b) {
  Score r{0, b.size()};
  std::size_t run = 0;  // high bytes in a row so far
  for (std::size_t i = 0; i < b.size(); ++i) {
    const unsigned char c = b[i];
    if (c < 0x80) {
      run = 0;
      continue;
    }
    const bool before = i > 0 && (b.letterAt(i - 1) || highLetter(b[i - 1]));
    const bool after = i + 1 < b.size() && (b.letterAt(i + 1) || highLetter(b[i + 1]));
    int k = 0;
    if (c < 0xA0) {
      k = 20;  // control codes
    } else if ((c == 0xB2 || c == 0xB3 || c == 0xB0) && i > 0 && (digit(b[i - 1]) || letter(b[i - 1]))) {
      k = 8;  // m², 20°
    } else if (!highLetter(c)) {
      k = (c == 0xA0 ? 12 : 10) + (before && after ? 10 : before || after ? 6 : 0);
    } else if (run > 0 && highLetter(b[i - 1])) {
      const unsigned char p = b[i - 1];
      k = ordinaryPair(p, c) ? 6 : upper(p) == upper(c) ? 9 : upper(p) && !upper(c) ? 14 : 18;
    } else {
      k = before || after ? (upper(c) ? 7 : 6) : 10;
    }
    if (highLetter(c) && i + 1 < b.size()) {
      const unsigned char n = b[i + 1];
      if (!upper(c) && n >= 'A' && n <= 'Z') k += 8;  // "øP": a capital after a small letter
      if (oddNeighbour(n) || (i > 0 && oddNeighbour(b[i - 1]))) k += 8;
      if (i + 2 < b.size() && letter(n) && b[i + 2] >= 0x80) k += 8;  // "ïwïw"
    }
    if (run >= 2) k += 10;
    r.cost += k;
    ++run;
  }
  return r;
}

std::optional<std::string> textOf(Charset c, std::string_view bytes, std::size_t length) {
  switch (c) {
    case Charset::Ascii:
      return std::string(bytes);
    case Charset::Utf8:
      return utf8ToGb(bytes);
    case Charset::Gbk:
      return std::string(bytes.substr(0, length));
    case Charset::Big5:
      return big5ToGb(bytes.substr(0, length));
    case Charset::Latin1:
      return latin1ToGb(bytes);
  }
  return std::nullopt;
}

constexpr std::size_t kCount = 4;
constexpr std::array<Charset, kCount> kCharsets = {Charset::Utf8, Charset::Gbk, Charset::Big5,
                                                   Charset::Latin1};

// How much worse than the best reading one text may be read and still count
// as what its pool says: past that the pool is taken to be wrong about it.
constexpr int kPoolReach = 24;
// What one text can add against a reading: a single odd text (a Latin
// name among Chinese titles) must not outweigh the rest.
constexpr int kPoolCap = 40;

std::array<Score, kCount> scoresOf(std::string_view bytes) {
  const Bytes b{bytes};
  return {isUtf8(bytes) ? utf8(b) : Score{}, doubleByte(b, false), doubleByte(b, true), latin1(b)};
}

std::size_t indexOf(Charset c) {
  for (std::size_t k = 0; k < kCount; ++k)
    if (kCharsets[k] == c) return k;
  return kCount;
}

}  // namespace

Reading readUnlabelled(std::string_view bytes) {
  Reading r;
  if (isAscii(bytes)) {
    r.text = std::string(bytes);
    return r;
  }
  std::array<Score, kCount> scores = scoresOf(bytes);
  // Best first; a reading that does not convert after all drops out.
  for (;;) {
    std::size_t best = kCount, second = kCount;
    for (std::size_t k = 0; k < kCount; ++k) {
      if (scores[k].cost >= kImpossible) continue;
      if (best == kCount || scores[k].cost < scores[best].cost) {
        second = best;
        best = k;
      } else if (second == kCount || scores[k].cost < scores[second].cost) {
        second = k;
      }
    }
    if (best == kCount) break;
    auto text = textOf(kCharsets[best], bytes, scores[best].length);
    if (!text) {
      scores[best].cost = kImpossible;
      continue;
    }
    r.charset = kCharsets[best];
    r.text = *std::move(text);
    if (second != kCount && scores[second].cost - scores[best].cost < kMargin) {
      if (auto alternative = textOf(kCharsets[second], bytes, scores[second].length)) {
        r.uncertain = true;
        r.runnerUp = kCharsets[second];
        r.alternative = *std::move(alternative);
      }
    }
    return r;
  }
  // Not reached: ISO-8859-1 takes every byte. Kept for a system without it.
  r.charset = Charset::Latin1;
  r.text = std::string(bytes);
  return r;
}

void Evidence::add(std::string_view bytes) {
  if (isAscii(bytes)) return;
  const std::array<Score, kCount> scores = scoresOf(bytes);
  // Big5's lead is the pool's to pay once, not each text's.
  std::array<int, kCount> cost{};
  for (std::size_t k = 0; k < kCount; ++k)
    cost[k] =
        scores[k].cost - (kCharsets[k] == Charset::Big5 && scores[k].cost < kImpossible ? kBig5Prior : 0);
  const int best = *std::min_element(cost.begin(), cost.end());
  if (best >= kImpossible) return;
  for (std::size_t k = 0; k < kCount; ++k) cost_[k] += std::min(cost[k] - best, kPoolCap);
  ++texts_;
}

Evidence& Evidence::operator+=(const Evidence& other) {
  for (std::size_t k = 0; k < kCount; ++k) cost_[k] += other.cost_[k];
  texts_ += other.texts_;
  return *this;
}

std::optional<Charset> Evidence::decided() const {
  if (texts_ == 0) return std::nullopt;
  std::array<int, kCount> cost = cost_;
  cost[indexOf(Charset::Big5)] += kBig5Prior;
  std::size_t best = 0;
  for (std::size_t k = 1; k < kCount; ++k)
    if (cost[k] < cost[best]) best = k;
  for (std::size_t k = 0; k < kCount; ++k)
    if (k != best && cost[k] - cost[best] < kMargin) return std::nullopt;
  return kCharsets[best];
}

Reading readUnlabelled(std::string_view bytes, std::initializer_list<const Evidence*> pools) {
  Reading alone = readUnlabelled(bytes);
  if (!alone.uncertain) return alone;
  const std::array<Score, kCount> scores = scoresOf(bytes);
  int best = kImpossible;
  for (const Score& s : scores) best = std::min(best, s.cost);
  for (const Evidence* pool : pools) {
    const std::optional<Charset> c = pool ? pool->decided() : std::nullopt;
    if (!c) continue;
    const Score& s = scores[indexOf(*c)];
    if (s.cost >= kImpossible || s.cost - best > kPoolReach) return alone;
    auto text = textOf(*c, bytes, s.length);
    if (!text) return alone;
    Reading r;
    r.charset = *c;
    r.text = *std::move(text);
    return r;
  }
  return alone;
}

std::optional<std::string> readAs(std::string_view bytes, Charset charset) {
  if (isAscii(bytes)) return std::string(bytes);
  const std::size_t k = indexOf(charset);
  if (k == kCount) return std::nullopt;
  const Score s = scoresOf(bytes)[k];
  if (s.cost >= kImpossible) return std::nullopt;
  return textOf(charset, bytes, s.length);
}

}  // namespace qorin::text
