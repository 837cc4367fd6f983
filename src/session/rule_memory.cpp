// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/rule_memory.h"

#include <algorithm>

#include "platform/fs.h"
#include "platform/ini.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::session {

namespace {

const std::string kRulesSection = text::gb("规则");
const std::string kSelectedKey = text::gb("选择夹");
const std::string kRuleKey = text::gb("规则");

// An INI line loses the blanks around its value: a value that has some, or
// that starts with a quote, is written in quotes.
std::string quoted(const std::string& v) {
  const bool edge = !v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '\t' ||
                                   v.back() == '\t' || v.front() == '"');
  return edge ? '"' + v + '"' : v;
}

std::string unquoted(const std::string& v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

bool knownRule(std::string_view key) {
  for (int i = 0; i < rules::kRuleCount; ++i)
    if (rules::ruleKey(i) == key) return true;
  return false;
}

bool allAscii(const platform::IniFile& ini) {
  for (const std::string& s : ini.sections()) {
    if (!text::isAscii(s)) return false;
    for (const auto& [k, v] : ini.entries(s))
      if (!text::isAscii(k) || !text::isAscii(v)) return false;
  }
  return true;
}

// Moved aside under the first free name beside it; empty when it could not be.
std::string setAside(const std::string& path) {
  for (int n = 1; n < 1000; ++n) {
    const std::string target = path + (n == 1 ? std::string(".damaged") : ".damaged-" + std::to_string(n));
    const platform::RenameResult r = platform::renameNoReplace(path, target);
    if (r == platform::RenameResult::TargetExists) continue;
    return r == platform::RenameResult::Renamed ? target : std::string();
  }
  return {};
}

}  // namespace

RuleMemory loadRuleMemory(const std::string& configPath) {
  RuleMemory m;
  if (configPath.empty()) return m;
  const platform::IniFile ini(configPath);
  for (const auto& [key, value] : ini.entries(kRulesSection)) {
    if (key == kSelectedKey) {
      m.selected = value;
    } else {
      m.fields.emplace_back(key, unquoted(value));
    }
  }
  return m;
}

bool saveRuleMemory(const RuleMemory& memory, const std::string& configPath) {
  // A front end without tabs has nothing to keep, and leaves the window's alone.
  if (configPath.empty() || (memory.selected.empty() && memory.fields.empty())) return true;
  platform::IniFile ini(configPath);
  if (!ini.readable()) return false;
  // Written whole each time: a field a later version no longer has goes.
  ini.removeSection(kRulesSection);
  ini.set(kRulesSection, kSelectedKey, memory.selected);
  for (const auto& [name, value] : memory.fields) ini.set(kRulesSection, name, quoted(value));
  return ini.save();
}

Presets::Presets(std::string path) : path_(std::move(path)) {
  if (path_.empty()) return;
  const platform::IniFile ini(path_, platform::IniFile::Encoding::Utf8);
  if (!ini.readable()) {
    writable_ = false;  // there but unreadable: neither shown nor written over
    return;
  }
  const bool ours = ini.encoding() != platform::IniFile::Encoding::CodePage || allAscii(ini);
  if (!ini.wellFormed() || !ours) {
    damage_.found = true;
    damage_.movedTo = setAside(path_);
    writable_ = !damage_.movedTo.empty();
    return;
  }
  for (const std::string& name : ini.sections()) {
    Preset p;
    p.name = name;
    for (const auto& [key, value] : ini.entries(name)) {
      if (key == kRuleKey) {
        p.rule = value;
      } else {
        p.fields.emplace_back(key, unquoted(value));
      }
    }
    // One of a rule this version lacks stays in the file, unshown.
    if (knownRule(p.rule)) presets_.push_back(std::move(p));
  }
}

const Preset* Presets::find(std::string_view name) const {
  const auto it = std::find_if(presets_.begin(), presets_.end(),
                               [&](const Preset& p) { return text::equalsNoCase(p.name, name); });
  return it == presets_.end() ? nullptr : &*it;
}

bool Presets::usableName(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  return name.find_first_of("[]\r\n") == std::string_view::npos;
}

bool Presets::save(const Preset& preset) {
  if (!writable_ || !usableName(preset.name)) return false;
  platform::IniFile ini(path_, platform::IniFile::Encoding::Utf8);
  if (!ini.readable()) return false;
  ini.removeSection(preset.name);
  ini.set(preset.name, kRuleKey, preset.rule);
  for (const auto& [name, value] : preset.fields) ini.set(preset.name, name, quoted(value));
  if (!ini.save()) return false;
  const auto it = std::find_if(presets_.begin(), presets_.end(),
                               [&](const Preset& p) { return text::equalsNoCase(p.name, preset.name); });
  if (it != presets_.end()) {
    *it = preset;
  } else {
    presets_.push_back(preset);
  }
  return true;
}

bool Presets::remove(std::string_view name) {
  if (!writable_ || !find(name)) return false;
  platform::IniFile ini(path_, platform::IniFile::Encoding::Utf8);
  if (!ini.readable()) return false;
  ini.removeSection(name);
  if (!ini.save()) return false;
  std::erase_if(presets_, [&](const Preset& p) { return text::equalsNoCase(p.name, name); });
  return true;
}

}  // namespace qorin::session
