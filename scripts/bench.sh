#!/usr/bin/env bash
# Builds qmxml in Release (./build, through setup.sh) and runs the export /
# import benchmark. Arguments are the project sizes in requirements
# (default: 10000 100000), e.g. scripts/bench.sh 1000 10000
# The same steps run on PostgreSQL too: on the server QMXML_BENCH_PG names
# (a libpq connection string), or, when it is not set, on a throw-away
# server started here (scripts/pg.sh). QMXML_BENCH_PG= (empty) runs SQLite only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --build build --target qmxml_bench -j"$(nproc)"
if [ "$#" -eq 0 ]; then set -- 10000 100000; fi
if [ -z "${QMXML_BENCH_PG+set}" ]; then
  pg_dir=$(mktemp -d /tmp/qmxml-bench-pg.XXXXXX)
  trap 'scripts/pg.sh stop "$pg_dir"' EXIT
  QMXML_BENCH_PG=$(scripts/pg.sh start "$pg_dir")
fi
export QMXML_BENCH_PG
build/qmxml_bench "$@"
