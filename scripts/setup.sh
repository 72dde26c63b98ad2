#!/usr/bin/env bash
# Installs what qmxml needs from Debian's packages (only what is missing),
# then configures and builds it in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-14 and its runtimes build the sanitizer and fuzz builds (sanitize.sh, fuzz.sh).
packages=(g++ cmake make pkg-config libpugixml-dev libsqlite3-dev libcli11-dev libsodium-dev
          uuid-dev libpq-dev libxml2-dev libzip-dev libgoogle-perftools-dev libgtest-dev googletest libbenchmark-dev sqlite3 libxml2-utils
          postgresql clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
