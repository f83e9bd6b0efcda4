#!/usr/bin/env bash
# Configures and builds Varnelo into build/ (or $VARNELO_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"
build="${VARNELO_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VARNELO_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -j"$(nproc)" "$@"
