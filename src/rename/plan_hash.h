// SPDX-License-Identifier: GPL-3.0-or-later
// What the planner and the preview's marks both key their tables with; used
// by plan.cpp and marks.cpp only.
#pragma once

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace qorin::rename::detail {

// A name's hash joined with its folder: one table over every folder.
inline std::uint64_t keyHash(std::uint64_t nameHash, std::uint32_t folder) {
  return nameHash ^ ((static_cast<std::uint64_t>(folder) + 1) * 0x9E3779B97F4A7C15ull);
}

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

}  // namespace qorin::rename::detail
