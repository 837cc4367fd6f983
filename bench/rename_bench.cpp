// SPDX-License-Identifier: GPL-3.0-or-later
// The planned, journaled renaming pass over 20,000 files, and over a whole
// folder of a million, against a bare loop of the same renames in the same
// run, with the memory the pass adds (pass_extra_MB): on tmpfs against
// renameat2, and on exFAT mounted through FUSE (run as root) against the
// empty placeholder and renameat the platform uses where the file system
// takes neither the no-replace flag nor hard links. Then the planning and the preview marks
// over 100,000 entries against a plain hash set of their proposals, and
// records read back: a pass's, and one of junk refused. The figures that
// matter are the "ratio" and "*_ms" counters.
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

// GCC 12 at -O3 wrongly sees overlapping copies where the header quotes paths.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
#include "../tests/core/fuse_image.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include "process_memory.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "scratch_dir.h"
#include "text/gbtext.h"

using qorin::bench::onTmpfs;
using qorin::bench::resetPeak;
using qorin::bench::statusMegabytes;
using qorin::bench::TempRoot;

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kFiles = 20000;
constexpr int kEntries = 100000;
constexpr int kMillion = 1000000;
// Under 256 MiB mkfs.exfat takes 4 KiB clusters, so 20,000 one-cluster
// files fit with room to spare.
constexpr int kExfatImageMiB = 128;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

int rawRename(const char* from, const char* to) {
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1 /* RENAME_NOREPLACE */));
}

// What the platform does where neither the flag nor a hard link is taken.
int rawPlaceholderRename(int dir, const char* from, const char* to) {
  const int p = ::openat(dir, to, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (p < 0) return -1;
  ::close(p);
  return ::renameat(dir, from, dir, to);
}

struct DirFd {
  explicit DirFd(const stdfs::path& p) : fd(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~DirFd() {
    if (fd >= 0) ::close(fd);
  }
  DirFd(const DirFd&) = delete;
  DirFd& operator=(const DirFd&) = delete;
  int fd;
};

// The files of a run, each with an "a" and a "b" name, in the code page and
// as the system spells them.
struct PassFiles {
  std::vector<std::string> aGb, bGb, a, b;

  PassFiles(bool chineseNames, int count) {
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(i);
      aGb.push_back(chineseNames ? qorin::text::gb("歌曲 ") + n + ".mp3" : "track " + n + ".mp3");
      bGb.push_back(chineseNames ? qorin::text::gb("新名 ") + n + ".mp3" : "renamed " + n + ".mp3");
      a.push_back(*qorin::text::gbToUtf8(aGb.back()));
      b.push_back(*qorin::text::gbToUtf8(bGb.back()));
    }
  }
  int size() const { return static_cast<int>(a.size()); }
};

// Each iteration moves every file of `folder` from its "a" name to its "b"
// name with `raw(i)`, then back with the pass, so both do the same work on
// the same directory; the pass also plans, writes and flushes its journal.
template <class Raw>
void passAgainstRawLoop(benchmark::State& state, const stdfs::path& folder, const stdfs::path& stateDir,
                        const PassFiles& files, Raw raw) {
  const int count = files.size();
  const std::string dirUtf8 = folder.string() + "/";
  const std::string dirGb = *qorin::text::utf8ToGb(dirUtf8);
  const std::string journal = *qorin::text::utf8ToGb((stateDir / "journal").string());
  for (int i = 0; i < count; ++i) std::ofstream(dirUtf8 + files.a[static_cast<std::size_t>(i)]) << i;
  qorin::filelist::FileList list;
  list.reserve(count);
  for (const auto& b : files.bGb) list.addName(b);
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, count - 1, dirGb);

  double rawSeconds = 0, passSeconds = 0;
  std::vector<double> ratios;
  int progressCalls = 0;
  double passExtra = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int rawOk = 0;
    for (int i = 0; i < count; ++i) rawOk += raw(static_cast<std::size_t>(i));
    const double rawTime = secondsSince(t0);

    for (int i = 0; i < count; ++i) {
      list.setOldName(i, files.bGb[static_cast<std::size_t>(i)]);
      list.setNewName(i, files.aGb[static_cast<std::size_t>(i)]);
    }
    // The kernel's peak count starts afresh from what the process holds now.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = statusMegabytes("VmRSS:");
    t0 = Clock::now();
    const auto pass = qorin::rename::renamePass(list, journal, [&](int, int) { ++progressCalls; });
    const double passTime = secondsSince(t0);
    passExtra = std::max(passExtra, statusMegabytes("VmHWM:") - before);
    if (rawOk != count || pass.renamed != count) {
      state.SkipWithError("renames failed");
      break;
    }
    rawSeconds += rawTime;
    passSeconds += passTime;
    ratios.push_back(passTime / rawTime);
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
  state.counters["pass_extra_MB"] = benchmark::Counter(passExtra);
}

void passOnScratch(benchmark::State& state, bool chineseNames) {
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const stdfs::path work = root.path / "work";
  stdfs::create_directory(work);
  const int count = static_cast<int>(state.range(0));
  const PassFiles files(chineseNames, count);
  std::vector<std::string> aPath, bPath;
  for (int i = 0; i < count; ++i) {
    aPath.push_back((work / files.a[static_cast<std::size_t>(i)]).string());
    bPath.push_back((work / files.b[static_cast<std::size_t>(i)]).string());
  }
  state.counters["tmpfs"] = onTmpfs(work);
  passAgainstRawLoop(state, work, root.path / "state", files,
                     [&](std::size_t i) { return rawRename(aPath[i].c_str(), bPath[i].c_str()) == 0; });
}

void BM_RenamePassAscii(benchmark::State& state) { passOnScratch(state, false); }
void BM_RenamePassChinese(benchmark::State& state) { passOnScratch(state, true); }

