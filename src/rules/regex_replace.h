// SPDX-License-Identifier: GPL-3.0-or-later
// 查找内容 as a regular expression: ECMAScript-like syntax, matched on
// characters (PCRE2 over UTF-8), 替换为 with $0-$9, $& and $$.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qorin::rules {

class RegexReplacer {
 public:
  // Pattern and replacement are code-page text. Compiles once; a pattern the
  // engine refuses leaves the replacer invalid with regexError's message.
  // With replaceIllegal, what the replacement inserts (its own text and the
  // groups it copies) loses the characters file names may not hold.
  RegexReplacer(std::string_view pattern, std::string_view replacement, bool matchCase, bool replaceIllegal);
  ~RegexReplacer();
  RegexReplacer(const RegexReplacer&) = delete;
  RegexReplacer& operator=(const RegexReplacer&) = delete;

  bool valid() const { return error_.empty(); }
  // Code-page text for the user, empty when valid (see regexError).
  const std::string& error() const { return error_; }

  // Appends `s` (code-page text) with every match replaced, left to right,
  // without overlap; an empty match advances one character. A text that does
  // not convert to Unicode is appended unchanged.
  void appendReplaced(std::string& out, std::string_view s) const;

 private:
  struct Engine;
  std::unique_ptr<Engine> engine_;
  std::string error_;
};

// Why `pattern` does not compile, in Chinese (code-page text), empty when it
// does: "正则表达式有误（第N个字符）：缺少右括号 )". N counts characters of the
// pattern as typed, from 1; a pattern that ends too early says "第N个字符之后"
// with N its length. Errors without words of their own keep PCRE2's code.
std::string regexError(std::string_view pattern, bool matchCase);

}  // namespace qorin::rules
