// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/insert_rule.h"

#include <algorithm>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

std::size_t insertOffset(std::string_view part, std::int64_t pos) {
  if (pos <= 1) return 0;
  if (pos - 1 >= static_cast<std::int64_t>(part.size())) return part.size();
  return text::nextBoundary(part, static_cast<std::size_t>(pos - 1));
}

void appendInserted(std::string& out, std::string_view part, std::string_view text, std::int64_t pos) {
  const std::size_t at = insertOffset(part, pos);
  out.append(part.data(), at);
  out += text;
  out.append(part.data() + at, part.size() - at);
}

void insertRule(filelist::FileList& list, int n, const InsertOptions& o) {
  n = std::clamp(n, 0, list.fileCount());
  const std::string_view extText = o.keepSame ? o.nameText : o.extText;
  const std::int64_t namePos = text::toNumber(o.namePosition);
  // The extension part begins with its ".": position 1 is right behind it.
  const std::int64_t extPos = static_cast<std::int64_t>(text::toNumber(o.extPosition)) + 1;
  std::string out;
  for (int row = 0; row < n; ++row) {
    const auto [main, ext] = text::splitName(list.oldName(row));
    out.clear();
    if (o.nameAt == InsertAt::Position) {
      appendInserted(out, main, o.nameText, namePos);
    } else {
      out += main;
      out += o.nameText;
    }
    if (ext.empty()) {
      if (!extText.empty()) {
        out += '.';
        out += extText;
      }
    } else if (o.extAt == InsertAt::Position) {
      appendInserted(out, ext, extText, extPos);
    } else {
      out += ext;
      out += extText;
    }
    list.setNewName(row, out);
  }
}

std::string parseInsertPlace(InsertOptions& o, std::span<const std::string> values) {
  const std::string& v = values.front();
  if (v == "end") {
    o.nameAt = InsertAt::End;
    return {};
  }
  const bool digits = !v.empty() && v.size() < 10 &&
                      std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
  const bool negative = v.size() > 1 && v[0] == '-' &&
                        std::all_of(v.begin() + 1, v.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits && !negative) return text::gb("--at 只能是位置数字或 end");
  if (negative || std::stoi(v) < 1) return text::gb("--at 的位置从 1 数起，不能是 ") + v;
  o.nameAt = InsertAt::Position;
  o.namePosition = v;
  return {};
}

}  // namespace qorin::rules
