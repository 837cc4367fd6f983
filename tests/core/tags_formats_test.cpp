#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tags/formats.h"
#include "tags/id3_reader.h"
#include "tags/id3v2.h"
#include "tags/id3v2_frames.h"
#include "tags/tag_editor_fields.h"

namespace qorin::tags {
namespace {

TEST(TagReaders, ChosenByTheFileType) {
  const struct {
    const char* name;
    const TagReader* reader;
  } cases[] = {
      {"a.mp3", &kId3Reader}, {"A.MP3", &kId3Reader}, {"歌.Mp3", &kId3Reader}, {"a.flac", nullptr},
      {"noext", nullptr},     {"a.mp3.bak", nullptr}, {"mp3", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tagReaderFor(c.name), c.reader) << c.name;
    EXPECT_EQ(tagKindOf(c.name), c.reader ? TagKind::Id3 : TagKind::None) << c.name;
  }
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
