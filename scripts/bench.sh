#!/usr/bin/env bash
# Builds qmxml in Release (./build, through setup.sh) and runs the export /
# import benchmark. Arguments are the project sizes in requirements
# (default: 10000 100000), e.g. scripts/bench.sh 1000 10000
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --build build --target qmxml_bench -j"$(nproc)"
if [ "$#" -eq 0 ]; then set -- 10000 100000; fi
exec build/qmxml_bench "$@"
