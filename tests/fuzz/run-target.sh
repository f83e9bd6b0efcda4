#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS over its seed folder:
#   run-target.sh [--fresh] BINARY SEEDS WORKDIR SECONDS [libFuzzer options...]
# New inputs are kept in WORKDIR/corpus (never in the seed folder; --fresh starts
# it empty), a crashing input as WORKDIR/crash-* (then the run fails); the
# dictionary SEEDS.dict is used when there is one.
set -euo pipefail
fresh=0
if [ "${1:-}" = "--fresh" ]; then fresh=1; shift; fi
bin=$1 seeds=$2 work=$3 seconds=$4
shift 4
[ "$fresh" = 1 ] && rm -rf "$work/corpus"
mkdir -p "$work/corpus"
args=(-max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/")
[ -f "$seeds.dict" ] && args+=(-dict="$seeds.dict")
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
exec "$bin" "${args[@]}" "$@" "$work/corpus" "$seeds"
