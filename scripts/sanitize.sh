#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the core and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build directory of their own and runs the
# tests once, in one process (quicker than one sanitized process per test);
# the first finding fails the run. Then, with QORIN_TSAN_CHECK=1, the same
# with ThreadSanitizer (a third build of the core: left out of the test
# command, which has to end within CI's time).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QORIN_SANITIZE_BUILD:-build-san}
cxx=${CXX:-$(command -v clang++ || echo c++)}
# With clang the fuzz targets come from the same build (fuzz/run.sh then
# only runs them): the core is compiled once for both.
fuzz=OFF
fuzz_targets=
if "$cxx" --version 2>/dev/null | grep -q clang; then
  fuzz=ON
  fuzz_targets="tags_fuzz ini_fuzz rules_fuzz"
fi
CXX=$cxx cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DQORIN_SANITIZE=ON -DQORIN_BUILD_GUI=OFF -DQORIN_BUILD_TESTS=ON \
  -DQORIN_BUILD_BENCH=OFF -DQORIN_BUILD_FUZZ=$fuzz -DQORIN_WERROR=ON >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target core_tests $fuzz_targets
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$build"/tests/core_tests --gtest_brief=1
[ "${QORIN_TSAN_CHECK:-0}" = 1 ] || exit 0
tsan=${QORIN_TSAN_BUILD:-build-tsan}
CXX=${CXX:-$(command -v clang++ || echo c++)} cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DQORIN_TSAN=ON -DQORIN_BUILD_GUI=OFF -DQORIN_BUILD_TESTS=ON \
  -DQORIN_BUILD_BENCH=OFF -DQORIN_BUILD_FUZZ=OFF -DQORIN_WERROR=ON >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target core_tests
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1} "$tsan"/tests/core_tests --gtest_brief=1
