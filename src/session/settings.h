// SPDX-License-Identifier: GPL-3.0-or-later
// Display, preview and renaming settings, kept in config.ini.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qorin::session {

struct Settings {
  std::int32_t autoPreview = 0;
  std::int32_t previewAllEntries = 0;
  std::int32_t previewCount = 0;
  std::int32_t fontColour = 0;        // 0x00BBGGRR
  std::int32_t backgroundColour = 0;  // 0x00BBGGRR
  std::string fontName;               // code-page text
  std::int32_t fontSize = 0;
  std::int32_t bold = 0;
  std::int32_t italic = 0;
  // The 选项 menu's switches, section 更名选项.
  bool includeSubfolders = false;  // 包含子目录: folder scans descend
  bool includeHidden = false;      // 包含隐藏文件: folder scans take hidden files
  bool replaceIllegal = false;     // 替换非法字符 (on by default)
  bool padTrack = false;           // 音轨号补零

  bool operator==(const Settings&) const = default;
};

// `dir` followed by "config.ini", with exactly one separator between.
std::string settingsFilePath(std::string_view dir);

void applyDefaultSettings(Settings& s);
Settings defaultSettings();

// Missing file: defaults, file not created. Missing or unreadable keys: their
// defaults. Never reports anything.
void loadSettings(Settings& s, const std::string& path);
void saveSettings(const Settings& s, const std::string& path);

}  // namespace qorin::session
