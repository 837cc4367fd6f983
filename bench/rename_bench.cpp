// The renaming pass over 20,000 files against a bare renameat2 loop over the
// same files in the same run; the figure that matters is the "ratio" counter.
#include <benchmark/benchmark.h>

#ifdef __linux__
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rename/rename_pass.h"
#include "text/gbtext.h"

namespace {

namespace stdfs = std::filesystem;
constexpr int kFiles = 20000;

int rawRename(const char* from, const char* to) {
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */));
}

// Each iteration moves every file from its "a" name to its "b" name with the
// bare loop, then back with the pass, so both do the same work on the same
// directory.
void passAgainstRawLoop(benchmark::State& state, bool chineseNames) {
  std::string tmpl = (stdfs::temp_directory_path() / "qorin-rbench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const stdfs::path root = tmpl;
  const std::string dirUtf8 = root.string() + "/";
  const std::string dirGb = *qorin::text::utf8ToGb(dirUtf8);

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

  using Clock = std::chrono::steady_clock;
  double rawSeconds = 0, passSeconds = 0;
  int progressCalls = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int rawOk = 0;
    for (int i = 0; i < kFiles; ++i) rawOk += rawRename(aPath[i].c_str(), bPath[i].c_str()) == 0;
    auto t1 = Clock::now();

    for (int i = 0; i < kFiles; ++i) {
      list.setOldName(i, bGb[static_cast<std::size_t>(i)]);
      list.setNewName(i, aGb[static_cast<std::size_t>(i)]);
    }
    auto t2 = Clock::now();
    const int passOk = qorin::rename::renamePass(list, [&](std::string_view) { ++progressCalls; });
    auto t3 = Clock::now();
    if (rawOk != kFiles || passOk != kFiles) {
      state.SkipWithError("renames failed");
      break;
    }
    const double raw = std::chrono::duration<double>(t1 - t0).count();
    const double pass = std::chrono::duration<double>(t3 - t2).count();
    rawSeconds += raw;
    passSeconds += pass;
    state.SetIterationTime(pass);
  }
  state.counters["raw_ms"] = benchmark::Counter(rawSeconds * 1e3 / static_cast<double>(state.iterations()));
  state.counters["pass_ms"] = benchmark::Counter(passSeconds * 1e3 / static_cast<double>(state.iterations()));
  state.counters["ratio"] = benchmark::Counter(rawSeconds > 0 ? passSeconds / rawSeconds : 0);
  state.counters["progress_calls"] =
      benchmark::Counter(static_cast<double>(progressCalls) / static_cast<double>(state.iterations()));
  stdfs::remove_all(root);
}

void BM_RenamePassAscii(benchmark::State& state) { passAgainstRawLoop(state, false); }
void BM_RenamePassChinese(benchmark::State& state) { passAgainstRawLoop(state, true); }

BENCHMARK(BM_RenamePassAscii)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenamePassChinese)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // __linux__: the baseline is the Linux system call

BENCHMARK_MAIN();
