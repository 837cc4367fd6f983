// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/replace_rule.h"

#include <algorithm>

#include "rules/regex_replace.h"
#include "rules/rule_codes.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

namespace {

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

ReplaceMatcher::ReplaceMatcher(std::string_view search, bool matchCase)
    : search_(search), foldable_(search.size(), '\0'), matchCase_(matchCase) {
  for (std::size_t i = 0; i < search_.size();) {
    const std::size_t len = text::charLength(search_, i);
    if (len == 1 && text::isAsciiLetter(static_cast<unsigned char>(search_[i]))) foldable_[i] = 1;
    i += len;
  }
}

std::size_t ReplaceMatcher::matchAt(std::string_view s, std::size_t pos) const {
  const std::size_t len = search_.size();
  if (len == 0 || pos > s.size() || s.size() - pos < len) return 0;
  for (std::size_t k = 0; k < len; ++k) {
    const auto a = static_cast<unsigned char>(s[pos + k]);
    const auto b = static_cast<unsigned char>(search_[k]);
    if (a == b) continue;
    if (matchCase_ || !foldable_[k] || lower(a) != lower(b)) return 0;
  }
  // Bytes that agree (up to the case of ASCII letters) break into the same
  // characters, except that the last one may run on past the match in `s`:
  // a search ending in a lead byte must not take half of a character.
  std::size_t j = pos;
  while (j < pos + len) j += text::charLength(s, j);
  return j == pos + len ? len : 0;
}

void ReplaceMatcher::appendReplaced(std::string& out, std::string_view s, std::string_view replacement,
                                    std::size_t start) const {
  start = std::min(start, s.size());
  if (search_.empty()) {
    out += s;
    return;
  }
  out.append(s.data(), start);
  std::size_t copied = start;
  const auto first = static_cast<unsigned char>(search_[0]);
  const bool foldFirst = !matchCase_ && foldable_[0];
  for (std::size_t i = start; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const bool candidate = c == first || (foldFirst && lower(c) == lower(first));
    if (const std::size_t m = candidate ? matchAt(s, i) : 0) {
      out.append(s.data() + copied, i - copied);
      out += replacement;
      i += m;
      copied = i;
    } else {
      i += c < 0x80 ? 1 : text::charLength(s, i);
    }
  }
  out.append(s.data() + copied, s.size() - copied);
}

std::string replaceAll(std::string_view s, std::string_view search, std::string_view replacement,
                       bool matchCase, std::size_t start) {
  std::string out;
  ReplaceMatcher(search, matchCase).appendReplaced(out, s, replacement, start);
  return out;
}

namespace {

// Runs `replace(out, text, start)` over the chosen parts of each name.
template <typename Replace>
void eachName(filelist::FileList& list, int n, ReplaceScope scope, const Replace& replace) {
  const bool doName = scope != ReplaceScope::Extension;
  const bool doExt = scope != ReplaceScope::Name;
  std::string out;
  for (int row = 0; row < n; ++row) {
    const auto [main, ext] = text::splitName(list.oldName(row));
    out.clear();
    if (doName)
      replace(out, main);
    else
      out += main;
    if (doExt && !ext.empty()) {
      const std::size_t mark = out.size();
      out += '.';
      replace(out, ext.substr(1));
      // An extension whose text was deleted completely goes with its dot.
      if (out.size() == mark + 1) out.resize(mark);
    } else {
      out += ext;
    }
    list.setNewName(row, out);
  }
}

}  // namespace

void replaceRule(filelist::FileList& list, int n, const ReplaceOptions& o) {
  n = std::clamp(n, 0, list.fileCount());
  if (o.regex && !o.search.empty()) {
    const RegexReplacer re(o.search, o.replacement, o.matchCase, o.cleanup.replaceIllegal);
    if (!re.valid()) {
      for (int row = 0; row < n; ++row) list.setProposalProblem(row, why::BadPattern);
      return;
    }
    eachName(list, n, o.scope, [&re](std::string& out, std::string_view s) { re.appendReplaced(out, s); });
    return;
  }
  const ReplaceMatcher matcher(o.search, o.matchCase);
  eachName(list, n, o.scope,
           [&](std::string& out, std::string_view s) { matcher.appendReplaced(out, s, o.replacement); });
}

std::string replaceRuleError(const ReplaceOptions& o) {
  return o.regex && !o.search.empty() ? regexError(o.search, o.matchCase) : std::string();
}

std::string parseReplacement(ReplaceOptions& o, std::span<const std::string> values) {
  o.search = values[0];
  o.replacement = values[1];
  return {};
}

}  // namespace qorin::rules
