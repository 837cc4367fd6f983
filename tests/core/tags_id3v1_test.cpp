// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/open_file.h"
#include "tags/genres.h"
#include "tags/id3v1.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using platform::MemoryBytes;
using platform::OpenFile;
using platform::OpenMode;
using tagtest::readBytes;
using tagtest::TempDir;
using tagtest::writeBytes;

std::string block(std::initializer_list<std::pair<std::size_t, std::string>> parts) {
  std::string b(128, '\0');
  b.replace(0, 3, "TAG");
  for (const auto& [at, bytes] : parts) b.replace(at, bytes.size(), bytes);
  return b;
}

TEST(Id3v1Read, FieldRules) {
  struct Case {
    std::string name, block;
    int slot;
    std::string expected;
  };
  const std::string c30(30, 'c');
  const std::string cutTitle = text::gb("一二三四五六七八九十一二三四") + "a\xCE";
  const Case cases[] = {
      {"title trimmed", block({{3, "  Hi there  "}}), kTitle, "Hi there"},
      {"full title", block({{3, std::string(30, 'T')}}), kTitle, std::string(30, 'T')},
      {"artist", block({{33, "Band"}}), kArtist, "Band"},
      {"album", block({{63, " LP"}}), kAlbum, "LP"},
      {"year no zero byte", block({{93, "1999"}}), kYear, "1999"},
      {"v1.1 comment", block({{97, "note"}, {126, "\x07"}}), kComment, "note"},
      {"v1.1 track 7", block({{126, "\x07"}}), kTrack, "7"},
      {"v1.1 track 0", block({}), kTrack, ""},
      {"v1.1 track 255", block({{126, "\xFF"}}), kTrack, "255"},
      {"v1.0 comment", block({{97, c30}}), kComment, c30},
      {"v1.0 no track", block({{97, c30}}), kTrack, ""},
      {"v1.0 comment up to zero", block({{97, std::string(28, 'c') + " \0"}}), kComment,
       std::string(28, 'c') + " "},
      {"genre 0", block({}), kGenre, "0"},
      {"genre 255", block({{127, "\xFF"}}), kGenre, "255"},
      {"comment not trimmed", block({{97, " x "}}), kComment, " x "},
      // Another writer cut the field inside a double-byte character: the half goes.
      {"cut character", block({{3, cutTitle}, {33, "next"}}), kTitle,
       text::gb("一二三四五六七八九十一二三四a")},
      // No word on the encoding: each text is decided by its bytes.
      {"latin-1 artist", block({{33, "Bj\xF6rk"}}), kArtist, text::gb("Björk")},
      {"utf-8 album", block({{63, "Beyonc\xC3\xA9"}}), kAlbum, text::gb("Beyoncé")},
      {"gbk comment", block({{97, text::gb("中文")}}), kComment, text::gb("中文")},
  };
  for (const Case& c : cases) {
    const std::string file = "audio" + c.block;
    MemoryBytes src(file);
    TagFields f, stored;
    ASSERT_TRUE(readId3v1(src, f, &stored)) << c.name;
    EXPECT_EQ(f[c.slot], c.expected) << c.name;
    EXPECT_TRUE(f[kComposer].empty());
    // The bytes as stored, for a writer that keeps untouched fields.
    if (c.name == "cut character") {
      EXPECT_EQ(stored[kTitle], cutTitle);
    }
    if (c.name == "latin-1 artist") {
      EXPECT_EQ(stored[kArtist], "Bj\xF6rk");
    }
  }
}

TEST(Id3v1Read, NoBlockLeavesFieldsAlone) {
  const std::string inputs[] = {"", std::string(127, 'x'), std::string(200, 'x'),
                                "TAG" + std::string(124, '\0')};  // 127 bytes: too short
  for (const std::string& in : inputs) {
    MemoryBytes src(in);
    TagFields f;
    f[kTitle] = "keep";
    EXPECT_FALSE(hasId3v1(src));
    EXPECT_FALSE(readId3v1(src, f));
    EXPECT_EQ(f[kTitle], "keep");
  }
  OpenFile closed;
  TagFields f;
  EXPECT_FALSE(readId3v1(closed, f));
}

TEST(Id3v1Build, ByteExact) {
  const std::string b = buildId3v1Block("Title", "Artist", "Album", "2001", "Comment");
  EXPECT_EQ(b, block({{3, "Title"}, {33, "Artist"}, {63, "Album"}, {93, "2001"}, {97, "Comment"}}));
  // Over-long texts stay inside their fields, cut before a character that would not fit.
  const std::string chinese = text::gb("一二三四五六七八九十一二三四五六");  // 32 bytes
  const std::string cut = buildId3v1Block(chinese, "", "", "20011", chinese + "x");
  EXPECT_EQ(cut.size(), 128u);
  EXPECT_EQ(cut.substr(3, 30), chinese.substr(0, 30));
  EXPECT_EQ(cut.substr(93, 4), "2001");
  EXPECT_EQ(cut.substr(97, 31), chinese.substr(0, 30) + '\0');
  const std::string odd = buildId3v1Block(std::string(29, 'a') + text::gb("中"), "", "", "", "");
  EXPECT_EQ(odd.substr(3, 30), std::string(29, 'a') + '\0');
}

class Id3v1Write : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("song.mp3");
};

