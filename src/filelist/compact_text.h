// SPDX-License-Identifier: GPL-3.0-or-later
// A name as the file list keeps it: sixteen bytes, the text itself inside
// them up to fifteen bytes, on the heap beyond. A million entries hold two
// names each, and most file names are short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qorin::filelist {

class CompactText {
 public:
  static constexpr std::size_t kInline = 15;

  CompactText() noexcept { setInline({}); }
  explicit CompactText(std::string_view s) : CompactText() { assign(s); }
  ~CompactText() { release(); }
  CompactText(const CompactText& o) : CompactText() { assign(o.view()); }
  CompactText& operator=(const CompactText& o) {
    assign(o.view());
    return *this;
  }
  CompactText(CompactText&& o) noexcept {
    std::memcpy(b_, o.b_, sizeof b_);
    o.setInline({});
  }
  CompactText& operator=(CompactText&& o) noexcept {
    if (this != &o) {
      release();
      std::memcpy(b_, o.b_, sizeof b_);
      o.setInline({});
    }
    return *this;
  }

  std::string_view view() const {
    if (!onHeap()) return {reinterpret_cast<const char*>(b_), b_[kTag]};
    return {heapPointer(), heapSize()};
  }
  std::size_t size() const { return onHeap() ? heapSize() : b_[kTag]; }
  bool empty() const { return size() == 0; }

  // `s` may point into this text itself.
  void assign(std::string_view s);
  void clear() {
    release();
    setInline({});
  }

 private:
  static constexpr std::size_t kTag = 15;  // inline: the length; on the heap: kHeap
  static constexpr unsigned char kHeap = 0x80;
  // Heap blocks come in steps of sixteen bytes, so a text that keeps its
  // size class is rewritten in place.
  static std::size_t capacityFor(std::size_t n) { return (n + 15) & ~std::size_t{15}; }

  bool onHeap() const { return b_[kTag] == kHeap; }
  char* heapPointer() const {
    char* p;
    std::memcpy(&p, b_, sizeof p);
    return p;
  }
  std::uint32_t heapSize() const {
    std::uint32_t n;
    std::memcpy(&n, b_ + 8, sizeof n);
    return n;
  }
  void setInline(std::string_view s) {
    if (!s.empty()) std::memmove(b_, s.data(), s.size());
    b_[kTag] = static_cast<unsigned char>(s.size());
  }
  void release();

  alignas(8) unsigned char b_[16];
};

inline bool operator==(const CompactText& a, std::string_view b) { return a.view() == b; }

}  // namespace qorin::filelist
