// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 rule over the other audio formats, read through TagLib, on files
// that tools/mutagen_audio.py builds and mutagen tags.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "outcome_codes.h"
#include "rules/mp3_rule.h"
#include "tags/formats.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::rules {
namespace {

using filelist::Mp3Status;
using filelist::Outcome;
using tagtest::hex;
using tagtest::TempDir;
using text::gb;

// Makes `path` as a `format` file with the tag `pairs` ("artist=HEX ...").
void make(const std::string& format, const std::string& path, const std::string& pairs = {}) {
  const std::string cmd = "/usr/bin/python3 " QORIN_TOOLS_DIR "/mutagen_audio.py make " + format + " '" +
                          path + "' " + pairs + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[512];
  while (const std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ASSERT_EQ(::pclose(p), 0) << cmd << "\n" << out;
}

// Makes many files in one run of the generator: each request is
// "FORMAT PATH [KEY=HEX...]", as make() takes them (paths without blanks).
void makeAll(const std::vector<std::string>& requests) {
  FILE* p = ::popen("/usr/bin/python3 " QORIN_TOOLS_DIR "/mutagen_audio.py batch", "w");
  ASSERT_NE(p, nullptr);
  for (const std::string& s : requests) std::fprintf(p, "%s\n", s.c_str());
  ASSERT_EQ(::pclose(p), 0);
}

filelist::FileList listOf(const TempDir& dir, const std::vector<std::string>& names) {
  filelist::FileList list;
  for (const auto& n : names) list.addName(n);
  list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, list.fileCount() - 1, dir.file(""));
  return list;
}

const std::string kTags = "artist=" + hex("歌手甲") + " title=" + hex("Ça déjà vu") + " track=" + hex("3") +
                          " date=" + hex("2003-05-01") + " genre=" + hex("Pop");

struct Format {
  const char* format;
  const char* name;  // the tagged file; "bare-" before it the untagged one
  Mp3Status status;
};
const Format kFormats[] = {
    {"flac", "a.flac", rules::taggedStatus(tags::TagKind::Vorbis)},
    {"ogg", "b.ogg", rules::taggedStatus(tags::TagKind::Vorbis)},
    {"opus", "c.Opus", rules::taggedStatus(tags::TagKind::Vorbis)},
    {"m4a", "d.M4A", rules::taggedStatus(tags::TagKind::Mp4)},
    {"ape", "e.ape", rules::taggedStatus(tags::TagKind::Ape)},
    {"wma", "f.wma", rules::taggedStatus(tags::TagKind::Asf)},
    {"wav", "g.WAV", rules::taggedStatus(tags::TagKind::Id3Chunk)},
    {"aiff", "h.aiff", rules::taggedStatus(tags::TagKind::Id3Chunk)},
    {"oga", "i.oga", rules::taggedStatus(tags::TagKind::Vorbis)},
    {"spx", "j.spx", rules::taggedStatus(tags::TagKind::Vorbis)},
    {"mpc", "k.mpc", rules::taggedStatus(tags::TagKind::Ape)},
    {"wv", "l.wv", rules::taggedStatus(tags::TagKind::Ape)},
    {"tta", "m.tta", rules::taggedStatus(tags::TagKind::Id3Chunk)},
    {"aifc", "n.aifc", rules::taggedStatus(tags::TagKind::Id3Chunk)},
};

TEST(TagLibFormats, NamedFromTheirTagsWithTheirOwnExtension) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<std::string> requests;
  for (const Format& f : kFormats) {
    requests.push_back(std::string(f.format) + " " + dir.file(f.name) + " " + kTags);
    requests.push_back(std::string(f.format) + " " + dir.file(std::string("bare-") + f.name));
    names.push_back(f.name);
    names.push_back(std::string("bare-") + f.name);
  }
  makeAll(requests);
  names.push_back("notes.txt");
  filelist::FileList list = listOf(dir, names);
  mp3Rule(list, {"#1-#2-#4-#5-#6", TagPriority::V2First});

