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

// PCRE2's compile errors in the user's words; the rare ones keep their code.
std::string errorWords(int code) {
  switch (code) {
    case PCRE2_ERROR_END_BACKSLASH:
      return text::gb("末尾的 \\ 后面缺少字符");
    case PCRE2_ERROR_END_BACKSLASH_C:
      return text::gb("末尾的 \\c 后面缺少字符");
    case PCRE2_ERROR_UNKNOWN_ESCAPE:
    case PCRE2_ERROR_UNSUPPORTED_ESCAPE_SEQUENCE:
      return text::gb("无法识别的转义字符");
    case PCRE2_ERROR_ESCAPE_INVALID_IN_CLASS:
      return text::gb("方括号内不能用这个转义字符");
    case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
      return text::gb("{} 中的数字前大后小");
    case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
      return text::gb("{} 中的数字太大");
    case PCRE2_ERROR_QUANTIFIER_INVALID:
      return text::gb("* + ? {} 前面没有可以重复的内容");
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
      return text::gb("缺少右方括号 ]");
    case PCRE2_ERROR_CLASS_RANGE_ORDER:
      return text::gb("方括号内的范围前大后小");
    case PCRE2_ERROR_CLASS_INVALID_RANGE:
      return text::gb("方括号内的范围无效");
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
      return text::gb("缺少右括号 )");
    case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS:
      return text::gb("多余的右括号 )");
    case PCRE2_ERROR_MISSING_COMMENT_CLOSING:
      return text::gb("注释 (?# 缺少右括号 )");
    case PCRE2_ERROR_MISSING_CONDITION_CLOSING:
      return text::gb("条件分组缺少右括号 )");
    case PCRE2_ERROR_INVALID_AFTER_PARENS_QUERY:
      return text::gb("(? 后面的写法无法识别");
    case PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP:
      return text::gb("括号嵌套太深");
    case PCRE2_ERROR_LOOKBEHIND_NOT_FIXED_LENGTH:
    case PCRE2_ERROR_LOOKBEHIND_TOO_COMPLICATED:
    case PCRE2_ERROR_LOOKBEHIND_TOO_LONG:
      return text::gb("向后查找 (?<= 或 (?<! 的内容长度必须固定");
    case PCRE2_ERROR_BAD_SUBPATTERN_REFERENCE:
      return text::gb("引用了不存在的分组");
    case PCRE2_ERROR_MISSING_NAME_TERMINATOR:
    case PCRE2_ERROR_SUBPATTERN_NAME_EXPECTED:
      return text::gb("分组名写法有误");
    case PCRE2_ERROR_INVALID_SUBPATTERN_NAME:
      return text::gb("分组名不能以数字开头");
    case PCRE2_ERROR_DUPLICATE_SUBPATTERN_NAME:
      return text::gb("两个分组用了同一个名字");
    case PCRE2_ERROR_UNKNOWN_POSIX_CLASS:
      return text::gb("未知的字符类名 [:...:]");
    case PCRE2_ERROR_MALFORMED_UNICODE_PROPERTY:
    case PCRE2_ERROR_UNKNOWN_UNICODE_PROPERTY:
      return text::gb("\\p 或 \\P 后面的字符属性无法识别");
    case PCRE2_ERROR_CODE_POINT_TOO_BIG:
    case PCRE2_ERROR_BACKSLASH_U_CODE_POINT_TOO_BIG:
    case PCRE2_ERROR_INVALID_HEXADECIMAL:
    case PCRE2_ERROR_INVALID_OCTAL:
    case PCRE2_ERROR_MISSING_OCTAL_OR_HEX_DIGITS:
      return text::gb("字符编码写法有误或超出范围");
    case PCRE2_ERROR_PATTERN_TOO_LARGE:
    case PCRE2_ERROR_PATTERN_STRING_TOO_LONG:
    case PCRE2_ERROR_PATTERN_TOO_COMPLICATED:
      return text::gb("正则表达式太长或太复杂");
    default:
      return text::gb("无法解析（PCRE2错误代码 ") + std::to_string(code) + text::gb("）");
  }
}

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
  // PCRE2 stops at a byte of the UTF-8 text; the user counts characters.
  std::size_t before = 0, total = 0;
  for (std::size_t i = 0; i < utf8->size(); ++i) {
    if ((static_cast<unsigned char>((*utf8)[i]) & 0xC0) == 0x80) continue;
    ++total;
    if (i < offset) ++before;
  }
  // Where the pattern ended too early there is no character to name.
  const std::string where = offset >= utf8->size() && total > 0
                                ? text::gb("第") + std::to_string(total) + text::gb("个字符之后")
                                : text::gb("第") + std::to_string(before + 1) + text::gb("个字符");
  error = text::gb("正则表达式有误（") + where + text::gb("）：") + errorWords(code);
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
