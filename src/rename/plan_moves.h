// SPDX-License-Identifier: GPL-3.0-or-later
// The planner over rows kept any way: planMoves reads PlanRows, the pass
// reads the list's entries where they are, the undo the record's names.
// Used by plan.cpp, rename_pass.cpp and record_replay.cpp only.
//
// `Rows` answers, per row i:
//   size(), folder(i), from(i), to(i), preset(i), targetIsItself(i),
//   maxLength(i) (of the row's folder),
//   fromExists(i, hash) (false for an empty name or a folder not listed),
//   toExists(i, hash)
// and folderCount().
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "rename/plan.h"
#include "rename/plan_hash.h"
#include "rename/verdict.h"

namespace qorin::rename::detail {

// Rows by (folder, name) in one open-addressed table; the rows themselves
// hold the keys, so a slot holds the upper half of the hash (the lower one
// chose the slot) and a row number: eight bytes, for 100,000 rows a table
// that stays in the cache. The table is half again as long as the rows,
// not the next power of two above twice: a million rows take 12 MB, not 16.
class RowIndex {
 public:
  explicit RowIndex(std::size_t n) : slots_(n + n / 2 + 16) {}

  template <class Eq>
  std::int32_t lookup(std::uint64_t h, Eq eq) const {
    const auto tag = static_cast<std::uint32_t>(h >> 32);
    for (std::size_t i = first(h);; i = next(i)) {
      const Slot& s = slots_[i];
      if (s.row < 0) return -1;
      if (s.tag == tag && eq(s.row)) return s.row;
    }
  }

  // The key must not be in the table yet.
  void insert(std::uint64_t h, std::int32_t row) {
    std::size_t i = first(h);
    while (slots_[i].row >= 0) i = next(i);
    slots_[i] = Slot{static_cast<std::uint32_t>(h >> 32), row};
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;
    std::int32_t row = -1;
  };
  std::size_t first(std::uint64_t h) const { return ((h & 0xFFFFFFFFu) * slots_.size()) >> 32; }
  std::size_t next(std::size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }

  std::vector<Slot> slots_;
};

// What the planner works out on its way to the plan.
struct Planning {
  std::vector<verdict::Kind> kind;
  std::vector<std::int32_t> next;
  std::vector<std::uint8_t> state;
};

// The verdicts, and for each move the move it waits for.
template <class Rows>
void decideRows(const Rows& rows, NameRules rules, Plan& plan, Planning& p) {
  using verdict::Kind;
  const std::size_t n = rows.size();
  plan.verdicts.assign(n, Verdict{});
  p.kind.assign(n, Kind::Fail);
  RowIndex sources(n), targets(n);
  const auto sameIn = [&](std::uint32_t folder, std::string_view name, auto field) {
    return [&rows, folder, name, field](std::int32_t k) {
      const auto ku = static_cast<std::size_t>(k);
      return rows.folder(ku) == folder && sameName(field(ku), name);
    };
  };
  const auto fromOf = [&rows](std::size_t k) { return rows.from(k); };
  const auto toOf = [&rows](std::size_t k) { return rows.to(k); };

  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t folder = rows.folder(i);
    const std::string_view from = rows.from(i), to = rows.to(i);
    std::uint64_t fromHash = 0;
    rules.maxLength = rows.maxLength(i);
    const Outcome alone = verdict::alone(rows.preset(i), to, rules, [&] {
      fromHash = platform::nameHash(from);
      return rows.fromExists(i, fromHash);
    });
    if (!alone.none()) {
      plan.verdicts[i].reason = alone;
      continue;
    }
    const auto row = static_cast<std::int32_t>(i);
    const std::uint64_t fk = keyHash(fromHash, folder);
    const std::int32_t claimant = sources.lookup(fk, sameIn(folder, from, fromOf));
    const bool unchanged = from == to;
    verdict::Decision d;
    if (claimant >= 0) {
      d = verdict::fileClaimed(unchanged, p.kind[static_cast<std::size_t>(claimant)], claimant);
    } else if (unchanged) {
      sources.insert(fk, row);
      d = verdict::stays();
    } else {
      const std::uint64_t tk = keyHash(platform::nameHash(to), folder);
      d = verdict::claimsTarget(targets.lookup(tk, sameIn(folder, to, toOf)));
      if (d.kind == Kind::Move) {
        sources.insert(fk, row);
        targets.insert(tk, row);
      }
    }
    plan.verdicts[i] = d.verdict;
    p.kind[i] = d.kind;
  }

