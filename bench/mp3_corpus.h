// SPDX-License-Identifier: GPL-3.0-or-later
// Generated MP3 files for the tag benchmarks: an ID3v2 tag, 64 KiB of
// frame-like audio and an ID3v1 block each (half of them with Chinese titles
// and artists), in a folder removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/tag_fields.h"
#include "text/gbtext.h"

namespace qorin::bench {

struct Mp3Corpus {
  std::filesystem::path root;  // removed with the corpus
  std::filesystem::path dir;   // holds the files
  std::vector<std::string> paths;

  explicit Mp3Corpus(int count, const char* tag) {
    root =
        std::filesystem::temp_directory_path() / (std::string(tag) + std::to_string(std::random_device{}()));
    dir = root / "music";
    std::filesystem::create_directories(dir);
    std::string audio(64 * 1024, '\0');
    for (std::size_t i = 0; i < audio.size(); i += 417) audio.replace(i, 4, "\xFF\xFB\x90\x64");
    for (int i = 0; i < count; ++i) {
      tags::TagFields f;
      // Half the titles and artists Chinese: their ID3v1 copies are code-page
      // bytes with no word on their encoding, so reading them runs the detection.
      f[tags::kTitle] = (i % 2 ? text::gb("月亮代表我的心 ") : std::string("Title ")) + std::to_string(i);
      f[tags::kArtist] = (i % 2 ? text::gb("邓丽君 ") : std::string("Artist ")) + std::to_string(i % 97);
      f[tags::kAlbum] = "Album";
      f[tags::kTrack] = std::to_string(i % 20 + 1);
      f[tags::kYear] = "2001";
      f[tags::kGenre] = "(17)Rock";
      f[tags::kComment] = "generated";
      const std::string bytes =
          tags::buildId3v2Tag(f) + audio + tags::buildId3v1Block(f[1], f[2], f[3], f[5], f[7]);
      paths.push_back((dir / ("f" + std::to_string(i) + ".mp3")).string());
      std::ofstream(paths.back(), std::ios::binary)
          .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }
  ~Mp3Corpus() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  Mp3Corpus(const Mp3Corpus&) = delete;
  Mp3Corpus& operator=(const Mp3Corpus&) = delete;
};

}  // namespace qorin::bench
