#!/usr/bin/env bash
# Mutation run: how many deliberate faults the test suite catches.
#
#   scripts/mutate.sh [FAULTS [RESULT]]    (defaults: scripts/mutants.txt, build/mutation.txt)
#
# For each fault of FAULTS (see the head of scripts/mutants.txt) the source
# file is changed, the test binary rebuilt (build/, configured as in the
# README) and the suite run on SQLite with --gtest_fail_fast. A fault is
# "killed" when a test fails, "survived" when all pass, "killed (timeout)"
# when the run exceeds MUTATE_TIMEOUT seconds (default 300) and "not
# compilable" when the build fails. The file is put back after each fault,
# also when the run is interrupted. One line per fault and a total go to
# standard output and to RESULT.
set -u
cd "$(dirname "$0")/.."
faults=${1:-scripts/mutants.txt}
result=${2:-build/mutation.txt}
timeout_s=${MUTATE_TIMEOUT:-300}
build=${MUTATE_BUILD:-build}

unset QMXML_TEST_PG
export XDG_CONFIG_HOME="$PWD/$build/test-config"
mkdir -p "$XDG_CONFIG_HOME"
# Test folders in memory: the SQLite files' syncs cost most of a run on disk.
scratch=$(mktemp -d /dev/shm/qmxml-mutate.XXXXXX 2>/dev/null || mktemp -d)
export TMPDIR="$scratch"

saved=""
target=""
restore() {
  # A plain copy: the file gets a new time stamp, so the next build
  # recompiles it (keeping the old one would leave the faulty object).
  if [ -n "$saved" ] && [ -n "$target" ]; then cp "$saved" "$target"; fi
  saved=""
  target=""
}
cleanup() {
  restore
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 130' INT TERM

# apply FILE FIND REPL: replaces the one occurrence of FIND; fails when
# there is none or more than one.
apply() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, find, repl = sys.argv[1], sys.argv[2], sys.argv[3]
text = open(path, encoding="utf-8").read()
n = text.count(find)
if n != 1:
    sys.stderr.write(f"{path}: the text to find occurs {n} times, not once:\n{find}\n")
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(find, repl))
PY
}

# The suite must pass before any fault is applied (MUTATE_CHECK=1 only
# checks that every fault applies).
[ -n "${MUTATE_CHECK:-}" ] || cmake --build "$build" -j2 --target qmxml_tests qmxml_cli >/dev/null || { echo "the build fails" >&2; exit 1; }
[ -n "${MUTATE_CHECK:-}" ] || "$build/qmxml_tests" --gtest_brief=1 >/dev/null 2>&1 || { echo "the suite fails without faults" >&2; exit 1; }

: > "$result.tmp"
total=0 killed=0 survived=0 broken=0
survivors=""
run_fault() {
  local name=$1 desc=$2 file=$3 find=$4 repl=$5
  [ -n "$name" ] || return 0
  total=$((total + 1))
  saved=$(mktemp "$scratch/saved.XXXXXX")
  cp "$file" "$saved"
  target=$file
  if ! apply "$file" "$find" "$repl"; then
    restore
    echo "fault $name does not apply to $file; fix $faults" >&2
    exit 1
  fi
  if [ -n "${MUTATE_CHECK:-}" ]; then
    restore
    echo "$name applies"
    return 0
  fi
  local verdict
  if ! cmake --build "$build" -j2 --target qmxml_tests qmxml_cli >"$scratch/build.log" 2>&1; then
    verdict="not compilable"
    broken=$((broken + 1))
  else
    timeout "$timeout_s" "$build/qmxml_tests" --gtest_fail_fast --gtest_brief=1 \
      >"$scratch/run.log" 2>&1
    local rc=$?
    if [ $rc -eq 124 ]; then
      verdict="killed (timeout)"
      killed=$((killed + 1))
    elif [ $rc -ne 0 ]; then
      local by
      by=$(grep -m1 -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' "$scratch/run.log" | sed 's/.*\] //')
      verdict="killed${by:+ by $by}"
      killed=$((killed + 1))
    else
      verdict="SURVIVED"
      survived=$((survived + 1))
      survivors="$survivors $name"
    fi
  fi
  restore
  printf '%-22s %-40s %s\n' "$name" "$verdict" "$desc" | tee -a "$result.tmp"
}

name="" desc="" file="" find="" repl="" have_find=0 have_repl=0
flush() {
  run_fault "$name" "$desc" "$file" "$find" "$repl"
  name="" desc="" file="" find="" repl="" have_find=0 have_repl=0
}
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    "## "*)
      flush
      rest=${line#"## "}
      name=${rest%% *}
      desc=${rest#* }
      ;;
    "file: "*) file=${line#"file: "} ;;
    "find: "* | "find:")
      part=${line#"find:"}; part=${part#" "}
      if [ $have_find -eq 1 ]; then find+=$'\n'"$part"; else find=$part; have_find=1; fi
      ;;
    "repl: "* | "repl:")
      part=${line#"repl:"}; part=${part#" "}
      if [ $have_repl -eq 1 ]; then repl+=$'\n'"$part"; else repl=$part; have_repl=1; fi
      ;;
  esac
done < "$faults"
flush

# Leave the binary built from the unchanged sources.
cmake --build "$build" -j2 --target qmxml_tests qmxml_cli >/dev/null 2>&1
{
  echo "total $total: killed $killed, survived $survived, not compilable $broken"
  [ -z "$survivors" ] || echo "survived:$survivors"
} | tee -a "$result.tmp"
mv "$result.tmp" "$result"
