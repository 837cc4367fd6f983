// Our reader against tags mutagen wrote, and mutagen against tags we wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using platform::OpenFile;
using platform::OpenMode;
using tagtest::hex;
using tagtest::TempDir;

std::string python() {
  // Debian's interpreter carries python3-mutagen; another one may be first on PATH.
  if (std::FILE* f = std::fopen("/usr/bin/python3", "rb")) {
    std::fclose(f);
    return "/usr/bin/python3";
  }
  return "python3";
}

struct HelperRun {
  int status = -1;
  std::string out;
};

HelperRun helper(const std::string& args) {
  const std::string cmd = python() + " " QORIN_TOOLS_DIR "/mutagen_tags.py " + args + " 2>&1";
  HelperRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  while (const std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
  r.status = ::pclose(p);
  return r;
}

// "KEY\tENC\tHEX" lines of the read command: KEY -> stored bytes.
std::map<std::string, std::string> mutagenRead(const std::string& path) {
  const HelperRun r = helper("read " + path);
  EXPECT_EQ(r.status, 0) << r.out;
  std::map<std::string, std::string> out;
  std::size_t pos = 0;
  while (pos < r.out.size()) {
    const std::size_t end = r.out.find('\n', pos);
    const std::string line = r.out.substr(pos, end - pos);
    pos = end == std::string::npos ? r.out.size() : end + 1;
    const auto t1 = line.find('\t');
    const auto t2 = line.rfind('\t');
    if (t1 == std::string::npos) continue;
    out[line.substr(0, t1)] = line.substr(0, t1) == "IDS" || line.substr(0, t1) == "VERSION"
                                  ? line.substr(t1 + 1)
                                  : tagtest::unhex(line.substr(t2 + 1));
  }
  return out;
}

std::string u8hex(const char* utf8) { return hex(utf8); }

TEST(MutagenInterop, OurReaderReadsWhatMutagenWrote) {
  struct Case {
    const char* name;
    std::string args;
  };
  const std::string t = u8hex("中文歌名"), a = u8hex("歌手"), l = u8hex("专辑 Album");
  const std::string common = "TIT2=" + t + " TPE1=" + a + " TALB=" + l + " TRCK=" + u8hex("3/12") +
                             " TCON=" + u8hex("(17)Rock") + " TCOM=" + u8hex("作曲") + " TOPE=" + u8hex("o") +
                             " TCOP=" + u8hex("c") + " WXXX=" + u8hex("http://q.cn") + " TENC=" + u8hex("e") +
                             " COMM:other=" + u8hex("not this") + " COMM:=" + u8hex("评论");
  const Case cases[] = {
      {"v2.3 utf16", "3 1 " + common + " TYER=" + u8hex("2001")},
      {"v2.3 utf16 unsync exthdr", "3 1 unsync exthdr " + common + " TYER=" + u8hex("2001")},
      {"v2.4 utf16", "4 1 " + common + " TDRC=" + u8hex("2001")},
      {"v2.4 utf16be", "4 2 " + common + " TDRC=" + u8hex("2001")},
      {"v2.4 utf8 exthdr", "4 3 exthdr " + common + " TDRC=" + u8hex("2001")},
      {"v2.2 utf16", "2 1 " + common + " TYER=" + u8hex("2001")},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("m.mp3");
    tagtest::writeBytes(path, tagtest::fakeAudio(3000));
    const HelperRun w = helper("write " + path + " " + c.args);
    ASSERT_EQ(w.status, 0) << c.name << w.out;
    OpenFile f(path, OpenMode::Read);
    TagFields got;
    ASSERT_TRUE(readId3v2(f, got)) << c.name;
    EXPECT_EQ(got[kTitle], text::gb("中文歌名")) << c.name;
    EXPECT_EQ(got[kArtist], text::gb("歌手")) << c.name;
    EXPECT_EQ(got[kAlbum], text::gb("专辑 Album")) << c.name;
    EXPECT_EQ(got[kTrack], "3/12") << c.name;
    EXPECT_EQ(got[kYear], "2001") << c.name;
    EXPECT_EQ(got[kGenre], "Rock") << c.name;
    EXPECT_EQ(got[kComment], text::gb("评论")) << c.name;
    EXPECT_EQ(got[kComposer], text::gb("作曲")) << c.name;
    EXPECT_EQ(got[kOriginalArtist], "o") << c.name;
    EXPECT_EQ(got[kCopyright], "c") << c.name;
    EXPECT_EQ(got[kUrl], "http://q.cn") << c.name;
    EXPECT_EQ(got[kEncodedBy], "e") << c.name;
  }
}

TEST(MutagenInterop, Id3v1WithGbkText) {
  struct Case {
    const char* name;
    std::string args, title;
  };
  // 15 Chinese characters are exactly 30 bytes; a 31-byte title cut at 30 splits the last one.
  const Case cases[] = {
      {"gbk", "title=" + u8hex("中文标题") + " track=" + u8hex("5") + " genre=" + u8hex("13"),
       text::gb("中文标题")},
      // Cut at 30 bytes inside a character: the half character goes.
      {"cut", "cut title=" + u8hex("a一二三四五六七八九十一二三四五"),
       text::gb("a一二三四五六七八九十一二三四")},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("m.mp3");
    tagtest::writeBytes(path, tagtest::fakeAudio(500));
    ASSERT_EQ(helper("v1 " + path + " " + c.args).status, 0);
    OpenFile f(path, OpenMode::Read);
    TagFields got;
    ASSERT_TRUE(readId3v1(f, got));
    EXPECT_EQ(got[kTitle], c.title) << c.name;
  }
}

TEST(MutagenInterop, MutagenReadsWhatWeWrote) {
  TempDir dir;
  const std::string path = dir.file("m.mp3");
  tagtest::writeBytes(path, tagtest::fakeAudio(3000));
  // Start from a mutagen tag with a picture, a counter and a user text, which must survive.
  ASSERT_EQ(helper("write " + path + " 4 1 TIT2=" + u8hex("old") + " APIC=0102 PCNT=7 TXXX:k=" + u8hex("值"))
                .status,
            0);
  TagFields f;
  f[kTitle] = text::gb("标题");
  f[kArtist] = "Artist";
  f[kAlbum] = "Album";
  f[kTrack] = "3";
  f[kYear] = "1999";
  f[kGenre] = "(17)Rock";
  f[kComment] = "Comment";
  f[kComposer] = "Composer";
  f[kOriginalArtist] = "Orig";
  f[kCopyright] = "Copy";
  f[kUrl] = "http://u";
  f[kEncodedBy] = "Enc";
  {
    OpenFile file(path, OpenMode::ReadWrite);
    ASSERT_TRUE(writeId3v2(file, f));
    ASSERT_TRUE(writeId3v1(file, "v1", "", "", "", "", "2", 17));
  }
  auto m = mutagenRead(path);
  EXPECT_EQ(m["VERSION"], "3");
  EXPECT_EQ(m["TIT2"], "标题");  // UTF-16, read by mutagen as the same characters
  EXPECT_EQ(m["TPE1"], "Artist");
  EXPECT_EQ(m["TALB"], "Album");
  EXPECT_EQ(m["TRCK"], "3");
  EXPECT_EQ(m["TYER"], "1999");
  EXPECT_EQ(m["TCON"], "(17)Rock");
  EXPECT_EQ(m["COMM:"], "Comment");
  EXPECT_EQ(m["TCOM"], "Composer");
  EXPECT_EQ(m["TOPE"], "Orig");
  EXPECT_EQ(m["TCOP"], "Copy");
  EXPECT_EQ(m["WXXX"], "http://u");
  EXPECT_EQ(m["TENC"], "Enc");
  for (const char* kept : {"APIC", "PCNT", "TXXX"}) EXPECT_NE(m["IDS"].find(kept), std::string::npos) << kept;
  const HelperRun v1 = helper("readv1 " + path);
  EXPECT_NE(v1.out.find("TIT2\t" + hex("v1")), std::string::npos) << v1.out;
  EXPECT_NE(v1.out.find("TRCK\t" + hex("2")), std::string::npos) << v1.out;
}

}  // namespace
}  // namespace qorin::tags
