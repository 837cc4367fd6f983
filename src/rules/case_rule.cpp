// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/case_rule.h"

#include <algorithm>

#include "text/gbtext.h"
#include "text/letter_case.h"
#include "text/names.h"

namespace qorin::rules {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

bool isAsciiLetter(std::string_view ch) {
  return ch.size() == 1 && text::isAsciiLetter(static_cast<unsigned char>(ch[0]));
}

void applyCase(std::string& s, std::size_t from, std::size_t to, CaseChoice choice) {
  if (choice == CaseChoice::Keep) return;
  to = std::min(to, s.size());
  const bool toUpper = choice == CaseChoice::AllUpper || choice == CaseChoice::FirstUpper;
  // A first letter is that of any script (élan → Élan), not only A to Z.
  if (choice == CaseChoice::FirstUpper || choice == CaseChoice::FirstLower) {
    text::changeFirstLetter(s, from, to, toUpper);
    return;
  }
  const std::string_view v = s;
  for (std::size_t i = from; i < to;) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : text::charLength(v, i);
    if (len == 1 && text::isAsciiLetter(c)) s[i] = toUpper ? upper(s[i]) : lower(s[i]);
    i += len;
  }
}

std::string firstLetterCase(std::string_view part, bool toUpper) {
  std::string r(part);
  applyCase(r, 0, r.size(), toUpper ? CaseChoice::FirstUpper : CaseChoice::FirstLower);
  return r;
}

void caseRule(filelist::FileList& list, int n, const CaseOptions& o) {
  n = std::clamp(n, 0, list.fileCount());
  std::string out;
  for (int row = 0; row < n; ++row) {
    const std::string_view old = list.oldName(row);
    const std::size_t mainLength = text::splitName(old).main.size();
    out.assign(old);
    // The cut at the last "." is a character boundary, so both walks agree
    // with a walk over the whole name. The extension goes first: a letter
    // of the main part may change its length (Ü is four bytes, ü two).
    applyCase(out, mainLength, out.size(), o.ext);
    applyCase(out, 0, mainLength, o.name);
    list.setNewName(row, out);
  }
}

std::string parseExtensionCase(CaseOptions& o, std::span<const std::string>) {
  o.ext = o.name;
  return {};
}

}  // namespace qorin::rules
