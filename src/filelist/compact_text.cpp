// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/compact_text.h"

#include <cstdlib>
#include <new>

namespace qorin::filelist {

void CompactText::release() {
  if (onHeap()) std::free(heapPointer());
}

void CompactText::assign(std::string_view s) {
  if (s.size() <= kInline) {
    // Copied before the heap block it may come from goes.
    unsigned char tmp[kInline];
    if (!s.empty()) std::memcpy(tmp, s.data(), s.size());
    release();
    setInline({reinterpret_cast<const char*>(tmp), s.size()});
    return;
  }
  if (onHeap() && capacityFor(s.size()) <= capacityFor(heapSize())) {
    std::memmove(heapPointer(), s.data(), s.size());
  } else {
    char* p = static_cast<char*>(std::malloc(capacityFor(s.size())));
    if (!p) throw std::bad_alloc();
    std::memcpy(p, s.data(), s.size());
    release();
    std::memcpy(b_, &p, sizeof p);
    b_[kTag] = kHeap;
  }
  const auto n = static_cast<std::uint32_t>(s.size());
  std::memcpy(b_ + 8, &n, sizeof n);
}

}  // namespace qorin::filelist
