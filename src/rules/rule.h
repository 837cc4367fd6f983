// The rule of the selected tab, as one value, and its dispatch.
#pragma once

#include <variant>

#include "filelist/file_list.h"
#include "rules/case_rule.h"
#include "rules/general_rule.h"
#include "rules/insert_rule.h"
#include "rules/mp3_rule.h"
#include "rules/replace_rule.h"

namespace qorin::rules {

using RuleOptions = std::variant<GeneralOptions, ReplaceOptions, InsertOptions, CaseOptions, Mp3Options>;

// Writes the proposals of entries 0..n-1; the MP3 rule covers every entry.
void applyRule(filelist::FileList& list, int n, const RuleOptions& rule);

// True for a rule whose preview always covers the whole list (the MP3 rule:
// it also writes the tag status of every row).
bool coversEveryEntry(const RuleOptions& rule);

}  // namespace qorin::rules
