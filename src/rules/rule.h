// The five rules behind one type: whichever the user picked, the caller runs
// it the same way.
#pragma once

#include <variant>

#include "filelist/file_list.h"
#include "rules/case_rule.h"
#include "rules/general_rule.h"
#include "rules/insert_rule.h"
#include "rules/mp3_rule.h"
#include "rules/replace_rule.h"

namespace qorin::rules {

// One rule with its options; the alternatives stand in tab order.
using RuleOptions = std::variant<GeneralOptions, ReplaceOptions, InsertOptions, CaseOptions, Mp3Options>;

// Writes the proposals (newName) of entries 0..n-1, n clamped to the list.
// The MP3 rule always names every entry, whatever n is.
void applyRule(filelist::FileList& list, int n, const RuleOptions& rule);

// Gives the rules that clean up names (替换非法字符, 音轨号补零) the 选项
// menu's switches; the others have none.
void setCleanup(RuleOptions& rule, const NameCleanup& cleanup);

// The rule names every entry on each run, so a preview of it covers all.
bool coversEveryEntry(const RuleOptions& rule);

}  // namespace qorin::rules
