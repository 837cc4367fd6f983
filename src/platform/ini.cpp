// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini.h"

#include <algorithm>
#include <optional>

#include "platform/fs.h"
#include "text/gbtext.h"
#include "text/names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

namespace qorin::platform {

namespace {

constexpr std::size_t kMaxIniBytes = 4u << 20;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

std::string swapPairs(std::string s) {
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
  return s;
}

// A file that a Linux editor saved in UTF-8 reads as UTF-8: a BOM says so,
// and without one, text that is valid UTF-8 and not plain ASCII. (Chinese
// text in the code page is practically never valid UTF-8.)
using Encoding = IniFile::Encoding;

std::optional<std::string> decode(std::string_view bytes, Encoding& encoding) {
  if (bytes.starts_with(kUtf8Bom)) {
    encoding = Encoding::Utf8Bom;
    return text::utf8ToGb(bytes.substr(kUtf8Bom.size()));
  }
  if (bytes.starts_with(kUtf16LeBom) || bytes.starts_with(kUtf16BeBom)) {
    const bool big = bytes.starts_with(kUtf16BeBom);
    encoding = big ? Encoding::Utf16Be : Encoding::Utf16Le;
    return text::utf16ToGb(bytes.substr(2), big);
  }
  if (!text::isAscii(bytes)) {
    if (auto gb = text::utf8ToGb(bytes)) {
      encoding = Encoding::Utf8;
      return gb;
    }
  }
  encoding = Encoding::CodePage;
  return std::string(bytes);
}

std::optional<std::string> encode(const std::string& gb, Encoding encoding) {
  switch (encoding) {
    case Encoding::CodePage:
      return gb;
    case Encoding::Utf8:
      return text::gbToUtf8(gb);
    case Encoding::Utf8Bom:
      if (auto u = text::gbToUtf8(gb)) return std::string(kUtf8Bom) + *u;
      return std::nullopt;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
      if (auto u = text::gbToUtf16(gb))
        return encoding == Encoding::Utf16Le ? std::string(kUtf16LeBom) + *u
                                             : std::string(kUtf16BeBom) + swapPairs(std::move(*u));
      return std::nullopt;
  }
  return std::nullopt;
}

// The file behind the INI path: the path itself, or where a link there leads.
struct Behind {
  std::string path;  // code page
  bool exists = false;
};

#ifndef _WIN32

// A link at the path (as dotfile managers make) is followed only while every
// link on the way and the file at its end belong to the user running the
// program: one someone else planted would have us read their file, or write
// ours over it. A dangling link names the file to create. Nothing for such a
// foreign link, or one that cannot be read or loops.
std::optional<Behind> fileBehind(const std::string& path) {
  const auto first = nativePath(path);
  if (path.empty() || !first) return std::nullopt;
  std::string native = *first;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0) {
      if (errno != ENOENT) return std::nullopt;
    } else if (S_ISLNK(st.st_mode)) {
      if (st.st_uid != ::geteuid()) return std::nullopt;
      std::string target(PATH_MAX, '\0');
      const ssize_t n = ::readlink(native.c_str(), target.data(), target.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
      target.resize(static_cast<std::size_t>(n));
      if (target.front() != '/') {
        const auto slash = native.rfind('/');
        target.insert(0, slash == std::string::npos ? std::string() : native.substr(0, slash + 1));
      }
      native = std::move(target);
      continue;
    } else if (hops > 0 && st.st_uid != ::geteuid()) {
      return std::nullopt;
    }
    auto gb = text::utf8ToGb(native);
    if (!gb) return std::nullopt;
    return Behind{std::move(*gb), ::lstat(native.c_str(), &st) == 0};
  }
  return std::nullopt;
}

// Replaces the file at code-page `path` with `bytes`, unless the user may not
// write it: no write permission, or no write bit at all (a file marked
// read-only stays so even for root). The owner is kept where we may keep it.
bool replaceFile(const std::string& path, std::string_view bytes) {
  const auto behind = fileBehind(path);
  const auto target = behind ? nativePath(behind->path) : std::nullopt;
  if (!target) return false;
  struct stat st {};
  const bool existed = ::lstat(target->c_str(), &st) == 0;
  if (existed && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target->c_str(), W_OK) != 0))
    return false;
  if (!writeFileAtomic(behind->path, bytes)) return false;
  // The replacement is a new file of ours; give it back to its owner (only
  // root may, and only root can have replaced a file it does not own). Not
  // through a link put there meanwhile.
  if (existed && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    [[maybe_unused]] const int kept = ::lchown(target->c_str(), st.st_uid, st.st_gid);
  }
  return true;
}

#else

// Links are not followed here: one at the path reads as unreadable and is
// never written.
std::optional<Behind> fileBehind(const std::string& path) {
  if (path.empty()) return std::nullopt;
  return Behind{path, exists(path)};
}

bool replaceFile(const std::string& path, std::string_view bytes) {
  const auto utf16 = text::gbToUtf16(path);
  if (path.empty() || !utf16) return false;
  const std::wstring wide(reinterpret_cast<const wchar_t*>(utf16->data()), utf16->size() / 2);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  return writeFileAtomic(path, bytes);
}

#endif

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The name of a "[name]" line, or nothing when the line is no section header.
// The "]" is looked for character by character: the second byte of a
// double-byte character (as in "沒") may be 0x5D.
bool sectionName(std::string_view line, std::string_view* name) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  std::size_t close = 1;
  while (close < line.size() && line[close] != ']') close += text::charLength(line, close);
  if (close >= line.size()) return false;
  *name = trim(line.substr(1, close - 1));
  return true;
}

}  // namespace

