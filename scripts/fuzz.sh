#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS, building it first when needed:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options, e.g. -jobs=2 -max_len=65536]
#   scripts/fuzz.sh --until RUNS TARGET [PIECE_SECONDS]
#   scripts/fuzz.sh --list
# --until runs the target in pieces of PIECE_SECONDS (600) until the pieces have
# executed RUNS inputs in all, each piece going on from the corpus the last one
# left: a libFuzzer process slows down as it runs (ASan's bookkeeping grows; one
# target fell from 1 800 to 540 inputs a second within 40 minutes), a fresh one
# does not. Each piece's log is build-sanitize/fuzz/TARGET/piece.log.
# Targets live in tests/fuzz (TARGET.cpp, seeds in TARGET/). The build folder is
# the sanitizer one of the test command (build-sanitize/). New inputs and any
# crashing input land in build-sanitize/fuzz/TARGET/; the seed folder is only
# read. Replay a crash with: build-sanitize/bin/fuzz_TARGET CRASH_FILE
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets() { sed -n 's/^varnelo_fuzz_target(\([a-z0-9_]*\).*/\1/p' "$root/tests/fuzz/CMakeLists.txt"; }
if [ "${1:-}" = "--list" ]; then targets; exit 0; fi
until_runs=
if [ "${1:-}" = "--until" ] && [[ "${2:-}" =~ ^[0-9]+$ ]] && [ $# -ge 3 ]; then
  until_runs=$2
  set -- "$3" "${4:-600}"
fi
if [ $# -lt 2 ] || ! targets | grep -qxF -- "$1" || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options]" >&2
  echo "       scripts/fuzz.sh --until RUNS TARGET [PIECE_SECONDS]   (targets: $(targets | tr '\n' ' '))" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
build="${VARNELO_SANITIZE_DIR:-$root/build-sanitize}"
"$root/scripts/sanitizer-build.sh" --target "fuzz_$target"
if [ -n "$until_runs" ]; then
  total=0 piece=0
  log="$build/fuzz/$target/piece.log"
  mkdir -p "$build/fuzz/$target"
  while [ "$total" -lt "$until_runs" ]; do
    piece=$((piece + 1))
    status=0
    "$root/tests/fuzz/run-target.sh" "$build/bin/fuzz_$target" "$root/tests/fuzz/$target" \
      "$build/fuzz/$target" "$seconds" -runs=$((until_runs - total)) "$@" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    total=$((total + ${runs:-0}))
    echo "$target: piece $piece ran ${runs:-0} inputs (${rate:-?}/s), $total of $until_runs in all"
    if [ "$status" -ne 0 ] || [ "${runs:-0}" -eq 0 ]; then
      echo "$target: the fuzzer stopped with status $status; see $log" >&2
      exit 1
    fi
  done
  exit 0
fi
exec "$root/tests/fuzz/run-target.sh" "$build/bin/fuzz_$target" "$root/tests/fuzz/$target" \
  "$build/fuzz/$target" "$seconds" "$@"
