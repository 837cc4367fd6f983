// SPDX-License-Identifier: GPL-3.0-or-later
// qorin-cli numbering a folder of 100,000 empty files, the whole process
// (-x --number 1,1,6 --name p: IMG_000001.jpg … become p000001.jpg …),
// against the least the same renames cost, a child that lists the folder
// and calls renameat2(RENAME_NOREPLACE) for each file, and against the
// renamers a script would reach for, on a folder of their own in the same
// iteration: Perl's rename numbering through an expression, the names
// given on its input from the shell's glob (the argument list would pass
// ARG_MAX), and mmv, which cannot number and so moves IMG_*.jpg to p#1.jpg,
// the same names here. Every folder is made afresh outside the timing, on
// tmpfs where there is one (the "tmpfs" counter). Then the start of
// `qorin-cli --version` against /bin/true. The figures that matter are the
// "*_over_*" counters, medians of each iteration's own ratio (wall time;
// "*_cpu_over_*" the processor time, threads included).
#include <benchmark/benchmark.h>

#ifdef __linux__
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "process_timing.h"
#include "scratch_dir.h"

#ifndef QORIN_CLI_PATH
#define QORIN_CLI_PATH ""
#endif

namespace {

namespace stdfs = std::filesystem;
using qorin::bench::Command;
using qorin::bench::Ran;
using qorin::bench::runTimed;

constexpr int kFiles = 100000;
constexpr int kIterations = 9;
constexpr int kStarts = 200;

std::string numbered(const char* prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06d.jpg", prefix, i);
  return name;
}

// IMG_000001.jpg … as a camera leaves them, empty.
bool makeFolder(const stdfs::path& dir) {
  std::error_code ec;
  stdfs::remove_all(dir, ec);
  if (!stdfs::create_directory(dir, ec)) return false;
  const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool ok = d >= 0;
  for (int i = 1; ok && i <= kFiles; ++i) {
    const int f = ::openat(d, numbered("IMG_", i).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    ok = f >= 0 && ::close(f) == 0;
  }
  if (d >= 0) ::close(d);
  return ok;
}

// p000001.jpg to p100000.jpg, and nothing else.
bool allNumbered(const stdfs::path& dir) {
  std::error_code ec;
  int entries = 0;
  for (stdfs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) ++entries;
  const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool ok = !ec && d >= 0 && entries == kFiles;
  for (int i = 1; ok && i <= kFiles; ++i) ok = ::faccessat(d, numbered("p", i).c_str(), F_OK, 0) == 0;
  if (d >= 0) ::close(d);
  return ok;
}

// The floor lists the folder and renames each file, nothing more: no
// order, no plan, no record. A forked child rather than a program of its
// own, so what it saves on starting is the floor's to keep.
int renameEach(const stdfs::path& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 1;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d))
    if (std::strncmp(e->d_name, "IMG_", 4) == 0) names.emplace_back(e->d_name);
  const int fd = ::dirfd(d);
  int failed = 0;
  for (const std::string& n : names) {
    char to[64];
    std::snprintf(to, sizeof to, "p%s", n.c_str() + 4);
    failed += ::syscall(SYS_renameat2, fd, n.c_str(), fd, to, 1 /* RENAME_NOREPLACE */) != 0;
  }
  ::closedir(d);
  return failed == 0 ? 0 : 1;
}

Ran rawLoop(const stdfs::path& dir) {
  Ran r;
  const auto t0 = qorin::bench::ProcessClock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(renameEach(dir));
  rusage use{};
  if (pid > 0 && ::wait4(pid, &r.status, 0, &use) == pid) r.cpuSeconds = qorin::bench::cpuOf(use);
  r.seconds = std::chrono::duration<double>(qorin::bench::ProcessClock::now() - t0).count();
  return r;
}

// The Perl rename (Debian's file-rename; `rename` is another program on
// some systems), empty when it is not installed.
std::string perlRename() {
  if (std::string p = qorin::bench::onPath("file-rename"); !p.empty()) return p;
  const std::string p = qorin::bench::onPath("rename");
  std::error_code ec;
  return !p.empty() && stdfs::canonical(p, ec).filename() == "file-rename" ? p : std::string();
}

