// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 naming rule over 5,000 generated FLAC files (TagLib opening each
// through our stream, the Vorbis comment read from its bytes, a name made)
// against TagLib alone reading the same files' tags through FileRef, in the
// same run (target: at most 1.2 of TagLib's time).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "rules/mp3_rule.h"
#include "rules/rule.h"
#include "timed_passes.h"

#ifdef QORIN_HAVE_TAGLIB
#include <taglib/fileref.h>
#include <taglib/tag.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 5000;

std::string le32(std::uint32_t n) {
  return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
          static_cast<char>(n >> 24)};
}

std::string block(int type, bool last, const std::string& body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  return std::string{static_cast<char>(type | (last ? 0x80 : 0)), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)} +
         body;
}

// STREAMINFO, a Vorbis comment (half of them Chinese, in UTF-8) and 16 KiB
// standing in for the frames.
std::string flacFile(int i) {
  // Block sizes 4096, frame sizes unknown, 44.1 kHz, 2 channels, 16 bits, 4800 samples, no MD5.
  std::string info = std::string("\x10\x00\x10\x00", 4) + std::string(6, '\0');
  const std::uint64_t format = (44100ull << 44) | (1ull << 41) | (15ull << 36) | 4800;
  for (int shift = 56; shift >= 0; shift -= 8) info += static_cast<char>(format >> shift);
  info += std::string(16, '\0');
  const std::vector<std::string> fields = {
      "ARTIST=" + std::string(i % 2 ? "邓丽君 " : "Artist ") + std::to_string(i % 97),
      "TITLE=" + std::string(i % 2 ? "月亮代表我的心 " : "Title ") + std::to_string(i),
      "ALBUM=Album",
      "TRACKNUMBER=" + std::to_string(i % 20 + 1),
      "DATE=2001",
      "GENRE=Rock",
  };
  std::string comment = le32(5) + "qorin" + le32(static_cast<std::uint32_t>(fields.size()));
  for (const std::string& f : fields) comment += le32(static_cast<std::uint32_t>(f.size())) + f;
  std::string audio(16 * 1024, '\0');
  for (std::size_t k = 0; k < audio.size(); k += 512) audio.replace(k, 2, "\xFF\xF8");
  return "fLaC" + block(0, false, info) + block(4, true, comment) + audio;
}

struct Corpus {
  fs::path dir = fs::temp_directory_path() / ("qorin-flac-bench-" + std::to_string(std::random_device{}()));
  std::vector<std::string> paths;
  Corpus() {
    fs::create_directories(dir);
    for (int i = 0; i < kFiles; ++i) {
      std::string name = "f";  // appended piece by piece: GCC 12 sees an overlap in "f" + ...
      name += std::to_string(i);
      paths.push_back((dir / (name += ".flac")).string());
      const std::string bytes = flacFile(i);
      std::ofstream(paths.back(), std::ios::binary)
          .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }
  ~Corpus() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Corpus& corpus() {
  static Corpus c;
  return c;
}

double g_naming = 0, g_taglib = 0, g_taglibWithProperties = 0;

template <typename F>
void timed(benchmark::State& state, double& perPass, F&& pass) {
  qorin::bench::timedPasses(state, perPass, kFiles, pass);
}

void BM_FlacNamingRule(benchmark::State& state) {
  qorin::filelist::FileList list;
  for (const std::string& p : corpus().paths) list.addName(fs::path(p).filename().string());
  list.fillRows(qorin::filelist::kFillAppend | qorin::filelist::kFillDirectory, 0, kFiles - 1,
                (corpus().dir / "").string());
  const qorin::rules::Mp3Options o{"#1-#3-#2", qorin::rules::TagPriority::V2First};
  timed(state, g_naming, [&] { qorin::rules::applyRule(list, 1, qorin::rules::RuleOptions(o)); });
  if (list[kFiles - 1].newName.empty()) state.SkipWithError("no name made");
}
BENCHMARK(BM_FlacNamingRule)->Unit(benchmark::kMillisecond)->Iterations(5);

#ifdef QORIN_HAVE_TAGLIB
void readWithFileRef(bool audioProperties) {
  for (const std::string& p : corpus().paths) {
    const TagLib::FileRef f(p.c_str(), audioProperties);
    if (const TagLib::Tag* t = f.tag())
      benchmark::DoNotOptimize(t->artist().size() + t->title().size() + t->album().size() + t->track() +
                               t->year() + t->genre().size());
  }
}

void BM_TagLibFileRefTags(benchmark::State& state) {
  timed(state, g_taglib, [] { readWithFileRef(false); });
}
BENCHMARK(BM_TagLibFileRefTags)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_TagLibFileRefDefault(benchmark::State& state) {
  timed(state, g_taglibWithProperties, [] { readWithFileRef(true); });
}
BENCHMARK(BM_TagLibFileRefDefault)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  corpus();  // generated once, outside the timings
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_naming > 0 && g_taglib > 0) {
    std::printf("ratio naming %d FLAC files/TagLib FileRef reading their tags: %.3f (target: at most 1.2)\n",
                kFiles, g_naming / g_taglib);
  } else {
    std::printf("TagLib not available: no ratio\n");
  }
  if (g_naming > 0 && g_taglibWithProperties > 0)
    std::printf("ratio against FileRef with its default audio properties: %.3f\n",
                g_naming / g_taglibWithProperties);
  return 0;
}
