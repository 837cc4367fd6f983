// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "code_pages.h"
#include "filelist/file_list.h"
#include "outcome_codes.h"
#include "platform/open_file.h"
#include "rules/mp3_rule.h"
#include "rules_test_chars.h"
#include "session/messages.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags_test_util.h"
#include "text/gbtext.h"

namespace qorin::rules {

using namespace qorin::filelist;
namespace {

using tags::TagFields;
using tagtest::TempDir;
using text::gb;

TagFields springFields() {
  TagFields f;
  f[tags::kArtist] = gb("歌手甲");
  f[tags::kTitle] = gb("春天");
  f[tags::kAlbum] = gb("四季");
  f[tags::kTrack] = "1";
  f[tags::kYear] = "2001";
  f[tags::kGenre] = "Pop";
  return f;
}

// The rule expanded for one record, through the parse.
std::string expand(std::string_view rule, const TagFields& f, const NameCleanup& cleanup = {}) {
  const auto segments = parseMp3Rule(rule);
  return segments ? expandMp3Rule(*segments, f, cleanup) : std::string("<no parse>");
}

// Both switches of the 选项 menu off: tag texts go in as read.
constexpr NameCleanup kAsRead{false, false};

// The Part's rule table, shared by the pure and the file-based tests.
struct RuleCase {
  const char* rule;
  const char* want;  // UTF-8
};
const RuleCase kSpringRules[] = {
    {"#1-#2", "歌手甲-春天.mp3"}, {"#1-#3-#5-#2", "歌手甲-四季-2001-春天.mp3"},
    {"#4. #2", "1. 春天.mp3"},    {"[#6] #2", "[Pop] 春天.mp3"},
    {"#12", "歌手甲2.mp3"},       {"#7", "#7.mp3"},
    {"abc", "abc.mp3"},
};

TEST(Mp3RuleParse, SplitsIntoLiteralsAndCodes) {
  struct Case {
    const char* rule;
    std::vector<RuleSegment> want;
  };
  const Case cases[] = {
      {"#1-#2", {{"", 1}, {"-", 2}, {"", 0}}},
      {"abc", {{"abc", 0}}},
      {"##1", {{"#", 1}, {"", 0}}},
      {"#7#a#", {{"#7#a#", 0}}},
      {"#0#6", {{"#0", 6}, {"", 0}}},
      {"x#12y", {{"x", 1}, {"2y", 0}}},
      {"#1#2", {{"", 1}, {"", 2}, {"", 0}}},
      {"#", {{"#", 0}}},
      {"###3", {{"##", 3}, {"", 0}}},
  };
  for (const Case& c : cases) {
    const auto got = parseMp3Rule(c.rule);
    ASSERT_TRUE(got) << c.rule;
    EXPECT_EQ(*got, c.want) << c.rule;
  }
  EXPECT_FALSE(parseMp3Rule(""));
}

TEST(Mp3RuleExpand, BuildsNamesFromTagTexts) {
  const TagFields spring = springFields();
  for (const RuleCase& c : kSpringRules) EXPECT_EQ(expand(c.rule, spring), gb(c.want)) << c.rule;

  TagFields odd = spring;
  odd[tags::kArtist].clear();
  odd[tags::kTrack] = "3/12";
  odd[tags::kTitle] = " padded ";
  const struct {
    const char* rule;
    std::string want;
  } cases[] = {
      {"#1", ""},              // nothing but an empty field: no ".mp3" either
      {"#4", "3.mp3"},         // the track as players show it
      {"#2", " padded .mp3"},  // no trimming
      {"#1-#2", "- padded .mp3"},
      {"##1", "#.mp3"},
  };
  for (const auto& c : cases) EXPECT_EQ(expand(c.rule, odd, kAsRead), c.want) << c.rule;
}

TEST(Mp3RuleExpand, CleanupOfTagTexts) {
  TagFields f = springFields();
  f[tags::kArtist] = "AC/DC";
  f[tags::kTrack] = "3/12";
  f[tags::kTitle] = gb("春天<Live>: \"A|B\"?*\\");
  const struct {
    NameCleanup cleanup;
    const char* rule;
    std::string want;
  } cases[] = {
      {{true, false}, "#1-#4", "AC_DC-3.mp3"},
      {{true, true}, "#1-#4", "AC_DC-03.mp3"},
      {{false, true}, "#4 #1", "03 AC/DC.mp3"},
      {{false, false}, "#1-#4", "AC/DC-3.mp3"},
      {{true, false}, "#2", gb("春天_Live__ _A_B____.mp3")},
      // the user's own text is part of the name and cleaned alike
      {{true, false}, "a/#5", "a_2001.mp3"},
      // padding touches the track only
      {{true, true}, "#5-#4", "2001-03.mp3"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(expand(c.rule, f, c.cleanup), c.want)
        << c.rule << c.cleanup.replaceIllegal << c.cleanup.padTrack;
}

TEST(Mp3RuleExpand, TrackPaddingAndIllegalCharacters) {
  const struct {
    const char* track;
    const char* want;
  } tracks[] = {{"3", "03"}, {"3/12", "03"}, {"12", "12"}, {"123", "123"}, {"003", "03"},
                {"0", "00"}, {"", ""},       {"A1", "A1"}, {" 7", "07"},   {"07/09", "07"}};
  for (const auto& t : tracks) EXPECT_EQ(padTrackNumber(t.track), t.want) << t.track;

  std::string s = "a<b>c:d\"e|f?g*h/i\\j\tk";
  replaceIllegalChars(s);
  EXPECT_EQ(s, "a_b_c_d_e_f_g_h_i_j_k");
  // Trail bytes 0x5C ("\\") and 0x7C ("|") belong to their characters.
  std::string chinese = "\x81\x5C/\x81\x7C|" + testchars::kFour;
  replaceIllegalChars(chinese);
  EXPECT_EQ(chinese, "\x81\x5C_\x81\x7C_" + testchars::kFour);
}

TEST(Mp3RuleHelpers, ExampleButtonsAndSchemes) {
  const struct {
    const char* rule;
    const char* example;
  } examples[] = {
      {"#1-#2", "艺术家-歌曲名"},
      {"#3 #4 #5 #6", "专辑 音轨 年代 流派"},
      {"##1#7", "#艺术家#7"},
      {"歌#2", "歌歌曲名"},
      {"", ""},
  };
  for (const auto& e : examples) EXPECT_EQ(mp3RuleExample(gb(e.rule)), gb(e.example)) << e.rule;

  EXPECT_EQ(withPlaceholder("", 1), "#1");
  EXPECT_EQ(withPlaceholder("#1", 2), "#1-#2");
  const char* schemes[] = {"#1-#2", "#1-#3-#2", "#1-#3-#5-#2", "#1-#3-#5-#2-#4"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(mp3SchemeRule(i), schemes[i]);
  EXPECT_EQ(mp3SchemeRule(4), "");
  EXPECT_EQ(mp3SchemeRule(-1), "");
}

// --- the rule over real files ------------------------------------------------

std::string python() {
  if (std::FILE* f = std::fopen("/usr/bin/python3", "rb")) {
    std::fclose(f);
    return "/usr/bin/python3";
  }
  return "python3";
}

int mutagen(const std::string& args) {
  const std::string cmd = python() + " " QORIN_TOOLS_DIR "/mutagen_tags.py " + args + " >/dev/null 2>&1";
  return std::system(cmd.c_str());
}

void writeOurV2(const std::string& path, const TagFields& f) {
  tagtest::writeBytes(path, tagtest::fakeAudio(2000));
  platform::OpenFile file(path, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(tags::writeId3v2(file, f));
}

void addOurV1(const std::string& path, const char* title, int genre) {
  platform::OpenFile file(path, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(tags::writeId3v1(file, title, "v1artist", "v1album", "1999", "", "7", genre));
}

// A list of the given names in `dir`, as rows.
FileList listOf(const TempDir& dir, const std::vector<std::string>& names) {
  FileList list;
  for (const auto& n : names) list.addName(n);
  list.fillRows(kFillAppend | kFillDirectory, 0, list.fileCount() - 1, dir.file(""));
  return list;
}

TEST(Mp3RuleFiles, ChineseTagsFromOurWriterAndFromMutagen) {
#ifdef _WIN32
  GTEST_SKIP() << "needs python3-mutagen, which does not run inside wine";
#endif
  TempDir dir;
  writeOurV2(dir.file("ours.mp3"), springFields());
  auto hex = [](const char* s) { return tagtest::hex(s); };
  const std::string pairs = " TPE1=" + hex("歌手甲") + " TIT2=" + hex("春天") + " TALB=" + hex("四季") +
                            " TRCK=" + hex("1") + " TCON=" + hex("Pop");
  const struct {
    const char* name;
    std::string args;
  } written[] = {
      {"v23utf16.mp3", "3 1" + pairs + " TYER=" + hex("2001")},
      {"v24utf8.mp3", "4 3" + pairs + " TDRC=" + hex("2001")},
      {"v24utf16be.mp3", "4 2" + pairs + " TDRC=" + hex("2001")},
  };
  std::vector<std::string> names = {"ours.mp3"};
  for (const auto& w : written) {
    tagtest::writeBytes(dir.file(w.name), tagtest::fakeAudio(2000));
    ASSERT_EQ(mutagen("write " + dir.file(w.name) + " " + w.args), 0) << w.name;
    names.push_back(w.name);
  }
  FileList list = listOf(dir, names);
  for (const RuleCase& c : kSpringRules) {
    mp3Rule(list, {c.rule, TagPriority::V2First});
    for (int r = 0; r < list.fileCount(); ++r) {
      EXPECT_EQ(list[r].newName, gb(c.want)) << c.rule << " " << names[static_cast<std::size_t>(r)];
      EXPECT_EQ(list[r].mp3Code, Mp3Status::None) << names[static_cast<std::size_t>(r)];
    }
  }
}

TEST(Mp3RuleFiles, PriorityPicksTheVersionAndFallsBack) {
  TempDir dir;
  const std::string both = dir.file("both.mp3"), v1only = dir.file("v1.mp3"), v2only = dir.file("v2.mp3");
  writeOurV2(both, springFields());
  addOurV1(both, "v1title", 13);
  tagtest::writeBytes(v1only, tagtest::fakeAudio(500));
  addOurV1(v1only, "v1title", 13);
  writeOurV2(v2only, springFields());
  FileList list = listOf(dir, {"both.mp3", "v1.mp3", "v2.mp3"});
  const struct {
    TagPriority priority;
    const char* want[3];
  } cases[] = {
      {TagPriority::V2First, {"歌手甲-春天-Pop-1", "v1artist-v1title-Pop-7", "歌手甲-春天-Pop-1"}},
      {TagPriority::V1First, {"v1artist-v1title-Pop-7", "v1artist-v1title-Pop-7", "歌手甲-春天-Pop-1"}},
  };
  for (const auto& c : cases) {
    mp3Rule(list, {"#1-#2-#6-#4", c.priority});
    for (int r = 0; r < 3; ++r) EXPECT_EQ(list[r].newName, gb(c.want[r]) + ".mp3") << r;
  }
}

TEST(Mp3RuleFiles, StatusCellsAndSkippedFiles) {
  TempDir dir;
  writeOurV2(dir.file("song.MP3"), springFields());
  tagtest::writeBytes(dir.file("song.mp3.bak"), "x");
  tagtest::writeBytes(dir.file("notes"), "x");
  tagtest::writeBytes(dir.file("bare.mp3"), tagtest::fakeAudio(400));
  TagFields noArtist = springFields();
  noArtist[tags::kArtist].clear();
  writeOurV2(dir.file("noartist.mp3"), noArtist);
  // gone.mp3 is listed but cannot be opened.
  FileList list = listOf(dir, {"song.MP3", "song.mp3.bak", "notes", "bare.mp3", "noartist.mp3", "gone.mp3"});
  for (int r = 0; r < list.fileCount(); ++r) list.setNewName(r, "stale");
  list.setMp3Status(5, filelist::Mp3Status::NoTag);

  mp3Rule(list, {"#1", TagPriority::V2First});
  const struct {
    const char* newName;
    Mp3Status status;
  } want[] = {{"歌手甲.mp3", Mp3Status::None}, {"", Mp3Status::NotMp3}, {"", Mp3Status::NotMp3},
              {"", Mp3Status::NoTag},          {"", Mp3Status::None},   {"", Mp3Status::NoTag}};
  for (int r = 0; r < list.fileCount(); ++r) {
    EXPECT_EQ(list[r].newName, gb(want[r].newName)) << list[r].oldName;
    EXPECT_EQ(list[r].mp3Code, want[r].status) << list[r].oldName;
  }
  // The file that cannot be read keeps no other rule's proposal: it fails with its reason.
  EXPECT_EQ(list[5].proposalProblem, codes::Unreadable);
  EXPECT_EQ(list[4].proposalProblem, codes::NoNeededField);
  EXPECT_EQ(list[0].proposalProblem, Outcome{});

  // The untagged file gets a tag: its old mark goes.
  writeOurV2(dir.file("bare.mp3"), springFields());
  mp3Rule(list, {"#2", TagPriority::V1First});
  EXPECT_EQ(list[3].newName, gb("春天.mp3"));
  EXPECT_EQ(list[3].mp3Code, Mp3Status::None);
  EXPECT_EQ(list.rowsWithMp3Status(), (std::vector<int>{1, 2, 5}));
}

// Titles stored in Big5 without a label, each too short to tell alone (家
// reads as GBK by itself): the folder's other files decide them.
TEST(Mp3RuleFiles, AnAlbumIsReadInOneEncoding) {
  TempDir dir;
  const char* const titles[] = {"家", "童話", "夜", "想你", "朋友", "老師"};
  std::vector<std::string> names;
  for (const char* t : titles) {
    names.push_back(std::to_string(names.size()) + ".mp3");
    const std::string big5 = *testing::utf8ToBig5(t);
    tagtest::writeBytes(dir.file(names.back()),
                        tagtest::fakeAudio(400) + tags::buildId3v1Block(big5, "", "", "", ""));
  }
  FileList list = listOf(dir, names);
  EXPECT_TRUE(mp3Rule(list, {"#2", TagPriority::V1First}));
  for (int r = 0; r < list.fileCount(); ++r)
    EXPECT_EQ(list[r].newName, gb(std::string(titles[r]) + ".mp3")) << titles[r];
  // Stopped once every file was read: what was to be read again with its
  // folder is named by nothing, not by its tag alone.
  FileList stopped = listOf(dir, names);
  int asked = 0;
  EXPECT_FALSE(mp3Rule(stopped, {"#2", TagPriority::V1First}, {nullptr, [&] { return ++asked > 6; }}));
  EXPECT_EQ(stopped[0].proposalProblem, codes::Stopped);
  for (int r = 0; r < stopped.fileCount(); ++r) {
    if (stopped[r].proposalProblem != codes::Stopped) {
      EXPECT_EQ(stopped[r].newName, gb(std::string(titles[r]) + ".mp3")) << titles[r];
    }
  }
}

TEST(Mp3RuleFiles, TagsWithSlashesMakeUsableNames) {
  TempDir dir;
  TagFields f = springFields();
  f[tags::kArtist] = "AC/DC";
  f[tags::kTrack] = "3/12";
  writeOurV2(dir.file("a.mp3"), f);
  FileList list = listOf(dir, {"a.mp3"});
  Mp3Options o{"#4 #1", TagPriority::V2First};
  mp3Rule(list, o);
  EXPECT_EQ(list[0].newName, "3 AC_DC.mp3");
  o.cleanup.padTrack = true;
  mp3Rule(list, o);
  EXPECT_EQ(list[0].newName, "03 AC_DC.mp3");
}

// Names as players show the tags: the track before its "/", an ID3v1 genre
// by its name; a file whose tag holds none of the fields the rule uses fails
// its row, never named " - .mp3".
TEST(Mp3RuleFiles, AsPlayersShowTheTags) {
  TempDir dir;
  const auto v2 = [&](const char* name, std::initializer_list<std::pair<int, const char*>> texts) {
    TagFields f;
    for (const auto& [slot, t] : texts) f[slot] = t;
    writeOurV2(dir.file(name), f);
  };
  v2("track.mp3", {{tags::kTitle, "T"}, {tags::kTrack, " 1 / 5"}});
  v2("encoder.mp3", {{tags::kEncodedBy, "LAME 3.100"}});
  v2("gain.mp3", {{tags::kComment, "replay gain -6 dB"}});
  v2("blank.mp3", {{tags::kArtist, "  "}, {tags::kAlbum, "A"}});
  v2("count.mp3", {{tags::kTrack, "/12"}});
  const std::pair<const char*, int> v1[] = {{"rock.mp3", 17}, {"none.mp3", 255}, {"winamp.mp3", 130}};
  for (const auto& [name, genre] : v1) {
    tagtest::writeBytes(dir.file(name), tagtest::fakeAudio(300));
    addOurV1(dir.file(name), "t", genre);
  }
  tagtest::writeBytes(dir.file("Layer2.MP2"), tagtest::fakeAudio(300));
  addOurV1(dir.file("Layer2.MP2"), "t", 0);
  FileList list = listOf(dir, {"track.mp3", "encoder.mp3", "gain.mp3", "blank.mp3", "count.mp3", "rock.mp3",
                               "none.mp3", "winamp.mp3", "Layer2.MP2"});
  const struct {
    const char* rule;
    const char* want[9];  // "!" for a row that fails: no field it needs
  } cases[] = {
      {"#1 - #2",
       {" - T.mp3", "!", "!", "!", "!", "v1artist - t.mp3", "v1artist - t.mp3", "v1artist - t.mp3",
        "v1artist - t.mp2"}},
      {"#4", {"1.mp3", "!", "!", "!", "!", "7.mp3", "7.mp3", "7.mp3", "7.mp2"}},
      {"#6", {"!", "!", "!", "!", "!", "Rock.mp3", "!", "Terror.mp3", "Blues.mp2"}},
      // a rule without placeholders needs no field
      {"x", {"x.mp3", "x.mp3", "x.mp3", "x.mp3", "x.mp3", "x.mp3", "x.mp3", "x.mp3", "x.mp2"}},
  };
  for (const auto& c : cases) {
    mp3Rule(list, {c.rule, TagPriority::V1First});
    for (int r = 0; r < list.fileCount(); ++r) {
      const std::string want = c.want[r];
      SCOPED_TRACE(std::string(c.rule) + " " + std::string(list[r].oldName));
      EXPECT_EQ(list[r].newName, want == "!" ? "" : want);
      EXPECT_EQ(list[r].proposalProblem, want == "!" ? codes::NoNeededField : Outcome{});
    }
  }
  EXPECT_EQ(session::reasonText(codes::NoNeededField, 0), gb("标签中没有需要的字段"));
}

TEST(Mp3RuleFiles, EmptyRuleEmptiesNamesAndLeavesCells) {
  TempDir dir;
  writeOurV2(dir.file("a.mp3"), springFields());
  FileList list = listOf(dir, {"a.mp3", "b.txt"});
  list.setNewName(0, "x");
  list.setNewName(1, "y");
  list.setMp3Status(0, filelist::Mp3Status::NoTag);
  mp3Rule(list, {"", TagPriority::V2First});
  EXPECT_EQ(list[0].newName, "");
  EXPECT_EQ(list[1].newName, "");
  EXPECT_EQ(list[0].mp3Code, Mp3Status::NoTag);
  EXPECT_EQ(list[1].mp3Code, Mp3Status::None);
}

}  // namespace
}  // namespace qorin::rules
