#!/usr/bin/env bash
# Builds qmxml and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in ./build-sanitize (clang, optimised a little
# so the suite stays quick) and runs the whole suite there. A finding stops
# the test that triggered it, so any finding fails this script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQMXML_SANITIZE=ON -DQMXML_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-sanitize
ctest --output-on-failure -j"$(nproc)"
