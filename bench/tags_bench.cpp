// SPDX-License-Identifier: GPL-3.0-or-later
// The tag code against baselines measured in the same run:
// - reading the tags of 5,000 generated MP3 files, ours against TagLib
//   reading the same files (target: at most 0.3 of TagLib's time);
// - the MP3 naming rule over those files (a tag read and a name made each),
//   and over as many names no tag reader takes, which only the choice of
//   reader costs;
// - rewriting the tag of a 30 MB file against a plain copy of that file
//   (target: at most 1.5 times the copy);
// - the repair to Unicode of 1,000 files with code-page tags, as files per
//   second beside TagLib reading those files.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "filelist/file_list.h"
#include "mp3_corpus.h"
#include "platform/open_file.h"
#include "rules/mp3_rule.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_unicode.h"
#include "tags/syncsafe.h"
#include "text/gbtext.h"
#include "timed_passes.h"

#ifdef QORIN_HAVE_TAGLIB
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 5000;
constexpr int kRepairFiles = 1000;
constexpr std::size_t kBigAudio = 30u << 20;

struct Corpus : qorin::bench::Mp3Corpus {
  Corpus() : Mp3Corpus(kFiles, "qorin-tags-bench-") {}
};

Corpus& corpus() {
  static Corpus c;
  return c;
}

// A folder removed at the end of the run.
struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("qorin-tags-scratch-" + std::to_string(std::random_device{}()));
  Scratch() { fs::create_directories(dir); }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Scratch& scratch() {
  static Scratch s;
  return s;
}

void writeFile(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string audio(std::size_t n) {
  std::string a(n, '\0');
  for (std::size_t i = 0; i < a.size(); i += 417)
    a.replace(i, std::min<std::size_t>(4, n - i), "\xFF\xFB\x90\x64");
  return a;
}

// A tag as this program used to write it: code-page texts under encoding 0.
std::string codePageTag(int i) {
  std::string frames;
  const auto frame = [&](const char* id, const std::string& text) {
    const std::string content = std::string(1, '\0') + text;
    const auto n = static_cast<std::uint32_t>(content.size());
    frames += id;
    frames += {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
               static_cast<char>(n)};
    frames += std::string(2, '\0') + content;
  };
  frame("TIT2", qorin::text::gb("春天的故事 ") + std::to_string(i));
  frame("TPE1", qorin::text::gb("歌手甲"));
  frame("TALB", qorin::text::gb("四季"));
  frame("TRCK", std::to_string(i % 20 + 1));
  frame("TCON", "(13)Pop");
  frames += std::string(512, '\0');
  return "ID3\x03" + std::string(2, '\0') +
         qorin::tags::encodeSyncSafe(static_cast<std::uint32_t>(frames.size())) + frames;
}

std::vector<std::string> repairCorpus() {
  std::vector<std::string> paths;
  const fs::path dir = scratch().dir / "repair";
  fs::create_directories(dir);
  const std::string a = audio(64 * 1024);
  for (int i = 0; i < kRepairFiles; ++i) {
    std::string name = "r";  // appended piece by piece: GCC 12 sees an overlap in "r" + ...
    name += std::to_string(i);
    paths.push_back((dir / (name += ".mp3")).string());
    writeFile(paths.back(), codePageTag(i) + a);
  }
  return paths;
}

double g_ours = 0, g_naming = 0, g_otherNames = 0, g_taglib = 0, g_rewrite = 0, g_copy = 0, g_flushedCopy = 0,
       g_repair = 0, g_taglibRepairFiles = 0;

template <typename F>
void timed(benchmark::State& state, double& perPass, int items, F&& pass) {
  qorin::bench::timedPasses(state, perPass, items, pass);
}

void BM_QorinReadTags(benchmark::State& state) {
  const auto& paths = corpus().paths;
  timed(state, g_ours, kFiles, [&] {
    for (const std::string& p : paths) {
      qorin::platform::OpenFile file(p, qorin::platform::OpenMode::Read);
      qorin::tags::TagFields v1, v2;
      benchmark::DoNotOptimize(qorin::tags::readId3v2(file, v2));
      benchmark::DoNotOptimize(qorin::tags::readId3v1(file, v1));
    }
  });
}
BENCHMARK(BM_QorinReadTags)->Unit(benchmark::kMillisecond)->Iterations(5);

// The corpus listed as the window lists a folder.
qorin::filelist::FileList listOfCorpus() {
  const Corpus& c = corpus();
  qorin::filelist::FileList list;
  for (const std::string& p : c.paths) list.addName(fs::path(p).filename().string());
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, list.fileCount() - 1,
                (c.dir / "").string());
  return list;
}

void BM_Mp3RuleNaming(benchmark::State& state) {
  qorin::filelist::FileList list = listOfCorpus();
  const qorin::rules::Mp3Options o{"#1-#3-#2", qorin::rules::TagPriority::V2First};
  timed(state, g_naming, kFiles, [&] { qorin::rules::mp3Rule(list, o); });
  if (list[kFiles - 1].newName.empty()) state.SkipWithError("no name made");
}
BENCHMARK(BM_Mp3RuleNaming)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Mp3RuleOtherNames(benchmark::State& state) {
  qorin::filelist::FileList list;
  const char* exts[] = {".txt", ".jpg", "", ".MKV", ".mp3.bak"};
  for (int i = 0; i < kFiles; ++i) list.addName("file " + std::to_string(i) + exts[i % 5]);
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, kFiles - 1,
                (corpus().dir / "").string());
  const qorin::rules::Mp3Options o{"#1-#2", qorin::rules::TagPriority::V2First};
  timed(state, g_otherNames, kFiles, [&] { qorin::rules::mp3Rule(list, o); });
}
BENCHMARK(BM_Mp3RuleOtherNames)->Unit(benchmark::kMicrosecond)->Iterations(200);

