#include "rename/plan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>

#include "text/gbtext.h"
#include "text/names.h"

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

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

std::uint64_t keyHash(std::uint64_t nameHash, std::uint32_t folder) {
  return nameHash ^ ((static_cast<std::uint64_t>(folder) + 1) * 0x9E3779B97F4A7C15ull);
}

constexpr std::int32_t kFree = -1, kBlocked = -2;

}  // namespace

// Asks for the cache line at `p` without waiting for it.
inline void prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
#else
  (void)p;
#endif
}

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

NameHashes::NameHashes(const std::vector<std::uint64_t>& hashes) {
  std::size_t cap = 16;
  while (cap < hashes.size() * 2) cap <<= 1;
  slots_.assign(cap, 0);
  const std::size_t mask = cap - 1;
  // About sixteen bits a name: a false hit in a few hundred.
  std::size_t words = 1;
  while (words * 64 < hashes.size() * 16) words <<= 1;
  filter_.assign(words, 0);
  filterShift_ = 64;
  for (std::size_t w = words; w > 1; w >>= 1) --filterShift_;
  for (const std::uint64_t h : hashes) {
    const std::uint64_t v = stored(h);
    std::size_t i = v & mask;
    while (slots_[i] != 0 && slots_[i] != v) i = (i + 1) & mask;
    slots_[i] = v;
    const auto [word, bits] = filterBits(h);
    filter_[word] |= bits;
  }
}

std::pair<std::size_t, std::uint64_t> NameHashes::filterBits(std::uint64_t hash) const {
  const std::uint64_t g = hash * 0x9E3779B97F4A7C15ull;  // other bits than the slots use
  const std::size_t word = filterShift_ >= 64 ? 0 : static_cast<std::size_t>(g >> filterShift_);
  return {word, (std::uint64_t{1} << (g & 63)) | (std::uint64_t{1} << ((g >> 6) & 63)) |
                    (std::uint64_t{1} << ((g >> 12) & 63)) | (std::uint64_t{1} << ((g >> 18) & 63))};
}

void NameHashes::prefetch(std::uint64_t hash) const {
  if (!filter_.empty()) rename::prefetch(&filter_[filterBits(hash).first]);
}

bool NameHashes::mayContain(std::uint64_t hash) const {
  if (filter_.empty()) return false;
  const auto [word, bits] = filterBits(hash);
  return (filter_[word] & bits) == bits;
}

std::size_t NameHashes::lookup(std::uint64_t hash) const {
  if (slots_.empty()) return kNone;
  const std::uint64_t v = stored(hash);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = v & mask;; i = (i + 1) & mask) {
    if (slots_[i] == v) return i;
    if (slots_[i] == 0) return kNone;
  }
}

// What the marks work out from the list's current names, kept between
// keystrokes, and the buffers each marking fills.
struct FolderCache::Marking {
  std::uint64_t namesVersion = 0, generation = 0;
  const filelist::FileList* list = nullptr;
  int rows = -1;

  // Per folder of the list: its listing, its run number (rows of one text
  // share it), and why its rows cannot be renamed at all.
  std::vector<const Entry*> entryOf;
  std::vector<std::uint32_t> runOf;
  std::vector<Reason> problemOf;
  // Per entry of the cache: for each slot, the first row that lists the
  // name (-1: none).
  std::unordered_map<const Entry*, std::vector<std::int32_t>> firstRow;

  enum : std::uint8_t { kListed, kMissing, kDuplicate, kFirstOfSeveral };
  std::vector<std::uint8_t> source;                        // per row
  std::unordered_map<std::int32_t, std::int32_t> firstOf;  // duplicate row -> the first row listing its file
  int firstDuplicate = INT_MAX;                            // the first such row

  // Filled by each marking.
  std::vector<Verdict> marks;
  std::vector<std::uint8_t> kind, state;
  std::vector<std::int32_t> next;
  // Proposals claimed so far, by folder and hash (key 0: a free slot), and
  // the row that claimed each: one cache line a question.
  struct Claim {
    std::uint64_t key;
    std::int32_t row;
  };
  std::vector<Claim> claims;
  std::vector<std::uint64_t> keyOf;  // per row: its claim's key, 0 when it claims nothing
  std::vector<Claim> parted;         // the claims in row order within each part of the key range
  std::vector<std::pair<std::int32_t, std::int32_t>> taken;  // (row, first row listing its target or -1)
};

FolderCache::FolderCache() = default;
FolderCache::~FolderCache() = default;

void FolderCache::clear() {
  folders_.clear();
  ++generation_;
}

