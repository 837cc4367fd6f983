// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line asks for: the paths to list, the one rule to apply,
// the order, and whether to plan, rename or undo.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rule.h"
#include "session/sort_key.h"

namespace qorin::cli {

enum class Mode { Plan, Execute, Undo, Forget };
using session::SortKey;

struct CliRun {
  Mode mode = Mode::Plan;
  bool json = false;
  bool recursive = false;
  bool hidden = false;
  bool reverse = false;
  bool wait = false;  // for a folder another pass holds, instead of ending at once
  std::optional<SortKey> sort;
  std::optional<rules::RuleOptions> rule;
  std::vector<std::string> paths;  // as the system gave them
  // Files that list more paths ("-": standard input), one a line or, with
  // `nul`, each ended by a NUL.
  std::vector<std::string> lists;
  bool nul = false;
  // Globs over the file names (code-page text): the listed files kept.
  std::vector<std::string> include, exclude;
  int maxDepth = -1;  // levels of sub-folders with -r; -1: all
};

enum class Parsed { Run, Help, Version, Usage };

// Texts of option values in the locale's encoding, turned into code-page
// text; nothing when they cannot be.
using ToText = std::function<std::optional<std::string>(std::string_view)>;

// The preset saved under a name (code-page text), nothing when there is none.
using FindPreset = std::function<std::optional<rules::RuleOptions>(const std::string& name)>;

// `args` without the program's name. On Usage, `error` is one line saying
// what is wrong (code-page text).
Parsed parseArguments(const std::vector<std::string>& args, const ToText& toText, CliRun& run,
                      std::string& error, const FindPreset& findPreset = {});

// The --help text (code-page text).
std::string helpText();

}  // namespace qorin::cli
