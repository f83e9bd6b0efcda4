#!/usr/bin/env bash
# Builds Varnelo if needed and starts it (arguments go to the program).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" --target varnelo
exec "${VARNELO_BUILD_DIR:-$root/build}/bin/varnelo" "$@"
