// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/journal_fields.h"

#include "platform/fs.h"
#include "rename/plan.h"
#include "text/gbtext.h"

namespace qorin::rename::detail::fields {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::size_t> unescapeInto(std::string_view field, char* out) {
  std::size_t w = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out[w++] = field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int hi = hexDigit(field[i + 1]), lo = hexDigit(field[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[w++] = static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return w;
}

std::optional<std::string> unescape(std::string_view field) {
  std::string out(field.size(), '\0');
  const auto n = unescapeInto(field, out.data());
  if (!n) return std::nullopt;
  out.resize(*n);
  return out;
}

Fields fieldsOf(std::string_view payload) {
  Fields out;
  std::size_t start = 0;
  for (;;) {
    const auto sp = payload.find(' ', start);
    if (out.count == out.at.size()) return out;
    out.at[out.count++] = payload.substr(start, sp - start);
    if (sp == std::string_view::npos) return out;
    start = sp + 1;
  }
}

std::optional<PhaseKind> kindOf(std::string_view s) {
  if (s == "pass") return PhaseKind::Pass;
  if (s == "undo") return PhaseKind::Undo;
  if (s == "keep") return PhaseKind::Keep;
  return std::nullopt;
}

// Walked by characters: on Windows the second byte of a double-byte
// character may be 0x5C.
bool canonicalFolder(std::string_view dir) {
  constexpr char sep = platform::kSeparator;
  std::size_t i = 0;
  if constexpr (platform::kSeparator == '\\') {
    const bool drive = dir.size() >= 3 && ((dir[0] | 0x20) >= 'a' && (dir[0] | 0x20) <= 'z') &&
                       dir[1] == ':' && dir[2] == sep;
    const bool share = dir.size() >= 3 && dir[0] == sep && dir[1] == sep;
    if (!drive && !share) return false;
    i = drive ? 3 : 2;
  } else {
    if (dir.empty() || dir[0] != sep) return false;
    i = 1;
  }
  if (dir.back() != sep) return false;
  std::size_t partStart = i;
  while (i < dir.size()) {
    const char c = dir[i];
    if (c == '\0' || (sep == '\\' && c == '/')) return false;
    if (c == sep) {
      const std::string_view part = dir.substr(partStart, i - partStart);
      if (part.empty() || part == "." || part == "..") return false;
      partStart = i + 1;
    }
    i += text::charLength(dir, i);
  }
  return true;
}

bool trustedName(std::string_view name) { return nameProblem(name, NameRules{}).none(); }

}  // namespace qorin::rename::detail::fields
