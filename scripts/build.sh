#!/usr/bin/env bash
# Configures and builds Varnelo into build/ (or $VARNELO_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"
build="${VARNELO_BUILD_DIR:-$root/build}"
launcher=""
if command -v ccache >/dev/null 2>&1; then
  # Several checkouts of the tree share one cache: paths relative to each checkout.
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher ${VARNELO_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -j"$(nproc)" "$@"