// qorin-cli copied into the scratch folder laid out as installed (bin/
// beside share/qorin): a copy that may write its own folder keeps its
// records beside itself, and this one must keep them in the empty home it
// is given, neither beside the build nor in the user's.
struct Setting {
  qorin::bench::TempRoot root{"qorin-clibench-"};
  std::string cli;
  stdfs::path home, folder;
  std::vector<std::string> env;

  Setting() {
    std::error_code ec;
    if (root.path.empty() || std::strlen(QORIN_CLI_PATH) == 0) return;
    stdfs::create_directories(root.path / "prefix" / "bin", ec);
    stdfs::create_directories(root.path / "prefix" / "share" / "qorin", ec);
    const stdfs::path copy = root.path / "prefix" / "bin" / "qorin-cli";
    if (stdfs::copy_file(QORIN_CLI_PATH, copy, ec)) cli = copy.string();
    home = root.path / "home";
    folder = root.path / "folder";
    env = qorin::bench::environmentWith({"HOME=" + home.string(),
                                         "XDG_STATE_HOME=" + (home / ".local" / "state").string(),
                                         "XDG_CONFIG_HOME=" + (home / ".config").string()});
  }

  bool freshHome() const {
    std::error_code ec;
    stdfs::remove_all(home, ec);
    return stdfs::create_directory(home, ec);
  }

  Ran qorinCli(const stdfs::path& dir) const {
    return runTimed({{cli, "-x", "--number", "1,1,6", "--name", "p", dir.string()}, {}, env});
  }
};

struct Contender {
  std::string name;
  std::function<Ran(const stdfs::path&)> run;
};

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> out;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) out.push_back(a[i] / b[i]);
  return out;
}

// Each iteration runs every contender once on a folder made for it, who
// goes first turning round, so that they share the machine's load; the
// median of each iteration's own ratio resists the other processes of a
// shared machine.
void compare(benchmark::State& state, const Setting& s, const std::vector<Contender>& cs) {
  std::vector<std::vector<double>> seconds(cs.size()), cpu(cs.size());
  std::size_t turn = 0;
  for (auto _ : state) {
    for (std::size_t k = 0; k < cs.size(); ++k) {
      const std::size_t at = (k + turn) % cs.size();
      if (!makeFolder(s.folder) || !s.freshHome()) {
        state.SkipWithError("the folder of 100,000 files could not be made");
        return;
      }
      const Ran r = cs[at].run(s.folder);
      if (!r.ok() || !allNumbered(s.folder)) {
        state.SkipWithError((cs[at].name + " did not number every file").c_str());
        return;
      }
      seconds[at].push_back(r.seconds);
      cpu[at].push_back(r.cpuSeconds);
    }
    ++turn;
    state.SetIterationTime(seconds[1].back());
  }
  for (std::size_t k = 0; k < cs.size(); ++k) state.counters[cs[k].name + "_ms"] = median(seconds[k]) * 1e3;
  for (std::size_t k = 1; k < cs.size(); ++k) {
    state.counters[cs[k].name + "_over_raw"] = median(ratios(seconds[k], seconds[0]));
    // The processor time beside it: what a machine busy with other work
    // makes the wall time pay for, threads and all.
    state.counters[cs[k].name + "_cpu_over_raw"] = median(ratios(cpu[k], cpu[0]));
  }
  for (std::size_t k = 2; k < cs.size(); ++k)
    state.counters["qorin_cli_over_" + cs[k].name] = median(ratios(seconds[1], seconds[k]));
  state.counters["tmpfs"] = qorin::bench::onTmpfs(s.root.path);
}

// The raw loop and qorin-cli first, then the peer when there is one.
void againstPeer(benchmark::State& state, const std::string& peer,
                 std::function<Ran(const stdfs::path&)> run) {
  const Setting s;
  if (s.cli.empty()) {
    state.SkipWithError("qorin-cli was not built, or no scratch folder");
    return;
  }
  std::vector<Contender> cs = {{"raw", rawLoop},
                               {"qorin_cli", [&s](const stdfs::path& d) { return s.qorinCli(d); }}};
  if (!peer.empty()) cs.push_back({peer, std::move(run)});
  compare(state, s, cs);
}

