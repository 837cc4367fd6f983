// Reading the tags of 5,000 generated MP3 files: ours against TagLib reading
// the same files in the same run. Reported as the ratio ours / TagLib.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mp3_corpus.h"
#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"

#ifdef QORIN_HAVE_TAGLIB
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#endif

namespace {

constexpr int kFiles = 5000;

struct Corpus : qorin::bench::Mp3Corpus {
  Corpus() : Mp3Corpus(kFiles, "qorin-tags-bench-") {}
};

Corpus& corpus() {
  static Corpus c;
  return c;
}

double g_ours = 0, g_taglib = 0;

template <typename F>
void timed(benchmark::State& state, double& perPass, F&& pass) {
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    pass();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  perPass = total / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_QorinReadTags(benchmark::State& state) {
  const auto& paths = corpus().paths;
  timed(state, g_ours, [&] {
    for (const std::string& p : paths) {
      qorin::platform::OpenFile file(p, qorin::platform::OpenMode::Read);
      qorin::tags::TagFields v1, v2;
      benchmark::DoNotOptimize(qorin::tags::readId3v2(file, v2));
      benchmark::DoNotOptimize(qorin::tags::readId3v1(file, v1));
    }
  });
}
BENCHMARK(BM_QorinReadTags)->Unit(benchmark::kMillisecond)->Iterations(5);

#ifdef QORIN_HAVE_TAGLIB
void BM_TagLibReadTags(benchmark::State& state) {
  const auto& paths = corpus().paths;
  timed(state, g_taglib, [&] {
    for (const std::string& p : paths) {
      TagLib::MPEG::File file(p.c_str(), false);  // tags only, no audio properties
      if (auto* t = file.ID3v2Tag()) benchmark::DoNotOptimize(t->title().size() + t->genre().size());
      if (auto* t = file.ID3v1Tag()) benchmark::DoNotOptimize(t->title().size());
    }
  });
}
BENCHMARK(BM_TagLibReadTags)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  corpus();  // generated once, outside the timings
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ours > 0 && g_taglib > 0) {
    std::printf("ratio ours/TagLib reading %d files: %.3f (target: at most 1)\n", kFiles, g_ours / g_taglib);
  } else {
    std::printf("TagLib not available: no ratio\n");
  }
  return 0;
}
