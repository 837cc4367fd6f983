// SPDX-License-Identifier: GPL-3.0-or-later
// qorin-cli: the renamer without a window. It lists paths as a drop on the
// window does, applies one rule, prints the plan, and with -x renames in
// the same planned, journaled pass as the window (undone by either).
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "platform/fs.h"
#include "session/messages.h"
#include "session/session.h"
#include "text/gbtext.h"

#ifdef __linux__
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#endif

namespace qorin::cli {
namespace {

using text::gb;

// Ctrl+C stops a pass or an undo between two files, as Esc does in the
// window: the signal is taken as a readable descriptor.
class Interrupt {
 public:
  Interrupt() {
#ifdef __linux__
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) == 0) fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
#endif
  }
  ~Interrupt() {
#ifdef __linux__
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  Interrupt(const Interrupt&) = delete;
  Interrupt& operator=(const Interrupt&) = delete;

  bool asked() {
#ifdef __linux__
    // Looked at every 10 ms, which no one pressing Ctrl+C can tell from at
    // once: a look for each of 100,000 files is a system call each.
    if (!asked_ && fd_ >= 0) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextLook_) {
        nextLook_ = now + std::chrono::milliseconds(10);
        pollfd p{fd_, POLLIN, 0};
        asked_ = ::poll(&p, 1, 0) > 0;
      }
    }
#endif
    return asked_;
  }

 private:
  int fd_ = -1;
  bool asked_ = false;
  std::chrono::steady_clock::time_point nextLook_{};
};

void say(std::FILE* to, const LocaleText& locale, const std::string& text) {
  std::string t = text;
  for (std::size_t at; (at = t.find("\r\n")) != std::string::npos;) t.erase(at, 1);
  std::fprintf(to, "%s\n", locale.toLocal(t).c_str());
}

// The paths as the window's drop takes them, as the system reaches them
// (".", "../x", "a//b/" each one way); what is not there is named.
std::vector<std::string> listedPaths(const std::vector<std::string>& args, const LocaleText& locale,
                                     int& missing) {
  std::vector<std::string> out;
  platform::CanonicalPaths canonical;
  for (const std::string& a : args) {
    // The separators go while the path is bytes: a last part in the old
    // code page is marked as such only without one after it.
    std::string given = a;
    while (given.size() > 1 && (given.back() == '/' || given.back() == '\\')) given.pop_back();
    const auto system = platform::pathFromSystem(given);
    const auto p = system ? canonical.of(*system) : std::nullopt;
    if (p && (platform::isFile(*p) || platform::isDirectory(*p))) {
      out.push_back(*p);
    } else {
      ++missing;
      say(stderr, locale, gb("qorin-cli: 找不到：") + platform::escapedBytes(a));
    }
  }
  return out;
}

int list(session::Session& s, const CliRun& run, const LocaleText& locale) {
  session::Settings settings = s.settings();
  settings.includeSubfolders = run.recursive;
  settings.includeHidden = run.hidden;
  s.changeSettings(settings);
  int missing = 0;
  const std::vector<std::string> paths = listedPaths(run.paths, locale, missing);
  const session::Session::PreviewPause quiet(s);
  const session::AddReport r = s.addDropped(paths);
  for (const std::string& dir : r.unreadable) say(stderr, locale, gb("qorin-cli: 无法读取文件夹：") + dir);
  if (r.unconvertible > 0)
    say(stderr, locale,
        gb("qorin-cli: ") + std::to_string(r.unconvertible) + gb(" 个文件的名字无法转换，未列出"));
  if (run.sort == SortKey::Name) {
    s.sortBy(filelist::kColOld, run.reverse);
  } else {
    if (run.sort == SortKey::Modified) s.sortByFile(session::SortKey::Modified);
    if (run.sort == SortKey::Taken) s.sortByFile(session::SortKey::Taken);
    if (run.sort == SortKey::Size) s.sortByFile(session::SortKey::Size);
    if (run.reverse) s.reverseRows();
  }
  return missing + static_cast<int>(r.unreadable.size());
}

void print(const std::vector<RowOut>& rows, const CliRun& run, const LocaleText& locale) {
  if (run.json) {
    printJson(stdout, rows, locale);
  } else {
    printRows(stdout, rows, locale);
  }
}

