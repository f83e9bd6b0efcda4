#!/usr/bin/env bash
# Formats every tracked C++ file with the root .clang-format, or with --check
# lists the files that are not formatted and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ "${1:-}" = "--check" ]; then
  bad=$(clang-format --style=file --dry-run "${files[@]}" 2>&1 \
        | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
  if [ -n "$bad" ]; then
    echo "not formatted (run scripts/format.sh):" >&2
    printf '  %s\n' $bad >&2
    exit 1
  fi
  exit 0
fi
clang-format --style=file -i "${files[@]}"
