// SPDX-License-Identifier: GPL-3.0-or-later
// The window's start with the record of a 1,000,000-file pass in its state
// folder against a start with none, in one run. Each start runs in a
// process of its own, so that its peak memory is its own. The figures that
// matter are "extra_ms" and "extra_MB" (what the record adds).
#include <benchmark/benchmark.h>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "rename/journal.h"
#include "window_support.h"

namespace {

namespace stdfs = std::filesystem;
constexpr int kFiles = 1000000;

// What a finished pass over `files` files leaves as its record.
void writeRecord(const stdfs::path& state, int files) {
  using namespace qorin::rename;
  JournalLines l;
  l.text().reserve(static_cast<std::size_t>(files) * 90);
  l.header();
  l.folder(0, {"/srv/music/qorin-bench/", 0x803, 0x42});
  l.begin(PhaseKind::Pass);
  for (int i = 0; i < files; ++i) {
    const std::string from = "track " + std::to_string(i) + ".mp3",
                      to = "renamed " + std::to_string(i) + ".mp3";
    const auto u = static_cast<std::uint32_t>(i);
    l.step({u, 0, u + 1, false, {0x803, 0x1000 + u, 4096, 0x5f000000u + u}, from, to});
  }
  l.planned(static_cast<std::size_t>(files));
  l.done(0, static_cast<std::size_t>(files) - 1);
  l.end(static_cast<std::size_t>(files));
  stdfs::create_directories(state / "records");
  std::ofstream(state / "records" / "0000000000000001-00000000.journal", std::ios::binary) << l.text();
}

struct Start {
  double seconds = -1;
  double peakMB = 0;
};

// Starts the window in a child process until it is shown and has painted.
Start startInChild(const stdfs::path& state, bool expectUndo) {
  int fd[2];
  if (::pipe(fd) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fd[0]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "startup_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    const auto t0 = qorin::bench::Clock::now();
    double seconds = 0;
    {
      qorin::app::MainWindow w(qorin::session::Places::in(state.string()), qorin::bench::quiet());
      w.show();
      QApplication::processEvents();
      seconds = std::chrono::duration<double>(qorin::bench::Clock::now() - t0).count();
      if (w.toolbarAction(qorin::app::MainWindow::kUndo)->isEnabled() != expectUndo) seconds = -1;
    }
    [[maybe_unused]] const auto n = ::write(fd[1], &seconds, sizeof seconds);
    _exit(0);
  }
  ::close(fd[1]);
  Start s;
  if (::read(fd[0], &s.seconds, sizeof s.seconds) != sizeof s.seconds) s.seconds = -1;
  ::close(fd[0]);
  int status = 0;
  rusage use{};
  ::wait4(pid, &status, 0, &use);
  s.peakMB = static_cast<double>(use.ru_maxrss) / 1024.0;
  return s;
}

void BM_StartWithAMillionFileRecord(benchmark::State& state) {
  char tmpl[] = "/tmp/qorin-startbench-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const stdfs::path root = tmpl;
  stdfs::create_directories(root / "none");
  writeRecord(root / "record", kFiles);
  double noneMs = 0, recordMs = 0, noneMB = 0, recordMB = 0;
  int runs = 0;
  for (auto _ : state) {
    const Start a = startInChild(root / "none", false);
    const Start b = startInChild(root / "record", true);
    if (a.seconds < 0 || b.seconds < 0) {
      state.SkipWithError("a start failed, or 撤消 was not offered as it should be");
      break;
    }
    state.SetIterationTime(b.seconds);
    noneMs += a.seconds * 1000;
    recordMs += b.seconds * 1000;
    noneMB += a.peakMB;
    recordMB += b.peakMB;
    ++runs;
  }
  std::error_code ec;
  stdfs::remove_all(root, ec);
  if (runs == 0) return;
  state.counters["none_ms"] = noneMs / runs;
  state.counters["record_ms"] = recordMs / runs;
  state.counters["extra_ms"] = (recordMs - noneMs) / runs;
  state.counters["none_MB"] = noneMB / runs;
  state.counters["record_MB"] = recordMB / runs;
  state.counters["extra_MB"] = (recordMB - noneMB) / runs;
}
BENCHMARK(BM_StartWithAMillionFileRecord)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif

BENCHMARK_MAIN();
