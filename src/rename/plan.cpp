// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/plan.h"

#include "platform/fs.h"
#include "rename/plan_moves.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

namespace {

std::optional<std::size_t> nativeLength(std::string_view name, platform::NativeEncoding encoding) {
  if (encoding == platform::NativeEncoding::Utf8) {
    const auto u = text::gbToUtf8(name);
    return u ? std::optional<std::size_t>(u->size()) : std::nullopt;
  }
  const auto u = text::gbToUtf16(name);
  return u ? std::optional<std::size_t>(u->size() / 2) : std::nullopt;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any
// extension and with blanks before it.
bool isReservedOnWindows(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string up = text::asciiUpper(base);
  if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL") return true;
  return up.size() == 4 && (up.starts_with("COM") || up.starts_with("LPT")) && up[3] >= '1' && up[3] <= '9';
}

bool forbiddenOnWindows(unsigned char c) {
  return c < 0x20 || c == '\\' || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

}  // namespace

Outcome nameProblem(std::string_view name, const NameRules& rules) {
  // A name kept in the old code page or as raw bytes goes back to the disk as the bytes it had.
  if (platform::isMarkedName(name)) return platform::nativePath(name) ? Outcome{} : why::IllegalName;
  if (name.empty()) return why::EmptyName;
  if (name == "." || name == "..") return why::IllegalName;
  // The ASCII part first, byte by byte: most names are nothing else, and
  // are then as long in any encoding.
  std::size_t ascii = 0;
  for (; ascii < name.size(); ++ascii) {
    const auto c = static_cast<unsigned char>(name[ascii]);
    if (c >= 0x80) break;
    if (c == '\0' || c == '/' || (rules.windows && forbiddenOnWindows(c))) return why::IllegalName;
  }
  const bool windowsEnding =
      rules.windows && (name.back() == '.' || name.back() == ' ' || isReservedOnWindows(name));
  if (ascii == name.size()) {
    if (windowsEnding) return why::IllegalName;
    return name.size() > rules.maxLength ? why::NameTooLong : Outcome{};
  }
  const bool utf16 = rules.encoding == platform::NativeEncoding::Utf16;
  bool needsConversion = false;
  std::size_t bound = ascii;  // native length, never less than the real one
  for (std::size_t i = ascii; i < name.size();) {
    const std::size_t len = text::charLength(name, i);
    if (len == 1) {
      const auto c = static_cast<unsigned char>(name[i]);
      if (c >= 0x80) return why::IllegalName;  // a byte that starts no character
      if (c == '\0' || c == '/') return why::IllegalName;
      if (rules.windows && forbiddenOnWindows(c)) return why::IllegalName;
      bound += 1;
    } else if (len == 2) {
      bound += utf16 ? 1 : 3;
    } else {
      needsConversion = true;  // not every four-byte sequence names a character
      bound += utf16 ? 2 : 4;
    }
    i += len;
  }
  if (windowsEnding) return why::IllegalName;
  if (needsConversion || bound > rules.maxLength) {
    const auto n = nativeLength(name, rules.encoding);
    if (!n) return why::IllegalName;
    if (*n > rules.maxLength) return why::NameTooLong;
  }
  return Outcome{};
}

bool sameName(std::string_view a, std::string_view b) {
  if constexpr (platform::kNamesIgnoreCase) return text::equalsNoCase(a, b);
  return a == b;
}

NameSet::NameSet(std::vector<std::string> names) : names_(std::move(names)) {
  std::size_t cap = 16;
  while (cap < names_.size() * 2) cap <<= 1;
  slots_.assign(cap, Slot{});
  const std::size_t mask = cap - 1;
  for (std::size_t k = 0; k < names_.size(); ++k) {
    const std::uint64_t h = platform::nameHash(names_[k]);
    std::size_t i = h & mask;
    while (slots_[i].index != 0) i = (i + 1) & mask;
    slots_[i] = {h, static_cast<std::uint32_t>(k + 1)};
  }
}

bool NameSet::contains(std::string_view name, std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].index != 0; i = (i + 1) & mask)
    if (slots_[i].hash == hash && sameName(names_[slots_[i].index - 1], name)) return true;
  return false;
}

bool NameSet::containsHash(std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].index != 0; i = (i + 1) & mask)
    if (slots_[i].hash == hash) return true;
  return false;
}

namespace {

// PlanRows and the names present in their folders, as the planner asks them.
struct SpanRows {
  std::span<const PlanRow> rows;
  std::span<const PlanFolder> folders;
  PlanUse use;

  bool exists(const NameSet& set, std::string_view name, std::uint64_t hash) const {
    return use == PlanUse::Pass ? set.contains(name, hash) : set.containsHash(hash);
  }
  std::size_t size() const { return rows.size(); }
  std::size_t folderCount() const { return folders.size(); }
  std::uint32_t folder(std::size_t i) const { return rows[i].folder; }
  std::string_view from(std::size_t i) const { return rows[i].from; }
  std::string_view to(std::size_t i) const { return rows[i].to; }
  Outcome preset(std::size_t i) const { return rows[i].preset; }
  bool targetIsItself(std::size_t i) const { return rows[i].targetIsItself; }
  std::size_t maxLength(std::size_t i) const { return folders[rows[i].folder].maxLength; }
  bool fromExists(std::size_t i, std::uint64_t hash) const {
    const PlanFolder& f = folders[rows[i].folder];
    return f.names && !rows[i].from.empty() && exists(*f.names, rows[i].from, hash);
  }
  bool toExists(std::size_t i, std::uint64_t hash) const {
    const PlanFolder& f = folders[rows[i].folder];
    return f.names && exists(*f.names, rows[i].to, hash);
  }
};

}  // namespace

Plan planMoves(std::span<const PlanRow> rows, std::span<const PlanFolder> folders, NameRules rules,
               PlanUse use) {
  return detail::planRows(SpanRows{rows, folders, use}, rules, use);
}

}  // namespace qorin::rename