#ifdef QORIN_HAVE_TAGLIB
void readWithTagLib(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    TagLib::MPEG::File file(p.c_str(), false);  // tags only, no audio properties
    if (auto* t = file.ID3v2Tag()) benchmark::DoNotOptimize(t->title().size() + t->genre().size());
    if (auto* t = file.ID3v1Tag()) benchmark::DoNotOptimize(t->title().size());
  }
}

void BM_TagLibReadTags(benchmark::State& state) {
  const auto& paths = corpus().paths;
  timed(state, g_taglib, kFiles, [&] { readWithTagLib(paths); });
}
BENCHMARK(BM_TagLibReadTags)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

// One 30 MB file: a tag rewrite (which moves the audio) against copying it.
const std::string& bigFile() {
  static const std::string path = [] {
    const fs::path p = scratch().dir / "big.mp3";
    qorin::tags::TagFields f;
    f[qorin::tags::kTitle] = "Big";
    writeFile(p, qorin::tags::buildId3v2Tag(f) + audio(kBigAudio));
    return p.string();
  }();
  return path;
}

// Interleaved, so that both see the same state of the disk: a plain copy
// (what the target is set against), the same copy flushed to the disk (the
// durability an atomic replacement needs), and the tag rewrite.
void BM_RewriteTagAgainstCopy30MB(benchmark::State& state) {
  const std::string& path = bigFile();
  const fs::path copy = scratch().dir / "copy.mp3";
  double rewrite = 0, plain = 0, flushed = 0;
  int n = 0;
  const auto seconds = [](auto&& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  for (auto _ : state) {
    plain += seconds([&] { fs::copy_file(path, copy, fs::copy_options::overwrite_existing); });
    flushed += seconds([&] {
      fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
      std::FILE* f = std::fopen(copy.string().c_str(), "rb+");
      if (f) {
        ::fsync(::fileno(f));
        std::fclose(f);
      }
    });
    rewrite += seconds([&] {
      qorin::platform::OpenFile file(path, qorin::platform::OpenMode::ReadWrite);
      qorin::tags::TagFields f;
      f[qorin::tags::kTitle] = "Title " + std::to_string(++n);
      if (!qorin::tags::writeId3v2(file, f)) state.SkipWithError("write failed");
    });
  }
  const auto runs = static_cast<double>(state.iterations());
  g_rewrite = rewrite / runs;
  g_copy = plain / runs;
  g_flushedCopy = flushed / runs;
  state.counters["rewrite_ms"] = 1000 * g_rewrite;
  state.counters["copy_ms"] = 1000 * g_copy;
  state.counters["flushed_copy_ms"] = 1000 * g_flushedCopy;
}
BENCHMARK(BM_RewriteTagAgainstCopy30MB)->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_RepairToUnicode(benchmark::State& state) {
  const std::string stateDir = (scratch().dir / "state").string();
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::vector<std::string> paths = repairCorpus();  // fresh code-page tags each pass
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::string& p : paths) {
      if (qorin::tags::convertId3v2ToUnicode(p, stateDir).outcome !=
          qorin::tags::UnicodeConversion::Converted)
        state.SkipWithError("not converted");
    }
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  g_repair = total / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kRepairFiles);
}
BENCHMARK(BM_RepairToUnicode)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef QORIN_HAVE_TAGLIB
void BM_TagLibReadRepairFiles(benchmark::State& state) {
  const std::vector<std::string> paths = repairCorpus();
  timed(state, g_taglibRepairFiles, kRepairFiles, [&] { readWithTagLib(paths); });
}
BENCHMARK(BM_TagLibReadRepairFiles)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  corpus();  // generated once, outside the timings
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ours > 0 && g_taglib > 0) {
    std::printf("ratio ours/TagLib reading %d files: %.3f (target: at most 0.3)\n", kFiles,
                g_ours / g_taglib);
  } else {
    std::printf("TagLib not available: no reading ratio\n");
  }
  if (g_naming > 0 && g_taglib > 0) {
    std::printf("ratio MP3 naming rule/TagLib reading %d files: %.3f\n", kFiles, g_naming / g_taglib);
  }
  if (g_otherNames > 0) {
    std::printf("MP3 naming rule over %d names no reader takes: %.1f ns a name\n", kFiles,
                g_otherNames * 1e9 / kFiles);
  }
  if (g_rewrite > 0 && g_copy > 0) {
    std::printf("ratio tag rewrite/plain copy of a 30 MB file: %.3f (target: at most 1.5)\n",
                g_rewrite / g_copy);
  }
  if (g_repair > 0) {
    std::printf("repair to Unicode: %.0f files/s", kRepairFiles / g_repair);
    if (g_taglibRepairFiles > 0)
      std::printf("; TagLib reading the same files: %.0f files/s", kRepairFiles / g_taglibRepairFiles);
    std::printf("\n");
  }
  return 0;
}
