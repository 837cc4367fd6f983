// SPDX-License-Identifier: GPL-3.0-or-later
// Text in the program's code page, GB18030: GBK-compatible double-byte
// characters plus four-byte sequences for everything else. Every length and
// position inside the program counts these bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::text {

// Byte length (1, 2 or 4) of the character starting at `pos`. A byte that
// starts no valid character counts as one, so a walk always advances.
std::size_t charLength(std::string_view s, std::size_t pos);

// True when `pos` is the start of a character (walking from the start).
bool isCharBoundary(std::string_view s, std::size_t pos);

// The smallest character boundary >= pos (s.size() when pos is past the end).
std::size_t nextBoundary(std::string_view s, std::size_t pos);

inline bool isAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// ASCII case changes that step over multi-byte characters whole: the second
// byte of a double-byte character may look like a letter and stays as it is.
std::string asciiUpper(std::string_view s);
std::string asciiLower(std::string_view s);
void asciiUpperInPlace(std::string& s);
void asciiLowerInPlace(std::string& s);

// At most `maxBytes` bytes of `s`, cut before a character that would not fit.
std::string_view cutToBytes(std::string_view s, std::size_t maxBytes);

// The number a user typed: leading blanks skipped, an optional sign, the
// leading digits; a fraction is cut toward zero and anything else gives 0.
// Values outside 32 bits are clamped.
std::int32_t toNumber(std::string_view s);

// Conversions at the program's edges. Each returns nothing when the text
// cannot be converted without loss (never a silent '?').
std::optional<std::string> gbToUtf8(std::string_view gb);
std::optional<std::string> utf8ToGb(std::string_view utf8);
std::optional<std::string> gbToUtf16(std::string_view gb);  // UTF-16LE bytes
std::optional<std::string> utf16ToGb(std::string_view bytes, bool bigEndian);
std::optional<std::string> latin1ToGb(std::string_view latin1);
// Big5 as code page 950 has it (Windows' and glibc's CP950 agree on it).
std::optional<std::string> big5ToGb(std::string_view big5);

// A UTF-8 literal of the source code in the code page (for the program's own
// fixed texts; they always convert).
std::string gb(std::string_view utf8Literal);

// True when every byte is below 0x80 (identical in every encoding used here).
bool isAscii(std::string_view s);

// True when `s` is well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF).
bool isUtf8(std::string_view s);

// A text stored without a word on its encoding (ID3v2 encoding 0, ID3v1) in
// the code page: the best reading text::readUnlabelled (text/detect.h) finds.
// Every byte becomes a character, never U+FFFD or "?"; half a double-byte
// character cut off at the end is left out.
std::string decodeUnlabelled(std::string_view bytes);

// UTF-16 that may be damaged: a lone surrogate and an odd last byte are
// dropped, everything else converted.
std::string utf16ToGbLenient(std::string_view bytes, bool bigEndian);

}  // namespace qorin::text
