#include "rename/plan.h"

#include "rename/plan_hash.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using detail::kBlocked;
using detail::keyHash;
using detail::kFree;
using detail::prefetch;

namespace {

std::optional<std::size_t> nativeLength(std::string_view name, platform::NativeEncoding encoding) {
  if (encoding == platform::NativeEncoding::Utf8) {
    const auto u = text::gbToUtf8(name);
    return u ? std::optional<std::size_t>(u->size()) : std::nullopt;
  }
  const auto u = text::gbToUtf16(name);
  return u ? std::optional<std::size_t>(u->size() / 2) : std::nullopt;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any
// extension and with blanks before it.
bool isReservedOnWindows(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string up = text::asciiUpper(base);
  if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL") return true;
  return up.size() == 4 && (up.starts_with("COM") || up.starts_with("LPT")) && up[3] >= '1' && up[3] <= '9';
}

bool forbiddenOnWindows(unsigned char c) {
  return c < 0x20 || c == '\\' || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

// Rows by (folder, name) in one open-addressed table; the rows themselves
// hold the keys, so a slot holds the upper half of the hash (the lower one
// chose the slot) and a row number: eight bytes, for 100,000 rows a table
// that stays in the cache.
class RowIndex {
 public:
  explicit RowIndex(std::size_t n) {
    std::size_t cap = 16;
    while (cap < n * 2) cap <<= 1;
    slots_.assign(cap, Slot{});
    mask_ = cap - 1;
  }

  template <class Eq>
  std::int32_t lookup(std::uint64_t h, Eq eq) const {
    const auto tag = static_cast<std::uint32_t>(h >> 32);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.row < 0) return -1;
      if (s.tag == tag && eq(s.row)) return s.row;
    }
  }

  // The key must not be in the table yet.
  void insert(std::uint64_t h, std::int32_t row) {
    std::size_t i = h & mask_;
    while (slots_[i].row >= 0) i = (i + 1) & mask_;
    slots_[i] = Slot{static_cast<std::uint32_t>(h >> 32), row};
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;
    std::int32_t row = -1;
  };
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace

Reason nameProblem(std::string_view name, const NameRules& rules) {
  // A name kept in the old code page goes back to the disk as the bytes it had.
  if (platform::isGbkName(name)) return platform::nativePath(name) ? Reason::None : Reason::IllegalName;
  if (name.empty()) return Reason::EmptyName;
  if (name == "." || name == "..") return Reason::IllegalName;
  // The ASCII part first, byte by byte: most names are nothing else, and
  // are then as long in any encoding.
  std::size_t ascii = 0;
  for (; ascii < name.size(); ++ascii) {
    const auto c = static_cast<unsigned char>(name[ascii]);
    if (c >= 0x80) break;
    if (c == '\0' || c == '/' || (rules.windows && forbiddenOnWindows(c))) return Reason::IllegalName;
  }
  const bool windowsEnding =
      rules.windows && (name.back() == '.' || name.back() == ' ' || isReservedOnWindows(name));
  if (ascii == name.size()) {
    if (windowsEnding) return Reason::IllegalName;
    return name.size() > rules.maxLength ? Reason::NameTooLong : Reason::None;
  }
  const bool utf16 = rules.encoding == platform::NativeEncoding::Utf16;
  bool needsConversion = false;
  std::size_t bound = ascii;  // native length, never less than the real one
  for (std::size_t i = ascii; i < name.size();) {
    const std::size_t len = text::charLength(name, i);
    if (len == 1) {
      const auto c = static_cast<unsigned char>(name[i]);
      if (c >= 0x80) return Reason::IllegalName;  // a byte that starts no character
      if (c == '\0' || c == '/') return Reason::IllegalName;
      if (rules.windows && forbiddenOnWindows(c)) return Reason::IllegalName;
      bound += 1;
    } else if (len == 2) {
      bound += utf16 ? 1 : 3;
    } else {
      needsConversion = true;  // not every four-byte sequence names a character
      bound += utf16 ? 2 : 4;
    }
    i += len;
  }
  if (windowsEnding) return Reason::IllegalName;
  if (needsConversion || bound > rules.maxLength) {
    const auto n = nativeLength(name, rules.encoding);
    if (!n) return Reason::IllegalName;
    if (*n > rules.maxLength) return Reason::NameTooLong;
  }
  return Reason::None;
}

bool sameName(std::string_view a, std::string_view b) {
  if constexpr (platform::kNamesIgnoreCase) return text::equalsNoCase(a, b);
  return a == b;
}

NameSet::NameSet(std::vector<std::string> names) : names_(std::move(names)) {
  std::size_t cap = 16;
  while (cap < names_.size() * 2) cap <<= 1;
  slots_.assign(cap, Slot{});
  const std::size_t mask = cap - 1;
  for (std::size_t k = 0; k < names_.size(); ++k) {
    const std::uint64_t h = platform::nameHash(names_[k]);
    std::size_t i = h & mask;
    while (slots_[i].index != 0) i = (i + 1) & mask;
    slots_[i] = {h, static_cast<std::uint32_t>(k + 1)};
  }
}

bool NameSet::contains(std::string_view name, std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].index != 0; i = (i + 1) & mask)
    if (slots_[i].hash == hash && sameName(names_[slots_[i].index - 1], name)) return true;
  return false;
}

