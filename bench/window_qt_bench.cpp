// SPDX-License-Identifier: GPL-3.0-or-later
// The window's hot paths on 100,000 entries (offscreen): a keystroke with the
// whole list previewed, adding a folder, deleting and clearing, each as a
// ratio to a baseline measured in the same run (copying the names; a raw
// directory read). The same paths at 100,000 and at 1,000,000 entries side by
// side, with the peak memory the kernel accounts (VmHWM), so the growth shows.
// Also the renaming pass through the window against the core pass alone over
// 20,000 files; the pass, its undo and a stop by Esc over a whole folder of
// 100,000, of 300,000 and of 1,000,000 files, their peaks beside the list's and
// their times beside a raw renameat2 loop; and a drop of ten folders.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "filelist/file_list.h"
#include "platform/fs.h"
#include "platform/gui/dialogs.h"
#include "platform/open_file.h"
#include "process_memory.h"
#include "rename/rename_pass.h"
#include "rules/gui/general_tab.h"
#include "scratch_dir.h"
#include "session/settings.h"
#include "ui_general_page.h"
#include "window_support.h"

namespace {

using namespace qorin;
using namespace qorin::bench;
using namespace qorin::filelist;
using namespace qorin::rename;
using namespace qorin::session;
using namespace qorin::app;

const QString& bigFolder(int n) {
  static QTemporaryDir dir;
  static int made = 0;
  for (; made < n; ++made)
    std::ofstream((dir.path() + QStringLiteral("/IMG_%1.jpg").arg(made)).toStdString());
  static QString path = dir.path();
  return path;
}

// The many-file folders live on tmpfs when there is one (or on disk when
// asked), and go with the run.
struct ShmFolder {
  explicit ShmFolder(int n) {
    std::string tmpl = (bench::scratchParent() / "qorin-scale-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    path = QString::fromStdString(tmpl);
    for (int i = 0; i < n; ++i) {
      const std::string f = tmpl + "/IMG_" + std::to_string(i) + ".jpg";
      const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (fd >= 0) ::close(fd);
    }
  }
  ~ShmFolder() {
    std::error_code ec;
    if (!path.isEmpty()) std::filesystem::remove_all(path.toStdString(), ec);
  }
  ShmFolder(const ShmFolder&) = delete;
  ShmFolder& operator=(const ShmFolder&) = delete;
  QString path;
};

// The same number of renames as a pass over the folder, done by hand with
// renameat2 (and put back untimed): the floor a pass is measured against.
double rawRenameLoop(const ShmFolder& folder, int n) {
  const std::string dir = folder.path.toStdString() + "/";
  const auto name = [&](const char* head, int i) { return dir + head + std::to_string(i) + ".jpg"; };
  const auto moveAll = [&](const char* from, const char* to) {
    for (int i = 0; i < n; ++i)
      ::syscall(SYS_renameat2, AT_FDCWD, name(from, i).c_str(), AT_FDCWD, name(to, i).c_str(), 1u);
  };
  const double t = secondsOf([&] { moveAll("IMG_", "raw_"); });
  moveAll("raw_", "IMG_");
  return t;
}

void report(benchmark::State& state, double best, double baseBest, int n) {
  state.counters["ms"] = best * 1e3;
  state.counters["ns_per_name"] = best * 1e9 / n;
  state.counters["ratio_to_baseline"] = best / baseBest;
}

void BM_KeystrokeWholeList(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MainWindow w(scratchPlaces(), quiet());
  w.show();
  w.session().settings().autoPreview = 1;
  w.session().settings().previewAllEntries = 1;
  w.list()->addDirectory(bigFolder(n), false);
  QApplication::processEvents();
  auto* prefix = static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))->ui()->文件名前缀编辑框;
  double best = 1e9, baseBest = 1e9;
  int k = 0;
  for (auto _ : state) {
    baseBest = std::min(baseBest, secondsOf([&] {
                          FileList& l = w.fileList();
                          for (int r = 0; r < l.fileCount(); ++r) l.setNewName(r, l.oldName(r));
                        }));
    best = std::min(best, secondsOf([&] {
                      prefix->setText(QStringLiteral("p%1_").arg(++k));
                      QApplication::processEvents();  // the view repaints what changed
                    }));
  }
  report(state, best, baseBest, n);
}

