// The planned, journaled renaming pass over 20,000 files against a bare
// renameat2 loop over the same files in the same run, and the planning and
// the preview marks over 100,000 entries against a plain hash set of their
// proposals. The figures that matter are the "ratio" and "*_ms" counters.
#include <benchmark/benchmark.h>

#ifdef __linux__
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "text/gbtext.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kFiles = 20000;
constexpr int kEntries = 100000;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

int rawRename(const char* from, const char* to) {
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */));
}

struct TempRoot {
  TempRoot() {
    std::string tmpl = (stdfs::temp_directory_path() / "qorin-rbench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~TempRoot() {
    std::error_code ec;
    if (!path.empty()) stdfs::remove_all(path, ec);
  }
  stdfs::path path;
};

// Each iteration moves every file from its "a" name to its "b" name with the
// bare loop, then back with the pass, so both do the same work on the same
// directory; the pass also plans, writes and flushes its journal.
void passAgainstRawLoop(benchmark::State& state, bool chineseNames) {
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  stdfs::create_directory(root.path / "work");
  const std::string dirUtf8 = (root.path / "work").string() + "/";
  const std::string dirGb = *qorin::text::utf8ToGb(dirUtf8);
  const std::string journal = *qorin::text::utf8ToGb((root.path / "state" / "journal").string());

  std::vector<std::string> aGb, bGb, aPath, bPath;
  for (int i = 0; i < kFiles; ++i) {
    const std::string n = std::to_string(i);
    aGb.push_back(chineseNames ? qorin::text::gb("歌曲 ") + n + ".mp3" : "track " + n + ".mp3");
    bGb.push_back(chineseNames ? qorin::text::gb("新名 ") + n + ".mp3" : "renamed " + n + ".mp3");
    aPath.push_back(dirUtf8 + *qorin::text::gbToUtf8(aGb.back()));
    bPath.push_back(dirUtf8 + *qorin::text::gbToUtf8(bGb.back()));
    std::ofstream(aPath.back()) << n;
  }
  qorin::filelist::FileList list;
  list.reserve(kFiles);
  for (const auto& b : bGb) list.addName(b);
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, kFiles - 1, dirGb);

  double rawSeconds = 0, passSeconds = 0;
  std::vector<double> ratios;
  int progressCalls = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int rawOk = 0;
    for (int i = 0; i < kFiles; ++i) rawOk += rawRename(aPath[i].c_str(), bPath[i].c_str()) == 0;
    const double raw = secondsSince(t0);

    for (int i = 0; i < kFiles; ++i) {
      list.setOldName(i, bGb[static_cast<std::size_t>(i)]);
      list.setNewName(i, aGb[static_cast<std::size_t>(i)]);
    }
    t0 = Clock::now();
    const auto pass = qorin::rename::renamePass(list, journal, [&](std::string_view) { ++progressCalls; });
    const double passTime = secondsSince(t0);
    if (rawOk != kFiles || pass.renamed != kFiles) {
      state.SkipWithError("renames failed");
      break;
    }
    rawSeconds += raw;
    passSeconds += passTime;
    ratios.push_back(passTime / raw);
    state.SetIterationTime(passTime);
  }
  // Each iteration's pair ran back to back; the median pair resists the
  // other processes of a shared machine (a flush that waits behind them).
  std::sort(ratios.begin(), ratios.end());
  const auto perIteration = [&](double v) {
    return benchmark::Counter(v / static_cast<double>(state.iterations()));
  };
  state.counters["raw_ms"] = perIteration(rawSeconds * 1e3);
  state.counters["pass_ms"] = perIteration(passSeconds * 1e3);
  state.counters["ratio"] = benchmark::Counter(ratios.empty() ? 0 : ratios[ratios.size() / 2]);
  state.counters["ratio_of_sums"] = benchmark::Counter(rawSeconds > 0 ? passSeconds / rawSeconds : 0);
  state.counters["progress_calls"] = perIteration(progressCalls);
}

void BM_RenamePassAscii(benchmark::State& state) { passAgainstRawLoop(state, false); }
void BM_RenamePassChinese(benchmark::State& state) { passAgainstRawLoop(state, true); }

BENCHMARK(BM_RenamePassAscii)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenamePassChinese)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

