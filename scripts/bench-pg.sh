#!/usr/bin/env bash
# The PostgreSQL figures of a sample project (100,000 requirements unless
# given): on a throw-away server, `qmxml import` of its folder against
# `psql` loading a `pg_dump` of the database that import filled, and
# `qmxml export` from that database against the `pg_dump` itself. Medians
# of RUNS runs (default 3), each step in its own process.
#   scripts/bench-pg.sh [REQUIREMENTS]
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-100000}
runs=${RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/dev/shm}/qmxml-bench-pg.XXXXXX")
chmod 755 "$work"  # the server runs as its own user when started by root
pgdir=$work/pg
trap 'scripts/pg.sh stop "$pgdir"; rm -rf "$work"' EXIT
scripts/pg.sh start "$pgdir" >/dev/null
export QMXML_KEY_FILE=$work/key
server() { echo "postgresql:///$1?host=$pgdir&user=postgres"; }
sql() { psql -h "$pgdir" -U postgres -q -X -v ON_ERROR_STOP=1 "$@" >/dev/null; }
# Seconds taken by "$@", its output dropped.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

build/qmxml -q sample "$work/s.db" --requirements "$n" --seed 1 --key-file "$QMXML_KEY_FILE" >/dev/null
build/qmxml -q export "$work/s.db" "$work/folder"

imports=() loads=() exports=() dumps=()
for r in $(seq "$runs"); do
  sql -d postgres -c "DROP DATABASE IF EXISTS imp" -c "DROP DATABASE IF EXISTS loaded" \
    -c "CREATE DATABASE imp" -c "CREATE DATABASE loaded"
  imports+=("$(seconds build/qmxml -q import "$work/folder" "$(server imp)")")
  pg_dump -h "$pgdir" -U postgres -f "$work/dump.sql" imp
  loads+=("$(seconds sql -d loaded -f "$work/dump.sql")")
  # Both databases vacuumed and analysed first, so that neither the dump nor
  # the export shares the cores with autovacuum working through the rows
  # just loaded, or pays for the first reading of fresh rows.
  sql -d imp -c "VACUUM ANALYZE"
  sql -d loaded -c "VACUUM ANALYZE"
  dumps+=("$(seconds pg_dump -h "$pgdir" -U postgres -f "$work/dump.sql" imp)")
  rm -rf "$work/out"
  exports+=("$(seconds build/qmxml -q export "$(server imp)" "$work/out")")
done
import=$(median "${imports[@]}") load=$(median "${loads[@]}")
export_=$(median "${exports[@]}") dump=$(median "${dumps[@]}")
printf '%s requirements, medians of %s runs (load average %s)\n' "$n" "$runs" \
  "$(cut -d' ' -f1 /proc/loadavg)"
printf 'import %.2f s, psql load of the dump %.2f s: %.1fx\n' "$import" "$load" \
  "$(echo "$import / $load" | bc -l)"
printf 'export %.2f s, pg_dump %.2f s: %.1fx\n' "$export_" "$dump" \
  "$(echo "$export_ / $dump" | bc -l)"
