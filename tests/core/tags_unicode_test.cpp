// SPDX-License-Identifier: GPL-3.0-or-later
// The repair of old tags: texts under encoding 0 with non-ASCII bytes become
// UTF-16, everything else stays as it was.
#include <gtest/gtest.h>

#include <map>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_frames.h"
#include "tags/id3v2_unicode.h"
#include "tags/syncsafe.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using namespace std::literals;
using tagtest::readBytes;
using tagtest::TempDir;
using tagtest::writeBytes;

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A frame of version 2 (three-letter id), 3 (plain size) or 4 (sync-safe size).
std::string frame(int version, std::string_view id, std::string_view content, char format = 0) {
  const auto n = static_cast<std::uint32_t>(content.size());
  if (version == 2) return std::string(id) + be32(n).substr(1) + std::string(content);
  return std::string(id) + (version == 4 ? encodeSyncSafe(n) : be32(n)) + '\0' + format +
         std::string(content);
}

std::string tag(int version, std::string_view frames, std::size_t padding, char flags = 0) {
  const std::string body = std::string(frames) + std::string(padding, '\0');
  return "ID3"s + static_cast<char>(version) + '\0' + flags +
         encodeSyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

// A zero byte after every FF, as unsynchronisation stores it.
std::string unsynchronised(std::string_view s) {
  std::string out;
  for (const char c : s) {
    out += c;
    if (c == '\xFF') out += '\0';
  }
  return out;
}

std::string utf16(const char* utf8) { return "\xFF\xFE" + *text::gbToUtf16(text::gb(utf8)); }

std::map<std::string, std::string> contents(const std::string& t) {
  std::map<std::string, std::string> out;
  const auto walk = detail::walkId3v2Frames(t);
  for (const auto& f : walk.frames) out.emplace(std::string(f.id), std::string(f.content));
  return out;
}

const std::string kPicture = "\x89PNG\xFF\x00\xFF\xE0 picture bytes"s;

TEST(UnicodeTag, ConvertsOnlyNonAsciiTextsUnderEncodingZero) {
  const std::string apic = "\0image/png\0\x03"s + text::gb("封面") + '\0' + kPicture;
  const std::string frames = frame(3, "TIT2", "\0"s + text::gb("春天的故事")) +
                             frame(3, "TPE1", "\0Artist"sv) +
                             frame(3, "COMM", "\0CHS\0"s + text::gb("评论")) + frame(3, "APIC", apic) +
                             frame(3, "TALB", "\x01" + utf16("专辑")) + frame(3, "PCNT", "\0\0\0\x07"sv) +
                             frame(3, "TPE2", "\0Bj\xF6rk"sv) + frame(3, "TPOS", "\x05\0\xE9"sv, 0x20);
  const std::string old = tag(3, frames, 200);
  const auto converted = unicodeTag(old);
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->size(), old.size());  // the frames still fit: the audio stays where it is
  auto c = contents(*converted);
  EXPECT_EQ(c["TIT2"], "\x01" + utf16("春天的故事"));
  EXPECT_EQ(c["TPE1"], "\0Artist"s);
  EXPECT_EQ(c["COMM"],
            "\x01"
            "CHS"s +
                "\xFF\xFE\0\0"s + utf16("评论"));
  EXPECT_EQ(c["APIC"], "\x01image/png\0\x03"s + utf16("封面") + "\0\0"s + kPicture);
  EXPECT_EQ(c["TALB"], "\x01" + utf16("专辑"));
  EXPECT_EQ(c["PCNT"], "\0\0\0\x07"s);
  // ISO-8859-1 for sure is what encoding 0 promises: it stays, its group byte too.
  EXPECT_EQ(c["TPE2"], "\0Bj\xF6rk"s);
  EXPECT_NE(converted->find("TPOS\0\0\0\x03\0\x20\x05\0\xE9"s), std::string::npos);

  // The texts read the same before and after.
  TagFields before, after;
  ASSERT_TRUE(parseId3v2Tag(old, before));
  ASSERT_TRUE(parseId3v2Tag(*converted, after));
  EXPECT_EQ(after, before);
  EXPECT_FALSE(unicodeTag(*converted));  // nothing left to do
}

