// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/settings.h"

#include <optional>

#include "platform/fs.h"
#include "platform/ini.h"
#include "text/gbtext.h"

namespace qorin::session {

namespace {

// Section and key names and values are code-page (GB18030) bytes.
const std::string kOn = text::gb("开");
const std::string kOff = text::gb("关");
const std::string kRegular = text::gb("常规");
const std::string kBoldItalic = text::gb("粗斜体");
const std::string kBold = text::gb("粗体");
const std::string kItalic = text::gb("斜体");
const std::string kBoldOld = text::gb("加粗");
const std::string kItalicOld = text::gb("倾斜");

// How a setting is written in config.ini.
enum class Kind : unsigned char {
  OnOffNumber,  // 开/关 for 1/0
  OnOffFlag,    // 开/关 for true/false
  Number,       // decimal
  Text,         // as it stands
  FontStyle,    // bold and italic as one word
};

// Every setting once: where it lives, how it is written, its default (UTF-8,
// as the file would hold it). Saved in this order, which is the order of a
// new file's lines.
struct Field {
  const char* section;
  const char* key;
  Kind kind;
  const char* fallback;
  std::int32_t Settings::*number = nullptr;
  bool Settings::*flag = nullptr;
  std::string Settings::*text = nullptr;
};

const Field kFields[] = {
    {"预览选项", "自动预览", Kind::OnOffNumber, "关", &Settings::autoPreview},
    {"预览选项", "全部预览", Kind::OnOffNumber, "关", &Settings::previewAllEntries},
    {"预览选项", "预览数量", Kind::Number, "10", &Settings::previewCount},
    {"颜色", "背景颜色", Kind::Number, "8429696", &Settings::backgroundColour},
    {"颜色", "字体颜色", Kind::Number, "8388608", &Settings::fontColour},
    {"字体", "字体名称", Kind::Text, "宋体", nullptr, nullptr, &Settings::fontName},
    {"字体", "字体大小", Kind::Number, "10", &Settings::fontSize},
    {"字体", "字体样式", Kind::FontStyle, "常规"},
    {"更名选项", "包含子目录", Kind::OnOffFlag, "关", nullptr, &Settings::includeSubfolders},
    {"更名选项", "包含隐藏文件", Kind::OnOffFlag, "关", nullptr, &Settings::includeHidden},
    {"更名选项", "替换非法字符", Kind::OnOffFlag, "开", nullptr, &Settings::replaceIllegal},
    {"更名选项", "音轨号补零", Kind::OnOffFlag, "关", nullptr, &Settings::padTrack},
};

void read(Settings& s, const Field& f, const std::string& v) {
  switch (f.kind) {
    case Kind::OnOffNumber:
      s.*f.number = v == kOn ? 1 : 0;
      break;
    case Kind::OnOffFlag:
      s.*f.flag = v == kOn;
      break;
    case Kind::Number:
      s.*f.number = text::toNumber(v);
      break;
    case Kind::Text:
      s.*f.text = v;
      break;
    case Kind::FontStyle:
      // Both the words the saver writes and the older 加粗/倾斜 read back.
      s.bold = (v == kBold || v == kBoldItalic || v == kBoldOld) ? 1 : 0;
      s.italic = (v == kItalic || v == kBoldItalic || v == kItalicOld) ? 1 : 0;
      break;
  }
}

// Nothing: the value has no word (a style neither 0 nor 1) and the file keeps its own.
std::optional<std::string> written(const Settings& s, const Field& f) {
  switch (f.kind) {
    case Kind::OnOffNumber:
      return s.*f.number == 1 ? kOn : kOff;
    case Kind::OnOffFlag:
      return s.*f.flag ? kOn : kOff;
    case Kind::Number:
      return std::to_string(s.*f.number);
    case Kind::Text:
      return s.*f.text;
    case Kind::FontStyle:
      if (s.bold == 0 && s.italic == 0) return kRegular;
      if (s.bold == 1 && s.italic == 1) return kBoldItalic;
      if (s.bold == 1) return kBold;
      if (s.italic == 1) return kItalic;
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string settingsFilePath(std::string_view dir) { return platform::withSeparator(dir) + "config.ini"; }

void applyDefaultSettings(Settings& s) {
  for (const Field& f : kFields) read(s, f, text::gb(f.fallback));
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
  for (const Field& f : kFields)
    read(s, f, ini.get(text::gb(f.section), text::gb(f.key), text::gb(f.fallback)));
}

void saveSettings(const Settings& s, const std::string& path) {
  platform::IniFile ini(path);
  for (const Field& f : kFields)
    if (auto v = written(s, f)) ini.set(text::gb(f.section), text::gb(f.key), *v);
  ini.save();  // a failed write is not reported
}

}  // namespace qorin::session