  for (std::size_t i = 0; i < std::size(kFormats); ++i) {
    const Format& f = kFormats[i];
    const std::string ext = std::string(f.name).substr(1);
    const auto row = static_cast<int>(2 * i);
    EXPECT_EQ(list[row].newName, gb("歌手甲-Ça déjà vu-3-2003-Pop") + ext) << f.name;
    EXPECT_EQ(list[row].mp3Code, f.status) << f.name;
    EXPECT_EQ(list[row + 1].newName, "") << f.name;
    EXPECT_EQ(list[row + 1].mp3Code, Mp3Status::NoTag) << f.name;
    EXPECT_EQ(list[row + 1].proposalProblem, codes::NoTag) << f.name;
  }
  EXPECT_EQ(list[list.fileCount() - 1].proposalProblem, codes::UnsupportedFormat);
  // 删除无标签条目 takes the untagged files and the others, never a tagged one.
  std::vector<int> untagged;
  for (int r = 1; r < list.fileCount(); r += 2) untagged.push_back(r);
  untagged.push_back(list.fileCount() - 1);
  EXPECT_EQ(list.rowsWithMp3Status(), untagged);
}

// Code-page bytes where a format has no word on the encoding are read as
// ID3 reads unlabelled texts; damaged files fail with a reason of their own.
TEST(TagLibFormats, UnlabelledBytesAndDamagedFiles) {
  TempDir dir;
  const std::string gbkSpring = "b4baccecb5c4b9cacac2";  // 春天的故事
  const std::string gbkSinger = "b8e8cad6bcd7";          // 歌手甲
  const std::string pairs = "raw-artist=" + gbkSinger + " raw-title=" + gbkSpring;
  make("flac", dir.file("gbk.flac"), pairs);
  make("ape", dir.file("gbk.ape"), pairs);
  make("wav", dir.file("gbk.wav"), pairs);
  make("aiff", dir.file("gbk.aiff"), pairs);
  tagtest::writeBytes(dir.file("garbage.flac"), std::string(4096, 'x'));
  tagtest::writeBytes(dir.file("garbage.m4a"), "not a file of that type");
  make("ogg", dir.file("cut.ogg"), kTags);
  const std::string whole = tagtest::readBytes(dir.file("cut.ogg"));
  tagtest::writeBytes(dir.file("cut.ogg"), whole.substr(0, 40));
  make("flac", dir.file("cut.flac"), kTags);
  tagtest::writeBytes(dir.file("cut.flac"), tagtest::readBytes(dir.file("cut.flac")).substr(0, 20));

  filelist::FileList list = listOf(dir, {"gbk.flac", "gbk.ape", "gbk.wav", "gbk.aiff", "garbage.flac",
                                         "garbage.m4a", "cut.ogg", "cut.flac", "gone.wma"});
  mp3Rule(list, {"#1-#2", TagPriority::V1First});
  for (int r = 0; r < 4; ++r) {
    const std::string name(list[r].oldName);
    EXPECT_EQ(list[r].newName, gb("歌手甲-春天的故事") + name.substr(3)) << name;
  }
  const Outcome want[] = {codes::DamagedFile, codes::DamagedFile, codes::DamagedFile, codes::DamagedFile,
                          codes::Unreadable};
  for (int r = 4; r < list.fileCount(); ++r) {
    EXPECT_EQ(list[r].proposalProblem, want[r - 4]) << list[r].oldName;
    EXPECT_EQ(list[r].newName, "") << list[r].oldName;
  }
}

