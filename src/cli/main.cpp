// SPDX-License-Identifier: GPL-3.0-or-later
// qorin-cli: the renamer without a window. It lists paths as a drop on the
// window does, applies one rule, prints the plan, and with -x renames in
// the same planned, journaled pass as the window (undone by either).
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_paths.h"
#include "cli/cli_progress.h"
#include "cli/cli_report.h"
#include "platform/fs.h"
#include "session/messages.h"
#include "session/session.h"
#include "session/start_up.h"
#include "text/gbtext.h"

#ifdef __linux__
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#endif

namespace qorin::cli {
namespace {

using text::gb;

// Ctrl+C and SIGTERM stop the listing, the reading of files, the planning
// and a pass or an undo (after the file at hand, as Esc does in the
// window), and then qorin-cli ends with 128 + the signal's number. The
// signals are blocked in every thread and taken by one of their own from a
// descriptor: it sets a flag that any thread may ask between two files.
class Interrupt {
 public:
  Interrupt() {
#ifdef __linux__
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Before any other thread exists, so that every one inherits the mask.
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
    signals_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    wake_ = eventfd(0, EFD_CLOEXEC);
    if (signals_ < 0 || wake_ < 0) return;
    take();  // one that came before, as the program started, counts at once
    try {
      watcher_ = std::thread([this] { watch(); });
    } catch (const std::system_error&) {  // no thread: the signals stay pending, unheard
    }
#endif
  }
  ~Interrupt() {
#ifdef __linux__
    if (watcher_.joinable()) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);  // an eventfd takes it
      watcher_.join();
    }
    if (signals_ >= 0) ::close(signals_);
    if (wake_ >= 0) ::close(wake_);
#endif
  }
  Interrupt(const Interrupt&) = delete;
  Interrupt& operator=(const Interrupt&) = delete;

  bool asked() const { return signal_.load(std::memory_order_relaxed) != 0; }
  // The status a run ends with once stopped: 130 for SIGINT, 143 for SIGTERM.
  int status() const { return 128 + signal_.load(); }

  // Waits up to `ms` for Ctrl+C; true once it came.
  bool waitFor(int ms) {
    std::unique_lock lock(mutex_);
    return came_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return asked(); });
  }

 private:
