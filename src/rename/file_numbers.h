// SPDX-License-Identifier: GPL-3.0-or-later
// The files a record's pass names, by their number, while the record is
// read (journal_read.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorin::rename::detail {

// The files the pass names, by their number: a later phase may name only
// those. Each gets its index (JournalStep::fileIndex) where the record
// first names it in a phase that is kept. Open addressing, eight bytes a
// slot, for the reading only.
class FileNumbers {
 public:
  explicit FileNumbers(std::size_t expected) { rehash(expected); }

  void know(std::uint32_t file) {
    Slot& s = slot(file);
    if (s.state != kFree) return;
    s = {file, kUnindexed};
    if (++known_ * 2 > slots_.size()) rehash(known_);
  }
  bool known(std::uint32_t file) { return slot(file).state != kFree; }
  // A known file's index, the next one for a file not yet indexed.
  std::uint32_t index(std::uint32_t file) {
    Slot& s = slot(file);
    if (s.state == kUnindexed) s.state = indexed_++;
    return s.state;
  }
  // The files first indexed from `count` on lose their index (their phase
  // was left out).
  void unindex(std::uint32_t file, std::uint32_t count) {
    Slot& s = slot(file);
    if (s.state != kFree && s.state != kUnindexed && s.state >= count) s.state = kUnindexed;
  }
  std::uint32_t indexed() const { return indexed_; }
  void setIndexed(std::uint32_t n) { indexed_ = n; }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX, kUnindexed = UINT32_MAX - 1;
  struct Slot {
    std::uint32_t file = 0;
    std::uint32_t state = kFree;  // or kUnindexed, or the index
  };

  Slot& slot(std::uint32_t file) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = static_cast<std::size_t>((file * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    while (slots_[i].state != kFree && slots_[i].file != file) i = (i + 1) & mask;
    return slots_[i];
  }

  void rehash(std::size_t count) {
    std::size_t cap = 16;
    while (cap < count * 2 + 2) cap <<= 1;
    std::vector<Slot> old(cap);
    old.swap(slots_);
    for (const Slot& s : old)
      if (s.state != kFree) slot(s.file) = s;
  }

  std::vector<Slot> slots_;
  std::size_t known_ = 0;
  std::uint32_t indexed_ = 0;
};

}  // namespace qorin::rename::detail
