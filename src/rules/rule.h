// SPDX-License-Identifier: GPL-3.0-or-later
// The rules the program offers, registered once. The options variant, the
// dispatch, the tabs (rules/gui/tab_list.cpp) and their order, and each
// rule's key are all made from this list.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filelist/file_list.h"
#include "rules/case_rule.h"
#include "rules/convert_rule.h"
#include "rules/date_rule.h"
#include "rules/general_rule.h"
#include "rules/insert_rule.h"
#include "rules/mp3_rule.h"
#include "rules/replace_rule.h"
#include "rules/rule_fields.h"
#include "rules/rule_list.h"

namespace qorin::rules {

// In tab order of 选择夹. A new rule is its header above and one line here;
// its tab is one line in rules/gui/tab_list.cpp.
using Rules = RuleList<Rule<GeneralOptions, generalRule, "general">,   // 常规
                       Rule<ReplaceOptions, replaceRule, "replace">,   // 替换/删除
                       Rule<InsertOptions, insertRule, "insert">,      // 插入
                       Rule<CaseOptions, caseRule, "case">,            // 大小写
                       Rule<Mp3Options, mp3Rule, "mp3">,               // MP3标签
                       Rule<DateOptions, dateRule, "date">,            // 日期
                       Rule<ConvertOptions, convertRule, "convert">>;  // 转换
static_assert(Rules::distinct(), "each rule has options of its own and a key of its own");

// One rule with its options; the alternatives stand in tab order.
using RuleOptions = Rules::Options;

inline constexpr int kRuleCount = Rules::size;

// The position of the rule with options O in the list, which is its tab's
// index in 选择夹.
template <class O>
inline constexpr int kRuleIndex = Rules::indexOf<O>();

// The stable key of the rule at `index` of the list.
constexpr std::string_view ruleKey(int index) { return Rules::keys.at(static_cast<std::size_t>(index)); }

// A rule's fields as they are kept between runs and in presets, in code
// page: each field's key and its value as text (a flag, and each radio
// button of a choice, 开 or 关; a drop-down list its item).
using FieldValues = std::vector<std::pair<std::string, std::string>>;

// The options of the rule at `index` as they start; -1 for an unknown key.
RuleOptions ruleAt(int index);
int ruleIndex(std::string_view key);

FieldValues keptFields(const RuleOptions& rule);
// The kept values put over `rule`; a key it lacks, or a value it cannot
// take, leaves the field as it was.
void putKept(RuleOptions& rule, const FieldValues& values);

// The kept texts of a flag.
std::string keptOn();
std::string keptOff();

// Writes the proposals (newName) of entries 0..n-1, n clamped to the list.
// A rule that covers every entry names all, whatever n is. A rule that reads
// files reads them with `reading`'s workers and asks its stop before each;
// false: it was stopped, and the rows it did not reach fail with
// ListCode::Stopped.
bool applyRule(filelist::FileList& list, int n, const RuleOptions& rule, const Reading& reading = {});

// Gives the rules that clean up names (替换非法字符, 音轨号补零) the 选项
// menu's switches; the others have none.
void setCleanup(RuleOptions& rule, const NameCleanup& cleanup);

// Why the rule cannot run as it stands (code-page text for the user), empty
// when it can. A rule that cannot run proposes nothing and renames nothing.
std::string ruleError(const RuleOptions& rule);

// The rule names every entry on each run, so a preview of it covers all.
bool coversEveryEntry(const RuleOptions& rule);

}  // namespace qorin::rules
