#include "session/settings.h"

#include "platform/fs.h"
#include "platform/ini.h"
#include "text/gbtext.h"

namespace qorin::session {

namespace {

// Section and key names and values are code-page (GB18030) bytes.
const std::string kPreview = text::gb("预览选项");
const std::string kColour = text::gb("颜色");
const std::string kFont = text::gb("字体");
const std::string kAutoPreview = text::gb("自动预览");
const std::string kPreviewAll = text::gb("全部预览");
const std::string kPreviewCount = text::gb("预览数量");
const std::string kBackground = text::gb("背景颜色");
const std::string kFontColour = text::gb("字体颜色");
const std::string kFontName = text::gb("字体名称");
const std::string kFontSize = text::gb("字体大小");
const std::string kFontStyle = text::gb("字体样式");
const std::string kOn = text::gb("开");
const std::string kOff = text::gb("关");
const std::string kRegular = text::gb("常规");
const std::string kBoldItalic = text::gb("粗斜体");
const std::string kBold = text::gb("粗体");
const std::string kItalic = text::gb("斜体");
const std::string kBoldOld = text::gb("加粗");
const std::string kItalicOld = text::gb("倾斜");
const std::string kSongTi = text::gb("宋体");
const std::string kRenaming = text::gb("更名选项");
const std::string kSubfolders = text::gb("包含子目录");
const std::string kHidden = text::gb("包含隐藏文件");
const std::string kReplaceIllegal = text::gb("替换非法字符");
const std::string kPadTrack = text::gb("音轨号补零");

std::int32_t onOff(const std::string& v) { return v == kOn ? 1 : 0; }
const std::string& onOffText(bool on) { return on ? kOn : kOff; }

}  // namespace

std::string settingsFilePath(std::string_view dir) { return platform::withSeparator(dir) + "config.ini"; }

void applyDefaultSettings(Settings& s) {
  s.autoPreview = 0;
  s.previewAllEntries = 0;
  s.previewCount = 10;
  s.backgroundColour = 8429696;
  s.fontColour = 8388608;
  s.fontName = std::string(kSongTi);
  s.fontSize = 10;
  s.bold = 0;
  s.italic = 0;
  s.includeSubfolders = false;
  s.includeHidden = false;
  s.replaceIllegal = true;
  s.padTrack = false;
}

Settings defaultSettings() {
  Settings s;
  applyDefaultSettings(s);
  return s;
}

void loadSettings(Settings& s, const std::string& path) {
  if (!platform::exists(path)) {
    applyDefaultSettings(s);
    return;
  }
  const platform::IniFile ini(path);
  s.autoPreview = onOff(ini.get(kPreview, kAutoPreview, kOff));
  s.previewAllEntries = onOff(ini.get(kPreview, kPreviewAll, kOff));
  s.previewCount = text::toNumber(ini.get(kPreview, kPreviewCount, "10"));
  s.backgroundColour = text::toNumber(ini.get(kColour, kBackground, "8429696"));
  s.fontColour = text::toNumber(ini.get(kColour, kFontColour, "8388608"));
  s.fontName = ini.get(kFont, kFontName, kSongTi);
  s.fontSize = text::toNumber(ini.get(kFont, kFontSize, "10"));
  // Both the words the saver writes and the older 加粗/倾斜 read back.
  const std::string style = ini.get(kFont, kFontStyle, kRegular);
  s.bold = (style == kBold || style == kBoldItalic || style == kBoldOld) ? 1 : 0;
  s.italic = (style == kItalic || style == kBoldItalic || style == kItalicOld) ? 1 : 0;
  s.includeSubfolders = ini.get(kRenaming, kSubfolders, kOff) == kOn;
  s.includeHidden = ini.get(kRenaming, kHidden, kOff) == kOn;
  s.replaceIllegal = ini.get(kRenaming, kReplaceIllegal, kOn) == kOn;
  s.padTrack = ini.get(kRenaming, kPadTrack, kOff) == kOn;
}

void saveSettings(const Settings& s, const std::string& path) {
  platform::IniFile ini(path);
  ini.set(kPreview, kAutoPreview, s.autoPreview == 1 ? kOn : kOff);
  ini.set(kPreview, kPreviewAll, s.previewAllEntries == 1 ? kOn : kOff);
  ini.set(kPreview, kPreviewCount, std::to_string(s.previewCount));
  ini.set(kColour, kBackground, std::to_string(s.backgroundColour));
  ini.set(kColour, kFontColour, std::to_string(s.fontColour));
  ini.set(kFont, kFontName, s.fontName);
  ini.set(kFont, kFontSize, std::to_string(s.fontSize));
  if (s.bold == 0 && s.italic == 0) {
    ini.set(kFont, kFontStyle, kRegular);
  } else if (s.bold == 1 && s.italic == 1) {
    ini.set(kFont, kFontStyle, kBoldItalic);
  } else if (s.bold == 1) {
    ini.set(kFont, kFontStyle, kBold);
  } else if (s.italic == 1) {
    ini.set(kFont, kFontStyle, kItalic);
  }
  ini.set(kRenaming, kSubfolders, onOffText(s.includeSubfolders));
  ini.set(kRenaming, kHidden, onOffText(s.includeHidden));
  ini.set(kRenaming, kReplaceIllegal, onOffText(s.replaceIllegal));
  ini.set(kRenaming, kPadTrack, onOffText(s.padTrack));
  ini.save();  // a failed write is not reported
}

}  // namespace qorin::session
