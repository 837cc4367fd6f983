// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/ini.h"
#include "session/settings.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::session {
namespace {

using text::gb;

std::string defaultFile() {
  return gb(
      "[预览选项]\r\n自动预览=关\r\n全部预览=关\r\n预览数量=10\r\n[颜色]\r\n背景颜色=8429696\r\n"
      "字体颜色=8388608\r\n[字体]\r\n字体名称=宋体\r\n字体大小=10\r\n字体样式=常规\r\n[更名选项]\r\n"
      "包含子目录=关\r\n包含隐藏文件=关\r\n替换非法字符=开\r\n音轨号补零=关\r\n");
}

TEST(IniFile, KeepsOtherLinesAndCreatesWhatIsMissing) {
  testing::TempDir t;
  t.write("a.ini", "; comment\n[one]\nx = 1\n\n[two]\r\ny=2\r\nlast=no newline");
  platform::IniFile ini(t.dir() + "a.ini");
  EXPECT_EQ(ini.get("one", "x", "d"), "1");
  EXPECT_EQ(ini.get("ONE", " X ", "d"), "1");
  EXPECT_EQ(ini.get("two", "z", "d"), "d");
  EXPECT_EQ(ini.get("three", "x", "d"), "d");
  ini.set("one", "x", "5");
  ini.set("one", "new", "n");
  ini.set("two", "added", "a");
  ini.set("three", "k", "v");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(
      t.read("a.ini"),
      "; comment\n[one]\nx=5\r\nnew=n\r\n\n[two]\r\ny=2\r\nlast=no newline\r\nadded=a\r\n[three]\r\nk=v\r\n");
}

TEST(IniFile, FirstOfDuplicateSectionsAndKeysWins) {
  testing::TempDir t;
  t.write("d.ini", "[s]\nk=1\nk=2\n[s]\nk=3\n");
  platform::IniFile ini(t.dir() + "d.ini");
  EXPECT_EQ(ini.get("s", "k", ""), "1");
}

TEST(IniFile, CreatesTheFile) {
  testing::TempDir t;
  platform::IniFile ini(t.dir() + "new.ini");
  ini.set("s", "k", "v");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(t.read("new.ini"), "[s]\r\nk=v\r\n");
}

TEST(Settings, PathHasOneSeparator) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX paths; windows_fs_test checks the Windows ones";
#endif
  EXPECT_EQ(settingsFilePath("/opt/qorin/"), "/opt/qorin/config.ini");
  EXPECT_EQ(settingsFilePath("/opt/qorin"), "/opt/qorin/config.ini");
  EXPECT_EQ(settingsFilePath("/"), "/config.ini");
}

TEST(Settings, MissingFileGivesDefaultsAndIsNotCreated) {
  testing::TempDir t;
  Settings s;
  loadSettings(s, t.dir() + "config.ini");
  EXPECT_EQ(s, defaultSettings());
  EXPECT_FALSE(std::filesystem::exists(t.path() / "config.ini"));
}

TEST(Settings, DefaultsSaveByteForByte) {
  testing::TempDir t;
  saveSettings(defaultSettings(), t.dir() + "config.ini");
  EXPECT_EQ(t.read("config.ini"), defaultFile());
}

TEST(Settings, ReadsValuesAsTheUserWroteThem) {
  struct Case {
    const char* file;
    Settings (*expect)();
  };
  const Case cases[] = {
      {"[预览选项]\r\n自动预览=1\r\n预览数量=12.7\r\n",
       [] {
         Settings s = defaultSettings();
         s.previewCount = 12;  // 自动预览=1 is not 开
         return s;
       }},
      {"[预览选项]\n自动预览=开\n全部预览=开\n[颜色]\n背景颜色=abc\n",
       [] {
         Settings s = defaultSettings();
         s.autoPreview = 1;
         s.previewAllEntries = 1;
         s.backgroundColour = 0;
         return s;
       }},
      {"[字体]\r\n字体名称=黑体\r\n字体大小=14\r\n字体样式=粗斜体\r\n",
       [] {
         Settings s = defaultSettings();
         s.fontName = gb("黑体");
         s.fontSize = 14;
         s.bold = s.italic = 1;
         return s;
       }},
      {"[字体]\r\n字体样式=粗体\r\n",
       [] {
         Settings s = defaultSettings();
         s.bold = 1;
         return s;
       }},
      {"[字体]\r\n字体样式=倾斜\r\n",
       [] {
         Settings s = defaultSettings();
         s.italic = 1;
         return s;
       }},
      {"\x00\xff\xfe garbage\n[预览\xff\n===\n[]\n", [] { return defaultSettings(); }},
  };
  for (const Case& c : cases) {
    testing::TempDir t;
    t.write("config.ini", gb(c.file).empty() ? std::string(c.file) : gb(c.file));
    Settings s;
    loadSettings(s, t.dir() + "config.ini");
    EXPECT_EQ(s, c.expect()) << c.file;
  }
}

