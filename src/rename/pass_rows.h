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

namespace qorin::rename::detail {

class PassRows {
 public:
  enum : std::uint8_t { kItself = 1, kFromThere = 2, kToThere = 4 };

  PassRows(const filelist::FileList& list, bool toUtf8)
      : list_(list),
        toUtf8_(toUtf8),
        folder_(static_cast<std::size_t>(list.rowCount())),
        preset_(folder_.size(), Reason::None),
        flags_(folder_.size(), 0),
        gbk_(folder_.size(), false) {}

  std::size_t size() const { return folder_.size(); }
  std::size_t folderCount() const { return maxLength_.size(); }
  std::uint32_t folder(std::size_t i) const { return folder_[i]; }
  // The name on disk: where it is kept in GBK, the text behind the mark.
  std::string_view from(std::size_t i) const {
    return gbk_[i] ? std::string_view(gbkNames_.at(static_cast<std::uint32_t>(i))) : old(i);
  }
  // The same text is the same name: only the conversion writes it in UTF-8.
  std::string_view to(std::size_t i) const {
    if (toUtf8_) return old(i);
    const std::string_view proposal = list_.newName(static_cast<int>(i));
    return gbk_[i] && proposal == old(i) ? from(i) : proposal;
  }
  Reason preset(std::size_t i) const { return preset_[i]; }
  bool targetIsItself(std::size_t i) const { return flags_[i] & kItself; }
  std::size_t maxLength(std::size_t i) const { return maxLength_[folder_[i]]; }
  bool fromExists(std::size_t i, std::uint64_t) const { return flags_[i] & kFromThere; }
  bool toExists(std::size_t i, std::uint64_t) const { return flags_[i] & kToThere; }

  void setRow(std::size_t i, std::uint32_t folder, Reason preset) {
    folder_[i] = folder;
    preset_[i] = preset;
    if (list_.gbkName(static_cast<int>(i))) {
      gbk_[i] = true;
      gbkNames_.emplace(static_cast<std::uint32_t>(i), platform::gbkName(old(i)));
    }
  }
  void setPreset(std::size_t i, Reason r) { preset_[i] = r; }
  void setFlag(std::size_t i, std::uint8_t flag) { flags_[i] |= flag; }
  void setFolderCount(std::size_t n) { maxLength_.assign(n, 255); }
  void setMaxLength(std::uint32_t folder, std::size_t n) { maxLength_[folder] = n; }

 private:
  std::string_view old(std::size_t i) const { return list_.oldName(static_cast<int>(i)); }

  const filelist::FileList& list_;
  bool toUtf8_;
  std::vector<std::uint32_t> folder_;
  std::vector<Reason> preset_;
  // Written while a helper thread reads the others.
  std::vector<std::uint8_t> flags_;
  std::vector<bool> gbk_;
  std::unordered_map<std::uint32_t, std::string> gbkNames_;  // the few names kept in GBK, marked
  std::vector<std::size_t> maxLength_;                       // per folder
};

// The steps of a pass: one per chain row, and for a cycle one more, its
// first row going to a temporary name and leaving it last. Twelve bytes a
// step; the StepRef a runner or the record needs is made when asked.
class PassSteps {
 public:
  PassSteps(const Plan& plan, const PassRows& rows, const std::vector<platform::FileIdentity>& ids,
            const std::vector<RunFolder>& folders)
      : rows_(rows), ids_(ids) {
    steps_.reserve(plan.order.size() + plan.groups.size());
    std::mt19937_64 rng{std::random_device{}()};
    platform::Folder open;
    std::uint32_t openIndex = UINT32_MAX;
    std::uint32_t groupId = 0;
    for (const Plan::Group& g : plan.groups) {
      ++groupId;
      const auto row = [&](std::uint32_t k) { return static_cast<std::uint32_t>(plan.order[k]); };
      if (!g.cycle) {
        for (std::uint32_t k = g.begin; k < g.end; ++k) steps_.push_back({row(k), groupId, false, kNoTemp});
        continue;
      }
      const std::uint32_t head = row(g.begin);
      if (rows.folder(head) != openIndex) {
        openIndex = rows.folder(head);
        open = folders[openIndex].openAsAdded();
      }
      temporaries_.emplace(groupId, temporaryName(rng, open));
      steps_.push_back({head, groupId, true, kToTemp});
      for (std::uint32_t k = g.begin + 1; k < g.end; ++k) steps_.push_back({row(k), groupId, true, kNoTemp});
      steps_.push_back({head, groupId, true, kFromTemp});
    }
  }

  std::size_t size() const { return steps_.size(); }
  std::uint32_t rowOf(std::size_t k) const { return steps_[k].row; }
  StepRef operator[](std::size_t k) const {
    const Step& st = steps_[k];
    StepRef s;
    s.file = st.row;
    s.folder = rows_.folder(st.row);
    s.group = st.group;
    s.cycle = st.cycle;
    s.id = ids_[st.row];
    s.from = st.temp == kFromTemp ? std::string_view(temporaries_.at(st.group)) : rows_.from(st.row);
    s.to = st.temp == kToTemp ? std::string_view(temporaries_.at(st.group)) : rows_.to(st.row);
    return s;
  }

 private:
  enum : std::uint8_t { kNoTemp, kToTemp, kFromTemp };
  struct Step {
    std::uint32_t row, group;
    bool cycle;
    std::uint8_t temp;
  };
  const PassRows& rows_;
  const std::vector<platform::FileIdentity>& ids_;
  std::vector<Step> steps_;
  std::unordered_map<std::uint32_t, std::string> temporaries_;  // by group
};

}  // namespace qorin::rename::detail
