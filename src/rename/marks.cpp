// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's marks: what each shown proposal would meet, decided from
// hashes of the folders' names so that a keystroke over a million rows stays
// quick. The pass itself plans with planMoves.
#include <algorithm>
#include <climits>
#include <map>

#include "platform/fs.h"
#include "rename/plan.h"
#include "rename/plan_hash.h"
#include "rename/verdict.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using detail::keyHash;
using detail::prefetch;
using verdict::Kind;

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
struct detail::Marking {
  using Entry = FolderCache::Entry;

  std::uint64_t namesVersion = 0, generation = 0;
  const filelist::FileList* list = nullptr;
  int rows = -1;

  // Per folder of the list: its listing, its run number (rows of one text
  // share it), and why its rows cannot be renamed at all.
  std::vector<const Entry*> entryOf;
  std::vector<std::uint32_t> runOf;
  std::vector<Outcome> problemOf;
  // Per entry of the cache: for each slot, the first row that lists the
  // name (-1: none).
  std::unordered_map<const Entry*, std::vector<std::int32_t>> firstRow;

  enum : std::uint8_t { kListed, kMissing, kDuplicate, kFirstOfSeveral };
  std::vector<std::uint8_t> source;                        // per row
  std::unordered_map<std::int32_t, std::int32_t> firstOf;  // duplicate row -> the first row listing its file
  int firstDuplicate = INT_MAX;                            // the first such row

  // Filled by each marking.
  std::vector<Verdict> marks;
  std::vector<Kind> kind;
  std::vector<std::uint8_t> state;
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
  marking_.reset();  // its tables are as large as the list: made again when next asked
  ++generation_;
}

void FolderCache::forget(std::string_view dir) {
  folders_.erase(std::string(dir));
  ++generation_;
}

void FolderCache::seed(std::string_view dir, const platform::FileIdentity& identity,
                       const std::vector<std::uint64_t>& nameHashes) {
  auto e = std::make_unique<Entry>();
  e->names = std::make_shared<const NameHashes>(nameHashes);
  e->listed = true;
  e->identity = {identity.device, identity.inode, 0, 0};
  e->maxLength = platform::Folder(dir).nameLimit();
  folders_[std::string(dir)] = std::move(e);
  ++generation_;
}

const FolderCache::Entry* FolderCache::listed(const std::string& dir) const {
  const auto it = folders_.find(dir);
  return it != folders_.end() && it->second->listed ? it->second.get() : nullptr;
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
      e->names = std::make_shared<const NameHashes>(hashes);
      e->listed = true;
    }
  } else {
    e->missing = f.error() == ENOENT || f.error() == ENOTDIR;
  }
  ++generation_;
  return *folders_.emplace(dir, std::move(e)).first->second;
}

