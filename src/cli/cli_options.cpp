// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <span>
#include <utility>
#include <variant>

#include "cli/cli_docs.h"
#include "text/gbtext.h"

namespace qorin::cli {

namespace {

using text::gb;

std::optional<long long> number(std::string_view s) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// The value named `s` among an option's words.
template <class T>
std::optional<T> oneOf(std::string_view s, std::initializer_list<std::pair<std::string_view, T>> words) {
  for (const auto& [word, value] : words)
    if (s == word) return value;
  return std::nullopt;
}

std::optional<SortKey> sortKey(std::string_view s) {
  using K = SortKey;
  return oneOf<K>(s, {{"name", K::Name}, {"mtime", K::Modified}, {"taken", K::Taken}, {"size", K::Size}});
}

// A rule's option as the command line offers it.
struct RuleOption {
  int rule;
  int field;
  std::string_view option;
  rules::Takes takes;
  bool takesValue;
  bool namesRule;
};

std::vector<RuleOption> ruleOptions() {
  std::vector<RuleOption> out;
  for (int r = 0; r < rules::kRuleCount; ++r)
    std::visit(
        [&](const auto& o) {
          using O = std::decay_t<decltype(o)>;
          const auto& fields = rules::RuleFields<O>::fields;
          for (std::size_t i = 0; i < fields.size(); ++i) {
            const rules::Field<O>& f = fields[i];
            if (f.option.empty()) continue;
            const bool value = f.takes != rules::Takes::Nothing && f.kind != rules::FieldKind::Flag;
            out.push_back({r, static_cast<int>(i), f.option, f.takes, value, f.namesRule});
          }
        },
        rules::ruleAt(r));
  return out;
}

// "a、b 或 c"
std::string wordList(std::span<const rules::Choice> choices) {
  std::vector<std::string_view> words;
  for (const rules::Choice& c : choices)
    if (!c.word.empty()) words.push_back(c.word);
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += i + 1 == words.size() ? gb(" 或 ") : gb("、");
    out += words[i];
  }
  return out;
}

// One given option of a rule, with its values (code-page text).
struct Given {
  RuleOption option;
  std::vector<std::string> values;
};

template <class O>
std::string apply(O& o, const Given& g) {
  const rules::Field<O>& f = rules::RuleFields<O>::fields[static_cast<std::size_t>(g.option.field)];
  if (f.parse) return f.parse(o, g.values);
  switch (f.kind) {
    case rules::FieldKind::Text:
      o.*f.text = g.values.front();
      return {};
    case rules::FieldKind::Flag:
      o.*f.flag = true;
      return {};
    case rules::FieldKind::Choice:
      if (f.takes == rules::Takes::Nothing) {
        f.set(o, f.sets);
        return {};
      }
      for (const rules::Choice& c : f.choices)
        if (!c.word.empty() && c.word == g.values.front()) {
          f.set(o, c.value);
          return {};
        }
      return std::string(f.option) + gb(" 只能是 ") + wordList(f.choices);
  }
  return {};
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, const ToText& toText, const FindPreset& findPreset,
         CliRun& run, std::string& error)
      : args_(args), toText_(toText), run_(run), error_(error), findPreset_(findPreset) {}

  Parsed parse() {
    bool onlyPaths = false;
    for (i_ = 0; i_ < args_.size(); ++i_) {
      const std::string& arg = args_[i_];
      if (arg == "-" && !onlyPaths) {
        run_.lists.push_back(arg);  // the paths come on standard input
        continue;
      }
      if (onlyPaths || !looksLikeOption(arg)) {
        run_.paths.push_back(arg);
        continue;
      }
      if (arg == "--") {
        onlyPaths = true;
        continue;
      }
      // --option=VALUE: the value is whatever follows, a leading '-' included.
      const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
      const std::string a = arg.substr(0, eq);
      inline_.reset();
      if (eq != std::string::npos) inline_ = arg.substr(eq + 1);
      if (a == "-h" || a == "--help") return Parsed::Help;
      if (a == "--version") return Parsed::Version;
      if (!option(a)) return Parsed::Usage;
      if (inline_) {
        fail(a + gb(" 不带值"));
        return Parsed::Usage;
      }
    }
    return finish() ? Parsed::Run : Parsed::Usage;
  }

 private:
  bool fail(const std::string& what) {
    if (error_.empty()) error_ = what;
    return false;
  }

  static bool looksLikeOption(std::string_view a) { return a.size() > 1 && a[0] == '-'; }

  // The option's value as code-page text: the one given with "=", or the next
  // argument unless that looks like an option (never taken silently).
  std::optional<std::string> rawValue(const std::string& option) {
    if (inline_) {
      std::string given = std::move(*inline_);
      inline_.reset();
      return given;
    }
    if (i_ + 1 >= args_.size()) {
      fail(option + gb(" 后面缺少值"));
      return std::nullopt;
    }
    const std::string& given = args_[i_ + 1];
    if (looksLikeOption(given)) {
      fail(option + gb(" 后面的 ") + textOf(given) + gb(" 像一个选项；它若是值，写成 ") + option + "=" +
           textOf(given));
      return std::nullopt;
    }
    return args_[++i_];
  }

