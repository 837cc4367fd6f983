// SPDX-License-Identifier: GPL-3.0-or-later
// Naming 5,000 photos by the date they were taken, through the date rule
// over a fresh list (nothing read before) and through the window (the folder
// added with tab 日期 on 拍摄时间, every row previewed), as a ratio to exiv2's own program
// printing the same 5,000 dates (exiv2 -g Exif.Photo.DateTimeOriginal, the
// whole process), both timed in each iteration so they share the machine's
// load. The photos are one JPEG of tools/photo_fixtures.py copied with 5,000
// different dates.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QComboBox>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app/main_window.h"
#include "filelist/file_list.h"
#include "process_timing.h"
#include "rules/date_rule.h"
#include "rules/gui/date_tab.h"
#include "ui_date_page.h"
#include "window_support.h"

namespace {

using namespace qorin;
using Clock = std::chrono::steady_clock;

constexpr int kPhotos = 5000;
constexpr const char* kStamp = "2021:05:06 07:08:09";

struct Corpus {
  std::filesystem::path dir;
  std::vector<std::string> names;
  std::string dirText;
  Corpus() {
    std::random_device rd;
    dir = std::filesystem::temp_directory_path() / ("qorin-photo-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    dirText = dir.string() + "/";
    const std::string seed = dirText + "seed.jpg";
    const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string cmd = python + " " QORIN_TOOLS_DIR "/photo_fixtures.py '" + seed + "' jpeg original='" +
                            kStamp + "' datetime='" + kStamp + "'";
    if (std::system(cmd.c_str()) != 0) return;
    std::ifstream in(seed, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(seed);
    for (int i = 0; i < kPhotos; ++i) {
      std::string b = bytes;
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "2021:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28, i % 24,
                    (i / 24) % 60, i % 60);
      for (std::size_t at = b.find(kStamp); at != std::string::npos; at = b.find(kStamp, at + 1))
        b.replace(at, 19, stamp);
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
      std::ofstream(dir / name, std::ios::binary) << b;
      names.emplace_back(name);
    }
  }
  ~Corpus() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Corpus* g_corpus = nullptr;
double g_rule = 0, g_tool = 0, g_window = 0, g_windowTool = 0;

double seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

bench::Command exiv2Printing(const Corpus& c) {
  bench::Command exiv2{{"exiv2", "-g", "Exif.Photo.DateTimeOriginal"}, c.dirText, {}};
  exiv2.argv.insert(exiv2.argv.end(), c.names.begin(), c.names.end());
  return exiv2;
}

// exiv2's program once, after our naming in the same iteration; the best of each is kept.
void timeTool(benchmark::State& state, const bench::Command& exiv2, double& best) {
  const bench::Ran tool = bench::runTimed(exiv2);
  best = std::min(best, tool.seconds);
  if (!tool.ok()) state.SkipWithError("exiv2 failed");
}

void report(benchmark::State& state, const char* ours, double oursSeconds, double toolSeconds) {
  state.counters[ours] = oursSeconds * 1e3;
  state.counters["exiv2_tool_ms"] = toolSeconds * 1e3;
  state.counters["ratio"] = oursSeconds / toolSeconds;
}

void BM_DateTakenRuleAgainstExiv2Tool(benchmark::State& state) {
  const Corpus& c = *g_corpus;
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  const bench::Command exiv2 = exiv2Printing(c);
  double bestRule = 1e9, bestTool = 1e9;
  for (auto _ : state) {
    filelist::FileList list;
    list.reserve(kPhotos);
    for (const std::string& n : c.names) list.addName(n);
    list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, kPhotos - 1, c.dirText);
    auto t0 = Clock::now();
    rules::dateRule(list, o);
    bestRule = std::min(bestRule, seconds(t0));
    if (list[kPhotos - 1].newName.empty() || list[0].proposalProblem != filelist::Outcome{})
      state.SkipWithError("a photo was not named by its date taken");
    timeTool(state, exiv2, bestTool);
  }
  g_rule = bestRule;
  g_tool = bestTool;
  report(state, "rule_ms", bestRule, bestTool);
}
BENCHMARK(BM_DateTakenRuleAgainstExiv2Tool)->Unit(benchmark::kMillisecond)->Iterations(5);

// As a user does it: the folder added to a window showing tab 日期 with
// 拍摄时间, until every row shows its new name.
void BM_DateTakenWindowAgainstExiv2Tool(benchmark::State& state) {
  const Corpus& c = *g_corpus;
  const bench::Command exiv2 = exiv2Printing(c);
  app::MainWindow w(bench::scratchPlaces(), bench::quiet());
  w.session().settings().autoPreview = 1;
  w.session().settings().previewAllEntries = 1;
  w.show();
  const int tab = rules::kRuleIndex<rules::DateOptions>;
  w.tabs()->setCurrentIndex(tab);
  static_cast<rules::DateTab*>(w.ruleTab(tab))->ui()->日期来源组合框->setCurrentIndex(1);
  QApplication::processEvents();
  const QString folder = QString::fromStdString(c.dir.string());
  double best = 1e9, bestTool = 1e9;
  for (auto _ : state) {
    w.list()->clearList();
    QApplication::processEvents();
    best = std::min(best, bench::secondsOf([&] {
                      w.list()->addDirectory(folder, false);
                      QApplication::processEvents();
                    }));
    const filelist::FileList& list = w.session().list();
    if (list.fileCount() != kPhotos || list[kPhotos - 1].newNameCell.empty() ||
        list[0].proposalProblem != filelist::Outcome{})
      state.SkipWithError("the window did not name every photo by its date taken");
    timeTool(state, exiv2, bestTool);
  }
  g_window = best;
  g_windowTool = bestTool;
  report(state, "window_ms", best, bestTool);
}
BENCHMARK(BM_DateTakenWindowAgainstExiv2Tool)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Corpus corpus;
  if (corpus.names.size() != static_cast<std::size_t>(kPhotos)) {
    std::fprintf(stderr, "could not make the photos (python3-piexif and Pillow needed)\n");
    return 1;
  }
  g_corpus = &corpus;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("naming %d photos by date taken: %.1f ms; exiv2 -g printing them: %.1f ms\n", kPhotos,
              g_rule * 1e3, g_tool * 1e3);
  std::printf("ratio rule / exiv2 tool: %.3f (target: at most 0.5)\n", g_rule / g_tool);
  if (g_window > 0)
    std::printf("through the window: %.1f ms against %.1f ms, ratio %.3f (target: at most 0.5)\n",
                g_window * 1e3, g_windowTool * 1e3, g_window / g_windowTool);
  return 0;
}
