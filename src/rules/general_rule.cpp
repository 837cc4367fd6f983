// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/general_rule.h"

#include <algorithm>
#include <charconv>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

namespace {

// The digit field holds at most three characters; anything beyond that came
// from elsewhere and must not make each name hundreds of megabytes long.
constexpr std::int64_t kMaxDigits = 999;

std::size_t zeroCount(std::int64_t digits, std::size_t numberLength) {
  const std::int64_t zeros = std::min(digits, kMaxDigits) - static_cast<std::int64_t>(numberLength);
  return zeros > 0 ? static_cast<std::size_t>(zeros) : 0;
}

}  // namespace

std::string zeroPad(std::int64_t digits, std::int64_t value) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  return std::string(zeroCount(digits, static_cast<std::size_t>(end - buf)), '0');
}

void appendNumberPart(std::string& out, std::string_view old, const NumberText& t, std::int64_t index) {
  // 64-bit: typed start values and increments may be as large as 32 bits allow.
  const std::int64_t value = t.start + index * t.increment;
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  const auto len = static_cast<std::size_t>(end - buf);
  if (!old.empty() && old.front() == '.') out += '.';
  out += t.prefix;
  out += t.text;
  // The sign stands before the zeros (-05), which fill the width it is part of.
  const std::size_t sign = value < 0 ? 1 : 0;
  out.append(buf, sign);
  out.append(zeroCount(t.digits, len), '0');
  out.append(buf + sign, len - sign);
  out += t.suffix;
}

void numberParts(std::span<std::string> parts, const NumberText& t) {
  std::string scratch;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    scratch.clear();
    appendNumberPart(scratch, parts[i], t, static_cast<std::int64_t>(i));
    parts[i].swap(scratch);
  }
}

void generalRule(filelist::FileList& list, int n, const GeneralOptions& o) {
  n = std::clamp(n, 0, list.fileCount());
  const bool doName = o.scope != GeneralScope::Extension;
  const bool doExt = o.scope != GeneralScope::Name;
  const std::int64_t start = text::toNumber(o.start);
  const std::int64_t increment = text::toNumber(o.increment);
  const NumberText nameNumber{o.namePrefix, o.nameText, o.nameSuffix, text::toNumber(o.nameDigits),
                              start,        increment};
  const NumberText extNumber{o.extPrefix, o.extText, o.extSuffix, text::toNumber(o.extDigits),
                             start,       increment};
  const bool anyExtField =
      !o.extPrefix.empty() || !o.extText.empty() || !o.extDigits.empty() || !o.extSuffix.empty();
  const bool numberedExt = !o.extDigits.empty();

  std::string out;
  for (int row = 0; row < n; ++row) {
    const auto [main, ext] = text::splitName(list.oldName(row));
    out.clear();
    if (doName)
      appendNumberPart(out, main, nameNumber, row);
    else
      out += main;

    if (!doExt) {
      out += ext;
    } else if (!anyExtField) {
      // Every extension field empty: the names lose their extension.
    } else if (numberedExt) {
      // An entry without extension gets the numbered text straight after its
      // main part, with no "." between.
      appendNumberPart(out, ext, extNumber, row);
    } else {
      out += '.';
      out += o.extPrefix;
      out += o.extText;
      out += o.extSuffix;
    }
    list.setNewName(row, out);
  }
}

namespace {
bool isWholeNumber(std::string_view s) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}
}  // namespace

std::string parseNumbering(GeneralOptions& o, std::span<const std::string> values) {
  std::string_view s = values.front();
  std::string* parts[] = {&o.start, &o.increment, &o.nameDigits};
  for (std::string* part : parts) {
    const auto comma = s.find(',');
    const std::string_view piece = s.substr(0, comma);
    if (!isWholeNumber(piece)) break;
    *part = std::string(piece);
    if (comma == std::string_view::npos) return {};
    s.remove_prefix(comma + 1);
  }
  return text::gb("--number 的格式是 起始,增量,位数");
}

std::string parseNewExtension(GeneralOptions& o, std::span<const std::string> values) {
  o.extText = values.front();
  if (o.extText.empty()) return {};
  o.scope = GeneralScope::All;
  o.extDigits.clear();  // the new extension without a number
  return {};
}

}  // namespace qorin::rules