  std::optional<std::string> value(const std::string& option) {
    const auto given = rawValue(option);
    if (!given) return std::nullopt;
    auto t = toText_(*given);
    if (!t) fail(option + gb(" 的值无法转换为文字"));
    return t;
  }

  std::string textOf(const std::string& arg) const { return toText_(arg).value_or(arg); }

  bool option(const std::string& a) {
    if (a == "-0") return run_.nul = true;
    if (a == "-x" || a == "--execute") return setMode(Mode::Execute);
    if (a == "--undo") return setMode(Mode::Undo);
    if (a == "--forget") return setMode(Mode::Forget);
    if (a == "--json") return run_.json = true;
    if (a == "-r" || a == "--recursive") return run_.recursive = true;
    if (a == "--hidden") return run_.hidden = true;
    if (a == "--reverse") return run_.reverse = true;
    if (a == "--wait") return run_.wait = true;
    for (const RuleOption& r : ruleOptions_)
      if (a == r.option) return ruleOption(a, r);
    if (a == "--preset") return preset(a);
    return optionWithValue(a);
  }

  bool setMode(Mode m) {
    if (run_.mode != Mode::Plan && run_.mode != m) return fail(gb("-x、--undo 和 --forget 只能用一个"));
    run_.mode = m;
    return true;
  }

  bool ruleOption(const std::string& a, const RuleOption& r) {
    Given g{r, {}};
    if (r.takesValue) {
      const auto v = value(a);
      if (!v) return false;
      g.values.push_back(*v);
    }
    if (r.takes == rules::Takes::Two) {
      // A second value that looks like an option goes as --with=TEXT.
      if (i_ + 1 < args_.size() && args_[i_ + 1].rfind("--with=", 0) == 0) inline_ = args_[++i_].substr(7);
      const auto second = value(a);
      if (!second) return false;
      g.values.push_back(*second);
    }
    if (r.namesRule && !nameRule(a, r.rule)) return false;
    given_.push_back(std::move(g));
    return true;
  }

  bool nameRule(const std::string& option, int rule) {
    if (rule_ >= 0) return fail(gb("只能指定一个规则：") + option);
    rule_ = rule;
    return true;
  }

  // --preset NAME: a preset saved in the window, as the rule.
  bool preset(const std::string& a) {
    const auto name = value(a);
    if (!name) return false;
    const std::optional<rules::RuleOptions> saved = findPreset_ ? findPreset_(*name) : std::nullopt;
    if (!saved) return fail(gb("没有名为“") + *name + gb("”的方案"));
    if (!nameRule(a, static_cast<int>(saved->index()))) return false;
    preset_ = saved;
    return true;
  }

  bool optionWithValue(const std::string& a) {
    if (a == "--from") {
      const auto path = rawValue(a);  // a path, as the system gave it
      if (path) run_.lists.push_back(*path);
      return path.has_value();
    }
    if (a != "--include" && a != "--exclude" && a != "--max-depth" && a != "--sort")
      return fail(gb("未知选项：") + textOf(a));
    const auto v = value(a);
    if (!v) return false;
    if (a == "--include" || a == "--exclude") {
      (a == "--include" ? run_.include : run_.exclude).push_back(*v);
      return true;
    }
    if (a == "--max-depth") {
      const auto depth = number(*v);
      if (!depth || *depth < 0 || *depth > 100000) return fail(gb("--max-depth 只能是 0 或更大的数字"));
      run_.maxDepth = static_cast<int>(*depth);
      return true;
    }
    run_.sort = sortKey(*v);
    return run_.sort || fail(gb("--sort 只能是 name、mtime、taken 或 size"));
  }

  // The named rule from its options: the one naming it first, then its
  // modifiers in the order given.
  bool makeRule() {
    rules::RuleOptions rule = preset_ ? *preset_ : rules::ruleAt(rule_);
    if (!preset_)
      std::visit(
          [](auto& o) {
            using F = rules::RuleFields<std::decay_t<decltype(o)>>;
            if constexpr (requires { F::commandLine(); }) o = F::commandLine();
          },
          rule);
    std::stable_partition(given_.begin(), given_.end(), [](const Given& g) { return g.option.namesRule; });
    for (Given& g : given_) {
      // Rules may share a spelling (--on): it is the named rule's option.
      if (g.option.rule != rule_)
        for (const RuleOption& r : ruleOptions_)
          if (r.rule == rule_ && r.option == g.option.option && r.takes == g.option.takes) g.option = r;
      if (g.option.rule != rule_) return fail(std::string(g.option.option) + gb(" 不属于所给的规则"));
      const std::string error = std::visit([&](auto& o) { return apply(o, g); }, rule);
      if (!error.empty()) return fail(error);
    }
    // A rule that cannot run is the caller's mistake, told before anything is listed.
    const std::string error = rules::ruleError(rule);
    if (!error.empty()) return fail(error);
    run_.rule = std::move(rule);
    return true;
  }