void FolderCache::forget(std::string_view dir) {
  folders_.erase(std::string(dir));
  ++generation_;
}

void FolderCache::seed(std::string_view dir, const platform::FileIdentity& identity,
                       const std::vector<std::uint64_t>& nameHashes) {
  auto e = std::make_unique<Entry>();
  e->names = NameHashes(nameHashes);
  e->listed = true;
  e->identity = {identity.device, identity.inode, 0, 0};
  e->maxLength = platform::Folder(dir).nameLimit();
  folders_[std::string(dir)] = std::move(e);
  ++generation_;
}

const FolderCache::Entry& FolderCache::folder(const std::string& dir) {
  auto it = folders_.find(dir);
  if (it != folders_.end()) return *it->second;
  auto e = std::make_unique<Entry>();
  const platform::Folder f(dir);
  if (f.isOpen()) {
    e->identity = f.identity();
    e->maxLength = f.nameLimit();
    if (auto names = f.names()) {
      std::vector<std::uint64_t> hashes;
      hashes.reserve(names->size());
      for (const std::string& n : *names) hashes.push_back(platform::nameHash(n));
      e->names = NameHashes(hashes);
      e->listed = true;
    }
  } else {
    e->missing = f.error() == ENOENT || f.error() == ENOTDIR;
  }
  ++generation_;
  return *folders_.emplace(dir, std::move(e)).first->second;
}

