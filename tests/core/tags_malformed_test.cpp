// SPDX-License-Identifier: GPL-3.0-or-later
// Generated tags of the kinds other writers produce and mature readers accept:
// what each gives in the twelve slots, and what a rewrite keeps of it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <vector>

#include "tags/id3v2.h"
#include "tags/id3v2_frames.h"
#include "tags/syncsafe.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using namespace std::literals;

struct Frame {
  std::string id, content;
  std::uint8_t format = 0;
  std::string sizeBytes = {};  // when set, stored instead of the true size
};

std::string be(std::uint32_t v, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

enum class Sizes { Plain, SyncSafe };

struct Tag {
  int version = 3;
  std::vector<Frame> frames;
  Sizes sizes = Sizes::Plain;
  std::uint8_t flags = 0;
  std::size_t padding = 32;
  int bodyCut = 0;  // bytes the header's size leaves out of the frames

  std::string bytes() const {
    std::string body;
    for (const Frame& f : frames) {
      const auto n = static_cast<std::uint32_t>(f.content.size());
      body += f.id;
      if (!f.sizeBytes.empty()) {
        body += f.sizeBytes;
      } else if (version == 2) {
        body += be(n, 3);
      } else {
        body += sizes == Sizes::SyncSafe ? encodeSyncSafe(n) : be(n, 4);
      }
      if (version != 2) body += "\0"s + static_cast<char>(f.format);
      body += f.content;
    }
    body.resize(body.size() + padding - static_cast<std::size_t>(bodyCut), '\0');
    return "ID3"s + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           encodeSyncSafe(static_cast<std::uint32_t>(body.size())) + body;
  }
};

std::string zlibbed(std::string_view s) {
  uLongf n = compressBound(static_cast<uLong>(s.size()));
  std::string out(n, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(s.data()),
           static_cast<uLong>(s.size()));
  out.resize(n);
  return out;
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

// Twelve slots from a list of (slot, UTF-8 text).
TagFields slots(std::initializer_list<std::pair<int, const char*>> texts) {
  TagFields f;
  for (const auto& [slot, t] : texts) f[slot] = text::gb(t);
  return f;
}

const std::string kPicture = [] {
  std::string p = "\x89PNG\r\n\x1A\n"s;
  for (int i = 0; i < 600; ++i) p += static_cast<char>(i * 37);  // every byte value, FF 00 among them
  return p;
}();

struct Case {
  const char* name;
  Tag tag;
  TagFields expected;
};

std::vector<Case> cases() {
  const std::string longTitle(304, 'L');  // with its encoding byte, a 305-byte frame
  const std::string deflated = zlibbed("\0Compressed"sv);
  return {
      {"ID3v2.4 with plain 32-bit sizes",
       {4,
        {{"TIT2", "\0"s + longTitle},
         {"TPE1", "\0Artist"s},
         {"TALB",
          "\x03"
          "Album"s},
         {"TCON", "\0(RX)"s}},
        Sizes::Plain},
       slots({{kTitle, longTitle.c_str()}, {kArtist, "Artist"}, {kAlbum, "Album"}, {kGenre, "Remix"}})},
      {"ID3v2.4 plain size byte with its top bit set",
       {4, {{"TIT2", "\0"s + std::string(200, 'x')}, {"TPE1", "\0A"s}}, Sizes::Plain},
       slots({{kTitle, std::string(200, 'x').c_str()}, {kArtist, "A"}})},
      {"ID3v2.4 sync-safe sizes",
       {4, {{"TIT2", "\0"s + longTitle}, {"TPE1", "\0B"s}}, Sizes::SyncSafe},
       slots({{kTitle, longTitle.c_str()}, {kArtist, "B"}})},
      {"extended-header flag without the header (2.3)",
       {3, {{"TIT2", "\0Flagged"s}, {"TCON", "\0(CR)"s}}, Sizes::Plain, 0x40},
       slots({{kTitle, "Flagged"}, {kGenre, "Cover"}})},
      {"extended-header flag without the header (2.4)",
       {4, {{"TIT2", "\0Flagged"s}}, Sizes::SyncSafe, 0x40},
       slots({{kTitle, "Flagged"}})},
      {"frame past the tag's end",
       {3, {{"TIT2", "\0T"s}, {"TPE1", "\0Artist name"s}}, Sizes::Plain, 0, 0, 5},
       slots({{kTitle, "T"}, {kArtist, "Artist"}})},
      {"compressed title (2.3)",
       {3, {{"TIT2", be(11, 4) + deflated, 0x80}, {"TPE1", "\0P"s}}},
       slots({{kTitle, "Compressed"}, {kArtist, "P"}})},
      {"compressed title (2.4)",
       {4, {{"TIT2", encodeSyncSafe(11) + deflated, 0x09}, {"TPE1", "\0P"s}}, Sizes::SyncSafe},
       slots({{kTitle, "Compressed"}, {kArtist, "P"}})},
      {"damaged compressed title",
       {3, {{"TIT2", be(11, 4) + "junk"s, 0x80}, {"TPE1", "\0P"s}}},
       slots({{kArtist, "P"}})},
      {"encrypted frames skipped",
       {3, {{"TIT2", "\x01secret"s, 0x40}, {"TPE1", "\0P"s}, {"TALB", "\x01x"s, 0x40}}},
       slots({{kArtist, "P"}})},
      {"ID3v2.2 with a picture",
       {2,
        {{"TT2", "\x01" + utf16("春天的故事")},
         {"TP1", "\0Band"s},
         {"PIC", "\0PNG\x03"s + "cover\0"s + kPicture},
         {"COM", "\0eng\0note"s},
         {"TCO", "\0(13)"s}}},
       slots({{kTitle, "春天的故事"}, {kArtist, "Band"}, {kComment, "note"}, {kGenre, "Pop"}})},
      {"comment with a description beside the editor's",
       {3, {{"COMM", "\0engiTunNORM\0 000001"s}, {"COMM", "\0chi\0"s + text::gb("评论")}}},
       slots({{kComment, "评论"}})},
      {"UTF-8 under encoding 0",
       {3, {{"TPE1", "\0Beyonc\xC3\xA9"s}, {"TIT2", "\0\xE6\x98\xA5"s}}},
       slots({{kArtist, "Beyoncé"}, {kTitle, "春"}})},
      {"Latin-1 under encoding 0",
       {3, {{"TPE1", "\0Bj\xF6rk"s}, {"TIT2", "\0Caf\xE9"s}, {"TALB", "\0Mot\xF6rhead"s}}},
       slots({{kArtist, "Björk"}, {kTitle, "Café"}, {kAlbum, "Motörhead"}})},
      {"GBK under encoding 0",
       {3, {{"TIT2", "\0"s + text::gb("后来 Later")}}},
       slots({{kTitle, "后来 Later"}})},
  };
}

TEST(MalformedTags, ReadLikeTheMatureReaders) {
  for (const Case& c : cases()) {
    TagFields got;
    ASSERT_TRUE(parseId3v2Tag(c.tag.bytes(), got)) << c.name;
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

// Frame id -> contents, of a tag as the walk sees it.
std::multimap<std::string, std::string> framesOf(const std::string& tag) {
  std::multimap<std::string, std::string> out;
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(tag);
  for (const auto& f : walk.frames) out.emplace(std::string(f.id), std::string(f.content));
  return out;
}

TEST(MalformedTags, ARewriteReadsBackTheSameTexts) {
  for (const Case& c : cases()) {
    TagFields fields = c.expected;
    fields[kAlbum] = text::gb("新专辑");
    const std::string rebuilt = buildId3v2Tag(fields, c.tag.bytes());
    TagFields back;
    ASSERT_TRUE(parseId3v2Tag(rebuilt, back)) << c.name;
    EXPECT_EQ(back, fields) << c.name;
  }
}

TEST(MalformedTags, ARewriteKeepsEveryOtherFrame) {
  struct Kept {
    const char* name;
    Tag old;
    std::string id, content;  // expected in the new tag, exactly
  };
  const std::string apic = "\0image/jpeg\0\x03"s + "cover\0"s + kPicture;
  const Kept kept[] = {
      {"picture (2.3)", {3, {{"APIC", apic}}}, "APIC", apic},
      {"picture (2.4), description in UTF-8",
       {4, {{"APIC", "\x03image/png\0\x03"s + "\xE5\xB0\x81\xE9\x9D\xA2\0"s + kPicture}}, Sizes::SyncSafe},
       "APIC",
       "\x01image/png\0\x03"s + utf16("封面") + "\0\0"s + kPicture},
      {"picture (2.4), unsynchronised frame",
       {4, {{"APIC", unsynchronised(apic), 0x02}}, Sizes::SyncSafe},
       "APIC",
       apic},
      {"picture (2.2)",
       {2, {{"PIC", "\0JPG\x03"s + "c\0"s + kPicture}}},
       "APIC",
       "\0image/jpeg\0\x03"s + "c\0"s + kPicture},
      {"picture in a compressed frame (2.4)",
       {4,
        {{"APIC", encodeSyncSafe(static_cast<std::uint32_t>(apic.size())) + zlibbed(apic), 0x09}},
        Sizes::SyncSafe},
       "APIC",
       apic},
      {"comment with a description",
       {3, {{"COMM", "\0engiTunNORM\0 0001"s}}},
       "COMM",
       "\0engiTunNORM\0 0001"s},
      {"lyrics in UTF-16BE (2.4)",
       {4,
        {{"USLT",
          "\x02"
          "eng\0\0"s +
              "\x4E\x2D"s}},
        Sizes::SyncSafe},
       "USLT",
       "\x01"
       "eng"s +
           "\xFF\xFE\0\0"s + utf16("中")},
      {"user text in UTF-8 (2.4)",
       {4, {{"TXXX", "\x03k\0\xE5\x80\xBC"s}}, Sizes::SyncSafe},
       "TXXX",
       "\x01" + utf16("k") + "\0\0"s + utf16("值")},
      {"several values (2.4)", {4, {{"TPE2", "\0A\0B"s}}, Sizes::SyncSafe}, "TPE2", "\0A/B"s},
      {"v2.2 frame renamed", {2, {{"TP2", "\0Band"s}}}, "TPE2", "\0Band"s},
      {"recording date (2.4)",
       {4,
        {{"TDRC",
          "\0"
          "2004-05-06T12:34"s}},
        Sizes::SyncSafe},
       "TDAT",
       "\0"
       "0605"s},
      {"people (2.4)", {4, {{"TIPL", "\0mix\0Bob"s}}, Sizes::SyncSafe}, "IPLS", "\0mix\0Bob"s},
      {"text cut off at the tag's end", {3, {{"TPE2", "\0Band"s}}, Sizes::Plain, 0, 0, 2}, "TPE2", "\0Ba"s},
  };
  TagFields fields;
  fields[kTitle] = "new";
  for (const Kept& k : kept) {
    const auto frames = framesOf(buildId3v2Tag(fields, k.old.bytes()));
    const auto [from, to] = frames.equal_range(k.id);
    bool found = false;
    for (auto it = from; it != to; ++it) found = found || it->second == k.content;
    EXPECT_TRUE(found) << k.name;
  }
}

TEST(MalformedTags, ARewriteDropsWhatItReplacesOrCannotVouchFor) {
  const Tag old{4,
                {{"TIT2", "\0old"s},
                 {"COMM", "\0eng\0old comment"s},
                 {"WXXX", "\0\0http://old"s},
                 {"TDRC",
                  "\0"
                  "1999"s},
                 {"SEEK", "\0\0\0\x10"s},
                 {"TALB", "\x01secret"s, 0x04},     // encrypted
                 {"APIC", "\0x\0\x03\0"s + "a"s}},  // the picture that stays
                Sizes::SyncSafe};
  TagFields fields;
  fields[kComment] = "new comment";
  const auto frames = framesOf(buildId3v2Tag(fields, old.bytes()));
  EXPECT_EQ(frames.count("TIT2"), 1u);
  EXPECT_EQ(frames.count("COMM"), 1u);
  EXPECT_EQ(frames.count("WXXX"), 1u);
  EXPECT_EQ(frames.count("TALB"), 1u);  // the slot's own, not the encrypted one
  EXPECT_EQ(frames.count("TDRC") + frames.count("SEEK"), 0u);
  EXPECT_EQ(frames.count("APIC"), 1u);
}

}  // namespace
}  // namespace qorin::tags
