// SPDX-License-Identifier: GPL-3.0-or-later
// The fields of a journal's lines as the reader takes them apart: numbers,
// escaped names, phase words, and the folders and names a record may be
// trusted with. Used by journal_read.cpp, and by the writer to check its folders.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "rename/journal.h"

namespace qorin::rename::detail::fields {

// Writes `field` unescaped to `out`, which may be where the field starts
// (the bytes only shrink); the size written, or nothing for a broken escape.
std::optional<std::size_t> unescapeInto(std::string_view field, char* out);
std::optional<std::string> unescape(std::string_view field);

template <class T>
std::optional<T> number(std::string_view field, int base = 10) {
  T v{};
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v, base);
  if (r.ec != std::errc() || r.ptr != field.data() + field.size() || field.empty()) return std::nullopt;
  return v;
}

// The blank-separated fields of a line; no line has more than 11, so a
// count of 12 stands for "more".
struct Fields {
  std::array<std::string_view, 12> at;
  std::size_t count = 0;
  std::size_t size() const { return count; }
  std::string_view operator[](std::size_t i) const { return at[i]; }
};

Fields fieldsOf(std::string_view payload);
std::optional<PhaseKind> kindOf(std::string_view s);

// A folder as a pass writes it: a full path, ending in the separator, with
// no empty, "." or ".." part.
bool canonicalFolder(std::string_view dir);
// A name a file of a pass could have had.
bool trustedName(std::string_view name);

}  // namespace qorin::rename::detail::fields
