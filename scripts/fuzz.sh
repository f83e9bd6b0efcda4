#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS, building it first when needed:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options, e.g. -jobs=2 -max_len=65536]
#   scripts/fuzz.sh --list
# Targets live in tests/fuzz (TARGET.cpp, seeds in TARGET/). The build folder is
# the sanitizer one of the test command (build-sanitize/). New inputs and any
# crashing input land in build-sanitize/fuzz/TARGET/; the seed folder is only
# read. Replay a crash with: build-sanitize/bin/fuzz_TARGET CRASH_FILE
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets() { sed -n 's/^varnelo_fuzz_target(\([a-z0-9_]*\).*/\1/p' "$root/tests/fuzz/CMakeLists.txt"; }
if [ "${1:-}" = "--list" ]; then targets; exit 0; fi
if [ $# -lt 2 ] || ! targets | grep -qx "$1" || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options]   (targets: $(targets | tr '\n' ' '))" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
build="${VARNELO_SANITIZE_DIR:-$root/build-sanitize}"
"$root/scripts/sanitizer-build.sh" --target "fuzz_$target"
exec "$root/tests/fuzz/run-target.sh" "$build/bin/fuzz_$target" "$root/tests/fuzz/$target" \
  "$build/fuzz/$target" "$seconds" "$@"