TEST_F(Id3v1Write, AppendsToAShortFileAndOverwritesInPlace) {
  writeBytes(path, std::string(127, 'a'));
  {
    OpenFile f(path, OpenMode::ReadWrite);
    TagFields none;
    EXPECT_FALSE(readId3v1(f, none));
    ASSERT_TRUE(writeId3v1(f, "T", "A", "L", "1999", "C", "7", 17));
  }
  std::string bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 255u);
  EXPECT_EQ(bytes.substr(127),
            block({{3, "T"}, {33, "A"}, {63, "L"}, {93, "1999"}, {97, "C"}, {126, "\x07"}, {127, "\x11"}}));
  {
    OpenFile f(path, OpenMode::ReadWrite);
    ASSERT_TRUE(writeId3v1(f, "New", "", "", "", "", "", 255));
  }
  bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 255u);
  EXPECT_EQ(bytes.substr(0, 127), std::string(127, 'a'));
  OpenFile f(path, OpenMode::Read);
  TagFields t;
  ASSERT_TRUE(readId3v1(f, t));
  EXPECT_EQ(t[kTitle], "New");
  EXPECT_EQ(t[kTrack], "");  // empty track text stores 0
  EXPECT_EQ(t[kGenre], "255");
}

TEST_F(Id3v1Write, CommentEndsBeforeTheTrackByte) {
  struct Case {
    const char* name;
    std::string comment, track, expectedComment, expectedTrack;
  };
  const std::string zhong = text::gb("中");
  const Case cases[] = {
      {"29 bytes with a track", std::string(29, 'c'), "7", std::string(28, 'c'), "7"},
      {"30 bytes with a track", std::string(30, 'c'), "65", std::string(28, 'c'), "65"},
      {"29 bytes without a track", std::string(29, 'c'), "", std::string(29, 'c'), ""},
      {"30 bytes without a track", std::string(30, 'c'), "", std::string(29, 'c'), ""},
      {"track that is not a number", std::string(29, 'c'), "xy", std::string(29, 'c'), ""},
      {"track 256 stores 0", std::string(29, 'c'), "256", std::string(29, 'c'), ""},
      // The nearest whole number.
      {"track 2.7 stores 3", std::string(29, 'c'), "2.7", std::string(28, 'c'), "3"},
      {"track 2.4 stores 2", std::string(29, 'c'), " 2.4", std::string(28, 'c'), "2"},
      {"track 0.5 stores 1", std::string(29, 'c'), "0.5", std::string(28, 'c'), "1"},
      {"track of a total", std::string(29, 'c'), "3/12", std::string(28, 'c'), "3"},
      // A double-byte character across the cut goes whole, never half of it.
      {"character across byte 28", std::string(27, 'a') + zhong, "5", std::string(27, 'a'), "5"},
      {"character across byte 29", std::string(28, 'a') + zhong, "", std::string(28, 'a'), ""},
      {"character ends at byte 29", std::string(27, 'a') + zhong, "", std::string(27, 'a') + zhong, ""},
      {"character ends at byte 28", std::string(26, 'a') + zhong, "9", std::string(26, 'a') + zhong, "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(path, "audio");
    OpenFile f(path, OpenMode::ReadWrite);
    ASSERT_TRUE(writeId3v1(f, "", "", "", "", c.comment, c.track, 0));
    TagFields t;
    ASSERT_TRUE(readId3v1(f, t));
    EXPECT_EQ(t[kComment], c.expectedComment);
    EXPECT_EQ(t[kTrack], c.expectedTrack);
    const std::string b = readBytes(path).substr(5);
    EXPECT_EQ(b.substr(97 + c.expectedComment.size(), 29 - c.expectedComment.size()),
              std::string(29 - c.expectedComment.size(), '\0'));
  }
}

TEST_F(Id3v1Write, RefusesReadOnlyAndFailedWritesLeaveTheFile) {
  const std::string withBlock = "audio" + block({{3, "old"}});
  for (const std::string& original : {std::string("audio"), withBlock}) {
    writeBytes(path, original);
    {
      OpenFile ro(path, OpenMode::Read);
      EXPECT_FALSE(writeId3v1(ro, "T", "", "", "", "", "", 0));
      OpenFile rw(path, OpenMode::ReadWrite);
      platform::setFileFaultHook(
          [](platform::FileStep s, std::string_view) { return s == platform::FileStep::Write; });
      EXPECT_FALSE(writeId3v1(rw, "T", "", "", "", "", "", 0));
      platform::setFileFaultHook({});
    }
    EXPECT_EQ(readBytes(path), original);
  }
}

TEST_F(Id3v1Write, Delete) {
  writeBytes(path, "audio" + block({{3, "x"}}));
  {
    OpenFile f(path, OpenMode::ReadWrite);
    EXPECT_TRUE(deleteId3v1(f));
  }
  EXPECT_EQ(readBytes(path), "audio");
  OpenFile f(path, OpenMode::ReadWrite);
  EXPECT_TRUE(deleteId3v1(f));  // nothing to remove
  EXPECT_EQ(readBytes(path), "audio");
  OpenFile closed;
  EXPECT_FALSE(deleteId3v1(closed));
}

TEST(Genres, Table) {
  EXPECT_EQ(genreNames.size(), 126u);
  const std::pair<int, const char*> named[] = {
      {0, "Blues"},      {17, "Rock"},       {40, "AlternRock"}, {67, "Psychadelic"},
      {79, "Hard Rock"}, {80, "Folk"},       {85, "Bebob"},      {93, "Psychedelic Rock"},
      {100, "Humour"},   {123, "A capella"}, {125, "Dance Hall"}};
  for (const auto& [n, name] : named) EXPECT_EQ(genreName(n), name);
  EXPECT_FALSE(genreName(126));
  EXPECT_FALSE(genreName(-1));
}

}  // namespace
}  // namespace qorin::tags