BENCHMARK(BM_RenamePassAscii)->Arg(kFiles)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenamePassChinese)->Arg(kFiles)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
// A whole folder of a million files: the pass's own work (listing, identities,
// plan, record) must stay small beside the renames.
BENCHMARK(BM_RenamePassAscii)->Arg(kMillion)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The image lies on the scratch folder (tmpfs where there is one) and the
// journal beside it, so what is measured is FUSE and the daemon, not a disk.
// The daemon finds a name by walking its folder, so a run's time grows with
// the square of the files; 2,000 of them give the ratio in seconds.
void BM_RenamePassExfat(benchmark::State& state) {
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const stdfs::path mountPoint = root.path / "mnt";
  stdfs::create_directory(mountPoint);
  qorin::testing::FuseImage image(qorin::testing::kExfat, root.path / "exfat.img", mountPoint,
                                  kExfatImageMiB);
  if (!image.mounted()) {
    state.SkipWithError(image.skipReason().c_str());
    return;
  }
  const stdfs::path work = mountPoint / "work";
  stdfs::create_directory(work);
  const PassFiles files(false, static_cast<int>(state.range(0)));
  {
    // Closed before the image is unmounted.
    const DirFd dir(work);
    if (dir.fd < 0) {
      state.SkipWithError("the mounted folder does not open");
      return;
    }
    passAgainstRawLoop(state, work, root.path / "state", files, [&](std::size_t i) {
      return rawPlaceholderRename(dir.fd, files.a[i].c_str(), files.b[i].c_str()) == 0;
    });
  }
  if (!image.unmount()) state.SkipWithError("the image did not unmount");
}
BENCHMARK(BM_RenamePassExfat)
    ->Arg(2000)
    ->Arg(kFiles)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

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

// Reading back the record of a pass over 1,000,000 files of one folder, as
// an undo does first: the time, the memory the record holds once read, and
// the peak while it is read (over the process's memory before).
void BM_ReadRecordMillion(benchmark::State& state) {
  constexpr std::uint32_t kSteps = 1000000;
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = (root.path / "record.journal").string();
  {
    qorin::rename::JournalLines l;
    l.header();
    l.folder(0, {root.path.string() + "/", 0x803, 0x1234});
    l.begin(qorin::rename::PhaseKind::Pass);
    for (std::uint32_t i = 0; i < kSteps; ++i) {
      const std::string n = "IMG_" + std::to_string(i) + ".jpg";
      l.step({i, 0, i + 1, false, {0x803, 0x10000 + i, 0, 0x65f3a2b1}, n, "n_" + n});
    }
    l.planned(kSteps);
    l.done(0, kSteps - 1);
    l.end(kSteps);
    std::ofstream(path, std::ios::binary) << l.text();
  }
  double seconds = 0, held = 0, peak = 0;
  for (auto _ : state) {
    resetPeak();
    const double before = statusMegabytes("VmRSS:");
    const auto t0 = Clock::now();
    qorin::rename::JournalRecord r;
    if (qorin::rename::readJournal(path, r) != qorin::rename::JournalRead::Ok) {
      state.SkipWithError("the record does not read back");
      return;
    }
    const double t = secondsSince(t0);
    held = statusMegabytes("VmRSS:") - before;
    peak = statusMegabytes("VmHWM:") - before;
    seconds += t;
    state.SetIterationTime(t);
  }
  state.counters["read_ms"] = benchmark::Counter(seconds * 1e3 / static_cast<double>(state.iterations()));
  state.counters["held_MB"] = benchmark::Counter(held);
  state.counters["peak_MB"] = benchmark::Counter(peak);
  state.counters["file_MB"] = benchmark::Counter(static_cast<double>(stdfs::file_size(path)) / (1 << 20));
}
BENCHMARK(BM_ReadRecordMillion)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A record of 256 MiB of junk lines after a first line of ours, refused as an
// undo reads it: the time against reading its bytes through once, and the
// peak memory over the process's before.
void BM_RefuseJunkRecord(benchmark::State& state) {
  TempRoot root;
  if (root.path.empty()) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = (root.path / "junk.journal").string();
  {
    qorin::rename::JournalLines head;
    head.header();
    std::string block;
    while (block.size() < (std::size_t{1} << 20)) block += "S 1 0 1 s 1 2 3 0 a b\t00000000\n";
    std::ofstream out(path, std::ios::binary);
    out << head.text();
    for (int i = 0; i < 256; ++i) out << block;
  }
  double seconds = 0, raw = 0, peak = 0;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (auto _ : state) {
    const auto r0 = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    for (off_t at = 0; ::pread(fd, buffer.data(), buffer.size(), at) > 0;)
      at += static_cast<off_t>(buffer.size());
    ::close(fd);
    raw += secondsSince(r0);
    resetPeak();
    const double before = statusMegabytes("VmRSS:");
    const auto t0 = Clock::now();
    qorin::rename::JournalRecord r;
    if (qorin::rename::readJournal(path, r) == qorin::rename::JournalRead::Ok) {
      state.SkipWithError("junk was taken for a record");
      return;
    }
    const double t = secondsSince(t0);
    peak = statusMegabytes("VmHWM:") - before;
    seconds += t;
    state.SetIterationTime(t);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["refuse_ms"] = benchmark::Counter(seconds * 1e3 / n);
  state.counters["read_through_ms"] = benchmark::Counter(raw * 1e3 / n);
  state.counters["ratio"] = benchmark::Counter(seconds / raw);
  state.counters["peak_MB"] = benchmark::Counter(peak);
}
BENCHMARK(BM_RefuseJunkRecord)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // __linux__: the baseline is the Linux system call

BENCHMARK_MAIN();