  bool finish() {
    if (run_.wait && run_.mode == Mode::Plan) return fail(gb("--wait 只能与 -x 或 --undo 同用"));
    if (run_.maxDepth >= 0 && !run_.recursive) return fail(gb("--max-depth 只能与 -r 同用"));
    const bool anyRule = rule_ >= 0 || !given_.empty();
    if (run_.mode == Mode::Undo) return !anyRule || fail(gb("--undo 不用规则"));
    if (run_.mode == Mode::Forget) {
      if (anyRule || !run_.paths.empty() || !run_.lists.empty()) return fail(gb("--forget 不用规则和路径"));
      return true;
    }
    if (rule_ < 0 && !given_.empty())
      return fail(std::string(given_.front().option.option) + gb(" 不属于所给的规则"));
    if (run_.paths.empty() && run_.lists.empty()) return fail(gb("没有给出文件或文件夹"));
    if (rule_ < 0) return fail(gb("没有给出规则（") + ruleNames() + gb("）"));
    return makeRule();
  }

  std::string ruleNames() const {
    std::string out;
    for (const RuleOption& r : ruleOptions_)
      if (r.namesRule) out += (out.empty() ? "" : gb("、")) + std::string(r.option);
    return out + gb("、--preset");
  }

  const std::vector<std::string>& args_;
  const ToText& toText_;
  CliRun& run_;
  std::string& error_;
  const FindPreset& findPreset_;
  const std::vector<RuleOption> ruleOptions_ = ruleOptions();
  std::vector<Given> given_;
  int rule_ = -1;
  std::optional<rules::RuleOptions> preset_;
  std::size_t i_ = 0;
  std::optional<std::string> inline_;  // the value given with "=", not taken yet
};

}  // namespace

Parsed parseArguments(const std::vector<std::string>& args, const ToText& toText, CliRun& run,
                      std::string& error, const FindPreset& findPreset) {
  error.clear();
  return Parser(args, toText, findPreset, run, error).parse();
}

std::string rulesHelp() {
  std::string out = "规则（只能选一个）：\n";
  const auto line = [](const OptionText& o) {
    return std::string(o.option) + (o.valueName.zh.empty() ? "" : " " + std::string(o.valueName.zh));
  };
  for (const RuleText& rule : ruleTexts()) {
    out += "  " + line(rule.options.front()) + "\n      " + std::string(rule.about.zh) + "\n";
    for (std::size_t i = 1; i < rule.options.size(); ++i)
      out += "      " + line(rule.options[i]) + "  " + std::string(rule.options[i].help.zh) + "\n";
  }
  out += "  --preset 名称             用窗口里保存的方案（其规则的选项可以再改）\n";
  return gb(out);
}

std::string helpText() {
  return gb("用法：qorin-cli [选项] 路径…\n"
            "列出文件（文件夹里的文件按自然顺序），用一个规则给出新文件名。默认只显示计划，不改动任何文件。\n"
            "以 - 开头的值写成 --选项=值（如 --number=-5,1,2）；以 - 开头的路径放在 -- 之后。\n"
            "\n") +
         rulesHelp() +
         gb("\n"
            "列表：\n"
            "  -r, --recursive   包含子文件夹      --hidden   包含隐藏文件\n"
            "  --max-depth N     与 -r 同用：最多列出 N 层子文件夹\n"
            "  --include 通配符  只要文件名相符的文件（可给多次）\n"
            "  --exclude 通配符  不要文件名相符的文件（可给多次；* ? [abc]）\n"
            "  --from 文件       从文件读路径，每行一个；路径写成 - 时从标准输入读\n"
            "  -0                路径列表以 NUL 分隔（配合 find -print0）\n"
            "  --sort name|mtime|taken|size        --reverse  倒序\n"
            "同一个文件只列出一次。\n"
            "\n"
            "执行：\n"
            "  -x, --execute     按计划更名（记录与窗口共用，可以撤消）\n"
            "  --undo            撤消最近一次已结束的更名（命令行或已关闭的窗口），列出每个恢复的文件；\n"
            "                    再用一次撤消更早的一次，最近 20 次更名都可以撤消\n"
            "  --forget          忘记最近一次更名（例如其中的文件已不在），之后 --undo 撤消更早的一次\n"
            "  --wait            另一个更名正在同一文件夹里进行时等它结束，而不是立即退出\n"
            "  --json            以 JSON 输出每一行：folder、old、new、status、reason、note\n"
            "  -h, --help        显示本说明      --version  显示版本\n"
            "\n"
            "在终端上运行超过一秒时，标准错误上显示进度；输出到终端时用颜色（设置了 NO_COLOR 则不用）。\n"
            "文件名中的换行等控制字符显示为 \\n、\\t、\\xHH，反斜杠显示为 \\\\。\n"
            "\n"
            "Ctrl+C 随时停止：列出、读取文件、做计划时停止则不改动任何文件；更名时做完手头的文件后停止，\n"
            "已改的可以撤消。\n"
            "\n"
            "退出状态：0 全部成功（或计划没有冲突），1 有文件失败或将失败，2 用法错误，\n"
            "130/143 被 Ctrl+C（SIGINT）/SIGTERM 停止。\n");
}

}  // namespace qorin::cli
