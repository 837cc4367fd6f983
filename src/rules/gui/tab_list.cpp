// SPDX-License-Identifier: GPL-3.0-or-later
// The tabs of the registered rules, in the registration's order: each rule's
// tab is found by its options (TabOf, in the tab's header).
#include <array>
#include <memory>
#include <utility>
#include <variant>

#include "rules/all_tabs.h"
#include "rules/gui/rule_tab.h"

namespace qorin::rules {

namespace {

template <std::size_t... I>
std::array<std::unique_ptr<RuleTab>, kRuleCount> make(std::index_sequence<I...>) {
  return {std::make_unique<typename TabOf<std::variant_alternative_t<I, RuleOptions>>::Tab>()...};
}

}  // namespace

std::array<std::unique_ptr<RuleTab>, kRuleCount> makeRuleTabs() {
  return make(std::make_index_sequence<kRuleCount>());
}

}  // namespace qorin::rules
