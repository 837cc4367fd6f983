// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/rule.h"

#include <type_traits>

namespace qorin::rules {

bool applyRule(filelist::FileList& list, int n, const RuleOptions& rule, const Reading& reading) {
  return std::visit(
      [&](const auto& o) { return Rules::RuleOf<std::decay_t<decltype(o)>>::apply(list, n, o, reading); },
      rule);
}

std::string ruleError(const RuleOptions& rule) {
  if (const auto* replace = std::get_if<ReplaceOptions>(&rule)) return replaceRuleError(*replace);
  return {};
}

bool coversEveryEntry(const RuleOptions& rule) {
  return std::visit([](const auto& o) { return !Rules::RuleOf<std::decay_t<decltype(o)>>::takesCount; },
                    rule);
}

void setCleanup(RuleOptions& rule, const NameCleanup& cleanup) {
  std::visit(
      [&](auto& o) {
        if constexpr (requires { o.cleanup; }) o.cleanup = cleanup;
      },
      rule);
}

}  // namespace qorin::rules