void BM_QorinCliNumbering(benchmark::State& state) { againstPeer(state, {}, {}); }

void BM_QorinCliAgainstPerlRename(benchmark::State& state) {
  const std::string rename = perlRename();
  if (rename.empty()) {
    state.SkipWithError("the Perl rename is not installed (Debian package rename)");
    return;
  }
  // Numbered in the glob's order, which the zero-padded names make the
  // same as qorin-cli's natural order.
  const std::string script =
      "printf '%s\\0' IMG_*.jpg | '" + rename + "' -0 'our $i; s/.*/sprintf(\"p%06d.jpg\", ++$i)/e'";
  againstPeer(state, "rename", [script](const stdfs::path& d) {
    return runTimed({{"/bin/sh", "-c", script}, d.string(), {}});
  });
}

void BM_QorinCliAgainstMmv(benchmark::State& state) {
  const std::string mmv = qorin::bench::onPath("mmv");
  if (mmv.empty()) {
    state.SkipWithError("mmv is not installed (Debian package mmv)");
    return;
  }
  againstPeer(state, "mmv", [mmv](const stdfs::path& d) {
    return runTimed({{mmv, (d / "IMG_*.jpg").string(), (d / "p#1.jpg").string()}, {}, {}});
  });
}

BENCHMARK(BM_QorinCliNumbering)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QorinCliAgainstPerlRename)
    ->Iterations(kIterations)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QorinCliAgainstMmv)->Iterations(kIterations)->UseManualTime()->Unit(benchmark::kMillisecond);

// The peak memory of qorin-cli -x beside its dry run over the same folder:
// what the pass, its record and its outcome add to the plan.
void BM_QorinCliMemory(benchmark::State& state) {
  const Setting s;
  if (s.cli.empty()) {
    state.SkipWithError("qorin-cli was not built, or no scratch folder");
    return;
  }
  double dry = 0, run = 0;
  for (auto _ : state) {
    if (!makeFolder(s.folder) || !s.freshHome()) {
      state.SkipWithError("the folder of 100,000 files could not be made");
      return;
    }
    const Ran plan = runTimed({{s.cli, "--number", "1,1,6", "--name", "p", s.folder.string()}, {}, s.env});
    const Ran x = s.qorinCli(s.folder);
    if (!plan.ok() || !x.ok() || !allNumbered(s.folder)) {
      state.SkipWithError("qorin-cli did not number every file");
      return;
    }
    dry = std::max(dry, plan.peakMB);
    run = std::max(run, x.peakMB);
    state.SetIterationTime(x.seconds);
  }
  state.counters["dry_run_MB"] = dry;
  state.counters["execute_MB"] = run;
  state.counters["execute_over_dry_run"] = run / dry;
}
BENCHMARK(BM_QorinCliMemory)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// What a script calling qorin-cli in a loop pays to start it: the mean of
// many `qorin-cli --version`, each beside a /bin/true spawned the same way.
void BM_QorinCliVersionStart(benchmark::State& state) {
  const Setting s;
  if (s.cli.empty() || !s.freshHome()) {
    state.SkipWithError("qorin-cli was not built, or no scratch folder");
    return;
  }
  double cli = 0, trivial = 0;
  int runs = 0;
  for (auto _ : state) {
    double iteration = 0;
    for (int i = 0; i < kStarts; ++i) {
      const Ran t = runTimed({{"/bin/true"}, {}, {}});
      const Ran v = runTimed({{s.cli, "--version"}, {}, s.env});
      if (!t.ok() || !v.ok()) {
        state.SkipWithError("qorin-cli --version or /bin/true failed");
        return;
      }
      trivial += t.seconds;
      cli += v.seconds;
      iteration += v.seconds;
      ++runs;
    }
    state.SetIterationTime(iteration / kStarts);
  }
  state.counters["version_ms"] = cli / runs * 1e3;
  state.counters["true_ms"] = trivial / runs * 1e3;
  state.counters["version_over_true"] = cli / trivial;
}
BENCHMARK(BM_QorinCliVersionStart)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // __linux__: the floor is the Linux system call

BENCHMARK_MAIN();
