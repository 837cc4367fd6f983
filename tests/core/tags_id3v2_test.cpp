// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/syncsafe.h"
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
using namespace std::literals;

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string frame23(std::string_view id, std::string_view content, std::string_view flags = "\0\0"sv) {
  return std::string(id) + be32(static_cast<std::uint32_t>(content.size())) + std::string(flags) +
         std::string(content);
}

std::string tag(int version, std::string_view frames, std::size_t padding = 16, unsigned char flags = 0) {
  const std::string body = std::string(frames) + std::string(padding, '\0');
  return "ID3"s + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
         encodeSyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

TagFields parse(const std::string& bytes) {
  TagFields f;
  EXPECT_TRUE(parseId3v2Tag(bytes, f));
  return f;
}

TEST(Id3v2Header, Checks) {
  struct Case {
    std::string head;
    bool ok;
  };
  const Case cases[] = {
      {"ID3\x03\0\0\0\0\x07\x76"s, true}, {"ID3\x02\0\0\0\0\0\0"s, true},
      {"ID3\x03\0\0\0\0\x80\0"s, false},  {"ID3\xFF\0\0\0\0\0\0"s, false},
      {"ID3\x03\xFF\0\0\0\0\0"s, false},  {"ID3\x03\0\xFF\0\0\0\0"s, false},
      {"ID3\x03\0\0\0\0\0"s, false},      {"TAG\x03\0\0\0\0\0\0"s, false},
  };
  for (const Case& c : cases) {
    MemoryBytes src(c.head);
    EXPECT_EQ(hasId3v2(src), c.ok) << tagtest::hex(c.head);
  }
}

TEST(Id3v2Read, Decoding) {
  struct Case {
    std::string name, frames;
    int version, slot;
    std::string expected;
  };
  const std::string zhong = text::gb("中文");
  const Case cases[] = {
      {"latin word", frame23("TIT2", "\0Word"sv), 3, kTitle, "Word"},
      {"trailing zero", frame23("TIT2", "\0Word\0"sv), 3, kTitle, "Word"},
      {"code page bytes", frame23("TIT2", "\0"s + zhong), 3, kTitle, zhong},
      {"utf16 le", frame23("TIT2", "\x01\xFF\xFEW\0o\0"sv), 3, kTitle, "Wo"},
      {"utf16 be bom", frame23("TIT2", "\x01\xFE\xFF\0W\0o"sv), 3, kTitle, "Wo"},
      {"utf16 chinese", frame23("TPE1", "\x01\xFF\xFE\x2D\x4E\x87\x65\0\0"sv), 3, kArtist, zhong},
      {"utf16be enc 2", frame23("TALB", "\x02\x4E\x2D\x65\x87"sv), 4, kAlbum, zhong},
      {"utf8", frame23("TALB", "\x03\xE4\xB8\xAD\xE6\x96\x87"sv), 4, kAlbum, zhong},
      {"v2.4 values joined",
       frame23("TPE1",
               "\x03"
               "A\0B\0"sv),
       4, kArtist, "A/B"},
      {"comment", frame23("COMM", "\0eng\0text"sv), 3, kComment, "text"},
      // A comment with a description belongs to another program.
      {"described comment not shown", frame23("COMM", "\0engdesc\0text"sv), 3, kComment, ""},
      {"comment utf16",
       frame23("COMM",
               "\x01"
               "eng\xFF\xFE\0\0\xFF\xFEh\0i\0"sv),
       3, kComment, "hi"},
      {"comment no terminator", frame23("COMM", "\0engdesc"sv), 3, kComment, ""},
      {"empty description wins", frame23("COMM", "\0engA\0first"sv) + frame23("COMM", "\0eng\0second"sv), 3,
       kComment, "second"},
      {"only described comments", frame23("COMM", "\0engA\0first"sv) + frame23("COMM", "\0engB\0other"sv), 3,
       kComment, ""},
      {"url", frame23("WXXX", "\0\0http://x.cn"sv), 3, kUrl, "http://x.cn"},
      {"described url is another program's", frame23("WXXX", "\x01\xFF\xFEh\0\0\0http://y"sv), 3, kUrl, ""},
      {"genre ref", frame23("TCON", "\0(17)Rock"sv), 3, kGenre, "Rock"},
      {"v2.4 bare number",
       frame23("TCON",
               "\0"
               "17"sv),
       4, kGenre, "Rock"},
      {"v2.3 bare number",
       frame23("TCON",
               "\0"
               "17"sv),
       3, kGenre, "Rock"},
      {"Winamp's genre", frame23("TCON", "\0(130)"sv), 3, kGenre, "Terror"},
      {"255 is no genre", frame23("TCON", "\0(255)"sv), 3, kGenre, ""},
      {"v2.4 255 among genres",
       frame23("TCON",
               "\0"
               "255\0"
               "17"sv),
       4, kGenre, "Rock"},
      {"year from TDRC",
       frame23("TDRC",
               "\0"
               "2004-05-06"sv),
       4, kYear, "2004"},
      {"identifier in a text", frame23("TIT2", "\0xTALB\0\0\0\x02\0\0\0y"sv) + frame23("TALB", "\0real"sv), 3,
       kAlbum, "real"},
      // Of repeated frames players show the first that holds a text.
      {"repeated frame", frame23("TIT2", "\0one"sv) + frame23("TIT2", "\0two"sv), 3, kTitle, "one"},
      {"seven TPE1",
       frame23("TPE1", "\0A"sv) + frame23("TPE1", "\0B"sv) + frame23("TPE1", "\0C"sv) +
           frame23("TPE1", "\0D"sv) + frame23("TPE1", "\0E"sv) + frame23("TPE1", "\0F"sv) +
           frame23("TPE1", "\0G"sv),
       3, kArtist, "A"},
      {"empty first frame", frame23("TPE1", "\0"sv) + frame23("TPE1", "\0B"sv), 3, kArtist, "B"},
      // A labelled text is never guessed again: each bad byte stands alone as U+FFFD.
      {"utf8 stray byte",
       frame23("TIT2",
               "\x03"
               "caf\xE9 \xE4\xB8\xAD"sv),
       4, kTitle, text::gb("caf\uFFFD 中")},
      {"utf8 cut sequence",
       frame23("TIT2",
               "\x03\xE4\xB8"
               "A"sv),
       4, kTitle, text::gb("\uFFFD\uFFFDA")},
      {"utf8 code-page bytes", frame23("TIT2", "\x03\xD6\xD0"sv), 4, kTitle, text::gb("\uFFFD\uFFFD")},
      {"utf16 odd last byte", frame23("TIT2", "\x01\xFF\xFEW\0o"sv), 3, kTitle, text::gb("W\uFFFD")},
      {"utf16 stray terminator byte", frame23("TIT2", "\x01\xFF\xFEW\0\0"sv), 3, kTitle, "W"},
      // Byte-order marks alone hold no text, whatever the encoding says.
      {"year of a BOM", frame23("TYER", "\0\xFF\xFE"sv), 3, kYear, ""},
      {"year of BOMs, utf16", frame23("TYER", "\x01\xFF\xFE\xFF\xFE"sv), 3, kYear, ""},
      {"recording time of a BOM", frame23("TDRC", "\0\xFE\xFF"sv), 4, kYear, ""},
      {"zero-length frame", frame23("TIT2", ""sv) + frame23("TPE1", "\0a"sv), 3, kArtist, "a"},
      {"other frames skipped", frame23("APIC", "\0image/png\0\x03\0TIT2TIT2"sv) + frame23("TIT2", "\0t"sv), 3,
       kTitle, "t"},
      {"compressed frame unread", frame23("TIT2", "\0\0\0\x05xxxxx"sv, "\0\x80"sv), 3, kTitle, ""},
      {"v2.4 data length", frame23("TIT2", "\0\0\0\x03\0ab"sv, "\0\x01"sv), 4, kTitle, "ab"},
      // The format flags sit in different bits in the two versions.
      {"v2.3 encrypted unread", frame23("TIT2", "\x01\0x"sv, "\0\x40"sv), 3, kTitle, ""},
      {"v2.3 group byte", frame23("TIT2", "\x05\0gr"sv, "\0\x20"sv), 3, kTitle, "gr"},
      {"v2.4 compressed unread", frame23("TIT2", "\0x"sv, "\0\x08"sv), 4, kTitle, ""},
      {"v2.4 encrypted unread", frame23("TIT2", "\0x"sv, "\0\x04"sv), 4, kTitle, ""},
      {"v2.4 group byte and data length", frame23("TIT2", "\x05\0\0\0\x02\0g"sv, "\0\x41"sv), 4, kTitle, "g"},
      {"v2.4 frame unsynchronised", frame23("TIT2", "\0a\xFF\0b"sv, "\0\x02"sv), 4, kTitle, text::gb("aÿb")},
      {"v2.3 bits on a v2.4 frame", frame23("TIT2", "\0v"sv, "\0\x20"sv), 4, kTitle, "v"},
  };
  for (const Case& c : cases) {
    const std::string t = tag(c.version, c.frames);
    const TagFields f = parse(t);
    EXPECT_EQ(f[c.slot], c.expected) << c.name;
  }
}

TEST(Id3v2Read, VersionsAndLayouts) {
  // ID3v2.4 sizes are sync-safe: a 200-byte text has size bytes 00 00 01 48.
  const std::string text200(200, 'x');
  const std::string v24 = tag(4, "TIT2\0\0\x01\x49\0\0\0"s + text200);
  EXPECT_EQ(parse(v24)[kTitle], text200);
  // ID3v2.2: three-letter frames with three-byte sizes.
  const std::string v22 = tag(2, "TT2\0\0\x04\0abc"s + "COM\0\0\x06\0eng\0c"s + "TCO\0\0\x05\0(13)"s);
  const TagFields f22 = parse(v22);
  EXPECT_EQ(f22[kTitle], "abc");
  EXPECT_EQ(f22[kComment], "c");
  EXPECT_EQ(f22[kGenre], "Pop");
  // ID3v2.3 extended header, and whole-tag unsynchronisation of FF 00.
  const std::string ext = tag(3, "\0\0\0\x06\0\0\0\0\0\0"s + frame23("TIT2", "\0e"sv), 4, 0x40);
  EXPECT_EQ(parse(ext)[kTitle], "e");
  const std::string uns = tag(3, "TIT2\0\0\0\x05\0\0\x01\xFF\0\xFEZ\0"s, 4, 0x80);
  EXPECT_EQ(parse(uns)[kTitle], "Z");
  const std::string ext24 = tag(4, "\0\0\0\x06\x01\0"s + frame23("TPE1", "\0f"sv), 4, 0x40);
  EXPECT_EQ(parse(ext24)[kArtist], "f");
}

TEST(Id3v2Read, NormaliseGenre) {
  const std::pair<std::string, std::string> cases[] = {
      {"(17)", "Rock"},   {"(17)Rock", "Rock"},  {"(4)Eurodisco", "Disco"},
      {"Rock", "Rock"},   {"(Rock", "Rock"},     {"()", "Blues"},
      {"Rock)", "Rock)"}, {"Word (Abcd)", ""},   {"(255)", ""},
      {"(-1)", "(-1)"},   {"(191)", "Psybient"}, {"(192)", "(192)"},
      {"255", ""},        {"(1)(2)", "Country"}, {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(normaliseGenre(in), out) << in;
}

TEST(Id3v2Write, TemplateAndFrames) {
  const std::string t = newId3v2Template();
  ASSERT_EQ(t.size(), 1024u);
  const std::string head = "ID3\x03\0\0\0\0\x07\x76"s + "TRCK\0\0\0\x01\0\0\0"s + "TENC\0\0\0\x01\x40\0\0"s +
                           "WXXX\0\0\0\x02\0\0\0\0"s + "TCOP\0\0\0\x01\0\0\0"s + "TOPE\0\0\0\x01\0\0\0"s +
                           "TCOM\0\0\0\x01\0\0\0"s + "COMM\0\0\0\x05\0\0\0CHS\0"s + "TCON\0\0\0\x01\0\0\0"s +
                           "TYER\0\0\0\x01\0\0\0"s + "TALB\0\0\0\x01\0\0\0"s + "TPE1\0\0\0\x01\0\0\0"s +
                           "TIT2\0\0\0\x01\0\0\0"s;
  ASSERT_EQ(head.size(), 147u);
  EXPECT_EQ(t.substr(0, 147), head);
  EXPECT_EQ(t.substr(147), std::string(877, '\0'));

  TagFields none;
  EXPECT_EQ(buildId3v2Tag(none), t);

  TagFields f;
  f[kTitle] = "abc";
  std::string built = buildId3v2Tag(f);
  EXPECT_EQ(built.size(), 1027u);
  EXPECT_EQ(built.substr(6, 4), "\0\0\x07\x79"s);
  EXPECT_EQ(built.substr(136, 14), "TIT2\0\0\0\x04\0\0\0abc"s);

  f = {};
  f[kComment] = "12345";
  f[kUrl] = "http://a";
  f[kGenre] = "(17)Rock";
  built = buildId3v2Tag(f);
  EXPECT_NE(built.find("COMM\0\0\0\x0A\0\0\0CHS\0"
                       "12345"s),
            std::string::npos);
  EXPECT_NE(built.find("WXXX\0\0\0\x0A\0\0\0\0http://a"s), std::string::npos);
  EXPECT_NE(built.find("TCON\0\0\0\x09\0\0\0(17)Rock"s), std::string::npos);

  // A copyright naming other frames must not be taken for them.
  f = {};
  f[kCopyright] = "TCOM TOPE TCOMx";
  f[kComposer] = "composer";
  f[kOriginalArtist] = "orig";
  const TagFields back = parse(buildId3v2Tag(f));
  EXPECT_EQ(back, f);
  EXPECT_FALSE(setFrameText(built, "TXXX", "x"));
}

class Id3v2File : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("song.mp3");
  const std::string audio = tagtest::fakeAudio(5000);
  const std::string v1 = buildId3v1Block("v1 title", "", "", "", "");

  TagFields sample() const {
    TagFields f;
    const char* texts[] = {"Title",   "Artist",   "Album", "3",    "1999",     "(17)Rock",
                           "Comment", "Composer", "Orig",  "Copy", "http://u", "Enc"};
    for (int i = 0; i < 12; ++i) f[i + 1] = texts[i];
    f[kTitle] = text::gb("标题");
    return f;
  }
  bool write(const TagFields& f) {
    OpenFile file(path, OpenMode::ReadWrite);
    return static_cast<bool>(writeId3v2(file, f));
  }
};

TEST_F(Id3v2File, WriteReadBackAndRewrite) {
  writeBytes(path, audio + v1);
  ASSERT_TRUE(write(sample()));
  const std::string first = readBytes(path);
  TagFields back;
  OpenFile f(path, OpenMode::Read);
  ASSERT_TRUE(readId3v2(f, back));
  TagFields expected = sample();
  expected[kGenre] = "Rock";
  EXPECT_EQ(back, expected);
  EXPECT_EQ(first.substr(first.size() - audio.size() - 128), audio + v1);
  f.close();
  ASSERT_TRUE(write(sample()));
  EXPECT_TRUE(readBytes(path) == first);
}

TEST_F(Id3v2File, ReplacesOldTagOfDeclaredLength) {
  const std::string old = "ID3\x03\0\0"s + encodeSyncSafe(20000) + std::string(20000, '\0');
  writeBytes(path, old + audio + v1);
  TagFields none;
  ASSERT_TRUE(write(none));
  EXPECT_TRUE(readBytes(path) == newId3v2Template() + audio + v1);
  // An ID3v2.4 footer counts 10 more bytes.
  writeBytes(path, "ID3\x04\0\x10"s + encodeSyncSafe(20) + std::string(20, '\0') + "3DI\x04\0\x10"s +
                       encodeSyncSafe(20) + audio);
  OpenFile f(path, OpenMode::ReadWrite);
  ASSERT_TRUE(deleteId3v2(f));
  f.close();
  EXPECT_TRUE(readBytes(path) == audio);
}

TEST_F(Id3v2File, KeepsUnknownFrames) {
  const std::string apic = frame23("APIC", "\0image/png\0\x03\0PNGDATA"sv);
  const std::string pcnt = frame23("PCNT", "\0\0\0\x05"sv);
  const std::string discard = frame23("PRIV", "x"sv, "\x80\0"sv);  // asks to go when the tag changes
  writeBytes(path, tag(3, frame23("TIT2", "\0old"sv) + apic + discard + pcnt) + audio);
  TagFields f;
  f[kTitle] = "new";
  ASSERT_TRUE(write(f));
  const std::string bytes = readBytes(path);
  const std::string expectedTag = [&] {
    std::string t = buildId3v2Tag(f);
    t.insert(t.size() - 877, apic + pcnt);
    t.replace(6, 4, encodeSyncSafe(static_cast<std::uint32_t>(t.size() - 10)));
    return t;
  }();
  EXPECT_TRUE(bytes == expectedTag + audio);

  // ID3v2.4 frames become ID3v2.3 frames; those tied to the old tag go.
  writeBytes(path, tag(4, frame23("TXXX", "\0k\0v"sv) + frame23("TSOP", "\0s"sv) +
                              frame23("TPUB", "\x03pub"sv, "\x20\0"sv) + frame23("PRIV", "y"sv, "\x40\0"sv) +
                              frame23("SIGN", "\x01sig"sv)) +
                       audio);
  ASSERT_TRUE(write(f));
  const std::string b2 = readBytes(path);
  EXPECT_NE(b2.find(frame23("TXXX", "\0k\0v"sv)), std::string::npos);
  EXPECT_NE(b2.find(frame23("TPUB", "\0pub"sv, "\x40\0"sv)), std::string::npos);  // ASCII: encoding 0
  EXPECT_NE(b2.find(frame23("TSOP", "\0s"sv)), std::string::npos);  // read by ID3v2.3 readers too
  EXPECT_EQ(b2.find("PRIV"), std::string::npos);                    // ID3v2.4's discard-on-tag-change bit
  EXPECT_EQ(b2.find("SIGN"), std::string::npos);                    // signed the old tag's bytes
}

TEST_F(Id3v2File, DamagedSizeOrFailuresChangeNothing) {
  // A flipped size bit claims more than the file holds, or runs into the ID3v1 block.
  const std::string damaged[] = {
      "ID3\x03\0\0"s + encodeSyncSafe(1 << 20) + frame23("TIT2", "\0x"sv) + audio,
      "ID3\x03\0\0"s + encodeSyncSafe(static_cast<std::uint32_t>(audio.size() + 20)) + audio + v1,
  };
  for (const std::string& d : damaged) {
    writeBytes(path, d);
    EXPECT_FALSE(write(sample()));
    OpenFile f(path, OpenMode::ReadWrite);
    EXPECT_FALSE(deleteId3v2(f));
    f.close();
    EXPECT_TRUE(readBytes(path) == d);
  }
  const platform::FileStep steps[] = {platform::FileStep::Write, platform::FileStep::Rename};
  for (const auto step : steps) {
    const std::string original = tag(3, frame23("TIT2", "\0x"sv)) + audio + v1;
    writeBytes(path, original);
    platform::setFileFaultHook([step](platform::FileStep s, std::string_view) { return s == step; });
    EXPECT_FALSE(write(sample()));
    OpenFile f(path, OpenMode::ReadWrite);
    EXPECT_FALSE(deleteId3v2(f));
    f.close();
    platform::setFileFaultHook({});
    EXPECT_TRUE(readBytes(path) == original);
    EXPECT_EQ(dir.entryCount(), 1u);
  }
  writeBytes(path, audio);
  OpenFile ro(path, OpenMode::Read);
  EXPECT_FALSE(writeId3v2(ro, sample()));
  EXPECT_TRUE(deleteId3v2(ro));  // nothing to remove
  OpenFile closed;
  EXPECT_FALSE(writeId3v2(closed, sample()));
  EXPECT_FALSE(deleteId3v2(closed));
}

TEST_F(Id3v2File, DeleteKeepsAudioAndId3v1) {
  writeBytes(path, audio + v1);
  ASSERT_TRUE(write(sample()));
  OpenFile f(path, OpenMode::ReadWrite);
  ASSERT_TRUE(deleteId3v2(f));
  EXPECT_TRUE(deleteId3v2(f));
  f.close();
  EXPECT_TRUE(readBytes(path) == audio + v1);
}

}  // namespace
}  // namespace qorin::tags
