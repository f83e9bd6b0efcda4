#!/usr/bin/env bash
# Configures and builds the sanitizer build folder, build-sanitize/ (or
# $VARNELO_SANITIZE_DIR): clang with AddressSanitizer and UBSan, and the
# libFuzzer targets of tests/fuzz. Arguments go to cmake --build (--target ...).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export VARNELO_BUILD_DIR="${VARNELO_SANITIZE_DIR:-$root/build-sanitize}"
export VARNELO_CMAKE_ARGS="-DVARNELO_SANITIZE=address -DVARNELO_FUZZ=ON"
export CC=clang-14 CXX=clang++-14
exec "$root/scripts/build.sh" "$@"
