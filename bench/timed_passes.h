// SPDX-License-Identifier: GPL-3.0-or-later
// The timing loop the ratio benchmarks share: each figure is the mean time of
// one pass, so that two passes of one run can be set against each other.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace qorin::bench {

template <typename F>
void timedPasses(benchmark::State& state, double& perPass, std::int64_t items, F&& pass) {
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    pass();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  perPass = total / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * items);
}

}  // namespace qorin::bench
