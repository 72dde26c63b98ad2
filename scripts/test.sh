#!/usr/bin/env bash
# Installs, builds and runs the whole test suite, the transfer tests on both
# kinds of database: a throw-away PostgreSQL server is started for them in a
# temporary folder and stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
pg_dir=$(mktemp -d /tmp/qmxml-pg.XXXXXX)
trap '"$root/scripts/pg.sh" stop "$pg_dir"' EXIT
QMXML_TEST_PG=$("$root/scripts/pg.sh" start "$pg_dir")
export QMXML_TEST_PG
cd build
ctest --output-on-failure -j"$(nproc)"