// 100,000 entries of one folder as a numbering rule gives them: every tenth
// shifted onto its neighbour's name, swaps, a few duplicates and taken names.
struct Batch {
  std::vector<std::string> names, proposals;
  Batch() {
    for (int i = 0; i < kEntries; ++i) names.push_back(qorin::text::gb("照片 ") + std::to_string(i) + ".jpg");
    for (int i = 0; i < kEntries; ++i) {
      std::string p;
      switch (i % 10) {
        case 0:
          p = names[static_cast<std::size_t>(i + 1)];  // a chain
          break;
        case 2:
          p = names[static_cast<std::size_t>(i + 1)];  // a swap with the next
          break;
        case 3:
          p = names[static_cast<std::size_t>(i - 1)];
          break;
        case 7:
          p = qorin::text::gb("重复.jpg");  // the same proposal many times
          break;
        default:
          p = qorin::text::gb("新照片 ") + std::to_string(i) + ".jpg";
      }
      proposals.push_back(std::move(p));
    }
  }
};

// The baseline: what the least a duplicate check costs, one hash set of the
// proposals.
double hashSetSeconds(const Batch& b) {
  const auto t0 = Clock::now();
  std::unordered_set<std::string_view> seen;
  seen.reserve(b.proposals.size());
  std::size_t dup = 0;
  for (const auto& p : b.proposals) dup += !seen.insert(p).second;
  benchmark::DoNotOptimize(dup);
  return secondsSince(t0);
}

void BM_PlanHundredThousand(benchmark::State& state) {
  const Batch b;
  const qorin::rename::NameSet names(b.names);
  const std::vector<qorin::rename::PlanFolder> folders = {{&names, 255}};
  std::vector<qorin::rename::PlanRow> rows;
  for (int i = 0; i < kEntries; ++i)
    rows.push_back({0, b.names[static_cast<std::size_t>(i)], b.proposals[static_cast<std::size_t>(i)], {}});
  double planSeconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    baseSeconds += hashSetSeconds(b);
    const auto t0 = Clock::now();
    const auto plan = qorin::rename::planMoves(rows, folders, {}, qorin::rename::PlanUse::Pass);
    const double t = secondsSince(t0);
    benchmark::DoNotOptimize(plan.order.data());
    planSeconds += t;
    state.SetIterationTime(t);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["plan_ms"] = benchmark::Counter(planSeconds * 1e3 / n);
  state.counters["hashset_ms"] = benchmark::Counter(baseSeconds * 1e3 / n);
  state.counters["ratio"] = benchmark::Counter(planSeconds / baseSeconds);
}
BENCHMARK(BM_PlanHundredThousand)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The preview's marks over 100,000 rows of one real folder, its listing
// cached as between keystrokes.
void BM_MarksHundredThousand(benchmark::State& state) {
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const Batch b;
  const std::string dirUtf8 = root.path.string() + "/";
  for (const auto& n : b.names) std::ofstream(dirUtf8 + *qorin::text::gbToUtf8(n));
  qorin::filelist::FileList list;
  list.reserve(kEntries);
  for (const auto& n : b.names) list.addName(n);
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, kEntries - 1,
                *qorin::text::utf8ToGb(dirUtf8));
  for (int i = 0; i < kEntries; ++i) list.setNewName(i, b.proposals[static_cast<std::size_t>(i)]);
  qorin::rename::FolderCache cache;
  auto t0 = Clock::now();
  qorin::rename::markConflicts(list, kEntries, cache);  // lists the folder
  const double firstSeconds = secondsSince(t0);
  double markSeconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    baseSeconds += hashSetSeconds(b);
    t0 = Clock::now();
    qorin::rename::markConflicts(list, kEntries, cache);
    const double t = secondsSince(t0);
    markSeconds += t;
    state.SetIterationTime(t);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["marks_ms"] = benchmark::Counter(markSeconds * 1e3 / n);
  state.counters["first_ms"] = benchmark::Counter(firstSeconds * 1e3);
  state.counters["hashset_ms"] = benchmark::Counter(baseSeconds * 1e3 / n);
  state.counters["ratio"] = benchmark::Counter(markSeconds / baseSeconds);
}
BENCHMARK(BM_MarksHundredThousand)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // __linux__: the baseline is the Linux system call

BENCHMARK_MAIN();
