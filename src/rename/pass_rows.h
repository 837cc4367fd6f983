// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of a pass as its planner and its runner read them. The names stay
// in the list's entries, so that a million rows copy none of them: per row
// the pass keeps its folder, a verdict made before planning and a few bits.
// Its steps are made on demand from the plan. Used by rename_pass.cpp only.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "filelist/file_list.h"
#include "rename/journal.h"
#include "rename/pass_steps.h"
#include "rename/plan.h"
#include "rename/plan_steps.h"

namespace qorin::rename::detail {

class PassRows {
 public:
  enum : std::uint8_t { kItself = 1, kFromThere = 2, kToThere = 4 };

  PassRows(const filelist::FileList& list, bool toUtf8)
      : list_(list),
        toUtf8_(toUtf8),
        folder_(static_cast<std::size_t>(list.rowCount())),
        preset_(folder_.size(), Outcome{}),
        flags_(folder_.size(), 0),
        gbk_(folder_.size(), false) {}

  std::size_t size() const { return folder_.size(); }
  std::size_t folderCount() const { return maxLength_.size(); }
  std::uint32_t folder(std::size_t i) const { return folder_[i]; }
  // The name on disk: where it is kept in GBK or as raw bytes, marked.
  std::string_view from(std::size_t i) const {
    return gbk_[i] ? std::string_view(gbkNames_.at(static_cast<std::uint32_t>(i))) : old(i);
  }
  // The same text is the same name: only the conversion writes it in UTF-8.
  // A proposal keeping a raw name's bytes is raw bytes again.
  std::string_view to(std::size_t i) const {
    if (toUtf8_) return old(i);
    const std::string_view proposal = list_.newName(static_cast<int>(i));
    if (gbk_[i] && proposal == old(i)) return from(i);
    if (const auto it = rawTargets_.find(static_cast<std::uint32_t>(i)); it != rawTargets_.end())
      return it->second;
    return proposal;
  }
  Outcome preset(std::size_t i) const { return preset_[i]; }
  bool targetIsItself(std::size_t i) const { return flags_[i] & kItself; }
  std::size_t maxLength(std::size_t i) const { return maxLength_[folder_[i]]; }
  bool fromExists(std::size_t i, std::uint64_t) const { return flags_[i] & kFromThere; }
  bool toExists(std::size_t i, std::uint64_t) const { return flags_[i] & kToThere; }

  void setRow(std::size_t i, std::uint32_t folder, Outcome preset) {
    folder_[i] = folder;
    preset_[i] = preset;
    const int row = static_cast<int>(i);
    if (list_.gbkName(row) || list_.rawName(row)) {
      gbk_[i] = true;
      gbkNames_.emplace(static_cast<std::uint32_t>(i), list_.diskName(row));
    }
    if (list_.rawName(row) && platform::rawTarget(old(i), list_.newName(row)) == platform::RawTarget::Keeps)
      rawTargets_.emplace(static_cast<std::uint32_t>(i), platform::rawName(list_.newName(row)));
  }
  void setPreset(std::size_t i, Outcome r) { preset_[i] = r; }
  void setFlag(std::size_t i, std::uint8_t flag) { flags_[i] |= flag; }
  void setFolderCount(std::size_t n) { maxLength_.assign(n, 255); }
  void setMaxLength(std::uint32_t folder, std::size_t n) { maxLength_[folder] = n; }

 private:
  std::string_view old(std::size_t i) const { return list_.oldName(static_cast<int>(i)); }

  const filelist::FileList& list_;
  bool toUtf8_;
  std::vector<std::uint32_t> folder_;
  std::vector<Outcome> preset_;
  // Written while a helper thread reads the others.
  std::vector<std::uint8_t> flags_;
  std::vector<bool> gbk_;
  std::unordered_map<std::uint32_t, std::string> gbkNames_;    // the few names kept in GBK or raw, marked
  std::unordered_map<std::uint32_t, std::string> rawTargets_;  // proposals that keep a raw name's bytes
  std::vector<std::size_t> maxLength_;                         // per folder
};

using PassSteps = PlanSteps<PassRows>;

}  // namespace qorin::rename::detail