bool NameSet::containsHash(std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].index != 0; i = (i + 1) & mask)
    if (slots_[i].hash == hash) return true;
  return false;
}

Plan planMoves(std::span<const PlanRow> rows, std::span<const PlanFolder> folders, NameRules rules,
               PlanUse use) {
  const auto exists = [use](const NameSet& set, std::string_view name, std::uint64_t hash) {
    return use == PlanUse::Pass ? set.contains(name, hash) : set.containsHash(hash);
  };
  const std::size_t n = rows.size();
  Plan plan;
  plan.verdicts.resize(n);
  enum : std::uint8_t { kFail, kStay, kMove };
  std::vector<std::uint8_t> kind(n, kFail);
  std::vector<std::uint64_t> toHash(n);
  std::vector<std::uint8_t> toExists(n, 0);  // taken while the row is at hand
  RowIndex sources(n), targets(n);

  for (std::size_t i = 0; i < n; ++i) {
    const PlanRow& r = rows[i];
    Verdict& v = plan.verdicts[i];
    const PlanFolder& f = folders[r.folder];
    if (r.preset != Reason::None) {
      v.reason = r.preset;
      continue;
    }
    rules.maxLength = f.maxLength;
    if (const Reason p = nameProblem(r.to, rules); p != Reason::None) {
      v.reason = p;
      continue;
    }
    const std::uint64_t fromHash = platform::nameHash(r.from);
    if (!f.names || r.from.empty() || !exists(*f.names, r.from, fromHash)) {
      v.reason = Reason::SourceMissing;
      continue;
    }
    const auto row = static_cast<std::int32_t>(i);
    const std::uint64_t fk = keyHash(fromHash, r.folder);
    const std::int32_t claimant = sources.lookup(fk, [&](std::int32_t k) {
      return rows[static_cast<std::size_t>(k)].folder == r.folder &&
             sameName(rows[static_cast<std::size_t>(k)].from, r.from);
    });
    const bool unchanged = r.from == r.to;
    if (claimant >= 0) {
      // The same file listed twice: the first row decides what happens to it.
      if (unchanged && kind[static_cast<std::size_t>(claimant)] == kStay) {
        v.reason = Reason::Unchanged;
        kind[i] = kStay;
      } else {
        v = {Reason::SameFileAsEarlier, claimant + 1};
      }
      continue;
    }
    if (unchanged) {
      sources.insert(fk, row);
      v.reason = Reason::Unchanged;
      kind[i] = kStay;
      continue;
    }
    toHash[i] = platform::nameHash(r.to);
    const std::uint64_t tk = keyHash(toHash[i], r.folder);
    const std::int32_t first = targets.lookup(tk, [&](std::int32_t k) {
      return rows[static_cast<std::size_t>(k)].folder == r.folder &&
             sameName(rows[static_cast<std::size_t>(k)].to, r.to);
    });
    if (first >= 0) {
      v = {Reason::SameAsEarlier, first + 1};
      continue;
    }
    sources.insert(fk, row);
    targets.insert(tk, row);
    kind[i] = kMove;
    toExists[i] = r.targetIsItself || exists(*f.names, r.to, toHash[i]);
  }

  // Each move waits for at most one other: the move of the file that holds
  // its target. Names are claimed once, so the moves form simple chains and
  // cycles; a chain whose end meets a file that stays fails as a whole.
  std::vector<std::int32_t> next(n, kFree);
  for (std::size_t i = 0; i < n; ++i) {
    if (kind[i] != kMove) continue;
    const PlanRow& r = rows[i];
    if (r.targetIsItself) {
      next[i] = static_cast<std::int32_t>(i);
      continue;
    }
    if (!toExists[i]) continue;
    const std::int32_t k = sources.lookup(keyHash(toHash[i], r.folder), [&](std::int32_t j) {
      return rows[static_cast<std::size_t>(j)].folder == r.folder &&
             sameName(rows[static_cast<std::size_t>(j)].from, r.to);
    });
    next[i] = k >= 0 && kind[static_cast<std::size_t>(k)] == kMove ? k : kBlocked;
  }

  enum : std::uint8_t { kNew, kOnPath, kOk, kBlockedState, kInCycle };
  std::vector<std::uint8_t> state(n, kNew);
  std::vector<std::int32_t> path;
  for (std::size_t i = 0; i < n; ++i) {
    if (kind[i] != kMove || state[i] != kNew) continue;
    path.clear();
    auto j = static_cast<std::int32_t>(i);
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
  for (std::size_t i = 0; i < n; ++i) {
    if (kind[i] == kMove && state[i] == kBlockedState) {
      kind[i] = kFail;
      plan.verdicts[i].reason = Reason::TargetExists;
    }
  }
  if (use == PlanUse::Preview) return plan;

  std::vector<std::int32_t> prev(n, -1);
  for (std::size_t i = 0; i < n; ++i)
    if (kind[i] == kMove && next[i] >= 0)
      prev[static_cast<std::size_t>(next[i])] = static_cast<std::int32_t>(i);

  // Folder by folder, each in list order.
  std::vector<std::uint32_t> startOf(folders.size() + 1, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (kind[i] == kMove) ++startOf[rows[i].folder + 1];
  for (std::size_t f = 1; f < startOf.size(); ++f) startOf[f] += startOf[f - 1];
  std::vector<std::int32_t> byFolder(startOf.back());
  {
    std::vector<std::uint32_t> fill(startOf.begin(), startOf.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      if (kind[i] == kMove) byFolder[fill[rows[i].folder]++] = static_cast<std::int32_t>(i);
  }

  std::vector<bool> placed(n, false);
  plan.order.reserve(byFolder.size());
  for (const std::int32_t i : byFolder) {
    const auto iu = static_cast<std::size_t>(i);
    if (placed[iu]) continue;
    Plan::Group g;
    g.begin = static_cast<std::uint32_t>(plan.order.size());
    if (state[iu] == kInCycle) {
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
      for (std::int32_t j = head; j >= 0; j = next[static_cast<std::size_t>(j)]) {
        plan.order.push_back(j);
        placed[static_cast<std::size_t>(j)] = true;
      }
      std::reverse(plan.order.begin() + g.begin, plan.order.end());  // the free end first
    }
    g.end = static_cast<std::uint32_t>(plan.order.size());
    plan.groups.push_back(g);
  }
  return plan;
}

}  // namespace qorin::rename
