// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "session/rule_memory.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::session {
namespace {

using text::gb;

TEST(RuleMemory, RoundTripsBesideTheSettingsAndKeepsThem) {
  testing::TempDir t;
  const std::string settings = gb("[字体]\r\n字体名称=宋体\r\n; 用户的注释\r\n");
  const std::string path = t.write("config.ini", settings);
  // Blanks at the edges and a leading quote survive the INI line.
  const RuleMemory m{"insert",
                     {{gb("文件名前缀编辑框"), gb(" 新 ")},
                      {gb("替换为编辑框"), "\"x\""},
                      {gb("仅文件名单选框"), gb("开")},
                      {gb("空编辑框"), ""}}};
  ASSERT_TRUE(saveRuleMemory(m, path));
  EXPECT_EQ(t.read("config.ini").substr(0, settings.size()), settings);
  const RuleMemory back = loadRuleMemory(path);
  EXPECT_EQ(back.selected, m.selected);
  EXPECT_EQ(back.fields, m.fields);
  // Saved again with fewer fields, the section holds only those.
  ASSERT_TRUE(saveRuleMemory({"general", {{gb("文件名前缀编辑框"), "a"}}}, path));
  EXPECT_EQ(loadRuleMemory(path).fields.size(), 1u);
}

TEST(Presets, SavedReplacedDeletedAndReadBackInUtf8) {
  testing::TempDir t;
  const std::string path = t.file("presets.ini");
  {
    Presets p(path);
    EXPECT_TRUE(p.all().empty());
    ASSERT_TRUE(p.save({gb("照片"), "general", {{gb("文件名前缀编辑框"), gb("旅行 ")}}}));
    ASSERT_TRUE(p.save({"Music", "mp3", {{gb("规则编辑框"), "#1 - #2"}}}));
    ASSERT_TRUE(p.save({gb("照片"), "insert", {{gb("插入文本编辑框"), "x"}}}));  // replaced
    EXPECT_EQ(p.all().size(), 2u);
  }
  EXPECT_NE(t.read("presets.ini").find("[照片]"), std::string::npos);  // UTF-8 on the disk
  Presets p(path);
  ASSERT_EQ(p.all().size(), 2u);
  const Preset* photo = p.find(gb("照片"));
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(photo->rule, "insert");
  EXPECT_EQ(photo->fields, (rules::FieldValues{{gb("插入文本编辑框"), "x"}}));
  ASSERT_TRUE(p.remove("music"));  // names match as the INI does, without ASCII case
  EXPECT_EQ(Presets(path).all().size(), 1u);
  EXPECT_FALSE(p.remove("gone"));
  for (const char* bad : {"", " a", "a]", "[a", "a\nb"}) EXPECT_FALSE(Presets::usableName(bad)) << bad;
}

TEST(Presets, ADamagedFileIsMovedAsideWholeAndNeverWrittenOver) {
  const std::string damaged[] = {
      std::string("\x89PNG\r\n\x1a\n\0\0", 10),  // not text
      gb("[照片]\r\n规则=general\r\n"),          // code page where UTF-8 is written
      "[a]\nrule general\n",                     // a line that is no INI line
      "key=value before any section\n",
  };
  for (const std::string& bytes : damaged) {
    testing::TempDir t;
    const std::string path = t.write("presets.ini", bytes);
    t.write("presets.ini.damaged", "an earlier one");
    Presets p(path);
    EXPECT_TRUE(p.damage().found);
    EXPECT_EQ(p.damage().movedTo, path + ".damaged-2");
    EXPECT_EQ(t.read("presets.ini.damaged-2"), bytes);
    EXPECT_EQ(t.read("presets.ini.damaged"), "an earlier one");
    EXPECT_TRUE(p.all().empty());
    ASSERT_TRUE(p.save({"new", "case", {}}));
    EXPECT_FALSE(Presets(path).damage().found);
  }
}

TEST(Presets, APresetOfAnUnknownRuleIsKeptInTheFile) {
  testing::TempDir t;
  const std::string path = t.write("presets.ini", "[later]\r\nrule-key=x\r\n");
  Presets p(path);
  EXPECT_FALSE(p.damage().found);
  EXPECT_TRUE(p.all().empty());
  ASSERT_TRUE(p.save({"mine", "case", {}}));
  EXPECT_NE(t.read("presets.ini").find("[later]"), std::string::npos);
}

}  // namespace
}  // namespace qorin::session