void BM_AddFolderDeleteClear(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const QString folder = bigFolder(n);
  double add = 1e9, del = 1e9, clear = 1e9, base = 1e9;
  for (auto _ : state) {
    MainWindow w(scratchPlaces(), quiet());
    w.show();
    base = std::min(base,
                    secondsOf([&] { benchmark::DoNotOptimize(platform::listFiles(folder.toStdString())); }));
    add = std::min(add, secondsOf([&] {
                     w.list()->addDirectory(folder, false);
                     QApplication::processEvents();
                   }));
    w.list()->selectAllRows();
    del = std::min(del, secondsOf([&] {
                     w.list()->deleteSelectedEntries();
                     QApplication::processEvents();
                   }));
    w.list()->addDirectory(folder, false);
    clear = std::min(clear, secondsOf([&] {
                       w.list()->clearList();
                       QApplication::processEvents();
                     }));
  }
  state.counters["add_ms"] = add * 1e3;
  state.counters["add_ratio_to_listing"] = add / base;
  state.counters["delete_all_ms"] = del * 1e3;
  state.counters["clear_ms"] = clear * 1e3;
}

void BM_RenamePassWindowVsCore(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  double window = 1e9, core = 1e9;
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir a, b;
    for (int i = 0; i < n; ++i) {
      std::ofstream((a.path() + QStringLiteral("/f%1").arg(i)).toStdString());
      std::ofstream((b.path() + QStringLiteral("/f%1").arg(i)).toStdString());
    }
    MainWindow w(scratchPlaces(), quiet());
    w.show();
    w.list()->addDirectory(a.path(), false);
    static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))
        ->ui()
        ->文件名前缀编辑框->setText(QStringLiteral("n"));
    FileList plain;
    std::string dir = b.path().toStdString() + "/";
    // Names appended piece by piece: GCC 12 sees an overlap in "f" + ...
    for (int i = 0; i < n; ++i) plain.addName(std::string("f").append(std::to_string(i)));
    plain.fillRows(kFillAppend | kFillDirectory, 0, n - 1, dir);
    for (int i = 0; i < n; ++i) plain.setNewName(i, std::string("n").append(std::to_string(i)));
    state.ResumeTiming();
    core = std::min(core, secondsOf([&] { renamePass(plain, scratchPlaces().stateDir + "core-journal"); }));
    window = std::min(window, secondsOf([&] { w.toolbarClicked(MainWindow::kRename); }));
  }
  state.counters["core_ms"] = core * 1e3;
  state.counters["window_ms"] = window * 1e3;
  state.counters["window_to_core"] = window / core;
}

// Adding a folder with every row previewed, a keystroke, deleting every row
// through the selection, adding again and clearing, all through the window;
// the peak is the process's own (the program with its windows included).
void BM_WindowAtScale(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const ShmFolder folder(n);
  if (folder.path.isEmpty()) {
    state.SkipWithError("no scratch folder");
    return;
  }
  double add = 1e9, key = 1e9, del = 1e9, clear = 1e9, peak = 0, base = 0, held = 0;
  int k = 0;
  for (auto _ : state) {
    resetPeak();
    base = statusMegabytes("VmRSS:");
    {
      MainWindow w(scratchPlaces(), quiet());
      w.show();
      w.session().settings().autoPreview = 1;
      w.session().settings().previewAllEntries = 1;
      QApplication::processEvents();
      auto* prefix = static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))->ui()->文件名前缀编辑框;
      add = std::min(add, secondsOf([&] {
                       w.list()->addDirectory(folder.path, false);
                       QApplication::processEvents();
                     }));
      for (int i = 0; i < 3; ++i)
        key = std::min(key, secondsOf([&] {
                         prefix->setText(QStringLiteral("p%1_").arg(++k));
                         QApplication::processEvents();
                       }));
      // What the list holds between keystrokes: entries, proposals, the view.
      held = statusMegabytes("VmRSS:") - base;
      w.list()->selectAllRows();
      del = std::min(del, secondsOf([&] {
                       w.list()->deleteSelectedEntries();
                       QApplication::processEvents();
                     }));
      w.list()->addDirectory(folder.path, false);
      QApplication::processEvents();
      clear = std::min(clear, secondsOf([&] {
                         w.list()->clearList();
                         QApplication::processEvents();
                       }));
      peak = std::max(peak, statusMegabytes("VmHWM:"));
    }
  }
  state.counters["add_ms"] = add * 1e3;
  state.counters["keystroke_ms"] = key * 1e3;
  state.counters["delete_all_ms"] = del * 1e3;
  state.counters["clear_ms"] = clear * 1e3;
  state.counters["peak_MB"] = peak;
  state.counters["start_MB"] = base;
  state.counters["peak_bytes_per_entry"] = (peak - base) * 1024 * 1024 / n;
  state.counters["held_bytes_per_entry"] = held * 1024 * 1024 / n;
}

