// The preview's marks: what each shown proposal would meet, decided from
// hashes of the folders' names so that a keystroke over a million rows stays
// quick. The pass itself plans with planMoves.
#include <algorithm>
#include <climits>

#include "rename/plan.h"
#include "rename/plan_hash.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using detail::kBlocked;
using detail::keyHash;
using detail::kFree;
using detail::prefetch;

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
