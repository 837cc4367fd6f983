// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_paths.h"

#include <string>
#include <unordered_set>

#include "session/session.h"
#include "text/gbtext.h"

namespace qorin::cli {

std::vector<std::string> readPathList(std::FILE* in, bool nul) {
  std::vector<std::string> out;
  std::string entry;
  const int end = nul ? '\0' : '\n';
  const auto flush = [&] {
    if (!nul && !entry.empty() && entry.back() == '\r') entry.pop_back();
    if (!entry.empty()) out.push_back(entry);
    entry.clear();
  };
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c == end) {
      flush();
    } else {
      entry += static_cast<char>(c);
    }
  }
  flush();
  return out;
}

namespace {

std::string_view charAt(std::string_view s, std::size_t at) { return s.substr(at, text::charLength(s, at)); }

// A bracket class at glob[g] ('[' there); `end` gets the position after it,
// or npos when it never closes (then '[' is itself).
bool classMatches(std::string_view glob, std::size_t g, std::string_view ch, std::size_t& end) {
  std::size_t i = g + 1;
  const bool negate = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
  i += negate;
  bool hit = false;
  for (bool first = true; i < glob.size() && (first || glob[i] != ']'); first = false) {
    const std::string_view lo = charAt(glob, i);
    i += lo.size();
    std::string_view hi = lo;
    if (i + 1 < glob.size() && glob[i] == '-' && glob[i + 1] != ']') {
      hi = charAt(glob, i + 1);
      i += 1 + hi.size();
    }
    // Byte order of the code page: a range of ASCII letters or digits as usual.
    if (ch.size() == lo.size() && ch.size() == hi.size() ? lo <= ch && ch <= hi : ch == lo) hit = true;
  }
  if (i >= glob.size()) {
    end = std::string_view::npos;
    return false;
  }
  end = i + 1;
  return hit != negate;
}

// Whether the one-character piece of the glob at g matches `ch`; `next` is
// where the glob goes on.
bool oneMatches(std::string_view glob, std::size_t g, std::string_view ch, std::size_t& next) {
  if (glob[g] == '?') {
    next = g + 1;
    return true;
  }
  if (glob[g] == '[') {
    std::size_t end = 0;
    const bool hit = classMatches(glob, g, ch, end);
    if (end != std::string_view::npos) {
      next = end;
      return hit;
    }
  }
  if (glob[g] == '\\' && g + 1 < glob.size()) ++g;
  const std::string_view want = charAt(glob, g);
  next = g + want.size();
  return want == ch;
}

}  // namespace

bool globMatches(std::string_view glob, std::string_view name) {
  // Back to the last '*' only: linear enough for file names.
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t g = 0, n = 0, starG = kNone, starN = 0;
  while (n < name.size()) {
    const std::string_view ch = charAt(name, n);
    if (g < glob.size() && glob[g] == '*') {
      starG = ++g;
      starN = n;
      continue;
    }
    std::size_t next = 0;
    if (g < glob.size() && oneMatches(glob, g, ch, next)) {
      g = next;
      n += ch.size();
      continue;
    }
    if (starG == kNone) return false;
    starN += charAt(name, starN).size();
    n = starN;
    g = starG;
  }
  while (g < glob.size() && glob[g] == '*') ++g;
  return g == glob.size();
}

int keepListed(session::Session& s, const std::vector<std::string>& include,
               const std::vector<std::string>& exclude, bool oneSource) {
  if (oneSource && include.empty() && exclude.empty()) return 0;
  const filelist::FileList& list = s.list();
  std::vector<int> drop;
  std::unordered_set<std::string> seen;
  const auto any = [](const std::vector<std::string>& globs, std::string_view name) {
    for (const std::string& g : globs)
      if (globMatches(g, name)) return true;
    return false;
  };
  std::string key;
  for (int r = 0; r < list.fileCount(); ++r) {
    const filelist::FileEntry e = list[r];
    if (!oneSource) {
      key.assign(e.dir);
      key += '\0';
      key += e.oldName;
    }
    const bool wanted = (include.empty() || any(include, e.oldName)) && !any(exclude, e.oldName);
    if (!wanted || (!oneSource && !seen.insert(key).second)) drop.push_back(r);
  }
  if (!drop.empty()) s.removeRows(drop);
  return static_cast<int>(drop.size());
}

}  // namespace qorin::cli
