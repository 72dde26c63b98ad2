#!/usr/bin/env bash
# Fuzzes the document readers for a bounded time (default 90 s, first
# argument in seconds): builds the libFuzzer target with clang and the
# address and undefined-behaviour sanitizers in ./build-fuzz, exports a
# small sample project, seeds the corpus with its documents (each prefixed
# by the line naming the file it stands for) and runs the target. Inputs
# that crash are left in build-fuzz/findings and fail the script.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TOTAL="${1:-90}"
scripts/setup.sh >/dev/null
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQMXML_BUILD_FUZZ=ON -DQMXML_BUILD_TESTS=OFF \
      -DQMXML_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --target qmxml_fuzz_readers -j"$(nproc)"

work=build-fuzz/run
rm -rf "$work"
mkdir -p "$work/corpus" "$work/tmp" build-fuzz/findings
build/qmxml -q sample "$work/sample.db" --requirements 12
build/qmxml -q export "$work/sample.db" "$work/folder"
i=0
( cd "$work/folder" && find . -type f | sed 's|^\./||' | sort ) | while read -r f; do
  i=$((i + 1))
  { printf '%s\n' "$f"; cat "$work/folder/$f"; } > "$work/corpus/seed$i"
done

export QMXML_FUZZ_FOLDER="$PWD/$work/folder"
# The sample's key, so that saved queries are read through the host project
# (without it every import stops at the query definitions).
export QMXML_KEY_FILE="$PWD/$work/sample.db.key"
export TMPDIR="$PWD/$work/tmp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
build-fuzz/qmxml_fuzz_readers "$work/corpus" -max_total_time="$SECONDS_TOTAL" -max_len=65536 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/
