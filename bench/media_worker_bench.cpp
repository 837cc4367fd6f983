// SPDX-License-Identifier: GPL-3.0-or-later
// The dates taken of 5,000 photos read by the date rule through the media
// workers (started afresh each time, so their start is counted) against the
// same rule reading them in the program, both in each iteration so they
// share the machine's load; the counter `ratio` is workers / in-process.
// The photos are one JPEG of tools/photo_fixtures.py copied with 5,000
// different dates.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/date_rule.h"
#include "tags/media_workers.h"

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
    dir = std::filesystem::temp_directory_path() / ("qorin-media-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    dirText = dir.string() + "/";
    const std::string seed = dirText + "seed.jpg";
    const std::string cmd = "/usr/bin/python3 " QORIN_TOOLS_DIR "/photo_fixtures.py '" + seed +
                            "' jpeg original='" + kStamp + "'";
    if (std::system(cmd.c_str()) != 0) return;
    std::ifstream in(seed, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(seed);
    for (int i = 0; i < kPhotos; ++i) {
      std::string b = bytes;
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "2021:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28, i % 24,
                    (i / 24) % 60, i % 60);
      b.replace(b.find(kStamp), 19, stamp);
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

double nameAll(const Corpus& c, benchmark::State& state, tags::MediaWorkers& workers) {
  filelist::FileList list;
  list.reserve(kPhotos);
  for (const std::string& n : c.names) list.addName(n);
  list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, kPhotos - 1, c.dirText);
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  const auto t0 = Clock::now();
  rules::dateRule(list, o, {&workers, {}});
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (list[kPhotos - 1].newName.empty() || list[0].proposalProblem != filelist::Outcome{})
    state.SkipWithError("a photo was not named by its date taken");
  return s;
}

void BM_DatesTakenWorkersAgainstInProcess(benchmark::State& state) {
  static const Corpus corpus;
  const auto here = tags::MediaWorkers::inProgram();
  double bestWorkers = 1e9, bestHere = 1e9;
  for (auto _ : state) {
    const auto workers = tags::MediaWorkers::ours();
    workers->setProgram(QORIN_MEDIA_PATH);  // each run starts its own
    bestWorkers = std::min(bestWorkers, nameAll(corpus, state, *workers));
    bestHere = std::min(bestHere, nameAll(corpus, state, *here));
  }
  state.counters["workers_ms"] = bestWorkers * 1e3;
  state.counters["in_process_ms"] = bestHere * 1e3;
  state.counters["ratio"] = bestWorkers / bestHere;
}
BENCHMARK(BM_DatesTakenWorkersAgainstInProcess)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
