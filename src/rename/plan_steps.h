// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of a plan, over rows read either way (the list's for a pass, the
// record's for an undo): one per chain row, and for a cycle one more, its
// first row going to a temporary name and leaving it last. Twelve bytes a
// step; the StepRef a runner or the record needs is made when asked.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rename/pass_steps.h"
#include "rename/plan.h"

namespace qorin::rename::detail {

template <class Rows>
class PlanSteps {
 public:
  // Fills in what a step's row alone tells: its file, folder and identity.
  using RowFill = std::function<void(std::uint32_t row, StepRef&)>;

  PlanSteps(const Plan& plan, const Rows& rows, const std::vector<RunFolder>& folders, RowFill fill)
      : rows_(rows), fill_(std::move(fill)) {
    std::size_t cycles = 0;
    for (const Plan::Group& g : plan.groups) cycles += g.cycle;
    steps_.reserve(plan.order.size() + cycles);
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
      // The folder is asked for a free name: its listing is long gone.
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
  std::uint32_t groupOf(std::size_t k) const { return steps_[k].group; }
  StepRef operator[](std::size_t k) const {
    const Step& st = steps_[k];
    StepRef s;
    fill_(st.row, s);
    s.group = st.group;
    s.cycle = st.cycle;
    s.from = st.temp == kFromTemp ? std::string_view(temporaries_.at(st.group)) : rows_.from(st.row);
    s.to = st.temp == kToTemp ? std::string_view(temporaries_.at(st.group)) : rows_.to(st.row);
    return s;
  }

  // A row's outcome from its steps' outcomes: done when every step of it
  // is. `put(row, outcome)` hears each row's outcome so far; the last it
  // hears is the row's.
  template <class Put>
  void foldRows(std::size_t rows, const std::vector<StepOutcome>& steps, Put put) const {
    std::vector<bool> seen(rows, false), done(rows, false);
    for (std::size_t k = 0; k < steps.size(); ++k) {
      const std::uint32_t row = rowOf(k);
      if (seen[row] && !done[row]) continue;
      seen[row] = true;
      done[row] = steps[k].done;
      put(row, steps[k]);
    }
  }
  std::vector<StepOutcome> byRow(std::size_t rows, const std::vector<StepOutcome>& steps) const {
    std::vector<StepOutcome> out(rows);
    foldRows(rows, steps, [&out](std::uint32_t row, const StepOutcome& o) { out[row] = o; });
    return out;
  }

 private:
  enum : std::uint8_t { kNoTemp, kToTemp, kFromTemp };
  struct Step {
    std::uint32_t row, group;
    bool cycle;
    std::uint8_t temp;
  };
  const Rows& rows_;
  RowFill fill_;
  std::vector<Step> steps_;
  std::unordered_map<std::uint32_t, std::string> temporaries_;  // by group
};

}  // namespace qorin::rename::detail
