// SPDX-License-Identifier: GPL-3.0-or-later
// What qorin-cli says about its rules, made from the rules' own field
// declarations: the lines of --help, the manual pages' section of rules and
// the bash completion. A rule declared in the core reaches all of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/rule.h"

namespace qorin::cli {

struct OptionText {
  std::string_view option;
  rules::Words valueName;
  rules::Words help;
  std::vector<std::string_view> words;  // a choice's words, for completion
  bool takesValue = false;
  bool takesTwo = false;
};

// One rule: the option naming it first, then its modifiers.
struct RuleText {
  rules::Words about;
  std::vector<OptionText> options;
};

std::vector<RuleText> ruleTexts();

// The rules' subsection of a manual page (roff, UTF-8), in Chinese or English.
std::string manualRules(bool chinese);

// The bash completion script.
std::string bashCompletion();

// `page` with its line "@RULES@" replaced by manualRules.
std::string withRules(std::string page, bool chinese);

}  // namespace qorin::cli