namespace {

using detail::Marking;

// The folders, and who lists which file: from the names alone. False:
// `stop` ended it while folders were listed, and nothing is kept.
bool findSources(Marking& m, const filelist::FileList& list, FolderCache& cache,
                 const platform::StopFn& stop) {
  const std::size_t folders = list.folderCount();
  m.entryOf.assign(folders, nullptr);
  m.runOf.assign(folders, 0);
  m.problemOf.assign(folders, Outcome{});
  std::unordered_map<const FolderCache::Entry*, std::uint32_t> runs;
  // One folder reached by two paths (a bind mount) is one folder to the
  // pass, which tells folders by their identity: so here too.
  std::map<std::pair<std::uint64_t, std::uint64_t>, const FolderCache::Entry*> byIdentity;
  for (std::size_t f = 0; f < folders; ++f) {
    const filelist::FolderInfo& info = list.folder(static_cast<std::uint32_t>(f));
    if (stop && !cache.listed(info.dir) && stop()) {
      m.list = nullptr;
      return false;
    }
    const FolderCache::Entry& e = cache.folder(info.dir);
    const FolderCache::Entry* same = &e;
    if (info.known)
      same = byIdentity.emplace(std::make_pair(info.identity.device, info.identity.inode), &e).first->second;
    m.entryOf[f] = same;
    m.runOf[f] = runs.emplace(same, static_cast<std::uint32_t>(runs.size())).first->second;
    // As the pass will find it: a folder other than the one the rows came
    // from, or none, renames nothing.
    if (!info.known)
      m.problemOf[f] = why::SourceMissing;
    else if (e.missing || (e.listed && (e.identity.device != info.identity.device ||
                                        e.identity.inode != info.identity.inode)))
      m.problemOf[f] = why::FolderChanged;
  }
  m.firstRow.clear();
  for (const auto& [e, run] : runs) m.firstRow[e].assign(e->names->slotCount(), -1);
  const int all = list.rowCount();
  m.source.assign(static_cast<std::size_t>(all), Marking::kMissing);
  m.firstOf.clear();
  m.firstDuplicate = INT_MAX;
  for (int r = 0; r < all; ++r) {
    const std::uint32_t f = list.folderOf(r);
    const std::string_view from = list.oldName(r);
    if (f == filelist::kNoFolder || from.empty()) continue;
    const FolderCache::Entry& e = *m.entryOf[f];
    // The listing saw a name kept in the old code page or as raw bytes with its mark.
    const std::uint64_t hash =
        list.gbkName(r) || list.rawName(r) ? platform::nameHash(list.diskName(r)) : platform::nameHash(from);
    const std::size_t slot = e.names->lookup(hash);
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
  m.rows = all;
  return true;
}

// One marking of rows 0..n-1: the verdict rules (verdict.h) asked with the
// marks' own tables.
class Marker {
 public:
  Marker(Marking& m, const filelist::FileList& list, int n)
      : m_(m), list_(list), n_(n), nu_(static_cast<std::size_t>(n)), twice_(m.firstDuplicate < n) {
    m.marks.assign(nu_, Verdict{});
    m.kind.assign(nu_, Kind::Fail);
    m.taken.clear();
  }

  void run() {
    if (twice_)
      rowByRow();
    else
      byParts();
    settleChains();
  }

 private:
  // What a row decides alone: a verdict, or its part in the claims.
  struct Part {
    const FolderCache::Entry* entry;  // nullptr: the row's verdict is made
    std::uint64_t hash, key;
    std::uint8_t src;
    bool unchanged;
  };

  void decide(std::size_t row, const verdict::Decision& d) {
    m_.marks[row] = d.verdict;
    m_.kind[row] = d.kind;
  }

  void alone(int r, Part& p) {
    const auto ru = static_cast<std::size_t>(r);
    p.entry = nullptr;
    const std::uint32_t f = list_.folderOf(r);
    // A row without a folder would resolve against the working directory.
    const bool noFolder = f == filelist::kNoFolder;
    Outcome preset = noFolder ? why::SourceMissing : list_.proposalFailure(r);
    if (preset.none()) preset = m_.problemOf[f];
    const FolderCache::Entry* e = noFolder ? nullptr : m_.entryOf[f];
    if (e) rules_.maxLength = e->maxLength;
    const std::string_view to = list_.newName(r);
    p.src = m_.source[ru];
    m_.marks[ru].reason = verdict::alone(preset, to, rules_, [&] { return p.src != Marking::kMissing; });
    if (!m_.marks[ru].reason.none()) return;
    p.entry = e;
    p.unchanged = list_.oldName(r) == to;
    if (p.unchanged) return;
    p.hash = platform::nameHash(to);
    p.key = detail::keyHash(p.hash, m_.runOf[f]);
    p.key += p.key == 0;  // 0 marks a free slot
  }

  // A move: is its target taken, and by which row's file?
  void lookTarget(int r, const Part& p) {
    if (!p.entry->names->mayContain(p.hash)) return;  // most new names: the filter alone says so
    if (const std::size_t slot = p.entry->names->lookup(p.hash); slot != NameHashes::kNone)
      m_.taken.emplace_back(r, m_.firstRow[p.entry][slot]);
  }

  // The row that claimed the file `first` lists first, or -1.
  std::int32_t claimantOf(std::int32_t first) const {
    if (first < 0 || first >= n_) return -1;
    if (!twice_ || m_.source[static_cast<std::size_t>(first)] != Marking::kFirstOfSeveral)
      return m_.kind[static_cast<std::size_t>(first)] != Kind::Fail ? first : -1;
    const auto it = claimed_.find(first);
    return it == claimed_.end() ? -1 : it->second;
  }

  // No file is listed twice among the rows: whether a row claims a proposal
  // depends on it alone, and the claims can be settled part by part of the
  // hash range, each part's table small enough for the cache.
  void byParts() {
    constexpr int kPartBits = 8;
    constexpr std::size_t kParts = std::size_t{1} << kPartBits;
    m_.keyOf.assign(nu_, 0);
    std::vector<std::uint32_t> start(kParts + 1, 0);
    // In blocks, the filter's words on their way while the next rows are looked at.
    constexpr int kBlock = 16;
    Part block[kBlock];
    for (int b = 0; b < n_; b += kBlock) {
      const int end = std::min(n_, b + kBlock);
      for (int r = b; r < end; ++r) {
        Part& p = block[r - b];
        alone(r, p);
        if (p.entry && !p.unchanged) p.entry->names->prefetch(p.hash);
      }
      for (int r = b; r < end; ++r) {
        const Part& p = block[r - b];
        if (!p.entry) continue;
        const auto ru = static_cast<std::size_t>(r);
        if (p.unchanged) {
          decide(ru, verdict::stays());
          continue;
        }
        m_.keyOf[ru] = p.key;
        ++start[(p.key >> (64 - kPartBits)) + 1];
        // Existence does not depend on the claims; only moves keep it.
        lookTarget(r, p);
      }
    }
    for (std::size_t k = 1; k <= kParts; ++k) start[k] += start[k - 1];
    m_.parted.resize(start[kParts]);
    {
      std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
      for (int r = 0; r < n_; ++r)
        if (const std::uint64_t key = m_.keyOf[static_cast<std::size_t>(r)])
          m_.parted[fill[key >> (64 - kPartBits)]++] = {key, r};
    }
    for (std::size_t k = 0; k < kParts; ++k) {
      const std::uint32_t b = start[k], e = start[k + 1];
      std::size_t cap = 16;
      while (cap < (e - b) * 2) cap <<= 1;
      m_.claims.assign(cap, Marking::Claim{0, 0});
      const std::size_t mask = cap - 1;
      for (std::uint32_t j = b; j < e; ++j) {
        const Marking::Claim& c = m_.parted[j];
        std::size_t i = c.key & mask;
        while (m_.claims[i].key != 0 && m_.claims[i].key != c.key) i = (i + 1) & mask;
        const auto ru = static_cast<std::size_t>(c.row);
        decide(ru, verdict::claimsTarget(m_.claims[i].key == c.key ? m_.claims[i].row : -1));
        if (m_.kind[ru] == Kind::Move) m_.claims[i] = c;
      }
    }
    std::erase_if(m_.taken,
                  [&](const auto& t) { return m_.kind[static_cast<std::size_t>(t.first)] != Kind::Move; });
  }

  // A file listed twice is claimed by the first of its rows that gets as
  // far as claiming it, which depends on the proposals before: row by row.
  void rowByRow() {
    std::size_t cap = 16;
    while (cap < nu_ * 2) cap <<= 1;
    m_.claims.assign(cap, Marking::Claim{0, 0});
    const std::size_t mask = cap - 1;
    Part p;
    for (int r = 0; r < n_; ++r) {
      alone(r, p);
      if (!p.entry) continue;
      const auto ru = static_cast<std::size_t>(r);
      std::int32_t group = -1;  // the first row listing the file, when several do
      if (p.src != Marking::kListed) {
        group = p.src == Marking::kFirstOfSeveral ? r : m_.firstOf.at(r);
        if (const auto it = claimed_.find(group); it != claimed_.end()) {
          decide(ru, verdict::fileClaimed(p.unchanged, m_.kind[static_cast<std::size_t>(it->second)],
                                          it->second));
          continue;
        }
      }
      if (p.unchanged) {
        if (group >= 0) claimed_.emplace(group, r);
        decide(ru, verdict::stays());
        continue;
      }
      std::size_t i = p.key & mask;
      while (m_.claims[i].key != 0 && m_.claims[i].key != p.key) i = (i + 1) & mask;
      decide(ru, verdict::claimsTarget(m_.claims[i].key == p.key ? m_.claims[i].row : -1));
      if (m_.kind[ru] != Kind::Move) continue;
      m_.claims[i] = {p.key, r};
      if (group >= 0) claimed_.emplace(group, r);
      lookTarget(r, p);
    }
  }

  // A move whose target is taken waits for the file there to move, when it
  // does; the chains are walked as planMoves walks them.
  void settleChains() {
    m_.next.assign(nu_, verdict::kFree);
    for (const auto& [r, first] : m_.taken) {
      const std::int32_t k = claimantOf(first);
      m_.next[static_cast<std::size_t>(r)] =
          verdict::waitsFor(k, k >= 0 ? m_.kind[static_cast<std::size_t>(k)] : Kind::Fail);
    }
    m_.state.assign(nu_, verdict::kNew);
    std::vector<std::int32_t> path;
    for (const auto& [start, unused] : m_.taken) verdict::walkChain(start, m_.next, m_.state, path);
    for (const auto& [r, unused] : m_.taken)
      if (m_.state[static_cast<std::size_t>(r)] == verdict::kBlockedState)
        m_.marks[static_cast<std::size_t>(r)] = verdict::blockedChain();
  }

  Marking& m_;
  const filelist::FileList& list_;
  const int n_;
  const std::size_t nu_;
  const bool twice_;  // some file is listed twice among the rows marked
  NameRules rules_;
  // The first row of a file listed several times that claimed it this time.
  std::unordered_map<std::int32_t, std::int32_t> claimed_;
};

}  // namespace

bool markConflicts(filelist::FileList& list, int rows, FolderCache& cache, const platform::StopFn& stop) {
  const int n = std::clamp(rows, 0, list.rowCount());
  if (!cache.marking_) cache.marking_ = std::make_unique<Marking>();
  Marking& m = *cache.marking_;
  if (m.list != &list || m.namesVersion != list.namesVersion() || m.generation != cache.generation_ ||
      m.rows != list.rowCount()) {
    if (!findSources(m, list, cache, stop)) return false;
    m.generation = cache.generation_;
  }
  Marker(m, list, n).run();
  list.setMarks(m.marks);
  return true;
}

}  // namespace qorin::rename