TEST(UnicodeTag, KeepsTheVersionAndTheRest) {
  struct Case {
    const char* name;
    std::string old;
    std::string id, content;  // expected in the converted tag
    int version;
  };
  const Case cases[] = {
      {"ID3v2.2", tag(2, frame(2, "TT2", "\0"s + text::gb("后来")) + frame(2, "TP1", "\0A"sv), 0), "TT2",
       "\x01" + utf16("后来"), 2},
      {"ID3v2.4, sync-safe sizes",
       tag(4, frame(4, "TPE1", "\0"s + std::string(200, 'x') + text::gb(" 后来")), 0), "TPE1",
       "\x01" + utf16((std::string(200, 'x') + " 后来").c_str()), 4},
      {"ID3v2.3 unsynchronised, extended header",
       tag(3,
           unsynchronised("\0\0\0\x06\0\0\0\0\0\0"s + frame(3, "PRIV", "o\0\xFF\xE0"sv) +
                          frame(3, "TIT2", "\0"s + text::gb("雪花"))),
           4, '\xC0'),
       "TIT2", "\x01" + utf16("雪花"), 3},
  };
  for (const Case& c : cases) {
    const auto converted = unicodeTag(c.old);
    ASSERT_TRUE(converted) << c.name;
    EXPECT_EQ((*converted)[3], c.version) << c.name;
    EXPECT_EQ(static_cast<unsigned char>((*converted)[5]) & 0xC0, 0)
        << c.name;  // plain frames, no extended header
    EXPECT_EQ(contents(*converted)[c.id], c.content) << c.name;
  }
  // Grown past the old tag: padding for later edits.
  const std::string full = tag(3, frame(3, "TIT2", "\0"s + text::gb("长标题")), 0);
  const auto grown = unicodeTag(full);
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->size(), full.size() + 2 + 1024);  // three characters: 6 bytes, then 9

  const std::string nothingToDo[] = {
      tag(3, frame(3, "TIT2", "\0ascii"sv), 10), tag(3, frame(3, "TIT2", "\x01" + utf16("中")), 10),
      tag(3, frame(3, "PRIV", "owner\0\xE9\xE9"sv), 10),   // binary data, no texts
      "ID3\x02\0\x40\0\0\0\x10"s + std::string(16, '\0'),  // ID3v2.2 compression: nothing readable
  };
  for (const std::string& t : nothingToDo) EXPECT_FALSE(unicodeTag(t)) << tagtest::hex(t.substr(0, 24));
}

class ConvertFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("song.mp3");
  std::string state = dir.file("state");
  const std::string audio = tagtest::fakeAudio(20000);
  const std::string v1 = buildId3v1Block("v1", "", "", "", "");

  ConversionResult convert() { return convertId3v2ToUnicode(path, state); }
};

TEST_F(ConvertFile, OutcomesPerKindOfFile) {
  TagFields chinese;
  chinese[kTitle] = text::gb("春天的故事");
  struct Case {
    const char* name;
    std::string bytes;
    UnicodeConversion outcome;
  };
  const Case cases[] = {
      {"code-page bytes under encoding 0",
       tag(3,
           frame(3, "TIT2", "\0"s + text::gb("春天的故事")) +
               frame(3, "APIC", "\0image/png\0\x03\0"s + kPicture),
           64) +
           audio + v1,
       UnicodeConversion::Converted},
      {"written as UTF-16", buildId3v2Tag(chinese) + audio, UnicodeConversion::NotNeeded},
      {"ASCII only", tag(3, frame(3, "TIT2", "\0Spring"sv), 64) + audio, UnicodeConversion::NotNeeded},
      {"no ID3v2 tag", audio + v1, UnicodeConversion::NotNeeded},
      {"size past the end",
       "ID3\x03\0\0"s + encodeSyncSafe(1 << 20) + frame(3, "TIT2", "\0\xD6\xD0"sv) + audio,
       UnicodeConversion::Failed},
  };
  for (const Case& c : cases) {
    writeBytes(path, c.bytes);
    const ConversionResult r = convert();
    EXPECT_EQ(r.outcome, c.outcome) << c.name;
    EXPECT_EQ(r.problem == ConversionProblem::None, c.outcome != UnicodeConversion::Failed) << c.name;
    const std::string after = readBytes(path);
    if (c.outcome != UnicodeConversion::Converted) {
      EXPECT_TRUE(after == c.bytes) << c.name;
      continue;
    }
    // Audio and ID3v1 untouched, the picture too; a second run has nothing to do.
    EXPECT_TRUE(after.substr(after.size() - audio.size() - v1.size()) == audio + v1) << c.name;
    EXPECT_NE(after.find(kPicture), std::string::npos);
    platform::OpenFile f(path, platform::OpenMode::Read);
    TagFields back;
    ASSERT_TRUE(readId3v2(f, back));
    EXPECT_EQ(back[kTitle], text::gb("春天的故事"));
    f.close();
    EXPECT_EQ(convert().outcome, UnicodeConversion::NotNeeded) << c.name;
    EXPECT_TRUE(readBytes(path) == after);
  }
  EXPECT_EQ(dir.entryCount(), 1u);  // nothing left beside the file (no state folder needed)
}

TEST_F(ConvertFile, FailuresLeaveTheFileAsItWas) {
  const std::string original = tag(3, frame(3, "TIT2", "\0\xD6\xD0\xCE\xC4"sv), 64) + audio;
  const auto reset = [&] { writeBytes(path, original); };
  reset();
  platform::failOpenForWriting(path);
  ConversionResult r = convert();
  platform::failOpenForWriting("");
  EXPECT_EQ(r.outcome, UnicodeConversion::Failed);
  EXPECT_EQ(r.problem, ConversionProblem::NotWritable);

  platform::setFileFaultHook(
      [](platform::FileStep s, std::string_view) { return s == platform::FileStep::Write; });
  r = convert();
  platform::setFileFaultHook({});
  EXPECT_EQ(r.outcome, UnicodeConversion::Failed);
  EXPECT_EQ(r.problem, ConversionProblem::WriteFailed);
  EXPECT_TRUE(readBytes(path) == original);
  EXPECT_EQ(dir.entryCount(), 1u);

  r = convertId3v2ToUnicode(dir.file("missing.mp3"), state);
  EXPECT_EQ(r.outcome, UnicodeConversion::Failed);
  EXPECT_EQ(r.problem, ConversionProblem::CannotOpen);
}

}  // namespace
}  // namespace qorin::tags