TEST(Settings, SurvivesJunkAndHugeLines) {
  testing::TempDir t;
  std::string junk(300000, 'x');
  junk += "\n";
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  junk += "\n" + gb("[预览选项]\n预览数量=7\n");
  t.write("config.ini", junk);
  Settings s;
  loadSettings(s, t.dir() + "config.ini");
  EXPECT_EQ(s.previewCount, 7);
  EXPECT_EQ(s.fontSize, 10);
}

TEST(Settings, StyleRoundTrips) {
  for (int bold : {0, 1})
    for (int italic : {0, 1}) {
      testing::TempDir t;
      Settings s = defaultSettings();
      s.bold = bold;
      s.italic = italic;
      saveSettings(s, t.dir() + "config.ini");
      Settings back;
      loadSettings(back, t.dir() + "config.ini");
      EXPECT_EQ(back, s) << bold << italic;
    }
}

TEST(Settings, RenamingOptionsRoundTrip) {
  const struct {
    bool subfolders, hidden, illegal, pad;
  } cases[] = {{false, false, true, false}, {true, true, false, true}, {true, false, false, false}};
  for (const auto& c : cases) {
    testing::TempDir t;
    Settings s = defaultSettings();
    s.includeSubfolders = c.subfolders;
    s.includeHidden = c.hidden;
    s.replaceIllegal = c.illegal;
    s.padTrack = c.pad;
    saveSettings(s, t.dir() + "config.ini");
    Settings back;
    loadSettings(back, t.dir() + "config.ini");
    EXPECT_EQ(back, s) << c.subfolders << c.hidden << c.illegal << c.pad;
  }
  // A file from before the section existed reads the switches' defaults.
  testing::TempDir t;
  t.write("config.ini", gb("[预览选项]\r\n自动预览=开\r\n"));
  Settings s;
  loadSettings(s, t.dir() + "config.ini");
  EXPECT_TRUE(s.replaceIllegal);
  EXPECT_FALSE(s.includeSubfolders || s.includeHidden || s.padTrack);
}

// A config.ini an editor saved in UTF-8: read as such, written back as such,
// and saving twice adds nothing.
TEST(Settings, Utf8FileIsReadAndKeptOnce) {
  for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
    testing::TempDir t;
    const std::string mine = bom + "[预览选项]\n自动预览=开\n预览数量=25\n[字体]\n字体名称=文泉驿微米黑\n";
    t.write("config.ini", mine);
    Settings s;
    loadSettings(s, t.dir() + "config.ini");
    EXPECT_EQ(s.autoPreview, 1);
    EXPECT_EQ(s.previewCount, 25);
    EXPECT_EQ(s.fontName, gb("文泉驿微米黑"));
    saveSettings(s, t.dir() + "config.ini");
    const std::string once = t.read("config.ini");
    saveSettings(s, t.dir() + "config.ini");
    EXPECT_EQ(t.read("config.ini"), once);
    EXPECT_EQ(once.rfind(bom + "[预览选项]\n自动预览=开\r\n预览数量=25\r\n全部预览=关\r\n", 0), 0u) << once;
    for (const char* section : {"[预览选项]", "[颜色]", "[字体]", "[更名选项]"}) {
      const auto first = once.find(section);
      EXPECT_NE(first, std::string::npos) << section;
      EXPECT_EQ(once.find(section, first + 1), std::string::npos) << section;
    }
    EXPECT_EQ(once.find(gb("字体")), std::string::npos);  // nothing in the code page
  }
}

TEST(Settings, SaveKeepsForeignLines) {
  testing::TempDir t;
  t.write("config.ini", gb("; mine\r\n[其他]\r\n键=值\r\n[预览选项]\r\n自动预览=开\r\n"));
  Settings s = defaultSettings();
  saveSettings(s, t.dir() + "config.ini");
  const std::string out = t.read("config.ini");
  EXPECT_EQ(out.rfind(gb("; mine\r\n[其他]\r\n键=值\r\n[预览选项]\r\n自动预览=关\r\n"), 0), 0u) << out;
}

}  // namespace
}  // namespace qorin::session

namespace qorin::session {
namespace {

TEST(Settings, UnreadableFileGivesDefaultsAndIsNotReplaced) {
  testing::TempDir t;
  // A directory where the file should be: it exists but cannot be read.
  std::filesystem::create_directory(t.path() / "config.ini");
  Settings s;
  loadSettings(s, t.dir() + "config.ini");
  EXPECT_EQ(s, defaultSettings());
  saveSettings(s, t.dir() + "config.ini");
  EXPECT_TRUE(std::filesystem::is_directory(t.path() / "config.ini"));
}

}  // namespace
}  // namespace qorin::session
