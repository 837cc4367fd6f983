// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a row's proposal will apply, and why not: the rules the pass's plan
// (planMoves) and the preview's marks (markConflicts) both follow. Each keeps
// its own tables to answer the questions, in the order asked here; what the
// answers come to is decided only here. Used by plan_moves.h and marks.cpp.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "rename/plan.h"

namespace qorin::rename::verdict {

enum class Kind : std::uint8_t { Fail, Stay, Move };

struct Decision {
  Verdict verdict;
  Kind kind = Kind::Fail;
};

// Chain links: no row after it, or a row that cannot move.
inline constexpr std::int32_t kFree = -1, kBlocked = -2;

// What a row comes to by itself, before the rows above it count: a verdict
// made before planning (the rule's, the folder's), then its proposal as a
// name, then whether its file is there. None: it goes on to the claims.
template <class SourceFound>
Outcome alone(Outcome preset, std::string_view to, const NameRules& rules, SourceFound sourceFound) {
  if (!preset.none()) return preset;
  if (const Outcome p = nameProblem(to, rules); !p.none()) return p;
  return sourceFound() ? Outcome{} : why::SourceMissing;
}

// The row's file was claimed by an earlier row (the file is listed twice):
// the first row decides what happens to it, and an unchanged row beside one
// that stays stays too.
inline Decision fileClaimed(bool unchanged, Kind claimantKind, std::int32_t claimant) {
  if (unchanged && claimantKind == Kind::Stay) return {{why::Unchanged, 0}, Kind::Stay};
  return {{why::SameFileAsEarlier, claimant + 1}, Kind::Fail};
}

// The row claims its file: unchanged, it stays.
inline Decision stays() { return {{why::Unchanged, 0}, Kind::Stay}; }

// The row moves unless an earlier row of the folder proposed the same name
// (`first`, -1: none).
inline Decision claimsTarget(std::int32_t first) {
  if (first >= 0) return {{why::SameAsEarlier, first + 1}, Kind::Fail};
  return {{}, Kind::Move};
}

// A move whose target is taken waits for the file there to move: the row
// that claimed that file, when it moves; otherwise it is blocked.
inline std::int32_t waitsFor(std::int32_t holder, Kind holderKind) {
  return holder >= 0 && holderKind == Kind::Move ? holder : kBlocked;
}

// Where a move stands once its chain is walked.
enum : std::uint8_t { kNew, kOnPath, kOk, kBlockedState, kInCycle };

// Walks the chain from `start` along `next`: each move waits for at most
// one other, so the moves form simple chains and cycles. A chain whose end
// is blocked is blocked as a whole; a cycle is marked kInCycle.
inline void walkChain(std::int32_t start, const std::vector<std::int32_t>& next,
                      std::vector<std::uint8_t>& state, std::vector<std::int32_t>& path) {
  if (state[static_cast<std::size_t>(start)] != kNew) return;
  path.clear();
  std::int32_t j = start;
  std::uint8_t result = kOk;
  for (;;) {
    const auto ju = static_cast<std::size_t>(j);
    if (state[ju] == kNew) {
      state[ju] = kOnPath;
      path.push_back(j);
      if (next[ju] == kFree) break;
      if (next[ju] == kBlocked) {
        result = kBlockedState;
        break;
      }
      j = next[ju];
      continue;
    }
    if (state[ju] == kOnPath) {  // back on this walk: the tail from j is a cycle
      for (std::size_t k = path.size(); k-- > 0;) {
        state[static_cast<std::size_t>(path[k])] = kInCycle;
        if (path[k] == j) {
          path.resize(k);
          break;
        }
      }
      break;
    }
    result = state[ju] == kBlockedState ? kBlockedState : kOk;
    break;
  }
  for (const std::int32_t p : path) state[static_cast<std::size_t>(p)] = result;
}

// What a move whose chain is blocked comes to.
inline Verdict blockedChain() { return {why::TargetExists, 0}; }

}  // namespace qorin::rename::verdict
