// SPDX-License-Identifier: GPL-3.0-or-later
// The repair over a folder of mixed files: what is read with certainty is
// converted, ISO-8859-1 stays, an uncertain text and a tag that cannot be
// walked whole are left alone, and texts only an ID3v1 block holds get an
// ID3v2 tag.
#include <gtest/gtest.h>

#include <array>

#include "outcome_codes.h"
#include "platform/open_file.h"
#include "session/session.h"
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
using tagtest::writeBytes;

std::string frame(std::string_view id, std::string_view content) {
  const auto n = static_cast<std::uint32_t>(content.size());
  return std::string(id) + detail::be32(n) + "\0\0"s + std::string(content);
}

std::string tag(std::string_view frames) {
  const std::string body = std::string(frames) + std::string(32, '\0');
  return "ID3\x03\0\0"s + encodeSyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

// The encoding byte and text of each frame of the file's ID3v2 tag.
std::map<std::string, std::string> frames(const std::string& bytes) {
  std::map<std::string, std::string> out;
  for (const auto& f : detail::walkId3v2Frames(bytes).frames)
    out.emplace(std::string(f.id), std::string(f.content));
  return out;
}

std::string utf16(const char* utf8) { return "\x01\xFF\xFE"s + *text::gbToUtf16(text::gb(utf8)); }

std::string big5(std::string_view utf8) {
  if (utf8 == "周杰倫") return "\xA9\x50\xAA\x4E\xAD\xDB";
  return "\xA4\x43\xA8\xBD\xAD\xBB";  // 七里香
}

struct File {
  const char* name;
  std::string bytes;
  UnicodeConversion outcome;
  std::map<std::string, std::string> after;  // frames expected afterwards
};

TEST(RepairFolder, ConvertsOnlyWhatIsCertain) {
  tagtest::TempDir dir;
  const std::string audio = tagtest::fakeAudio(4000);
  const std::string v1gbk = buildId3v1Block(text::gb("春天的故事"), text::gb("董文华"), "", "1997", "");
  const std::string broken = tag(frame("TIT2", "\0"s + text::gb("春天的故事")) + "T!T2\0\0\0\x03\0\0abc"s);
  const File files[] = {
      {"latin1.mp3", tag(frame("TIT2", "\0Cora\xE7\xE3o"s)) + audio, UnicodeConversion::NotNeeded, {}},
      {"gbk.mp3",
       tag(frame("TIT2", "\0"s + text::gb("春天的故事")) + frame("TPE1", "\0Band"sv)) + audio + v1gbk,
       UnicodeConversion::Converted,
       {{"TIT2", utf16("春天的故事")}, {"TPE1", "\0Band"s}}},
      {"v1only.mp3",
       audio + v1gbk,
       UnicodeConversion::Converted,
       {{"TIT2", utf16("春天的故事")},
        {"TPE1", utf16("董文华")},
        {"TYER",
         "\0"s
         "1997"}}},
      {"big5.mp3",
       tag(frame("TIT2", "\0"s + big5("七里香")) + frame("TPE1", "\0"s + big5("周杰倫"))) + audio,
       UnicodeConversion::Converted,
       {{"TIT2", utf16("七里香")}, {"TPE1", utf16("周杰倫")}}},
      {"utf8.mp3",
       tag(frame("TIT2", "\0\xE5\x90\x8E\xE6\x9D\xA5"s)) + audio,
       UnicodeConversion::Converted,
       {{"TIT2", utf16("后来")}}},
      // Nothing else in its tag tells: it stays, and so does the tag.
      {"uncertain.mp3",
       tag(frame("TIT2", "\0\xC3\xA9"s) + frame("TPE1", "\0Band"s)) + audio,
       UnicodeConversion::Uncertain,
       {}},
      {"incomplete.mp3", broken + audio, UnicodeConversion::Failed, {}},
  };
  for (const File& f : files) writeBytes(dir.file(f.name), f.bytes);
  for (const File& f : files) {
    const ConversionResult r = convertId3v2ToUnicode(dir.file(f.name), dir.file("state"));
    EXPECT_EQ(r.outcome, f.outcome) << f.name;
    const std::string after = readBytes(dir.file(f.name));
    if (f.after.empty()) {
      EXPECT_TRUE(after == f.bytes) << f.name;  // not touched
      continue;
    }
    // Audio and the ID3v1 block as they were.
    const std::string rest = f.bytes.substr(f.bytes.find(audio));
    EXPECT_TRUE(after.substr(after.size() - rest.size()) == rest) << f.name;
    auto got = frames(after);
    for (const auto& [id, content] : f.after)
      EXPECT_EQ(tagtest::hex(got[id]), tagtest::hex(content)) << f.name << " " << id;
    // Every other reader now sees the same texts we do.
    TagFields shown;
    platform::OpenFile file(dir.file(f.name), platform::OpenMode::Read);
    ASSERT_TRUE(readId3v2(file, shown)) << f.name;
  }
  EXPECT_EQ(convertId3v2ToUnicode(dir.file("incomplete.mp3"), dir.file("state")).problem,
            ConversionProblem::NotFullyRead);
  const ConversionResult u = convertId3v2ToUnicode(dir.file("uncertain.mp3"), dir.file("state"));
  ASSERT_EQ(u.uncertain.size(), 1u);
  EXPECT_EQ(u.uncertain[0].reading, text::gb("茅"));
  EXPECT_FALSE(u.uncertain[0].alternative.empty());  // é as UTF-8, or a Big5 character

  // The list's statuses and the summary.
  // Beside the album the text is decided by it; alone in a folder it stays.
  for (const File& f : files) writeBytes(dir.file(f.name), f.bytes);
  tagtest::TempDir other;
  writeBytes(other.file("alone.mp3"), files[5].bytes);
  tagtest::TempDir home;
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(dir.dir());
  s.addFolder(other.dir());
  // Stopped while the folders are weighed: no file is touched.
  const session::PassReport halted = s.convertTagsToUnicode({}, [] { return true; });
  EXPECT_EQ((std::array{halted.total, halted.stopped, halted.converted}), (std::array{8, 8, 0}));
  EXPECT_EQ(readBytes(dir.file("v1only.mp3")), files[2].bytes);
  const session::PassReport report = s.convertTagsToUnicode();
  using filelist::Status;
  std::map<std::string, Status> status;
  for (int row = 0; row < s.list().rowCount(); ++row)
    status[std::string(s.list()[row].oldName)] = s.list()[row].statusCode;
  EXPECT_EQ(status["latin1.mp3"], Status::ConversionNotNeeded);
  EXPECT_EQ(status["v1only.mp3"], Status::Converted);
  EXPECT_EQ(status["uncertain.mp3"], Status::Converted);
  EXPECT_EQ(status["alone.mp3"], Status::ConversionUncertain);
  EXPECT_EQ(status["incomplete.mp3"], Status::ConversionFailed);
  EXPECT_EQ(report.kind, session::PassReport::Kind::TagRepair);
  EXPECT_EQ((std::array{report.total, report.converted, report.succeeded, report.failed, report.uncertain}),
            (std::array{8, 5, 6, 1, 1}));
  for (int row = 0; row < s.list().rowCount(); ++row) {
    const filelist::FileEntry e = s.list()[row];
    if (e.statusCode == filelist::Status::ConversionUncertain) {
      EXPECT_EQ(e.icon, filelist::StatusIcon::Warning);
      EXPECT_NE(e.statusNote.find(text::gb("“茅”（GBK）或“")), std::string_view::npos);
    }
    if (e.statusCode == filelist::Status::ConversionFailed) {
      EXPECT_EQ(e.statusReason, codes::NotFullyRead);
    }
  }
}

}  // namespace
}  // namespace qorin::tags
