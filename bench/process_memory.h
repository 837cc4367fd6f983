// SPDX-License-Identifier: GPL-3.0-or-later
// The process's memory as the kernel accounts it, for the benchmarks that
// report peaks (Linux).
#pragma once

#include <malloc.h>

#include <fstream>
#include <string>

namespace qorin::bench {

// A figure of /proc/self/status (VmRSS:, VmHWM:, …) in megabytes.
inline double statusMegabytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string k;
  while (in >> k) {
    if (k == key) {
      double kb = 0;
      in >> kb;
      return kb / 1024.0;
    }
    std::getline(in, k);
  }
  return 0;
}

// Starts the kernel's peak count (VmHWM) afresh from what the process holds now.
inline void resetPeak() {
  ::malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace qorin::bench