// WAV's RIFF INFO and AIFF's text chunks name a file without an ID3 chunk,
// and fill what its ID3 chunk lacks; a module names by its title.
TEST(TagLibFormats, ContainerTextChunks) {
  TempDir dir;
  const std::string gbkSinger = "b8e8cad6bcd7";  // 歌手甲
  const struct {
    const char* format;
    const char* name;
    std::string pairs;
    const char* want;  // UTF-8; "!" for a row with none of the fields
    Mp3Status status;
  } cases[] = {
      {"wav", "info.wav",
       "chunk-INAM=" + hex("Song") + " chunk-IART=" + gbkSinger + " chunk-ITRK=" + hex("3/12") +
           " chunk-ICRD=" + hex("2003-05-01") + " chunk-IGNR=" + hex("Pop"),
       "歌手甲-Song-3-2003-Pop.wav", Mp3Status::TextChunks},
      {"wav", "both.wav",
       "chunk-INAM=" + hex("info title") + " chunk-IART=" + hex("info artist") + " title=" + hex("ID3 title"),
       "info artist-ID3 title--2003-.wav", rules::taggedStatus(tags::TagKind::Id3Chunk)},
      {"wav", "software.wav", "chunk-ISFT=" + hex("Lavf59"), "!", Mp3Status::TextChunks},
      {"aiff", "text.aiff", "chunk-NAME=" + hex("Name") + " chunk-AUTH=" + gbkSinger, "歌手甲-Name---.aiff",
       Mp3Status::TextChunks},
      {"aifc", "text.aifc", "chunk-NAME=" + hex("Name") + " artist=" + hex("ID3 artist"),
       "ID3 artist-Name---.aifc", rules::taggedStatus(tags::TagKind::Id3Chunk)},
      {"mod", "song.mod", "title=" + hex("Space Debris"), "-Space Debris---.mod",
       rules::taggedStatus(tags::TagKind::Module)},
  };
  std::vector<std::string> names, requests;
  for (const auto& c : cases) {
    // "both.wav" has an ID3 year that INFO must not cover.
    const std::string year = std::string(c.name) == "both.wav" ? " date=" + hex("2003") : "";
    requests.push_back(std::string(c.format) + " " + dir.file(c.name) + " " + c.pairs + year);
    names.push_back(c.name);
  }
  requests.push_back("mod " + dir.file("untitled.mod"));
  names.push_back("untitled.mod");
  makeAll(requests);
  filelist::FileList list = listOf(dir, names);
  mp3Rule(list, {"#1-#2-#4-#5-#6", TagPriority::V2First});
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto r = static_cast<int>(i);
    const bool fails = std::string(cases[i].want) == "!";
    EXPECT_EQ(list[r].newName, fails ? "" : gb(cases[i].want)) << cases[i].name;
    EXPECT_EQ(list[r].proposalProblem, fails ? codes::NoNeededField : Outcome{}) << cases[i].name;
    EXPECT_EQ(list[r].mp3Code, cases[i].status) << cases[i].name;
  }
  EXPECT_EQ(list[list.fileCount() - 1].mp3Code, Mp3Status::NoTag);
}

// Every cut and a run of bytes overwritten at every place: each row ends
// named, untagged or failed with a reason, and nothing reads out of bounds
// (the sanitizer build runs this too).
TEST(TagLibFormats, DamagedCopiesNeverCrash) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<std::string> requests;
  for (const Format& f : kFormats)
    requests.push_back(std::string(f.format) + " " + dir.file(f.name) + " " + kTags);
  makeAll(requests);
  for (const Format& f : kFormats) {
    const std::string whole = tagtest::readBytes(dir.file(f.name));
    for (std::size_t at = 0; at < whole.size(); at += 37) {
      const std::string cut = "cut" + std::to_string(at) + f.name, hit = "hit" + std::to_string(at) + f.name;
      tagtest::writeBytes(dir.file(cut), whole.substr(0, at));
      std::string damaged = whole;
      damaged.replace(at, std::min<std::size_t>(4, whole.size() - at), "\xFF\xFF\xFF\x7F");
      tagtest::writeBytes(dir.file(hit), damaged);
      names.insert(names.end(), {cut, hit});
    }
  }
  filelist::FileList list = listOf(dir, names);
  mp3Rule(list, {"#1-#2", TagPriority::V2First});
  for (int r = 0; r < list.fileCount(); ++r) {
    const filelist::FileEntry e = list[r];
    EXPECT_TRUE(!e.newName.empty() || e.mp3Code == Mp3Status::NoTag ||
                e.proposalProblem == codes::DamagedFile || e.proposalProblem == codes::NoNeededField)
        << e.oldName;
  }
}

}  // namespace
}  // namespace qorin::rules
