// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_docs.h"

#include <variant>

namespace qorin::cli {

std::vector<RuleText> ruleTexts() {
  std::vector<RuleText> out;
  for (int r = 0; r < rules::kRuleCount; ++r)
    std::visit(
        [&](const auto& o) {
          using O = std::decay_t<decltype(o)>;
          using F = rules::RuleFields<O>;
          RuleText rule{F::about, {}};
          for (const rules::Field<O>& f : F::fields) {
            if (f.option.empty()) continue;
            OptionText t{f.option, f.valueName, f.help, {}, false, f.takes == rules::Takes::Two};
            t.takesValue = f.takes != rules::Takes::Nothing && f.kind != rules::FieldKind::Flag;
            if (f.kind == rules::FieldKind::Choice && t.takesValue)
              for (const rules::Choice& c : f.choices)
                if (!c.word.empty()) t.words.push_back(c.word);
            // The option naming the rule goes first.
            rule.options.insert(f.namesRule ? rule.options.begin() : rule.options.end(), std::move(t));
          }
          out.push_back(std::move(rule));
        },
        rules::ruleAt(r));
  return out;
}

namespace {

// Roff text: a backslash and a minus escaped, a line never starting a request.
std::string roff(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string optionLine(const OptionText& o, bool chinese) {
  const std::string_view value = chinese ? o.valueName.zh : o.valueName.en;
  if (value.empty()) return ".B " + roff(o.option) + "\n";
  return ".BI " + roff(o.option) + " \" " + roff(value) + "\"\n";
}

}  // namespace

std::string manualRules(bool chinese) {
  std::string out = chinese ? ".SS 规则（选一条）\n" : ".SS \"Rules (give one)\"\n";
  for (const RuleText& rule : ruleTexts()) {
    const OptionText& first = rule.options.front();
    out += ".TP\n" + optionLine(first, chinese) + roff(chinese ? rule.about.zh : rule.about.en) +
           (chinese ? "。\n" : ".\n");
    if (rule.options.size() == 1) continue;
    out += ".RS\n";
    for (std::size_t i = 1; i < rule.options.size(); ++i) {
      const OptionText& o = rule.options[i];
      out += ".TP\n" + optionLine(o, chinese) + roff(chinese ? o.help.zh : o.help.en) +
             (chinese ? "。\n" : ".\n");
    }
    out += ".RE\n";
  }
  out += ".TP\n";
  out += chinese
             ? ".BI \\-\\-preset \" 名称\"\n用窗口里以这个名称保存的方案；其规则的选项可以在后面再改。\n"
             : ".BI \\-\\-preset \" NAME\"\nUse the rule saved in the window as the preset NAME; options of "
               "its rule given as well change it.\n";
  return out;
}

std::string withRules(std::string page, bool chinese) {
  const std::string marker = "@RULES@\n";
  const auto at = page.find(marker);
  if (at != std::string::npos) page.replace(at, marker.size(), manualRules(chinese));
  return page;
}

std::string bashCompletion() {
  std::string words, texts, choices, options;
  for (const RuleText& rule : ruleTexts())
    for (const OptionText& o : rule.options) {
      options += " " + std::string(o.option);
      if (!o.words.empty()) {
        std::string list;
        for (std::string_view w : o.words) list += (list.empty() ? "" : " ") + std::string(w);
        choices += "    " + std::string(o.option) + ") mapfile -t COMPREPLY < <(compgen -W \"" + list +
                   "\" -- \"$cur\"); return ;;\n";
      } else if (o.takesValue) {
        texts += " | " + std::string(o.option);
      }
      if (o.takesTwo) words += std::string(words.empty() ? "" : " | ") + std::string(o.option);
    }
  std::string out =
      "# SPDX-License-Identifier: GPL-3.0-or-later\n"
      "# bash completion for qorin-cli (made from its rules when it is built)\n"
      "\n"
      "_qorin_cli() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]}\n"
      "  local prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  local before=\"\"\n"
      "  [ \"$COMP_CWORD\" -ge 2 ] && before=${COMP_WORDS[COMP_CWORD - 2]}\n"
      "  COMPREPLY=()\n"
      "\n"
      "  case $prev in\n"
      "    --sort) mapfile -t COMPREPLY < <(compgen -W \"name mtime taken size\" -- \"$cur\"); return ;;\n"
      "    --at) mapfile -t COMPREPLY < <(compgen -W \"end\" -- \"$cur\"); return ;;\n" +
      choices +
      "    --from) compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- \"$cur\"); "
      "return ;;\n"
      "    # Texts of the user's own.\n"
      "    --max-depth | --include | --exclude | --preset" +
      texts +
      ") return ;;\n"
      "  esac\n";
  if (!words.empty())
    out += "  # The second text of an option that takes two.\n  case $before in\n    " + words +
           ") return ;;\n  esac\n";
  out +=
      "\n"
      "  if [[ $cur == -* ]]; then\n"
      "    mapfile -t COMPREPLY < <(compgen -W \"-r --recursive --hidden --max-depth\n"
      "      --include --exclude --from -0" +
      options +
      " --with= --preset\n"
      "      --sort --reverse\n"
      "      -x --execute --undo --forget --wait --json --help --version\" -- \"$cur\")\n"
      "    return\n"
      "  fi\n"
      "  if declare -F _filedir >/dev/null; then\n"
      "    _filedir\n"
      "  else\n"
      "    compopt -o filenames 2>/dev/null\n"
      "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
      "  fi\n"
      "}\n"
      "complete -F _qorin_cli qorin-cli\n";
  return out;
}

}  // namespace qorin::cli