#ifdef __linux__
  void watch() {
    for (;;) {
      pollfd p[2] = {{signals_, POLLIN, 0}, {wake_, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (p[1].revents) return;
      take();
    }
  }

  void take() {
    signalfd_siginfo info{};
    if (::read(signals_, &info, sizeof info) != sizeof info) return;
    int none = 0;  // the first signal names the status; a second changes nothing
    if (signal_.compare_exchange_strong(none, static_cast<int>(info.ssi_signo))) {
      const std::lock_guard lock(mutex_);
      came_.notify_all();
    }
  }

  int signals_ = -1, wake_ = -1;
  std::thread watcher_;
#endif
  std::atomic<int> signal_{0};
  std::mutex mutex_;
  std::condition_variable came_;
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
  std::set<std::string> seen;  // a path given twice is listed once
  platform::CanonicalPaths canonical;
  for (const std::string& a : args) {
    // The separators go while the path is bytes: a last part in the old
    // code page is marked as such only without one after it.
    std::string given = a;
    while (given.size() > 1 && (given.back() == '/' || given.back() == '\\')) given.pop_back();
    const auto system = platform::pathFromSystem(given);
    const auto p = system ? canonical.of(*system) : std::nullopt;
    if (p && (platform::isFile(*p) || platform::isDirectory(*p))) {
      if (seen.insert(*p).second) out.push_back(*p);
    } else {
      ++missing;
      say(stderr, locale, gb("qorin-cli: 找不到：") + platform::escapedBytes(a));
    }
  }
  return out;
}

// The paths' files in the list, in the order asked for. A stop leaves
// them unsorted; the caller asks the Interrupt.
session::AddReport fill(session::Session& s, const CliRun& run, const std::vector<std::string>& paths) {
  const session::Session::PreviewPause quiet(s);
  const session::AddReport r = s.addDropped(paths);
  if (r.stopped) return r;
  keepListed(s, run.include, run.exclude, paths.size() == 1);
  if (run.sort == SortKey::Name) {
    s.sortBy(filelist::kColOld, run.reverse);
  } else {
    if (run.sort) s.sortByFile(*run.sort);
    if (run.reverse) s.reverseRows();
  }
  return r;
}

// `found`: the paths that were there, for a listing made again.
int list(session::Session& s, const CliRun& run, const LocaleText& locale, Progress& progress,
         std::vector<std::string>* found = nullptr) {
  session::Settings settings = s.settings();
  settings.includeSubfolders = run.recursive;
  settings.includeHidden = run.hidden;
  s.changeSettings(settings);
  s.setSubfolderDepth(run.maxDepth);
  int missing = 0;
  std::vector<std::string> given = run.paths;
  for (const std::string& from : run.lists) {
    const bool in = from == "-";
    std::FILE* f = in ? stdin : std::fopen(from.c_str(), "rb");
    if (!f) {
      const int error = errno;
      ++missing;
      say(stderr, locale,
          gb("qorin-cli: 无法读取路径列表 ") + platform::escapedBytes(from) + gb("：") +
              platform::errorText(error));
      continue;
    }
    for (std::string& p : readPathList(f, run.nul)) given.push_back(std::move(p));
    if (!in) std::fclose(f);
  }
  const std::vector<std::string> paths = listedPaths(given, locale, missing);
  progress.begin(locale.toLocal(gb("正在列出文件…")));
  const session::AddReport r = fill(s, run, paths);
  progress.end();
  if (found) *found = paths;
  for (const std::string& dir : r.unreadable) say(stderr, locale, gb("qorin-cli: 无法读取文件夹：") + dir);
  for (const std::string& name : r.leftOut)
    say(stderr, locale, gb("qorin-cli: 文件名无法转换，未列出：") + name);
  if (const int unnamed = r.unconvertible - static_cast<int>(r.leftOut.size()); unnamed > 0)
    say(stderr, locale, gb("qorin-cli: ") + std::to_string(unnamed) + gb(" 个文件的名字无法转换，未列出"));
  return missing + static_cast<int>(r.unreadable.size()) + r.unconvertible;
}

// A folder that another pass, undo or recovery holds, named on standard
// error. Without --wait qorin-cli does not wait for it; with it, `ready` is
// asked every so often until it says yes (Ctrl+C ends the wait). False:
// not waited for.
bool waitForFolder(const session::PassReport& busy, const std::function<bool()>& ready, const CliRun& run,
                   const LocaleText& locale, Interrupt& interrupt) {
  constexpr int kRetryMs = 50;
  say(stderr, locale, gb("qorin-cli: ") + session::reportText(busy));
  if (!run.wait) return false;
  say(stderr, locale, gb("qorin-cli: 等它结束后再开始（Ctrl+C 停止等待）"));
  while (!ready())
    if (interrupt.waitFor(kRetryMs)) return false;
  return true;
}

enum class Locked { AtOnce, AfterWaiting, No };

// The folders of the run at hand locked for it, waited for as above. Locks
// that cannot be had at all are the run's to report, beside what else
// keeps it from starting.
Locked lockFolders(session::Session& s, session::Run what, const CliRun& run, const LocaleText& locale,
                   Interrupt& interrupt) {
  const session::PassReport r = s.lockFolders(what);
  if (r.problem != session::Problem::FolderBusy) return Locked::AtOnce;
  const auto ready = [&] { return s.lockFolders(what).problem != session::Problem::FolderBusy; };
  return waitForFolder(r, ready, run, locale, interrupt) ? Locked::AfterWaiting : Locked::No;
}

// Colours only for a person at a terminal who has not asked for none.
bool colourWanted() {
  const char* none = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return ::isatty(STDOUT_FILENO) && !none && !(term && std::strcmp(term, "dumb") == 0);
}

void print(const std::vector<RowOut>& rows, const CliRun& run, const LocaleText& locale) {
  if (run.json) {
    printJson(stdout, rows, locale);
  } else {
    printRows(stdout, rows, locale, colourWanted());
  }
}

// A run that did not start: nothing to show, but JSON is always printed.
int notStarted(const CliRun& run, const LocaleText& locale) {
  if (run.json) print({}, run, locale);
  return 1;
}

// Stopped before anything was renamed (or undone): said so, and the status
// of the signal.
int stoppedEarly(const CliRun& run, const LocaleText& locale, const Interrupt& interrupt) {
  if (run.json) print({}, run, locale);
  say(stderr, locale, gb("qorin-cli: 已停止，未改动任何文件"));
  return interrupt.status();
}

// --undo and --forget: the newest pass, as the window's start takes the
// records. One cut short is the undo: its names go back; older ones cut
// short wait for a later --undo.
int undo(session::Session& s, const CliRun& run, const LocaleText& locale, Interrupt& interrupt,
         Progress& progress) {
  if (!run.paths.empty() || !run.lists.empty()) list(s, run, locale, progress);
  if (interrupt.asked()) return stoppedEarly(run, locale, interrupt);
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
  ask.waitForFolder = [&](const session::PassReport& busy, const std::function<bool()>& ready) {
    return waitForFolder(busy, ready, run, locale, interrupt);
  };
  const session::RecordsTaken taken = session::takeRecordsAtStart(s, ask);
  // A stop while the start waited for a folder: nothing was dealt with.
  if (interrupt.asked() && (!recovery || recovery->problem == session::Problem::FolderBusy))
    return stoppedEarly(run, locale, interrupt);
  if (taken.busy) {
    if (run.json) print({}, run, locale);
    say(stderr, locale, gb("qorin-cli: ") + session::busyRecordText(*taken.busy));
    return 1;
  }
  if (forget) {
    say(stdout, locale, session::forgottenText(s.forgetLastPass()));
    return 0;
  }
  // A recovery whose folder was not waited for has been named already.
  if (recovery && recovery->problem == session::Problem::FolderBusy) return notStarted(run, locale);
  if (!recovery && lockFolders(s, session::Run::Undo, run, locale, interrupt) == Locked::No)
    return interrupt.asked() ? stoppedEarly(run, locale, interrupt) : notStarted(run, locale);
  progress.begin(locale.toLocal(gb("正在撤消")));
  const session::PassReport report =
      recovery ? *recovery
               : s.undoLastPass([&](int done, int total) { progress.count(done, total); },
                                [&] { return interrupt.asked(); });
  progress.end();
  // Each file the record gave back, whether listed or not.
  const std::vector<RowOut> rows = report.files ? undoRows(*report.files) : outcomeRows(s.list(), {});
  // JSON is always printed, [] for nothing undone, so that a script can read it.
  if (run.json || !rows.empty()) print(rows, run, locale);
  if (!run.json) say(stdout, locale, session::reportText(report));
  if (report.pending > 0 && report.total - report.succeeded - report.stopped > 0)
    say(stderr, locale,
        gb("qorin-cli: 还有 ") + std::to_string(report.pending) +
            gb(" 个文件没有恢复原来的名称。记录已保留：文件放回原处后再用 --undo 撤消，或用 --forget "
               "忘记这次更名。"));
  if (interrupt.asked()) return interrupt.status();
  // Nothing undone while a record was left alone is no success.
  return report.allSucceeded() && !anyFailed(rows) && !(refused && report.total == 0) ? 0 : 1;
}

int main(const std::vector<std::string>& args) {
  const LocaleText locale;
  CliRun run;
  std::string error;
  const auto toText = [&locale](std::string_view s) { return locale.toText(s); };
  // A preset the window saved, read only when one is asked for.
  const auto findPreset = [](const std::string& name) -> std::optional<rules::RuleOptions> {
    const session::Presets presets(session::Places::standard().presetsFile());
    const session::Preset* p = presets.find(name);
    if (!p || rules::ruleIndex(p->rule) < 0) return std::nullopt;
    rules::RuleOptions rule = rules::ruleAt(rules::ruleIndex(p->rule));
    rules::putKept(rule, p->fields);
    return rule;
  };
  switch (parseArguments(args, toText, run, error, findPreset)) {
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
  Progress progress(::isatty(STDERR_FILENO) != 0);
  session::Session s(session::Places::standard());
  s.setStop([&interrupt] { return interrupt.asked(); });
  session::startSession(s, [&](const std::string& words) { say(stderr, locale, gb("qorin-cli: ") + words); });
  if (run.mode == Mode::Undo || run.mode == Mode::Forget) return undo(s, run, locale, interrupt, progress);

  std::vector<std::string> paths;
  const int missing = list(s, run, locale, progress, &paths);
  if (interrupt.asked()) return stoppedEarly(run, locale, interrupt);
  if (run.mode == Mode::Execute) {
    // After a wait the other pass has renamed meanwhile: listed again.
    for (Locked l; (l = lockFolders(s, session::Run::Pass, run, locale, interrupt)) != Locked::AtOnce;) {
      if (interrupt.asked()) return stoppedEarly(run, locale, interrupt);
      if (l == Locked::No) return notStarted(run, locale);
      s.clearList();
      fill(s, run, paths);
    }
    if (interrupt.asked()) return stoppedEarly(run, locale, interrupt);
    s.readAheadForPass();  // while the plan is named and printed
  }
  progress.begin(locale.toLocal(gb("正在做计划…")));
  s.setRule(*run.rule);
  const bool planned = s.markAll();
  progress.end();
  if (!planned || interrupt.asked()) return stoppedEarly(run, locale, interrupt);
  if (run.mode == Mode::Plan) {
    const std::vector<RowOut> plan = planRows(s.list());
    print(plan, run, locale);
    if (!run.json) say(stdout, locale, planSummary(plan));
    if (interrupt.asked()) return interrupt.status();
    return missing == 0 && !anyFailed(plan) ? 0 : 1;
  }
  const PlanNames plan = planNames(s.list());
  progress.begin(locale.toLocal(gb("正在更名")));
  const session::PassReport report = s.renameAll([&](int done, int total) { progress.count(done, total); },
                                                 [&] { return interrupt.asked(); });
  progress.end();
  // Stopped while the proposals were made again: nothing ran.
  if (interrupt.asked() && report.stopped == report.total && report.succeeded == 0)
    return stoppedEarly(run, locale, interrupt);
  const std::vector<RowOut> rows = outcomeRows(s.list(), plan);
  print(rows, run, locale);
  if (!run.json) say(stdout, locale, session::reportText(report));
  // What ran is on record and undoable; the status says it was stopped.
  if (interrupt.asked()) return interrupt.status();
  if (report.problem != session::Problem::None) return 1;
  return missing == 0 && !anyFailed(rows) ? 0 : 1;
}

}  // namespace
}  // namespace qorin::cli

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Tables as large as the list (the plan, the identities, the record's
  // lines) come and go one after another: each is mapped for itself and
  // given back when done, rather than left in the heap for the next one to
  // fit around, which glibc's moving threshold would do after the first.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  return qorin::cli::main(std::vector<std::string>(argv + 1, argv + argc));
}
