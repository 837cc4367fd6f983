// SPDX-License-Identifier: GPL-3.0-or-later
// The order the user sees, through the window: sorting 100,000 rows by
// 旧文件名, a recursive add of 100,000 files in 1,000 folders, and one
// keystroke on 替换/删除 with a regular expression over 100,000 previewed
// entries. Each beside a baseline of the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/fs.h"
#include "rules/gui/replace_tab.h"
#include "text/names.h"
#include "ui_replace_page.h"
#include "window_support.h"

namespace {

using namespace qorin;
using namespace qorin::bench;

// 100,000 files named in an order that byte order gets wrong: 第N集 with N unpadded.
const QString& flatFolder() {
  static QTemporaryDir dir;
  static bool made = false;
  if (!made) {
    for (int i = 99999; i >= 0; --i)
      std::ofstream((dir.path() + QStringLiteral("/第%1集 IMG_%2.jpg").arg(i).arg(i % 977)).toStdString());
    made = true;
  }
  static const QString path = dir.path();
  return path;
}

// 1,000 folders of 100 files, one level below the top.
const QString& tree() {
  static QTemporaryDir dir;
  static bool made = false;
  if (!made) {
    for (int f = 0; f < 1000; ++f) {
      // Names appended piece by piece: GCC 12 sees an overlap in "d" + ...
      const std::filesystem::path sub =
          std::filesystem::path(dir.path().toStdString()) / std::string("d").append(std::to_string(f));
      std::filesystem::create_directory(sub);
      for (int i = 0; i < 100; ++i)
        std::ofstream(sub / std::string("f").append(std::to_string(i)).append(".txt"));
    }
    made = true;
  }
  static const QString path = dir.path();
  return path;
}

void BM_SortByOldName(benchmark::State& state) {
  app::MainWindow w(scratchPlaces(), quiet());
  w.show();
  w.list()->addDirectory(flatFolder(), false);
  QApplication::processEvents();
  std::vector<std::string> names;
  for (int r = 0; r < w.fileList().rowCount(); ++r) names.emplace_back(w.fileList().oldName(r));
  double best = 1e9, base = 1e9;
  for (auto _ : state) {
    std::vector<std::string> copy = names;
    base = std::min(base, secondsOf([&] { std::stable_sort(copy.begin(), copy.end(), text::naturalLess); }));
    best = std::min(best, secondsOf([&] {
                      emit w.listView()->header()->sectionClicked(0);  // alternates ascending / descending
                      QApplication::processEvents();
                    }));
  }
  state.counters["rows"] = w.fileList().rowCount();
  state.counters["sort_ms"] = best * 1e3;
  state.counters["ratio_to_bare_sort"] = best / base;
}

void BM_RecursiveAdd(benchmark::State& state) {
  const QString root = tree();
  double best = 1e9, base = 1e9;
  int rows = 0;
  for (auto _ : state) {
    app::MainWindow w(scratchPlaces(), quiet());
    w.session().settings().includeSubfolders = true;
    w.show();
    base = std::min(base, secondsOf([&] {
                      int n = 0;
                      for (const auto& e : std::filesystem::recursive_directory_iterator(root.toStdString()))
                        n += e.is_regular_file() ? 1 : 0;
                      benchmark::DoNotOptimize(n);
                    }));
    best = std::min(best, secondsOf([&] {
                      w.list()->addDirectory(root, false);
                      QApplication::processEvents();
                    }));
    rows = w.fileList().rowCount();
  }
  state.counters["rows"] = rows;
  state.counters["add_ms"] = best * 1e3;
  state.counters["ratio_to_bare_walk"] = best / base;
}

void BM_RegexKeystroke(benchmark::State& state) {
  app::MainWindow w(scratchPlaces(), quiet());
  w.session().settings().autoPreview = 1;
  w.session().settings().previewAllEntries = 1;
  w.applyDisplaySettings();
  w.show();
  w.list()->addDirectory(flatFolder(), false);
  w.tabs()->setCurrentIndex(1);
  auto* page = static_cast<rules::ReplaceTab*>(w.ruleTab(1))->ui();
  page->正则表达式选择框->setChecked(true);
  page->替换为编辑框->setText(QStringLiteral("第$1话"));
  QApplication::processEvents();
  double best = 1e9;
  int k = 0;
  for (auto _ : state) {
    best = std::min(
        best, secondsOf([&] {
          page->查找内容编辑框->setText(++k % 2 ? QStringLiteral("第(\\d+)集") : QStringLiteral("第(\\d)"));
          QApplication::processEvents();
        }));
  }
  state.counters["rows"] = w.fileList().rowCount();
  state.counters["keystroke_ms"] = best * 1e3;
}

BENCHMARK(BM_SortByOldName)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_RecursiveAdd)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RegexKeystroke)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) { return qorin::bench::runWindowBenchmarks(argc, argv); }