  // Each move waits for at most one other: the move of the file that holds
  // its target (taken while the row is at hand). The target's hash is
  // worked out again: a million rows keep eight megabytes less.
  p.next.assign(n, verdict::kFree);
  for (std::size_t i = 0; i < n; ++i) {
    if (p.kind[i] != Kind::Move) continue;
    if (rows.targetIsItself(i)) {
      p.next[i] = static_cast<std::int32_t>(i);
      continue;
    }
    const std::uint64_t toHash = platform::nameHash(rows.to(i));
    if (!rows.toExists(i, toHash)) continue;
    const std::uint32_t folder = rows.folder(i);
    const std::int32_t k = sources.lookup(keyHash(toHash, folder), sameIn(folder, rows.to(i), fromOf));
    p.next[i] = verdict::waitsFor(k, k >= 0 ? p.kind[static_cast<std::size_t>(k)] : Kind::Fail);
  }
}

// The moves in execution order, folder by folder, each in list order.
template <class Rows>
void orderMoves(const Rows& rows, Plan& plan, const Planning& p) {
  using verdict::Kind;
  const std::size_t n = rows.size();
  std::vector<std::int32_t> prev(n, -1);
  for (std::size_t i = 0; i < n; ++i)
    if (p.kind[i] == Kind::Move && p.next[i] >= 0)
      prev[static_cast<std::size_t>(p.next[i])] = static_cast<std::int32_t>(i);

  std::vector<std::uint32_t> startOf(rows.folderCount() + 1, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (p.kind[i] == Kind::Move) ++startOf[rows.folder(i) + 1];
  for (std::size_t f = 1; f < startOf.size(); ++f) startOf[f] += startOf[f - 1];
  std::vector<std::int32_t> byFolder(startOf.back());
  {
    std::vector<std::uint32_t> fill(startOf.begin(), startOf.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      if (p.kind[i] == Kind::Move) byFolder[fill[rows.folder(i)]++] = static_cast<std::int32_t>(i);
  }

  std::vector<bool> placed(n, false);
  plan.order.reserve(byFolder.size());
  // At most a group a move; grown by doubling, a million one-file groups
  // would hold twice their size at the moment of the pass's peak.
  plan.groups.reserve(byFolder.size());
  for (const std::int32_t i : byFolder) {
    const auto iu = static_cast<std::size_t>(i);
    if (placed[iu]) continue;
    Plan::Group g;
    g.begin = static_cast<std::uint32_t>(plan.order.size());
    if (p.state[iu] == verdict::kInCycle) {
      // i goes aside first; then each file moves into the name just freed.
      g.cycle = true;
      std::int32_t j = i;
      do {
        plan.order.push_back(j);
        placed[static_cast<std::size_t>(j)] = true;
        j = prev[static_cast<std::size_t>(j)];
      } while (j != i);
    } else {
      std::int32_t head = i;
      while (prev[static_cast<std::size_t>(head)] >= 0) head = prev[static_cast<std::size_t>(head)];
      for (std::int32_t j = head; j >= 0; j = p.next[static_cast<std::size_t>(j)]) {
        plan.order.push_back(j);
        placed[static_cast<std::size_t>(j)] = true;
      }
      std::reverse(plan.order.begin() + g.begin, plan.order.end());  // the free end first
    }
    g.end = static_cast<std::uint32_t>(plan.order.size());
    plan.groups.push_back(g);
  }
}

// The verdict for every row, in list order of precedence (see planMoves).
template <class Rows>
Plan planRows(const Rows& rows, NameRules rules, PlanUse use) {
  Plan plan;
  Planning p;
  decideRows(rows, rules, plan, p);
  const std::size_t n = rows.size();
  p.state.assign(n, verdict::kNew);
  std::vector<std::int32_t> path;
  for (std::size_t i = 0; i < n; ++i)
    if (p.kind[i] == verdict::Kind::Move)
      verdict::walkChain(static_cast<std::int32_t>(i), p.next, p.state, path);
  for (std::size_t i = 0; i < n; ++i) {
    if (p.kind[i] == verdict::Kind::Move && p.state[i] == verdict::kBlockedState) {
      p.kind[i] = verdict::Kind::Fail;
      plan.verdicts[i] = verdict::blockedChain();
    }
  }
  if (use == PlanUse::Preview) return plan;
  orderMoves(rows, plan, p);
  return plan;
}

}  // namespace qorin::rename::detail
