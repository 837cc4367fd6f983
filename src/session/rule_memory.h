// SPDX-License-Identifier: GPL-3.0-or-later
// The rule tabs' fields kept between runs (section 规则 of config.ini) and
// the presets saved by name (presets.ini beside it, in UTF-8). Names and
// values are code-page text, as everywhere inside.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/rule.h"

namespace qorin::session {

// Every tab's fields, and the key of the tab that was selected.
struct RuleMemory {
  std::string selected;
  rules::FieldValues fields;
};

RuleMemory loadRuleMemory(const std::string& configPath);
// False when config.ini could not be written.
bool saveRuleMemory(const RuleMemory& memory, const std::string& configPath);

// One tab's fields saved under a name.
struct Preset {
  std::string name;
  std::string rule;  // the tab's key
  rules::FieldValues fields;
};

class Presets {
 public:
  // Reads the presets at `path` (nothing when empty or missing). A damaged
  // file is moved aside under a name of its own, never overwritten: the
  // presets start empty and damage() tells where it went.
  explicit Presets(std::string path);

  const std::vector<Preset>& all() const { return presets_; }
  const Preset* find(std::string_view name) const;

  // Adds the preset, or replaces the one of its name; false when the file
  // could not be written (the list then stays as it was).
  bool save(const Preset& preset);
  bool remove(std::string_view name);

  struct Damage {
    bool found = false;
    std::string movedTo;  // empty when it could not be moved: it is then left alone and not written
  };
  const Damage& damage() const { return damage_; }

  // A name a preset can have: not empty, on one line, without brackets.
  static bool usableName(std::string_view name);

 private:
  bool write(const std::vector<Preset>& presets) const;

  std::string path_;
  std::vector<Preset> presets_;
  Damage damage_;
  bool writable_ = true;
};

}  // namespace qorin::session
