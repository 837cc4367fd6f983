#include "rename/plan.h"

#include <algorithm>
#include <functional>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

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
  std::int32_t find(std::uint64_t h, Eq eq) const {
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

std::uint64_t keyHash(std::uint64_t nameHash, std::uint32_t folder) {
  return nameHash ^ ((static_cast<std::uint64_t>(folder) + 1) * 0x9E3779B97F4A7C15ull);
}

constexpr std::int32_t kFree = -1, kBlocked = -2;

}  // namespace

Reason nameProblem(std::string_view name, const NameRules& rules) {
  if (name.empty()) return Reason::EmptyName;
  if (name == "." || name == "..") return Reason::IllegalName;
  const bool utf16 = rules.encoding == platform::NativeEncoding::Utf16;
  bool needsConversion = false;
  std::size_t bound = 0;  // native length, never less than the real one
  for (std::size_t i = 0; i < name.size();) {
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
  if (rules.windows && (name.back() == '.' || name.back() == ' ' || isReservedOnWindows(name)))
    return Reason::IllegalName;
  if (needsConversion || bound > rules.maxLength) {
    const auto n = nativeLength(name, rules.encoding);
    if (!n) return Reason::IllegalName;
    if (*n > rules.maxLength) return Reason::NameTooLong;
  }
  return Reason::None;
}

std::uint64_t nameHash(std::string_view name) {
  if constexpr (platform::kNamesIgnoreCase) return std::hash<std::string>{}(text::asciiUpper(name));
  return std::hash<std::string_view>{}(name);
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
    const std::uint64_t h = nameHash(names_[k]);
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
    const std::uint64_t fromHash = nameHash(r.from);
    if (!f.names || r.from.empty() || !exists(*f.names, r.from, fromHash)) {
      v.reason = Reason::SourceMissing;
      continue;
    }
    const auto row = static_cast<std::int32_t>(i);
    const std::uint64_t fk = keyHash(fromHash, r.folder);
    const std::int32_t claimant = sources.find(fk, [&](std::int32_t k) {
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
    toHash[i] = nameHash(r.to);
    const std::uint64_t tk = keyHash(toHash[i], r.folder);
    const std::int32_t first = targets.find(tk, [&](std::int32_t k) {
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
    const std::int32_t k = sources.find(keyHash(toHash[i], r.folder), [&](std::int32_t j) {
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

FolderCache::FolderCache() = default;
FolderCache::~FolderCache() = default;

void FolderCache::clear() { folders_.clear(); }

void FolderCache::forget(std::string_view dir) { folders_.erase(std::string(dir)); }

const FolderCache::Entry& FolderCache::folder(const std::string& dir) {
  auto it = folders_.find(dir);
  if (it != folders_.end()) return *it->second;
  auto e = std::make_unique<Entry>();
  const platform::Folder f(dir);
  if (auto names = f.names()) e->names = NameSet(std::move(*names));
  e->maxLength = f.nameLimit();
  return *folders_.emplace(dir, std::move(e)).first->second;
}

void markConflicts(filelist::FileList& list, int rows, FolderCache& cache) {
  const auto n = static_cast<std::size_t>(std::clamp(rows, 0, list.rowCount()));
  std::vector<PlanRow> plan(n);
  std::vector<PlanFolder> folders;
  std::unordered_map<std::uint32_t, std::uint32_t> index;
  std::uint32_t lastListFolder = filelist::kNoFolder, last = 0;
  for (std::size_t r = 0; r < n; ++r) {
    const int row = static_cast<int>(r);
    PlanRow& p = plan[r];
    p.from = list.oldName(row);
    p.to = list.newName(row);
    p.preset = list.proposalProblem(row);
    const std::uint32_t lf = list.folderOf(row);
    if (lf == filelist::kNoFolder) {
      p.preset = Reason::SourceMissing;
      p.folder = 0;
      if (folders.empty()) folders.push_back({});
      continue;
    }
    if (lf != lastListFolder) {
      auto it = index.find(lf);
      if (it == index.end()) {
        const FolderCache::Entry& fe = cache.folder(list.folder(lf).dir);
        it = index.emplace(lf, static_cast<std::uint32_t>(folders.size())).first;
        folders.push_back({&fe.names, fe.maxLength});
      }
      last = it->second;
      lastListFolder = lf;
    }
    p.folder = last;
  }
  const Plan result = planMoves(plan, folders, NameRules{}, PlanUse::Preview);
  list.setMarks(result.verdicts);
}

}  // namespace qorin::rename
