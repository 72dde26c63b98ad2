#!/usr/bin/env bash
# Fuzzes the document readers, the query parser and the view property
# conversion for a bounded time (default 90 s, first argument in seconds):
# builds the libFuzzer target with clang and the address and
# undefined-behaviour sanitizers in ./build-fuzz, exports a small sample
# project, seeds the corpus with its documents (each prefixed by the line
# naming the file it stands for) and with its saved queries and view
# properties in both forms (prefixed "#query" and "#view-properties"), and
# runs the target. Inputs
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
build/qmxml -q sample "$work/sample.db" --requirements 12 --key-file "$work/sample.db.key"
build/qmxml -q export "$work/sample.db" "$work/folder"
i=0
( cd "$work/folder" && find . -type f | sed 's|^\./||' | sort ) | while read -r f; do
  i=$((i + 1))
  { printf '%s\n' "$f"; cat "$work/folder/$f"; } > "$work/corpus/seed$i"
done

# The saved queries and view properties of the sample, as stored (key form)
# and as exported (GUID form), one seed per text.
seeds() {  # seeds PREFIX-LINE NAME: one seed per line of standard input
  n=0
  while IFS= read -r text; do
    n=$((n + 1))
    printf '%s\n%s' "$1" "$text" > "$work/corpus/$2$n"
  done
}
sqlite3 "$work/sample.db" "SELECT replace(QUERYSTRING, char(10), ' ') FROM QmQueryDefinitions" |
  seeds "#query" query
sqlite3 "$work/sample.db" "SELECT replace(PROPERTIES, char(10), ' ') FROM QmViews" |
  seeds "#view-properties" view
unescape() { sed -e 's/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g'; }
grep -ho '<QUERYSTRING>[^<]*</QUERYSTRING>' "$work/folder/queries.xml" |
  sed -e 's|</*QUERYSTRING>||g' | unescape | seeds "#query" gquery
find "$work/folder/views" -name '*.xml' -exec grep -ho '<PROPERTIES>[^<]*</PROPERTIES>' {} + |
  sed -e 's|</*PROPERTIES>||g' | unescape | seeds "#view-properties" gview

export QMXML_FUZZ_FOLDER="$PWD/$work/folder"
export QMXML_FUZZ_DB="$PWD/$work/sample.db"
# The sample's key, so that saved queries are read through the host project
# (without it every import stops at the query definitions).
export QMXML_KEY_FILE="$PWD/$work/sample.db.key"
export TMPDIR="$PWD/$work/tmp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
build-fuzz/qmxml_fuzz_readers "$work/corpus" -max_total_time="$SECONDS_TOTAL" -max_len=65536 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/
