#!/usr/bin/env bash
# Export and import against SQLite's own dump and reload, in one run.
#
#   scripts/bench.sh [SIZE...]          (default: 10000 100000 requirements)
#   QMXML_BENCH_RUNS=N                  runs per step, the median is shown (default 3)
#   QMXML_BENCH_BIN=PATH                the qmxml binary to measure (default: build/qmxml, built first)
#
# For each size a sample project is generated once; then, with the files on
# disk (under ${TMPDIR:-/tmp}) and in RAM (/dev/shm), each step runs
# QMXML_BENCH_RUNS times in its own process under /usr/bin/time:
#   export     qmxml export DB DIR                against  dump   sqlite3 DB .dump > dump.sql
#   import     qmxml import DIR new.db            against  load   sqlite3 new2.db < dump.sql
#   baseline   qmxml baseline DB DIR --history --discussions --traces (against the export)
#   floor      (on disk only) cp -r of the RAM export's folder to the disk: the time to
#              create the same files with the same bytes, the least any export can take there
# Reported: median wall seconds, the ratios (each the median of the rounds' ratios: the two
# steps it compares run one after the other in every round), and the largest peak resident size of
# each qmxml step. The script reports; it never fails on a missed target.
# PostgreSQL has its own script (scripts/bench-pg.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
qmxml=${QMXML_BENCH_BIN:-}
if [ -z "$qmxml" ]; then
  if [ ! -x build/qmxml ]; then scripts/setup.sh; fi
  cmake --build build --target qmxml -j2 >/dev/null
  qmxml=$PWD/build/qmxml
fi
if [ "$#" -eq 0 ]; then set -- 10000 100000; fi
runs=${QMXML_BENCH_RUNS:-3}

disk=$(mktemp -d "${TMPDIR:-/tmp}/qmxml-bench.XXXXXX")
ram=$(mktemp -d /dev/shm/qmxml-bench.XXXXXX)
trap 'rm -rf "$disk" "$ram"' EXIT
export QMXML_KEY_FILE=$ram/key

# timed NAME COMMAND...: runs COMMAND under /usr/bin/time, appends "seconds peak_kib"
# to $log.NAME.
timed() {
  local name=$1
  shift
  /usr/bin/time -f '%e %M' -o "$log.time" "$@" >/dev/null 2>"$log.err" ||
    { echo "  $name failed:" >&2; cat "$log.err" >&2; return 1; }
  tail -n 1 "$log.time" >>"$log.$name"
}
# median NAME: the median seconds of $log.NAME; peak NAME: its largest peak in MiB.
median() { sort -n "$log.$1" | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] }'; }
peak() { awk '$2 > m { m = $2 } END { printf "%.0f", m / 1024 }' "$log.$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", (b > 0 ? a / b : 0) }'; }
# paired A B: the median over the rounds of A's time over B's in the same round. On this
# kind of machine the speed drifts from one minute to the next; two steps timed one after
# the other in each round compare better than two medians taken over the whole run.
paired() {
  paste -d' ' "$log.$1" "$log.$2" |
    awk '{ if ($3 > 0) print $1 / $3 }' | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.2fx", v[int((NR + 1) / 2)] }'
}

echo "qmxml benchmark, $runs run(s) per step (median), $(nproc) cores; $(uptime | sed 's/.*load/load/')"
rows=()
for size in "$@"; do
  echo "== $size requirements: sample"
  "$qmxml" -q sample "$ram/sample.db" --requirements "$size" --seed 1 >/dev/null
  for where in ram disk; do
    if [ "$where" = ram ]; then w=$ram/$size; else w=$disk/$size; fi
    mkdir -p "$w"
    cp "$ram/sample.db" "$w/sample.db"
    log=$w/log
    for ((i = 0; i < runs; i++)); do
      rm -rf "$w/out" "$w/base" "$w/new.db" "$w/load.db" "$w/dump.sql" "$w/floor"
      # Each comparison's two steps run one right after the other.
      timed dump sh -c 'sqlite3 "$1" .dump >"$2"' sh "$w/sample.db" "$w/dump.sql"
      timed export "$qmxml" -q export "$w/sample.db" "$w/out"
      timed baseline "$qmxml" -q baseline "$w/sample.db" "$w/base" --history --discussions --traces
      timed import "$qmxml" -q import "$w/out" "$w/new.db"
      timed load sh -c 'sqlite3 "$1" <"$2"' sh "$w/load.db" "$w/dump.sql"
      if [ "$where" = disk ]; then
        sync
        timed floor sh -c 'cp -r "$1" "$2" && sync -f "$2"' sh "$ram/$size/out" "$w/floor"
      fi
    done
    e=$(median export) d=$(median dump) im=$(median import) l=$(median load) b=$(median baseline)
    f=-
    fr=-
    if [ "$where" = disk ]; then f=$(median floor) fr=$(ratio "$e" "$f"); fi
    files=$(find "$w/out" -type f | wc -l)
    mib=$(du -sm "$w/out" | cut -f1)
    rows+=("$(printf '%8s %5s %8s %8s %6s %8s %8s %6s %8s %6s %8s %6s %6s %6s %6s %6s %5s' \
      "$size" "$where" "$e" "$d" "$(paired export dump)" "$im" "$l" "$(paired import load)" \
      "$f" "$fr" "$b" "$(paired baseline export)" "$(peak export)" "$(peak import)" "$(peak baseline)" \
      "$files" "$mib")")
    echo "${rows[-1]}"
    if [ "$where" = disk ]; then rm -rf "$w"; fi
  done
  rm -rf "$ram/$size" "$ram/sample.db"*
done

echo
echo "seconds (median of $runs); ratios: the median of the rounds' ratios; peaks in MiB (largest"
echo "of the runs); floor: cp -r of the files"
printf '%8s %5s %8s %8s %6s %8s %8s %6s %8s %6s %8s %6s %6s %6s %6s %6s %5s\n' \
  reqs where export dump ex/dmp import load im/ld floor ex/flr baseline bl/ex \
  ex_MiB im_MiB bl_MiB files MiB
printf '%s\n' "${rows[@]}"
echo "targets at 100k in RAM: export <= 1.5x dump, import <= 0.9x load, baseline <= 1.2x export, peaks < 256 MiB"
echo "$(uptime | sed 's/.*load/load/') at the end"
