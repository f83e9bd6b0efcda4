#!/usr/bin/env bash
# Builds everything and runs the whole test suite through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"
# Formatting first: an unformatted file fails the run with the list of files.
"$root/scripts/format.sh" --check
"$root/scripts/build.sh"
cd "${VARNELO_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j"$(nproc)" "$@"
