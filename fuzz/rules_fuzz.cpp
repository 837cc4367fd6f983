// SPDX-License-Identifier: GPL-3.0-or-later
// The five rules over arbitrary names and option texts: no crash, no
// character that was whole comes out split, and the byte lengths their
// headers promise. Texts are made of whole characters unless the first byte
// asks for raw bytes (then only the checks that hold for any bytes apply).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>

#include "filelist/file_list.h"
#include "fuzz_input.h"
#include "rules/mp3_rule.h"
#include "rules/name_cleanup.h"
#include "rules/regex_replace.h"
#include "rules/rule.h"
#include "tags/tag_fields.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::fuzz {
namespace {

using filelist::FileList;

bool illegalByte(unsigned char c) {
  return c < 0x20 || std::string_view("/\\<>:\"|?*").find(c) != std::string_view::npos;
}

// The rows a rule writes: n clamped to the list.
int rowsOf(const FileList& list, int n) { return std::clamp(n, 0, list.fileCount()); }

std::set<std::string> charsOf(std::initializer_list<std::string_view> texts) {
  std::set<std::string> out;
  for (std::string_view t : texts) collectWide(t, out);
  return out;
}

// A digit field as the tab holds it: a small number, past the 999 the field
// allows, empty, or any text.
std::string digitsText(Input& in, bool whole) {
  const std::uint8_t b = in.byte();
  if (b < 0x80) return std::to_string(b % 16);
  if (b < 0xC0) return std::to_string(980 + b % 40);
  if (b < 0xE0) return {};
  return in.text(whole);
}

void checkGeneral(Input& in, bool whole, FileList& list, int n) {
  rules::GeneralOptions o;
  const std::uint8_t flags = in.byte();
  o.scope = static_cast<rules::GeneralScope>(flags % 3);
  o.start = (flags & 0x04) ? in.text(whole) : std::to_string(static_cast<std::int8_t>(in.byte()));
  o.increment = (flags & 0x08) ? in.text(whole) : std::to_string(static_cast<std::int8_t>(in.byte()));
  o.namePrefix = in.text(whole);
  o.nameText = in.text(whole);
  o.nameDigits = digitsText(in, whole);
  o.nameSuffix = in.text(whole);
  o.extPrefix = in.text(whole);
  o.extText = in.text(whole);
  o.extDigits = digitsText(in, whole);
  o.extSuffix = in.text(whole);
  rules::applyRule(list, n, o);
  // The zeros bring the number up to the digit count, never past the field's 999.
  const auto paddedLength = [](std::int64_t digits, std::int64_t value) {
    const std::size_t numberLength = std::to_string(value).size();
    FUZZ_CHECK(rules::zeroPad(digits, value).size() + numberLength ==
               std::max<std::size_t>(numberLength, std::clamp<std::int64_t>(digits, 0, 999)));
    return std::max<std::size_t>(numberLength, std::clamp<std::int64_t>(digits, 0, 999));
  };
  const std::int64_t start = text::toNumber(o.start), increment = text::toNumber(o.increment);
  const std::int64_t digits = text::toNumber(o.nameDigits);
  for (int row = 0; row < rowsOf(list, n); ++row) {
    const std::string old(list[row].oldName);
    const std::string out(list[row].newName);
    if (o.scope == rules::GeneralScope::Name) {
      // lead "." (when the old main part had one), prefix, text, number, suffix; the extension kept
      const auto [main, ext] = text::splitName(old);
      const std::size_t lead = main.starts_with('.') ? 1 : 0;
      FUZZ_CHECK(out.size() == lead + o.namePrefix.size() + o.nameText.size() +
                                   paddedLength(digits, start + row * increment) + o.nameSuffix.size() +
                                   ext.size());
    }
    if (whole) {
      const auto chars =
          charsOf({old, o.namePrefix, o.nameText, o.nameSuffix, o.extPrefix, o.extText, o.extSuffix});
      FUZZ_CHECK(noneSplit(out, chars));
    }
  }
}

void checkReplace(Input& in, bool whole, FileList& list, int n) {
  rules::ReplaceOptions o;
  const std::uint8_t flags = in.byte();
  o.scope = static_cast<rules::ReplaceScope>(flags % 3);
  o.matchCase = flags & 0x04;
  o.regex = flags & 0x08;
  o.cleanup.replaceIllegal = flags & 0x10;
  o.search = in.text(whole);
  o.replacement = in.text(whole);
  rules::applyRule(list, n, o);
  if (o.regex && !o.search.empty()) {
    const std::string error = rules::regexError(o.search, o.matchCase);
    FUZZ_CHECK(isWhole(error));
    if (!error.empty()) {
      for (int row = 0; row < rowsOf(list, n); ++row) FUZZ_CHECK(list[row].newName.empty());
      return;
    }
  }
  // A match starts and ends at character boundaries of the searched text,
  // whatever the bytes.
  const rules::ReplaceMatcher matcher(o.search, o.matchCase);
  const std::string s(list[0].oldName);
  for (std::size_t pos = 0; pos < s.size(); pos += text::charLength(s, pos)) {
    const std::size_t m = matcher.matchAt(s, pos);
    FUZZ_CHECK(m == 0 || (m == o.search.size() && text::isCharBoundary(s, pos + m)));
  }
  if (!whole) return;
  for (int row = 0; row < rowsOf(list, n); ++row)
    FUZZ_CHECK(noneSplit(list[row].newName, charsOf({list[row].oldName, o.replacement})));
}

void checkInsert(Input& in, bool whole, FileList& list, int n) {
  rules::InsertOptions o;
  const std::uint8_t flags = in.byte();
  o.keepSame = flags & 0x01;
  o.nameAt = (flags & 0x02) ? rules::InsertAt::End : rules::InsertAt::Position;
  o.extAt = (flags & 0x04) ? rules::InsertAt::End : rules::InsertAt::Position;
  o.nameText = in.text(whole);
  o.extText = in.text(whole);
  o.namePosition = (flags & 0x08) ? in.text(whole) : std::to_string(static_cast<std::int8_t>(in.byte()));
  o.extPosition = (flags & 0x10) ? in.text(whole) : std::to_string(static_cast<std::int8_t>(in.byte()));
  rules::applyRule(list, n, o);
  const std::string& extText = o.keepSame ? o.nameText : o.extText;
  for (int row = 0; row < rowsOf(list, n); ++row) {
    const std::string old(list[row].oldName);
    const std::string out(list[row].newName);
    // A name without extension receives "." and the extension text.
    const bool noExt = text::splitName(old).ext.empty();
    const std::size_t added = o.nameText.size() + extText.size() + (noExt && !extText.empty() ? 1 : 0);
    FUZZ_CHECK(out.size() == old.size() + added);
    if (whole) FUZZ_CHECK(noneSplit(out, charsOf({old, o.nameText, extText})));
  }
  // A position inside a character moves to the next one.
  const std::string_view part = text::splitName(list[0].oldName).main;
  const std::int64_t pos = text::toNumber(o.namePosition);
  const std::size_t at = rules::insertOffset(part, pos);
  if (pos <= 1) {
    FUZZ_CHECK(at == 0);
  } else if (static_cast<std::uint64_t>(pos - 1) >= part.size()) {
    FUZZ_CHECK(at == part.size());
  } else {
    const auto from = static_cast<std::size_t>(pos - 1);
    FUZZ_CHECK(at >= from && at < from + 4 && text::isCharBoundary(part, at));
  }
}

void checkCase(Input& in, bool whole, FileList& list, int n) {
  const std::uint8_t flags = in.byte();
  const rules::CaseOptions o{static_cast<rules::CaseChoice>(flags % 4),
                             static_cast<rules::CaseChoice>(flags / 4 % 4)};
  rules::applyRule(list, n, o);
  const auto firstLetter = [](rules::CaseChoice c) {
    return c == rules::CaseChoice::FirstUpper || c == rules::CaseChoice::FirstLower;
  };
  for (int row = 0; row < rowsOf(list, n); ++row) {
    const std::string old(list[row].oldName);
    const std::string out(list[row].newName);
    if (whole) FUZZ_CHECK(isWhole(out));
    // A first letter may be of any script, and its other case of another
    // length: those parts are only checked whole.
    if (firstLetter(o.name) || firstLetter(o.ext)) continue;
    // All upper and all lower change single-byte ASCII letters only, and only their case.
    FUZZ_CHECK(out.size() == old.size());
    const std::size_t mainLength = text::splitName(old).main.size();
    for (std::size_t i = 0; i < old.size();) {
      const std::size_t len = text::charLength(old, i);
      const auto a = static_cast<unsigned char>(old[i]), b = static_cast<unsigned char>(out[i]);
      if (len == 1 && text::isAsciiLetter(a)) {
        FUZZ_CHECK((a | 0x20) == (b | 0x20));
        const rules::CaseChoice choice = i < mainLength ? o.name : o.ext;
        if (choice == rules::CaseChoice::AllUpper) FUZZ_CHECK(b < 'a');
        if (choice == rules::CaseChoice::AllLower) FUZZ_CHECK(b >= 'a');
      } else {
        FUZZ_CHECK(old.compare(i, len, out, i, len) == 0);
      }
      i += len;
    }
  }
}

void checkMp3(Input& in, bool whole) {
  const std::uint8_t flags = in.byte();
  const std::string typed = in.text(whole);
  // The rule field keeps what fits in its bytes, cut before a character.
  const std::string rule(text::cutToBytes(typed, rules::kMp3RuleMaxBytes));
  FUZZ_CHECK(rule.size() <= rules::kMp3RuleMaxBytes && typed.starts_with(rule));
  FUZZ_CHECK(text::isCharBoundary(typed, rule.size()));
  if (rule.size() < typed.size())
    FUZZ_CHECK(rule.size() + text::charLength(typed, rule.size()) > rules::kMp3RuleMaxBytes);

  const auto segments = rules::parseMp3Rule(rule);
  FUZZ_CHECK(segments.has_value() == !rule.empty());
  if (!segments) return;
  std::string rebuilt;  // literals and placeholders give back the rule
  for (const rules::RuleSegment& s : *segments) {
    FUZZ_CHECK(s.code >= 0 && s.code <= 6);
    rebuilt += s.literal;
    if (s.code != 0) rebuilt += "#" + std::to_string(s.code);
  }
  FUZZ_CHECK(segments->back().code == 0 && rebuilt == rule);

  tags::TagFields fields;
  for (int code = 1; code <= 6; ++code) fields[rules::slotOfCode(code)] = in.text(whole);
  const rules::NameCleanup cleanup{(flags & 1) != 0, (flags & 2) != 0};
  const std::string name = rules::expandMp3Rule(*segments, fields, cleanup);
  FUZZ_CHECK(name.empty() || name.ends_with(".mp3"));
  // Tag texts go in as read, the track as the number before its "/" with
  // the blanks around it gone; replacing a character that a name cannot
  // hold keeps the length.
  const auto asPlaced = [&](int code) {
    std::string_view f = fields[rules::slotOfCode(code)];
    if (code != 4) return f.size();
    f = f.substr(0, f.find('/'));
    const std::size_t first = f.find_first_not_of(" \t");
    return first == std::string_view::npos ? 0 : f.find_last_not_of(" \t") + 1 - first;
  };
  std::size_t expected = 0;
  for (const rules::RuleSegment& s : *segments)
    expected += s.literal.size() + (s.code ? asPlaced(s.code) : 0);
  if (!cleanup.padTrack) FUZZ_CHECK(name.size() == (expected ? expected + 4 : 0));
  if (cleanup.replaceIllegal) {
    for (std::size_t i = 0; i < name.size(); i += text::charLength(name, i))
      FUZZ_CHECK(text::charLength(name, i) > 1 || !illegalByte(static_cast<unsigned char>(name[i])));
  }
  const std::string& track = fields[tags::kTrack];
  const std::string padded = rules::padTrackNumber(track);
  const std::size_t blanks = track.find_first_not_of(' ');
  if (blanks == std::string::npos || track[blanks] < '0' || track[blanks] > '9') {
    FUZZ_CHECK(padded == track);
  } else {
    FUZZ_CHECK(padded.size() >= 2 && padded.find_first_not_of("0123456789") == std::string::npos);
  }
  const int n = flags / 4 % 6 + 1;
  const std::string placed = rules::withPlaceholder(rule, n);
  FUZZ_CHECK(placed.starts_with(rule) && placed.size() == rule.size() + 3);
  if (!whole) return;
  auto chars = charsOf({rule, padded});
  for (const std::string& f : fields.texts) collectWide(f, chars);
  FUZZ_CHECK(noneSplit(name, chars));
  collectWide(rules::mp3RuleExample("#1#2#3#4#5#6"), chars);
  FUZZ_CHECK(noneSplit(rules::mp3RuleExample(rule), chars));
}

}  // namespace
}  // namespace qorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qorin;
  fuzz::Input in(data, size);
  const std::uint8_t head = in.byte();
  const bool whole = (head & 0x80) == 0;
  const int names = head / 8 % 6 + 1;
  filelist::FileList list;
  for (int i = 0; i < names; ++i) list.addName(in.text(whole));
  // How many rows the rule runs over, clamped by the rule to the list.
  const int n = static_cast<int>(in.byte() % 10) - 2;
  switch (head % 5) {
    case 0:
      fuzz::checkGeneral(in, whole, list, n);
      break;
    case 1:
      fuzz::checkReplace(in, whole, list, n);
      break;
    case 2:
      fuzz::checkInsert(in, whole, list, n);
      break;
    case 3:
      fuzz::checkCase(in, whole, list, n);
      break;
    default:
      fuzz::checkMp3(in, whole);
      break;
  }
  // Rows past n keep what they had: no proposal.
  for (int row = fuzz::rowsOf(list, n); row < names; ++row) FUZZ_CHECK(list[row].newName.empty());
  return 0;
}
