#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and the benchmark: a cluster
# in a temporary folder, reached only through a Unix socket in that folder.
#   scripts/pg.sh start DIR   creates and starts it; prints the connection string
#   scripts/pg.sh stop DIR    stops it and removes DIR
# As root, the server runs as the "postgres" user that Debian's package
# creates (the server refuses to run as root).
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$bin" ] || { echo "pg.sh: PostgreSQL server programs not found" >&2; exit 1; }
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)

case "$cmd" in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --no-sync >"$dir/initdb.log"
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-k $dir -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      start >/dev/null
    "${as_owner[@]}" "$bin/createdb" -h "$dir" -U postgres qmxml
    echo "postgresql:///qmxml?host=$dir&user=postgres"
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "pg.sh: start or stop" >&2
    exit 1
    ;;
esac
