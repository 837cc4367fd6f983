// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/regex_replace.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <vector>

#include "rules/name_cleanup.h"
#include "text/gbtext.h"

namespace qorin::rules {

namespace {

std::size_t utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// One part of the replacement: text to insert, or the number of a group.
struct Piece {
  std::string text;  // code page
  int group = -1;
};

// The replacement's $n (group n, 0-9; literal "$n" when the pattern has no
// group n, as in ECMAScript), $& (the match) and $$ ("$"). Any other "$" is
// text. Walks characters: a four-byte character may hold digits, never "$".
std::vector<Piece> parseReplacement(std::string_view r, int groups) {
  std::vector<Piece> out;
  std::string text;
  const auto flush = [&] {
    if (!text.empty()) out.push_back({std::move(text), -1});
    text.clear();
  };
  for (std::size_t i = 0; i < r.size();) {
    const std::size_t len = text::charLength(r, i);
    if (r[i] == '$' && i + 1 < r.size()) {
      const char next = r[i + 1];
      if (next == '$') {
        text += '$';
        i += 2;
        continue;
      }
      const int group = next == '&' ? 0 : (next >= '0' && next <= '9' ? next - '0' : -1);
      if (group >= 0 && group <= groups) {
        flush();
        out.push_back({std::string(), group});
        i += 2;
        continue;
      }
    }
    text.append(r.substr(i, len));
    i += len;
  }
  flush();
  return out;
}

// Code-page offsets of the UTF-8 text's character starts, or nothing when the
// two texts do not walk in step character by character.
bool mapOffsets(std::string_view gb, std::string_view utf8, std::vector<std::size_t>& gbAt) {
  gbAt.assign(utf8.size() + 1, 0);
  std::size_t g = 0, u = 0;
  while (u < utf8.size() && g < gb.size()) {
    gbAt[u] = g;
    u += utf8Length(static_cast<unsigned char>(utf8[u]));
    g += text::charLength(gb, g);
  }
  if (u != utf8.size() || g != gb.size()) return false;
  gbAt[u] = g;
  return true;
}

// Backtracking that runs away (a pattern such as (a+)+b) stops a name's
// replacements there rather than holding the window.
constexpr uint32_t kMatchLimit = 200000;

}  // namespace

struct RegexReplacer::Engine {
  pcre2_code* code = nullptr;
  pcre2_match_data* match = nullptr;
  pcre2_match_context* context = nullptr;
  std::vector<Piece> pieces;
  bool replaceIllegal = false;

  ~Engine() {
    pcre2_match_data_free(match);
    pcre2_match_context_free(context);
    pcre2_code_free(code);
  }
};

namespace {

// Compiles `pattern` (code page); nothing with `error` set when it fails.
pcre2_code* compile(std::string_view pattern, bool matchCase, std::string& error) {
  const auto utf8 = text::gbToUtf8(pattern);
  if (!utf8) {
    error = text::gb("正则表达式含有无法识别的字符");
    return nullptr;
  }
  // ECMAScript habits: \uhhhh and \xhh escapes, "$" only at the very end.
  uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;
  if (!matchCase) options |= PCRE2_CASELESS;
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8->data()), utf8->size(), options, &code,
                                 &offset, nullptr);
  if (re) return re;
  PCRE2_UCHAR message[256];
  if (pcre2_get_error_message(code, message, sizeof message) < 0) message[0] = 0;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < offset && i < utf8->size(); ++i)
    if ((static_cast<unsigned char>((*utf8)[i]) & 0xC0) != 0x80) ++chars;
  error = text::gb("正则表达式有误（位置 ") + std::to_string(chars) + text::gb("）：") +
          reinterpret_cast<const char*>(message);
  return nullptr;
}

}  // namespace

RegexReplacer::RegexReplacer(std::string_view pattern, std::string_view replacement, bool matchCase,
                             bool replaceIllegal) {
  pcre2_code* code = compile(pattern, matchCase, error_);
  if (!code) return;
  engine_ = std::make_unique<Engine>();
  engine_->code = code;
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // without JIT the interpreter runs
  engine_->match = pcre2_match_data_create_from_pattern(code, nullptr);
  engine_->context = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(engine_->context, kMatchLimit);
  uint32_t groups = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
  engine_->pieces = parseReplacement(replacement, static_cast<int>(groups));
  engine_->replaceIllegal = replaceIllegal;
  if (replaceIllegal)
    for (Piece& p : engine_->pieces) replaceIllegalChars(p.text);
}

RegexReplacer::~RegexReplacer() = default;

void RegexReplacer::appendReplaced(std::string& out, std::string_view s) const {
  if (!engine_ || s.empty()) {
    out += s;
    return;
  }
  const auto utf8 = text::gbToUtf8(s);
  if (!utf8) {
    out += s;
    return;
  }
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(utf8->data());
  const PCRE2_SIZE length = utf8->size();
  // Matches are cut from the code-page text itself, so nothing converts back.
  std::vector<std::size_t> gbAt;
  std::string built;
  std::size_t copied = 0;  // code-page bytes of `s` already in `built`
  PCRE2_SIZE start = 0;
  while (start <= length) {
    const int rc = pcre2_match(engine_->code, subject, length, start, PCRE2_NO_UTF_CHECK, engine_->match,
                               engine_->context);
    if (rc < 0) break;  // no (further) match, or the limit was reached
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(engine_->match);
    const PCRE2_SIZE from = ov[0], to = ov[1];
    if (to < from) break;  // \K inside a look-ahead: no sensible replacement
    if (gbAt.empty() && !mapOffsets(s, *utf8, gbAt)) break;
    built.append(s.substr(copied, gbAt[from] - copied));
    for (const Piece& p : engine_->pieces) {
      if (p.group < 0) {
        built += p.text;
        continue;
      }
      const PCRE2_SIZE a = ov[2 * p.group], b = ov[2 * p.group + 1];
      if (a == PCRE2_UNSET || b < a) continue;  // a group that took no part
      std::string part(s.substr(gbAt[a], gbAt[b] - gbAt[a]));
      if (engine_->replaceIllegal) replaceIllegalChars(part);
      built += part;
    }
    copied = gbAt[to];
    start = to;
    // After an empty match the search goes on one character later.
    if (from == to) {
      if (to == length) break;
      start += utf8Length(static_cast<unsigned char>((*utf8)[to]));
    }
  }
  if (gbAt.empty()) {
    out += s;  // no match
    return;
  }
  out += built;
  out.append(s.substr(copied));
}

std::string regexError(std::string_view pattern, bool matchCase) {
  std::string error;
  if (pcre2_code* code = compile(pattern, matchCase, error)) pcre2_code_free(code);
  return error;
}

}  // namespace qorin::rules
