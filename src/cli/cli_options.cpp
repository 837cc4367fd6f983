// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <charconv>
#include <initializer_list>
#include <utility>

#include "text/gbtext.h"

namespace qorin::cli {

namespace {

using text::gb;

enum class RuleKind { None, Number, Replace, Insert, Case, Tags, Date };

// The options of every rule as they come; the one named picks its own.
struct Collected {
  RuleKind rule = RuleKind::None;
  rules::GeneralOptions number;
  rules::ReplaceOptions replace;
  rules::InsertOptions insert;
  rules::CaseOptions letters{rules::CaseChoice::AllUpper, rules::CaseChoice::Keep};
  bool extCase = false;
  rules::Mp3Options tags;
  rules::DateOptions date;
  // A modifier with the rule it belongs to, to refuse one without its rule.
  std::vector<std::pair<std::string, RuleKind>> modifiers;
};

std::optional<long long> number(std::string_view s) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// "START,STEP,DIGITS", the last two may be left out.
bool numbering(std::string_view s, rules::GeneralOptions& o) {
  std::string* parts[] = {&o.start, &o.increment, &o.nameDigits};
  for (std::string* part : parts) {
    const auto comma = s.find(',');
    const std::string_view piece = s.substr(0, comma);
    if (!number(piece)) return false;
    *part = std::string(piece);
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
  return false;  // more than three
}

// The value named `s` among an option's words.
template <class T>
std::optional<T> oneOf(std::string_view s, std::initializer_list<std::pair<std::string_view, T>> words) {
  for (const auto& [word, value] : words)
    if (s == word) return value;
  return std::nullopt;
}

std::optional<rules::CaseChoice> caseChoice(std::string_view s) {
  using C = rules::CaseChoice;
  return oneOf<C>(s, {{"upper", C::AllUpper},
                      {"lower", C::AllLower},
                      {"title", C::FirstUpper},
                      {"lower-first", C::FirstLower}});
}

std::optional<rules::ReplaceScope> scope(std::string_view s) {
  using R = rules::ReplaceScope;
  return oneOf<R>(s, {{"name", R::Name}, {"ext", R::Extension}, {"all", R::All}});
}

std::optional<SortKey> sortKey(std::string_view s) {
  using K = SortKey;
  return oneOf<K>(s, {{"name", K::Name}, {"mtime", K::Modified}, {"taken", K::Taken}, {"size", K::Size}});
}

std::optional<rules::DateSource> dateSource(std::string_view s) {
  using D = rules::DateSource;
  return oneOf<D>(s, {{"mtime", D::Modified}, {"exif", D::Taken}, {"birth", D::Created}});
}

std::optional<rules::DatePlace> datePlace(std::string_view s) {
  using P = rules::DatePlace;
  return oneOf<P>(s, {{"replace", P::Replace}, {"prefix", P::Before}, {"suffix", P::After}});
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, const ToText& toText, CliRun& run, std::string& error)
      : args_(args), toText_(toText), run_(run), error_(error) {}

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

  bool chooseRule(const std::string& option, RuleKind kind) {
    if (c_.rule != RuleKind::None) return fail(gb("只能指定一个规则：") + option);
    c_.rule = kind;
    return true;
  }

  bool modifier(const std::string& option, RuleKind kind) {
    c_.modifiers.emplace_back(option, kind);
    return true;
  }

  bool option(const std::string& a) {
    if (a == "-0") return run_.nul = true;
    if (a == "-x" || a == "--execute") return setMode(Mode::Execute, a);
    if (a == "--undo") return setMode(Mode::Undo, a);
    if (a == "--forget") return setMode(Mode::Forget, a);
    if (a == "--json") return run_.json = true;
    if (a == "-r" || a == "--recursive") return run_.recursive = true;
    if (a == "--hidden") return run_.hidden = true;
    if (a == "--reverse") return run_.reverse = true;
    if (a == "--wait") return run_.wait = true;
    if (a == "--regex") return (c_.replace.regex = true) && modifier(a, RuleKind::Replace);
    if (a == "--case-sensitive") return (c_.replace.matchCase = true) && modifier(a, RuleKind::Replace);
    if (a == "--ext-case") return (c_.extCase = true) && modifier(a, RuleKind::Case);
    if (a == "--v1-first") {
      c_.tags.priority = rules::TagPriority::V1First;
      return modifier(a, RuleKind::Tags);
    }
    return optionWithValue(a);
  }

  bool setMode(Mode m, const std::string& a) {
    if (run_.mode != Mode::Plan && run_.mode != m) return fail(gb("-x、--undo 和 --forget 只能用一个"));
    run_.mode = m;
    (void)a;
    return true;
  }

  bool optionWithValue(const std::string& a) {
    using K = RuleKind;
    std::string* text = nullptr;
    K kind = K::None;
    if (a == "--prefix") text = &c_.number.namePrefix, kind = K::Number;
    if (a == "--name") text = &c_.number.nameText, kind = K::Number;
    if (a == "--suffix") text = &c_.number.nameSuffix, kind = K::Number;
    if (a == "--ext") text = &c_.number.extText, kind = K::Number;
    if (a == "--ext-text") text = &c_.insert.extText, kind = K::Insert;
    if (a == "--date-sep") text = &c_.date.separator, kind = K::Date;
    if (text) {
      const auto v = value(a);
      if (!v) return false;
      *text = *v;
      return modifier(a, kind);
    }
    if (a == "--from") {
      const auto path = rawValue(a);  // a path, as the system gave it
      if (path) run_.lists.push_back(*path);
      return path.has_value();
    }
    if (a == "--number" || a == "--replace" || a == "--insert" || a == "--case" || a == "--tags" ||
        a == "--date")
      return ruleOption(a);
    const auto v = value(a);
    if (!v) return false;
    if (a == "--on") {
      const auto s = scope(*v);
      if (!s) return fail(gb("--on 只能是 name、ext 或 all"));
      c_.replace.scope = *s;
      return modifier(a, K::Replace);
    }
    if (a == "--at") {
      const auto at = number(*v);
      if (*v != "end" && !at) return fail(gb("--at 只能是位置数字或 end"));
      if (at && *at < 1) return fail(gb("--at 的位置从 1 数起，不能是 ") + *v);
      c_.insert.nameAt = *v == "end" ? rules::InsertAt::End : rules::InsertAt::Position;
      if (*v != "end") c_.insert.namePosition = *v;
      return modifier(a, K::Insert);
    }
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
    if (a == "--sort") {
      run_.sort = sortKey(*v);
      return run_.sort || fail(gb("--sort 只能是 name、mtime、taken 或 size"));
    }
    if (a == "--date-source") {
      const auto d = dateSource(*v);
      if (!d) return fail(gb("--date-source 只能是 mtime、exif 或 birth"));
      c_.date.source = *d;
      return modifier(a, K::Date);
    }
    if (a == "--date-place") {
      const auto p = datePlace(*v);
      if (!p) return fail(gb("--date-place 只能是 replace、prefix 或 suffix"));
      c_.date.place = *p;
      return modifier(a, K::Date);
    }
    return fail(gb("未知选项：") + textOf(a));
  }

  bool ruleOption(const std::string& a) {
    const auto v = value(a);
    if (!v) return false;
    if (a == "--number") {
      if (!numbering(*v, c_.number)) return fail(gb("--number 的格式是 起始,增量,位数"));
      return chooseRule(a, RuleKind::Number);
    }
    if (a == "--replace") {
      c_.replace.search = *v;
      // A replacement that looks like an option goes as --with=TEXT.
      if (i_ + 1 < args_.size() && args_[i_ + 1].rfind("--with=", 0) == 0) inline_ = args_[++i_].substr(7);
      const auto r = value(a);
      if (!r) return false;
      c_.replace.replacement = *r;
      return chooseRule(a, RuleKind::Replace);
    }
    if (a == "--insert") {
      c_.insert.nameText = *v;
      return chooseRule(a, RuleKind::Insert);
    }
    if (a == "--case") {
      const auto choice = caseChoice(*v);
      if (!choice) return fail(gb("--case 只能是 upper、lower、title 或 lower-first"));
      c_.letters.name = *choice;
      return chooseRule(a, RuleKind::Case);
    }
    if (a == "--date") {
      c_.date.format = *v;
      return chooseRule(a, RuleKind::Date);
    }
    c_.tags.rule = *v;
    return chooseRule(a, RuleKind::Tags);
  }

  bool finish() {
    for (const auto& [option, kind] : c_.modifiers)
      if (kind != c_.rule) return fail(option + gb(" 不属于所给的规则"));
    if (run_.wait && run_.mode == Mode::Plan) return fail(gb("--wait 只能与 -x 或 --undo 同用"));
    if (run_.maxDepth >= 0 && !run_.recursive) return fail(gb("--max-depth 只能与 -r 同用"));
    if (run_.mode == Mode::Undo) {
      if (c_.rule != RuleKind::None) return fail(gb("--undo 不用规则"));
      return true;
    }
    if (run_.mode == Mode::Forget) {
      if (c_.rule != RuleKind::None || !run_.paths.empty() || !run_.lists.empty())
        return fail(gb("--forget 不用规则和路径"));
      return true;
    }
    if (run_.paths.empty() && run_.lists.empty()) return fail(gb("没有给出文件或文件夹"));
    switch (c_.rule) {
      case RuleKind::None:
        return fail(gb("没有给出规则（--number、--replace、--insert、--case、--tags、--date）"));
      case RuleKind::Number:
        if (!c_.number.extText.empty()) {
          c_.number.scope = rules::GeneralScope::All;
          c_.number.extDigits.clear();  // the new extension without a number
        }
        run_.rule = c_.number;
        break;
      case RuleKind::Replace:
        run_.rule = c_.replace;
        break;
      case RuleKind::Insert:
        run_.rule = c_.insert;
        break;
      case RuleKind::Case:
        if (c_.extCase) c_.letters.ext = c_.letters.name;
        run_.rule = c_.letters;
        break;
      case RuleKind::Tags:
        run_.rule = c_.tags;
        break;
      case RuleKind::Date:
        run_.rule = c_.date;
        break;
    }
    // A rule that cannot run is the caller's mistake, told before anything is listed.
    const std::string error = rules::ruleError(*run_.rule);
    return error.empty() || fail(error);
  }

  const std::vector<std::string>& args_;
  const ToText& toText_;
  CliRun& run_;
  std::string& error_;
  Collected c_;
  std::size_t i_ = 0;
  std::optional<std::string> inline_;  // the value given with "=", not taken yet
};

}  // namespace

Parsed parseArguments(const std::vector<std::string>& args, const ToText& toText, CliRun& run,
                      std::string& error) {
  error.clear();
  return Parser(args, toText, run, error).parse();
}

std::string helpText() {
  return gb(
      "用法：qorin-cli [选项] 路径…\n"
      "列出文件（文件夹里的文件按自然顺序），用一个规则给出新文件名。默认只显示计划，不改动任何文件。\n"
      "以 - 开头的值写成 --选项=值（如 --number=-5,1,2）；以 - 开头的路径放在 -- 之后。\n"
      "\n"
      "规则（只能选一个）：\n"
      "  --number 起始,增量,位数   编号；配合 --prefix 文字、--name 文字、--suffix 文字、--ext 新扩展名\n"
      "  --replace 查找 替换为      替换；配合 --regex、--case-sensitive、--on name|ext|all；\n"
      "                            以 - 开头的替换为写成 --with=文字\n"
      "  --insert 文字 --at 位置|end  插入到文件名（位置从 1 数起）；配合 --ext-text 文字（插入到扩展名）\n"
      "  --case upper|lower|title|lower-first  大小写；--ext-case 同样改扩展名\n"
      "  --tags \"#1 - #2\"          按音乐标签命名（#1艺术家 #2标题 #3专辑 #4音轨 #5年份 "
      "#6流派）；--v1-first\n"
      "  --date 格式               按日期命名（yyyy yy MM dd HH mm ss zzz，其余照写）；配合\n"
      "                            --date-source mtime|exif|birth、--date-place replace|prefix|suffix、\n"
      "                            --date-sep 分隔（加在前后时用，默认 _）\n"
      "\n"
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
