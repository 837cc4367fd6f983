// SPDX-License-Identifier: GPL-3.0-or-later
// The tabs of the registered rules. A new rule's tab is its header and one
// entry in Tabs; each tab stands where its rule stands in rules/rule.h.
#include <array>
#include <memory>

#include "rules/gui/case_tab.h"
#include "rules/gui/date_tab.h"
#include "rules/gui/general_tab.h"
#include "rules/gui/insert_tab.h"
#include "rules/gui/mp3_tab.h"
#include "rules/gui/replace_tab.h"
#include "rules/gui/rule_tab.h"

namespace qorin::rules {

namespace {

template <class... T>
struct TabList {
  static_assert(sizeof...(T) == kRuleCount, "every registered rule has one tab");
  static_assert(((kRuleIndex<typename T::Options> >= 0) && ...), "every tab's rule is registered");

  static constexpr bool eachRuleOnce() {
    const int at[] = {kRuleIndex<typename T::Options>...};
    for (int i = 0; i < kRuleCount; ++i)
      for (int j = 0; j < i; ++j)
        if (at[i] == at[j]) return false;
    return true;
  }
  static_assert(eachRuleOnce(), "no two tabs show one rule");

  static std::array<std::unique_ptr<RuleTab>, kRuleCount> make() {
    std::array<std::unique_ptr<RuleTab>, kRuleCount> tabs;
    ((tabs[static_cast<std::size_t>(kRuleIndex<typename T::Options>)] = std::make_unique<T>()), ...);
    return tabs;
  }
};

using Tabs = TabList<GeneralTab,  // 常规
                     ReplaceTab,  // 替换/删除
                     InsertTab,   // 插入
                     CaseTab,     // 大小写
                     Mp3Tab,      // MP3标签
                     DateTab>;    // 日期

}  // namespace

std::array<std::unique_ptr<RuleTab>, kRuleCount> makeRuleTabs() { return Tabs::make(); }

}  // namespace qorin::rules