void markConflicts(filelist::FileList& list, int rows, FolderCache& cache) {
  using Marking = FolderCache::Marking;
  const int n = std::clamp(rows, 0, list.rowCount());
  if (!cache.marking_) cache.marking_ = std::make_unique<Marking>();
  Marking& m = *cache.marking_;

  // The folders, and who lists which file: from the names alone.
  if (m.list != &list || m.namesVersion != list.namesVersion() || m.generation != cache.generation_ ||
      m.rows != list.rowCount()) {
    const std::size_t folders = list.folderCount();
    m.entryOf.assign(folders, nullptr);
    m.runOf.assign(folders, 0);
    m.problemOf.assign(folders, Reason::None);
    std::unordered_map<const FolderCache::Entry*, std::uint32_t> runs;
    for (std::size_t f = 0; f < folders; ++f) {
      const filelist::FolderInfo& info = list.folder(static_cast<std::uint32_t>(f));
      const FolderCache::Entry& e = cache.folder(info.dir);
      m.entryOf[f] = &e;
      m.runOf[f] = runs.emplace(&e, static_cast<std::uint32_t>(runs.size())).first->second;
      // As the pass will find it: a folder other than the one the rows came
      // from, or none, renames nothing.
      if (!info.known)
        m.problemOf[f] = Reason::SourceMissing;
      else if (e.missing || (e.listed && (e.identity.device != info.identity.device ||
                                          e.identity.inode != info.identity.inode)))
        m.problemOf[f] = Reason::FolderChanged;
    }
    m.firstRow.clear();
    for (const auto& [e, run] : runs) m.firstRow[e].assign(e->names.slotCount(), -1);
    const int all = list.rowCount();
    m.source.assign(static_cast<std::size_t>(all), Marking::kMissing);
    m.firstOf.clear();
    m.firstDuplicate = INT_MAX;
    for (int r = 0; r < all; ++r) {
      const std::uint32_t f = list.folderOf(r);
      const std::string_view from = list.oldName(r);
      if (f == filelist::kNoFolder || from.empty()) continue;
      const FolderCache::Entry& e = *m.entryOf[f];
      // The listing saw a name kept in the old code page with its mark.
      const std::uint64_t hash =
          list.gbkName(r) ? platform::nameHash(platform::gbkName(from)) : platform::nameHash(from);
      const std::size_t slot = e.names.lookup(hash);
      if (slot == NameHashes::kNone) continue;
      std::int32_t& first = m.firstRow[&e][slot];
      if (first < 0) {
        first = r;
        m.source[static_cast<std::size_t>(r)] = Marking::kListed;
      } else {
        m.source[static_cast<std::size_t>(r)] = Marking::kDuplicate;
        m.source[static_cast<std::size_t>(first)] = Marking::kFirstOfSeveral;
        m.firstOf[r] = first;
        m.firstDuplicate = std::min(m.firstDuplicate, r);
      }
    }
    m.list = &list;
    m.namesVersion = list.namesVersion();
    m.generation = cache.generation_;
    m.rows = all;
  }

  const auto nu = static_cast<std::size_t>(n);
  enum : std::uint8_t { kFail, kStay, kMove };
  m.marks.assign(nu, Verdict{});
  m.kind.assign(nu, kFail);
  m.taken.clear();
  // The first row of a file listed several times that claimed it this time.
  std::unordered_map<std::int32_t, std::int32_t> claimed;
  // Whether some file is listed twice among the rows marked.
  const bool twice = m.firstDuplicate < n;
  const auto claimantOf = [&](std::int32_t first) -> std::int32_t {
    if (first < 0 || first >= n) return -1;
    if (!twice || m.source[static_cast<std::size_t>(first)] != Marking::kFirstOfSeveral)
      return m.kind[static_cast<std::size_t>(first)] != kFail ? first : -1;
    const auto it = claimed.find(first);
    return it == claimed.end() ? -1 : it->second;
  };

  // What a row decides alone: a verdict, or its part in the claims.
  struct Part {
    const FolderCache::Entry* entry;  // nullptr: the row's verdict is made
    std::uint64_t hash, key;
    std::uint8_t src;
    bool unchanged;
  };
  NameRules rules;
  const auto alone = [&](int r, Part& p) {
    const auto ru = static_cast<std::size_t>(r);
    p.entry = nullptr;
    Verdict& v = m.marks[ru];
    const std::uint32_t f = list.folderOf(r);
    if (f == filelist::kNoFolder) {
      v.reason = Reason::SourceMissing;  // it would resolve against the working directory
      return;
    }
    Reason preset = list.proposalProblem(r);
    if (preset == Reason::None) preset = m.problemOf[f];
    if (preset != Reason::None) {
      v.reason = preset;
      return;
    }
    const FolderCache::Entry& e = *m.entryOf[f];
    const std::string_view to = list.newName(r);
    rules.maxLength = e.maxLength;
    if (const Reason problem = nameProblem(to, rules); problem != Reason::None) {
      v.reason = problem;
      return;
    }
    p.src = m.source[ru];
    if (p.src == Marking::kMissing) {
      v.reason = Reason::SourceMissing;
      return;
    }
    p.entry = &e;
    p.unchanged = list.oldName(r) == to;
    if (p.unchanged) return;
    p.hash = platform::nameHash(to);
    p.key = keyHash(p.hash, m.runOf[f]);
    p.key += p.key == 0;  // 0 marks a free slot
  };
  // A move: is its target taken, and by which row's file?
  const auto lookTarget = [&](int r, const Part& p) {
    if (!p.entry->names.mayContain(p.hash)) return;  // most new names: the filter alone says so
    if (const std::size_t slot = p.entry->names.lookup(p.hash); slot != NameHashes::kNone)
      m.taken.emplace_back(r, m.firstRow[p.entry][slot]);
  };

  if (!twice) {
    // No file is listed twice among the rows: whether a row claims a
    // proposal depends on it alone, and the claims can be settled part by
    // part of the hash range, each part's table small enough for the cache.
    constexpr int kPartBits = 8;
    constexpr std::size_t kParts = std::size_t{1} << kPartBits;
    m.keyOf.assign(nu, 0);
    std::vector<std::uint32_t> start(kParts + 1, 0);
    // In blocks, the filter's words on their way while the next rows are looked at.
    constexpr int kBlock = 16;
    Part block[kBlock];
    for (int b = 0; b < n; b += kBlock) {
      const int end = std::min(n, b + kBlock);
      for (int r = b; r < end; ++r) {
        Part& p = block[r - b];
        alone(r, p);
        if (p.entry && !p.unchanged) p.entry->names.prefetch(p.hash);
      }
      for (int r = b; r < end; ++r) {
        const Part& p = block[r - b];
        if (!p.entry) continue;
        const auto ru = static_cast<std::size_t>(r);
        if (p.unchanged) {
          m.marks[ru].reason = Reason::Unchanged;
          m.kind[ru] = kStay;
          continue;
        }
        m.keyOf[ru] = p.key;
        ++start[(p.key >> (64 - kPartBits)) + 1];
        // Existence does not depend on the claims; only moves keep it.
        lookTarget(r, p);
      }
    }
    for (std::size_t k = 1; k <= kParts; ++k) start[k] += start[k - 1];
    m.parted.resize(start[kParts]);
    {
      std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
      for (int r = 0; r < n; ++r)
        if (const std::uint64_t key = m.keyOf[static_cast<std::size_t>(r)])
          m.parted[fill[key >> (64 - kPartBits)]++] = {key, r};
    }
    for (std::size_t k = 0; k < kParts; ++k) {
      const std::uint32_t b = start[k], e = start[k + 1];
      std::size_t cap = 16;
      while (cap < (e - b) * 2) cap <<= 1;
      m.claims.assign(cap, Marking::Claim{0, 0});
      const std::size_t mask = cap - 1;
      for (std::uint32_t j = b; j < e; ++j) {
        const Marking::Claim& c = m.parted[j];
        std::size_t i = c.key & mask;
        while (m.claims[i].key != 0 && m.claims[i].key != c.key) i = (i + 1) & mask;
        const auto ru = static_cast<std::size_t>(c.row);
        if (m.claims[i].key == c.key) {
          m.marks[ru] = {Reason::SameAsEarlier, m.claims[i].row + 1};
        } else {
          m.claims[i] = c;
          m.kind[ru] = kMove;
        }
      }
    }
    std::erase_if(m.taken, [&](const auto& t) { return m.kind[static_cast<std::size_t>(t.first)] != kMove; });
  } else {
    // A file listed twice is claimed by the first of its rows that gets as
    // far as claiming it, which depends on the proposals before: row by row.
    std::size_t cap = 16;
    while (cap < nu * 2) cap <<= 1;
    m.claims.assign(cap, Marking::Claim{0, 0});
    const std::size_t mask = cap - 1;
    Part p;
    for (int r = 0; r < n; ++r) {
      alone(r, p);
      if (!p.entry) continue;
      const auto ru = static_cast<std::size_t>(r);
      Verdict& v = m.marks[ru];
      std::int32_t group = -1;  // the first row listing the file, when several do
      if (p.src != Marking::kListed) {
        group = p.src == Marking::kFirstOfSeveral ? r : m.firstOf.at(r);
        if (const auto it = claimed.find(group); it != claimed.end()) {
          if (p.unchanged && m.kind[static_cast<std::size_t>(it->second)] == kStay) {
            v.reason = Reason::Unchanged;
            m.kind[ru] = kStay;
          } else {
            v = {Reason::SameFileAsEarlier, it->second + 1};
          }
          continue;
        }
      }
      if (p.unchanged) {
        if (group >= 0) claimed.emplace(group, r);
        v.reason = Reason::Unchanged;
        m.kind[ru] = kStay;
        continue;
      }
      std::size_t i = p.key & mask;
      while (m.claims[i].key != 0 && m.claims[i].key != p.key) i = (i + 1) & mask;
      if (m.claims[i].key == p.key) {
        v = {Reason::SameAsEarlier, m.claims[i].row + 1};
        continue;
      }
      m.claims[i] = {p.key, r};
      if (group >= 0) claimed.emplace(group, r);
      m.kind[ru] = kMove;
      lookTarget(r, p);
    }
  }

  // A move whose target is taken waits for the file there to move, when it
  // does; the walk below is planMoves' own.
  m.next.assign(nu, kFree);
  for (const auto& [r, first] : m.taken) {
    const std::int32_t k = claimantOf(first);
    m.next[static_cast<std::size_t>(r)] =
        k >= 0 && m.kind[static_cast<std::size_t>(k)] == kMove ? k : kBlocked;
  }
  enum : std::uint8_t { kNew, kOnPath, kOk, kBlockedState, kInCycle };
  m.state.assign(nu, kNew);
  std::vector<std::int32_t> path;
  for (const auto& [start, unused] : m.taken) {
    if (m.state[static_cast<std::size_t>(start)] != kNew) continue;
    path.clear();
    std::int32_t j = start;
    std::uint8_t result = kOk;
    for (;;) {
      const auto ju = static_cast<std::size_t>(j);
      if (m.state[ju] == kNew) {
        m.state[ju] = kOnPath;
        path.push_back(j);
        if (m.next[ju] == kFree) break;
        if (m.next[ju] == kBlocked) {
          result = kBlockedState;
          break;
        }
        j = m.next[ju];
        continue;
      }
      if (m.state[ju] == kOnPath) {
        for (std::size_t k = path.size(); k-- > 0;) {
          m.state[static_cast<std::size_t>(path[k])] = kInCycle;
          if (path[k] == j) {
            path.resize(k);
            break;
          }
        }
        break;
      }
      result = m.state[ju] == kBlockedState ? kBlockedState : kOk;
      break;
    }
    for (const std::int32_t p : path) m.state[static_cast<std::size_t>(p)] = result;
  }
  for (const auto& [r, unused] : m.taken)
    if (m.state[static_cast<std::size_t>(r)] == kBlockedState)
      m.marks[static_cast<std::size_t>(r)].reason = Reason::TargetExists;
  list.setMarks(m.marks);
}

}  // namespace qorin::rename
