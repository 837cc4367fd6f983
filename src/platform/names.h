// SPDX-License-Identifier: GPL-3.0-or-later
// How names and paths are spelt as code-page text: separators, the marks of
// names kept in the old code page or as raw bytes, the platform's name order
// and comparison. Text only: nothing here reaches the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The directory text with the separator appended when it does not end in one.
std::string withSeparator(std::string_view dir);

// Everything up to and including the last separator ("" when there is none),
// and the part after it.
std::string_view directoryOf(std::string_view path);
std::string_view fileNameOf(std::string_view path);

// A file name the disk holds in the old Chinese code page (bytes that are
// GBK/GB18030 but not UTF-8, from archives and systems of before) travels
// through the program behind a leading NUL, which no name on disk has. The
// bytes after the mark are both its text and, unconverted, its name on disk.
// Only the last part of a path may carry it.
inline constexpr char kGbkNameMark = '\0';
// A name whose encoding cannot be told (not UTF-8, and not GBK for sure:
// ISO-8859-1 from an old archive, Big5, or no text at all) is kept as its
// bytes behind two marks: they go back to the disk as they are, and are
// shown escaped (escapedBytes). Only a rule that keeps those bytes as they
// are may rename such a file (rawTarget).
inline bool isMarkedName(std::string_view name) { return !name.empty() && name.front() == kGbkNameMark; }
inline bool isRawName(std::string_view name) {
  return name.size() > 1 && name[0] == kGbkNameMark && name[1] == kGbkNameMark;
}
inline bool isGbkName(std::string_view name) { return isMarkedName(name) && !isRawName(name); }
// The name's text (a raw name's bytes), without the marks.
inline std::string_view nameText(std::string_view name) {
  return isRawName(name) ? name.substr(2) : isGbkName(name) ? name.substr(1) : name;
}
std::string gbkName(std::string_view text);
std::string rawName(std::string_view bytes);
// The path as the user reads it: without the marks, a raw name escaped.
std::string shownPath(std::string_view path);

// What a rule's proposal for a file kept by its raw bytes `old` does with
// them: none of them in it (a name of its own, written as UTF-8), the
// undecodable parts kept whole beside ASCII (written as bytes again), or
// some of them changed or mixed with new text, which would mean reading
// them in an encoding no one knows.
enum class RawTarget : unsigned char { Plain, Keeps, Converts };
RawTarget rawTarget(std::string_view old, std::string_view proposal);

// Bytes from the disk as code-page text: the characters where they are
// UTF-8, every other byte as \xNN. How a name the program cannot read is shown.
std::string escapedBytes(std::string_view bytes);

// The order listFiles uses.
bool nameLess(std::string_view a, std::string_view b);

// A hash of a name under which names this platform's file systems take as
// one are equal.
std::uint64_t nameHash(std::string_view name);

// How this platform's file systems spell and compare names.
enum class NativeEncoding : unsigned char { Utf8, Utf16 };
#ifdef _WIN32
inline constexpr bool kWindowsNames = true;  // reserved device names, no trailing dot or blank
inline constexpr bool kNamesIgnoreCase = true;
inline constexpr NativeEncoding kNativeEncoding = NativeEncoding::Utf16;
#else
inline constexpr bool kWindowsNames = false;
inline constexpr bool kNamesIgnoreCase = false;
inline constexpr NativeEncoding kNativeEncoding = NativeEncoding::Utf8;
#endif

}  // namespace qorin::platform
