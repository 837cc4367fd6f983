#include "text/names.h"

#include "text/gbtext.h"

namespace qorin::text {

NameParts splitName(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  // Lead bytes are never letters, so both sides break into the same characters.
  return a.size() == b.size() && asciiUpper(a) == asciiUpper(b);
}

bool hasExtension(std::string_view name, std::string_view ext) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  return equalsNoCase(name.substr(dot + 1), ext);
}

bool containsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  const std::string h = asciiUpper(haystack);
  const std::string n = asciiUpper(needle);
  for (std::size_t i = 0; i + n.size() <= h.size(); i += charLength(h, i)) {
    if (h.compare(i, n.size(), n) == 0 && isCharBoundary(std::string_view(h).substr(i), n.size()))
      return true;
  }
  return false;
}

}  // namespace qorin::text
