#!/usr/bin/env bash
# Builds everything and runs the whole test suite through CTest, then the
# sanitizer stage (below). Arguments go to both ctest runs (-R, -L, ...).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"
# Formatting first: an unformatted file fails the run with the list of files.
"$root/scripts/format.sh" --check
"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
(cd "${VARNELO_BUILD_DIR:-$root/build}" && ctest --output-on-failure -j"$(nproc)" "$@")

# Sanitizer stage: the same suite built with clang, AddressSanitizer and UBSan
# into build-sanitize/: the first error ends the process that made it, leaks are
# checked (tests/support/lsan.supp names the leaks of libraries we do not build),
# and every fuzz target runs a few seconds (tests/fuzz). VARNELO_SANITIZER_STAGE=0
# skips the stage.
[ "${VARNELO_SANITIZER_STAGE:-1}" = 0 ] && exit 0
echo "== sanitizer stage (AddressSanitizer, UBSan, fuzz targets)"
"$root/scripts/sanitizer-build.sh"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp:print_suppressions=0"
cd "${VARNELO_SANITIZE_DIR:-$root/build-sanitize}"
ctest --output-on-failure -j"$(nproc)" "$@"