// A plain list (no preview, never sorted by dates or sizes): what it holds
// per entry beyond the names' own bytes, with the window and its view.
void BM_PlainListAtScale(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const ShmFolder folder(n);
  if (folder.path.isEmpty()) {
    state.SkipWithError("no scratch folder");
    return;
  }
  double names = 0;  // "IMG_<i>.jpg" and its terminating byte
  for (int i = 0; i < n; ++i) names += static_cast<double>(std::to_string(i).size() + 9);
  double held = 0, peak = 0, base = 0;
  for (auto _ : state) {
    resetPeak();
    base = statusMegabytes("VmRSS:");
    MainWindow w(scratchPlaces(), quiet());
    w.show();
    w.session().settings().autoPreview = 0;
    QApplication::processEvents();
    w.list()->addDirectory(folder.path, false);
    QApplication::processEvents();
    held = statusMegabytes("VmRSS:") - base;
    peak = statusMegabytes("VmHWM:") - base;
  }
  state.counters["held_bytes_per_entry"] = held * 1024 * 1024 / n;
  state.counters["held_beyond_names"] = (held * 1024 * 1024 - names) / n;
  state.counters["peak_beyond_names"] = (peak * 1024 * 1024 - names) / n;
}

// The pass and its undo through the window over a whole folder, and how
// long a pass takes to end once Esc arrives (it stops after the file at
// hand; the time is the journal's closing and the statuses).
void BM_PassAtScale(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const ShmFolder folder(n);
  if (folder.path.isEmpty()) {
    state.SkipWithError("no scratch folder");
    return;
  }
  double pass = 1e9, undo = 1e9, stop = 1e9, raw = 1e9, listPeak = 0, peak = 0, undoPeak = 0, base = 0;
  for (auto _ : state) {
    resetPeak();
    base = statusMegabytes("VmRSS:");
    MainWindow w(scratchPlaces(), agreeing());
    w.show();
    // The list's own peak, as BM_WindowAtScale takes it (adding with every
    // entry previewed, keystrokes, deleting all through the selection),
    // then the list as the pass takes it: every entry with its proposal.
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    auto* prefix = static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))->ui()->文件名前缀编辑框;
    w.list()->addDirectory(folder.path, false);
    for (int i = 0; i < 3; ++i) {
      prefix->setText(QStringLiteral("p%1_").arg(i));
      QApplication::processEvents();
    }
    w.list()->selectAllRows();
    w.list()->deleteSelectedEntries();
    w.list()->addDirectory(folder.path, false);
    prefix->setText(QStringLiteral("n_"));
    QApplication::processEvents();
    listPeak = std::max(listPeak, statusMegabytes("VmHWM:"));
    resetPeak();
    pass = std::min(pass, secondsOf([&] { w.toolbarClicked(MainWindow::kRename); }));
    peak = std::max(peak, statusMegabytes("VmHWM:"));
    resetPeak();
    undo = std::min(undo, secondsOf([&] { w.toolbarClicked(MainWindow::kUndo); }));
    undoPeak = std::max(undoPeak, statusMegabytes("VmHWM:"));

    // Esc a little into the next pass; the time from its arrival to the end.
    Clock::time_point asked{};
    QTimer::singleShot(100, w.listView(), [&] {
      asked = Clock::now();
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(w.listView(), &esc);
    });
    w.toolbarClicked(MainWindow::kRename);
    if (asked != Clock::time_point{})
      stop = std::min(stop, std::chrono::duration<double>(Clock::now() - asked).count());
    w.toolbarClicked(MainWindow::kUndo);
    raw = std::min(raw, rawRenameLoop(folder, n));
  }
  state.counters["pass_ms"] = pass * 1e3;
  state.counters["undo_ms"] = undo * 1e3;
  state.counters["raw_loop_ms"] = raw * 1e3;
  state.counters["pass_to_raw"] = pass / raw;
  state.counters["undo_to_raw"] = undo / raw;
  state.counters["stop_after_esc_ms"] = stop * 1e3;
  state.counters["list_peak_MB"] = listPeak;
  state.counters["pass_peak_MB"] = peak;
  state.counters["undo_peak_MB"] = undoPeak;
  state.counters["pass_peak_to_list"] = peak / listPeak;
  state.counters["undo_peak_to_list"] = undoPeak / listPeak;
  state.counters["start_MB"] = base;
}

