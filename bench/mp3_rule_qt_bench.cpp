// SPDX-License-Identifier: GPL-3.0-or-later
// One keystroke in the MP3 rule field with 5,000 tagged files listed: the
// whole refresh through the window (every file opened and its tag read, the
// new-name column filled and painted), against TagLib reading the same 5,000
// tags in the same run. Warm cache: the files were just written.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "mp3_corpus.h"
#include "platform/fs.h"
#include "rules/gui/mp3_tab.h"
#include "session/settings.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "timed_passes.h"
#include "ui_mp3_page.h"

#ifdef QORIN_HAVE_TAGLIB
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#endif

namespace {

constexpr int kFiles = 5000;

struct Corpus : qorin::bench::Mp3Corpus {
  Corpus() : Mp3Corpus(kFiles, "qorin-mp3-bench-") {}
};

Corpus* g_corpus = nullptr;
qorin::app::MainWindow* g_window = nullptr;
double g_window_pass = 0, g_taglib_pass = 0;

template <typename F>
void timed(benchmark::State& state, double& perPass, F&& pass) {
  pass();  // warm the cache and the window
  qorin::bench::timedPasses(state, perPass, kFiles, pass);
}

void BM_Mp3TabKeystroke(benchmark::State& state) {
  auto* rule =
      static_cast<qorin::rules::Mp3Tab*>(g_window->ruleTab(qorin::rules::kMp3Tab))->ui()->MP3命名规则编辑框;
  bool longer = false;
  timed(state, g_window_pass, [&] {
    // Typing or deleting one character: the field changes and the tab refreshes.
    longer = !longer;
    rule->setText(longer ? QStringLiteral("#1-#2 ") : QStringLiteral("#1-#2"));
    QCoreApplication::processEvents();  // paint what changed
  });
  const auto& e = g_window->fileList()[kFiles - 1];
  if (e.newNameCell.empty()) state.SkipWithError("the last row shows no new name");
}
BENCHMARK(BM_Mp3TabKeystroke)->Unit(benchmark::kMillisecond)->Iterations(10);

#ifdef QORIN_HAVE_TAGLIB
void BM_TagLibReadTags(benchmark::State& state) {
  timed(state, g_taglib_pass, [&] {
    for (const std::string& p : g_corpus->paths) {
      TagLib::MPEG::File file(p.c_str(), false);  // tags only, no audio properties
      if (auto* t = file.ID3v2Tag())
        benchmark::DoNotOptimize(t->artist().size() + t->title().size() + t->album().size() +
                                 t->genre().size());
    }
  });
}
BENCHMARK(BM_TagLibReadTags)->Unit(benchmark::kMillisecond)->Iterations(10);
#endif

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Corpus corpus;
  g_corpus = &corpus;
  const std::filesystem::path home = corpus.root / "home";
  std::filesystem::create_directories(home);
  {
    qorin::platform::QtDialogs dialogs;  // nothing is asked during the run
    auto window =
        std::make_unique<qorin::app::MainWindow>(qorin::session::Places::in(home.string()), dialogs);
    g_window = window.get();
    window->show();
    window->session().settings().autoPreview = 1;
    window->tabs()->setCurrentIndex(4);
    window->list()->addDirectory(QString::fromStdString(corpus.dir.string()), false);
    QCoreApplication::processEvents();
    if (window->fileList().fileCount() != kFiles) {
      std::fprintf(stderr, "listed %d files, expected %d\n", window->fileList().fileCount(), kFiles);
      return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    window.reset();  // not closed: no settings file is written
  }
  benchmark::Shutdown();
  std::printf("one keystroke on the MP3 tab over %d files: %.1f ms\n", kFiles, g_window_pass * 1000);
  if (g_window_pass > 0 && g_taglib_pass > 0) {
    std::printf("ratio window refresh / TagLib reading the same tags: %.3f (target: at most 1.5)\n",
                g_window_pass / g_taglib_pass);
  } else {
    std::printf("TagLib not available: no ratio\n");
  }
  return 0;
}
