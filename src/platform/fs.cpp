// SPDX-License-Identifier: GPL-3.0-or-later
// What fs.h does alike on every platform; the system calls are in
// fs_posix.cpp and fs_windows.cpp.
#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <type_traits>
#include <utility>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::platform {

namespace {

#ifdef _WIN32
// Windows takes "/" as well as "\"; a 0x5C byte inside a double-byte
// character is no separator, so the search walks characters.
std::size_t lastSeparator(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += text::charLength(path, i))
    if (path[i] == '\\' || path[i] == '/') last = i;
  return last;
}
#else
std::size_t lastSeparator(std::string_view path) { return path.rfind('/'); }
#endif

}  // namespace

std::string withSeparator(std::string_view dir) {
  std::string d(dir);
  if (d.empty() || lastSeparator(d) != d.size() - 1) d += kSeparator;
  return d;
}

std::string_view directoryOf(std::string_view path) {
  const auto p = lastSeparator(path);
  return p == std::string_view::npos ? std::string_view() : path.substr(0, p + 1);
}

std::string_view fileNameOf(std::string_view path) {
  const auto p = lastSeparator(path);
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

bool nameLess(std::string_view a, std::string_view b) { return text::naturalLess(nameText(a), nameText(b)); }

std::string gbkName(std::string_view text) {
  std::string out(1, kGbkNameMark);
  out += text;
  return out;
}

std::string rawName(std::string_view bytes) {
  std::string out(2, kGbkNameMark);
  out += bytes;
  return out;
}

std::string shownPath(std::string_view path) {
  const auto mark = path.find(kGbkNameMark);
  if (mark == std::string_view::npos) return std::string(path);
  std::string out(path.substr(0, mark));
  const std::string_view name = path.substr(mark);
  if (isRawName(name)) return out + escapedBytes(nameText(name));
  out += path.substr(mark);
  std::erase(out, kGbkNameMark);
  return out;
}

namespace {

// The runs of bytes past ASCII: what an undecodable name cannot say.
std::vector<std::string_view> highRuns(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < s.size() && static_cast<unsigned char>(s[j]) >= 0x80) ++j;
    out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

}  // namespace

RawTarget rawTarget(std::string_view old, std::string_view proposal) {
  const std::vector<std::string_view> had = highRuns(old), has = highRuns(proposal);
  bool kept = false, fresh = false;
  for (const std::string_view run : has) {
    if (std::find(had.begin(), had.end(), run) != had.end()) {
      kept = true;
      continue;
    }
    // Part of one, or one with more around it: those bytes were read as text.
    const bool touches = std::any_of(had.begin(), had.end(), [&](std::string_view h) {
      return h.find(run) != std::string_view::npos || run.find(h) != std::string_view::npos;
    });
    if (touches) return RawTarget::Converts;
    fresh = true;
  }
  if (kept && fresh) return RawTarget::Converts;
  return kept ? RawTarget::Keeps : RawTarget::Plain;
}

std::string escapedBytes(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = 1;
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
      if (n == 0 || i + n > bytes.size() || !text::isUtf8(bytes.substr(i, n))) n = 0;
    }
    if (n == 0 || c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
      ++i;
    } else {
      out +=
          c < 0x80 ? std::string(1, static_cast<char>(c)) : text::utf8ToGb(bytes.substr(i, n)).value_or("?");
      i += n;
    }
  }
  return out;
}

std::uint64_t nameHash(std::string_view name) {
  if constexpr (kNamesIgnoreCase) return std::hash<std::string>{}(text::asciiUpper(name));
  return std::hash<std::string_view>{}(name);
}

std::optional<std::vector<std::string>> Folder::names() const {
  std::vector<std::string> out;
  if (!eachName([&](std::string_view name) { out.emplace_back(name); })) return std::nullopt;
  return out;
}

std::optional<LocalTime> localTime(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return std::nullopt;
#else
  if (!localtime_r(&t, &tm)) return std::nullopt;
#endif
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace qorin::platform