IniFile::IniFile(std::string path, Encoding forNewFile) : path_(std::move(path)) {
  const auto behind = fileBehind(path_);
  if (!behind) {
    readable_ = false;  // nowhere, or someone else's link: defaults, never written
    return;
  }
  if (!behind->exists) {
    encoding_ = forNewFile;
    return;
  }
  const auto bytes = readFile(behind->path, kMaxIniBytes);
  const auto content = bytes ? decode(*bytes, encoding_) : std::nullopt;
  if (!content) {
    // Unreadable, or announced as Unicode and not: never overwritten.
    readable_ = false;
    return;
  }
  std::string_view rest(*content);
  while (!rest.empty()) {
    const auto nl = rest.find('\n');
    std::string_view line = nl == std::string_view::npos ? rest : rest.substr(0, nl);
    Line l;
    if (nl != std::string_view::npos) {
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        l.end = "\r\n";
      } else {
        l.end = "\n";
      }
    }
    l.text = std::string(line);
    lines_.push_back(std::move(l));
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
  }
}

long IniFile::findSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (sectionName(lines_[i].text, &name) && text::equalsNoCase(name, trim(section)))
      return static_cast<long>(i);
  }
  return -1;
}

long IniFile::findKey(long header, std::string_view key, std::size_t* insertAt) const {
  std::size_t i = static_cast<std::size_t>(header) + 1;
  std::size_t lastContent = i;
  for (; i < lines_.size(); ++i) {
    std::string_view name;
    const std::string_view line = lines_[i].text;
    if (sectionName(line, &name)) break;
    if (!trim(line).empty()) lastContent = i + 1;
    const auto eq = line.find('=');
    if (eq != std::string_view::npos && text::equalsNoCase(trim(line.substr(0, eq)), trim(key)))
      return static_cast<long>(i);
  }
  if (insertAt) *insertAt = lastContent;
  return -1;
}

std::vector<std::string> IniFile::sections() const {
  std::vector<std::string> out;
  for (const Line& l : lines_) {
    std::string_view name;
    if (!sectionName(l.text, &name)) continue;
    const bool seen = std::any_of(out.begin(), out.end(),
                                  [&](const std::string& n) { return text::equalsNoCase(n, name); });
    if (!seen) out.emplace_back(name);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> out;
  const long header = findSection(section);
  if (header < 0) return out;
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines_.size(); ++i) {
    std::string_view name;
    const std::string_view line = lines_[i].text;
    if (sectionName(line, &name)) break;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    out.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
  }
  return out;
}

void IniFile::removeSection(std::string_view section) {
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size();) {
    std::string_view name;
    if (sectionName(lines_[i].text, &name)) inSection = text::equalsNoCase(name, trim(section));
    if (inSection) {
      lines_.erase(lines_.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

bool IniFile::wellFormed() const {
  bool inSection = false;
  for (const Line& l : lines_) {
    std::string_view name;
    const std::string_view line = trim(l.text);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (sectionName(line, &name)) {
      inSection = true;
    } else if (!inSection || line.find('=') == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::string IniFile::get(std::string_view section, std::string_view key, std::string_view fallback) const {
  const long header = findSection(section);
  if (header < 0) return std::string(fallback);
  const long k = findKey(header, key, nullptr);
  if (k < 0) return std::string(fallback);
  const std::string_view line = lines_[static_cast<std::size_t>(k)].text;
  return std::string(trim(line.substr(line.find('=') + 1)));
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string entry = std::string(key) + "=" + std::string(value);
  long header = findSection(section);
  if (header < 0) {
    // A last line without its end gets one before anything is added below it.
    if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = "\r\n";
    // Appended piece by piece: "[" + string inlines an insert at 0 that
    // GCC 12 at -O3 takes for an overlapping copy (-Wrestrict).
    std::string head = "[";
    head += section;
    head += ']';
    lines_.push_back({std::move(head), "\r\n"});
    lines_.push_back({entry, "\r\n"});
    return;
  }
  std::size_t insertAt = 0;
  const long k = findKey(header, key, &insertAt);
  if (k >= 0) {
    Line& line = lines_[static_cast<std::size_t>(k)];
    line.text = entry;
    if (!line.end.empty()) line.end = "\r\n";  // a line we write ends in CR LF
    dropLaterCopies(static_cast<std::size_t>(k), section, key);
    return;
  }
  if (insertAt > 0 && lines_[insertAt - 1].end.empty()) lines_[insertAt - 1].end = "\r\n";
  lines_.insert(lines_.begin() + static_cast<long>(insertAt), Line{entry, "\r\n"});
}

void IniFile::dropLaterCopies(std::size_t kept, std::string_view section, std::string_view key) {
  bool inSection = true;  // `kept` lies in the first copy of the section
  for (std::size_t i = kept + 1; i < lines_.size();) {
    std::string_view name;
    const std::string_view line = lines_[i].text;
    if (sectionName(line, &name)) {
      inSection = text::equalsNoCase(name, trim(section));
    } else if (inSection) {
      const auto eq = line.find('=');
      if (eq != std::string_view::npos && text::equalsNoCase(trim(line.substr(0, eq)), trim(key))) {
        lines_.erase(lines_.begin() + static_cast<long>(i));
        continue;
      }
    }
    ++i;
  }
}

bool IniFile::save() const {
  if (!readable_) return false;
  std::string text;
  for (const Line& l : lines_) text += l.text + l.end;
  const auto bytes = encode(text, encoding_);
  return bytes && replaceFile(path_, *bytes);
}

}  // namespace qorin::platform