// The pass and its undo over a whole folder as a user meets them: a fresh
// window, the folder added and previewed, then 开始命名 and 撤消, each peak
// (VmHWM, reset before it) beside what the window held with its list. Run
// alone (--benchmark_filter), as the other benchmarks leave freed memory
// behind that the pass would reuse.
void BM_PassMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const ShmFolder folder(n);
  if (folder.path.isEmpty()) {
    state.SkipWithError("no scratch folder");
    return;
  }
  double list = 0, pass = 0, undo = 0;
  for (auto _ : state) {
    MainWindow w(scratchPlaces(), agreeing());
    w.show();
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    auto* prefix = static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))->ui()->文件名前缀编辑框;
    w.list()->addDirectory(folder.path, false);
    prefix->setText(QStringLiteral("n_"));
    QApplication::processEvents();
    resetPeak();
    list = statusMegabytes("VmRSS:");
    w.toolbarClicked(MainWindow::kRename);
    pass = statusMegabytes("VmHWM:");
    resetPeak();
    w.toolbarClicked(MainWindow::kUndo);
    undo = statusMegabytes("VmHWM:");
  }
  state.counters["list_MB"] = list;
  state.counters["pass_peak_MB"] = pass;
  state.counters["undo_peak_MB"] = undo;
  state.counters["pass_peak_to_list"] = pass / list;
  state.counters["undo_peak_to_list"] = undo / list;
}

// Ten folders dropped on the list at once, every row previewed: each folder
// is listed once (counted through the platform's hook), against listing the
// ten folders alone.
void BM_DropTenFolders(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<ShmFolder>> folders;
  QStringList paths;
  for (int i = 0; i < 10; ++i) {
    folders.push_back(std::make_unique<ShmFolder>(n));
    paths << folders.back()->path;
  }
  double drop = 1e9, base = 1e9;
  int listings = 0;
  for (auto _ : state) {
    MainWindow w(scratchPlaces(), quiet());
    w.show();
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    base = std::min(base, secondsOf([&] {
                      for (const QString& p : paths)
                        benchmark::DoNotOptimize(platform::listFiles(p.toStdString()));
                    }));
    listings = 0;
    platform::setFileFaultHook([&](platform::FileStep step, std::string_view) {
      listings += step == platform::FileStep::List;
      return false;
    });
    drop = std::min(drop, secondsOf([&] {
                      w.list()->addDroppedItems(paths);
                      QApplication::processEvents();
                    }));
    platform::setFileFaultHook({});
  }
  state.counters["drop_ms"] = drop * 1e3;
  state.counters["drop_ratio_to_listing"] = drop / base;
  state.counters["listings"] = listings;
}

BENCHMARK(BM_KeystrokeWholeList)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_AddFolderDeleteClear)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RenamePassWindowVsCore)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindowAtScale)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PlainListAtScale)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PassAtScale)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_PassMemory)->Arg(300000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DropTenFolders)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return qorin::bench::runWindowBenchmarks(argc, argv); }
