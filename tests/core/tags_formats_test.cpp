// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tags/formats.h"
#include "tags/id3_reader.h"
#include "tags/id3v2.h"
#include "tags/id3v2_frames.h"
#ifdef QORIN_HAVE_TAGLIB
#include "tags/taglib_reader.h"
#endif
#include "tags/tag_editor_fields.h"

namespace qorin::tags {
namespace {

TEST(TagReaders, ChosenByTheFileType) {
  const struct {
    const char* name;
    const TagReader* reader;
    TagKind kind;
  } cases[] = {
      {"a.mp3", &kId3Reader, TagKind::Id3},
      {"A.MP3", &kId3Reader, TagKind::Id3},
      {"歌.Mp3", &kId3Reader, TagKind::Id3},
      {"noext", nullptr, TagKind::None},
      {"a.mp3.bak", nullptr, TagKind::None},
      {"mp3", nullptr, TagKind::None},
      {"a.txt", nullptr, TagKind::None},
      {"a.MP2", &kId3Reader, TagKind::Id3},
#ifdef QORIN_HAVE_TAGLIB
      // The tag editor and the Unicode repair take TagKind::Id3 only: never these.
      {"a.flac", &kFlacReader, TagKind::Vorbis},
      {"a.OGG", &kOggReader, TagKind::Vorbis},
      {"a.opus", &kOpusReader, TagKind::Vorbis},
      {"a.m4a", &kMp4Reader, TagKind::Mp4},
      {"a.mp4", &kMp4Reader, TagKind::Mp4},
      {"a.ape", &kApeReader, TagKind::Ape},
      {"a.wma", &kAsfReader, TagKind::Asf},
      {"a.wav", &kWavReader, TagKind::Id3Chunk},
      {"a.aif", &kAiffReader, TagKind::Id3Chunk},
      {"a.Aiff", &kAiffReader, TagKind::Id3Chunk},
      {"a.oga", &kOggReader, TagKind::Vorbis},
      {"a.spx", &kOggReader, TagKind::Vorbis},
      {"a.m4b", &kMp4Reader, TagKind::Mp4},
      {"a.aifc", &kAiffReader, TagKind::Id3Chunk},
      {"a.wv", &kWavPackReader, TagKind::Ape},
      {"a.mpc", &kMusepackReader, TagKind::Ape},
      {"a.tta", &kTrueAudioReader, TagKind::Id3Chunk},
      {"a.xm", &kXmReader, TagKind::Module},
      // TagLib 1.13 reads neither DSD nor TAK.
      {"a.dsf", nullptr, TagKind::None},
      {"a.tak", nullptr, TagKind::None},
#else
      {"a.flac", nullptr, TagKind::None},    {"a.wav", nullptr, TagKind::None},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tagReaderFor(c.name), c.reader) << c.name;
    EXPECT_EQ(tagKindOf(c.name), c.kind) << c.name;
    EXPECT_EQ(editableTag(c.name), c.kind == TagKind::Id3) << c.name;
    EXPECT_EQ(repairableTag(c.name), c.kind == TagKind::Id3) << c.name;
  }
}

// The open dialog's list: every extension once, each taken by its reader.
TEST(TagReaders, NamedExtensions) {
  const std::vector<std::string_view> all = namedExtensions();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), "mp3");
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_NE(tagReaderFor("x." + std::string(all[i])), nullptr) << all[i];
    EXPECT_EQ(std::count(all.begin(), all.end(), all[i]), 1) << all[i];
  }
  // The families' extensions are those, each under the family of its reader.
  std::size_t families = 0;
  for (const TagFamily& f : tagFamilies()) {
    EXPECT_EQ(familyOf(f.kind), &f);
    for (const std::string_view e : extensionsOf(f.kind)) {
      EXPECT_EQ(familyFor("x." + std::string(e)), &f) << e;
      ++families;
    }
  }
  EXPECT_EQ(families, all.size());
}

// Every editor box lands in the frame ID3v2 readers everywhere take for it.
TEST(TagSlots, EditorBoxesReachTheirFramesInTheWrittenTag) {
  const struct {
    std::string Id3v2EditorTexts::*box;
    std::string_view frame;
  } boxes[] = {
      {&Id3v2EditorTexts::title, "TIT2"},     {&Id3v2EditorTexts::artist, "TPE1"},
      {&Id3v2EditorTexts::album, "TALB"},     {&Id3v2EditorTexts::track, "TRCK"},
      {&Id3v2EditorTexts::year, "TYER"},      {&Id3v2EditorTexts::comment, "COMM"},
      {&Id3v2EditorTexts::composer, "TCOM"},  {&Id3v2EditorTexts::originalArtist, "TOPE"},
      {&Id3v2EditorTexts::copyright, "TCOP"}, {&Id3v2EditorTexts::url, "WXXX"},
      {&Id3v2EditorTexts::encodedBy, "TENC"},
  };
  Id3v2EditorTexts texts;
  for (const auto& b : boxes) texts.*b.box = "text of " + std::string(b.frame);
  texts.genreValue = 17;
  texts.genreText = "Rock";
  const std::string tag = buildId3v2Tag(collectId3v2Fields(texts));
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(tag);
  const auto contentOf = [&](std::string_view id) {
    for (const auto& f : walk.frames)
      if (f.id == id) return std::string(f.content);
    return std::string("<no frame>");
  };
  for (const auto& b : boxes) EXPECT_TRUE(contentOf(b.frame).ends_with(texts.*b.box)) << b.frame;
  EXPECT_TRUE(contentOf("TCON").ends_with("(17)Rock"));
}

}  // namespace
}  // namespace qorin::tags