// --undo and --forget: the newest pass, as the window's start takes the
// records. One cut short is the undo: its names go back; older ones cut
// short wait for a later --undo.
int undo(session::Session& s, const CliRun& run, const LocaleText& locale, Interrupt& interrupt) {
  if (!run.paths.empty()) list(s, run, locale);
  s.start();
  const bool forget = run.mode == Mode::Forget;
  std::optional<session::PassReport> recovery;
  session::RecordAsker ask;
  ask.stopAtBusy = true;
  ask.cutShort = [&](const rename::PassSummary&, int) {
    return forget || recovery ? session::CutShort::Later : session::CutShort::RollBack;
  };
  ask.recovered = [&](const session::PassReport& r, session::CutShort) { recovery = r; };
  ask.setAside = [&](const session::PassReport& r) {
    say(stderr, locale, gb("qorin-cli: ") + session::reportText(r));
  };
  bool refused = false;
  ask.refused = [&](const std::vector<std::string>& paths) {
    say(stderr, locale, gb("qorin-cli: ") + session::refusedRecordsText(paths));
    refused = true;
  };
  const session::RecordsTaken taken = s.takeRecords(ask);
  if (taken.busy) {
    if (run.json) print({}, run, locale);
    say(stderr, locale, gb("qorin-cli: ") + session::busyRecordText(*taken.busy));
    return 1;
  }
  if (forget) {
    say(stdout, locale, session::forgottenText(s.forgetLastPass()));
    return 0;
  }
  const session::PassReport report =
      recovery ? *recovery : s.undoLastPass({}, [&] { return interrupt.asked(); });
  const std::vector<RowOut> rows = outcomeRows(s.list(), {});
  // JSON is always printed, [] for nothing undone, so that a script can read it.
  if (run.json || !rows.empty()) print(rows, run, locale);
  if (!run.json) say(stdout, locale, session::reportText(report));
  if (report.pending > 0 && report.total - report.succeeded - report.stopped > 0)
    say(stderr, locale,
        gb("qorin-cli: 还有 ") + std::to_string(report.pending) +
            gb(" 个文件没有恢复原来的名称。记录已保留：文件放回原处后再用 --undo 撤消，或用 --forget "
               "忘记这次更名。"));
  const bool ok = report.problem == session::Problem::None && report.succeeded == report.total;
  // Nothing undone while a record was left alone is no success.
  return ok && !anyFailed(rows) && !(refused && report.total == 0) ? 0 : 1;
}

int main(const std::vector<std::string>& args) {
  const LocaleText locale;
  CliRun run;
  std::string error;
  const auto toText = [&locale](std::string_view s) { return locale.toText(s); };
  switch (parseArguments(args, toText, run, error)) {
    case Parsed::Help:
      std::fputs(locale.toLocal(helpText()).c_str(), stdout);
      return 0;
    case Parsed::Version:
      std::printf("qorin-cli %s\n", QORIN_VERSION);
      return 0;
    case Parsed::Usage:
      say(stderr, locale, gb("qorin-cli: ") + error + gb("（--help 查看用法）"));
      return 2;
    case Parsed::Run:
      break;
  }
  Interrupt interrupt;
  session::Places places = session::Places::standard();
  // As the window says at start: settings and records then go nowhere.
  for (const std::string& dir : places.refused)
    say(stderr, locale,
        gb("qorin-cli: 文件夹不属于当前用户或其他用户可以写入，不在其中保存设置和更名记录：") + dir);
  session::Session s(std::move(places));
  s.loadSettings();
  if (run.mode == Mode::Undo || run.mode == Mode::Forget) return undo(s, run, locale, interrupt);

  const int missing = list(s, run, locale);
  if (run.mode == Mode::Execute) s.readAheadForPass();  // while the plan is named and printed
  s.setRule(*run.rule);
  s.markAll();
  std::vector<RowOut> plan = planRows(s.list());
  if (run.mode == Mode::Plan) {
    print(plan, run, locale);
    if (!run.json) say(stdout, locale, planSummary(plan));
    return missing == 0 && !anyFailed(plan) ? 0 : 1;
  }
  const session::PassReport report = s.renameAll({}, [&] { return interrupt.asked(); });
  const std::vector<RowOut> rows = outcomeRows(s.list(), std::move(plan));
  print(rows, run, locale);
  if (!run.json) say(stdout, locale, session::reportText(report));
  if (report.problem != session::Problem::None) return 1;
  return missing == 0 && !anyFailed(rows) ? 0 : 1;
}

}  // namespace
}  // namespace qorin::cli

int main(int argc, char** argv) { return qorin::cli::main(std::vector<std::string>(argv + 1, argv + argc)); }
