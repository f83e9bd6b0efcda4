#!/usr/bin/env bash
# CPU and memory of recording a 128 kbps MP3 station to MP3 for 60 s, side by
# side with ffmpeg on the same local ICY server in the same run:
#   re-encoded   varnelo-cli record --to mp3           vs  ffmpeg -c:a libmp3lame -b:a 128k
#   as broadcast varnelo-cli record --as-broadcast     vs  ffmpeg -c copy
# Both encode with LAME at quality 5 (the options' default; ffmpeg's
# -compression_level 5), CBR 128 kbps.
# Usage: bench/record.sh [path/to/varnelo-cli] [seconds] [pairs]
#   (default build/bin/varnelo-cli, 60 s, 3 pairs)
# Each pair records with both programs at the same time from the same server,
# so both see the same machine and the same station; the table gives the
# median pair and each pair's ratio.
# CPU is user+system time of the whole process; "% core" is that over the
# recorded seconds. Peak memory is the maximum resident set size.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$here/build/bin/varnelo-cli}")"
seconds="${2:-60}"
pairs="${3:-3}"
[[ -x "$cli" ]] || { echo "varnelo-cli not found at $cli (build it: ./scripts/build.sh)" >&2; exit 2; }
for tool in sox lame ffmpeg ffprobe python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work="$(mktemp -d)"
server=""
cleanup() {
    [[ -n "$server" ]] && kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

echo "Making the station: 3 minutes of music-like sound at 128 kbps..." >&2
sox -n -r 44100 -b 16 -c 2 source.wav synth 180 pinknoise sine 440 vol 0.4
lame --quiet --noreplaygain -b 128 -q 5 --nohist -t source.wav station.mp3
python3 "$here/bench/icy_server.py" station.mp3 --rate 16000 --metaint 16000 --title-every 3600 >port.txt &
server=$!
for _ in $(seq 50); do [[ -s port.txt ]] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat port.txt)/"
printf '[mp3]\nbitrate=9\nchannel=1\nfrequency=7\nquality=5\n' > mp3.ini
load=$(cut -d' ' -f1-3 /proc/loadavg)

# measure TAG OUTPUT_GLOB command...: writes "cpu_seconds maxrss_kib audio_seconds" to TAG.txt
measure() {
    local tag=$1 output=$2
    shift 2
    /usr/bin/time -v -o "$tag.time" "$@" >"$tag.out" 2>"$tag.err" || { cat "$tag.err" >&2; echo "failed: $*" >&2; exit 1; }
    local cpu rss audio file
    cpu=$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {print u+s}' "$tag.time")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$tag.time")
    file=$(ls $output | head -n 1)
    audio=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$file")
    echo "$cpu $rss $audio" >"$tag.txt"
}

# pair LABEL OURS_ARGS... -- FFMPEG_ARGS...: both at once, ours started first in
# odd pairs and second in even ones; appends "ours ffmpeg" lines to LABEL.pairs
pair() {
    local label=$1 n=$2
    shift 2
    local ours=() theirs=() first
    while [[ $1 != -- ]]; do ours+=("$1"); shift; done
    shift
    theirs=("$@")
    rm -rf out && mkdir out
    if (( n % 2 )); then
        measure ours 'out/*.mp3' "$cli" "${ours[@]}" --out out &
        first=$!
        sleep 0.2
        measure theirs theirs.mp3 ffmpeg -v error -y -i "$url" -t "$seconds" "${theirs[@]}" theirs.mp3
    else
        measure theirs theirs.mp3 ffmpeg -v error -y -i "$url" -t "$seconds" "${theirs[@]}" theirs.mp3 &
        first=$!
        sleep 0.2
        measure ours 'out/*.mp3' "$cli" "${ours[@]}" --out out
    fi
    wait "$first"
    echo "$(cat ours.txt) $(cat theirs.txt)" >>"$label.pairs"
}

# report LABEL BUDGET: the median pair by ratio, then every pair's ratio
report() {
    sort -t' ' -k7,7g <(awk '{print $0, ($1/$3)/($4/$6)}' "$1.pairs") >"$1.sorted"
    local median ratios
    median=$(awk -v n="$(wc -l <"$1.sorted")" 'NR == int((n + 1) / 2)' "$1.sorted")
    ratios=$(awk '{printf "%s%.2f", (NR > 1 ? " " : ""), $7}' "$1.sorted")
    read -r c m a rc rm ra x <<<"$median"
    awk -v l="$1" -v c="$c" -v m="$m" -v a="$a" -v rc="$rc" -v rm="$rm" -v ra="$ra" -v b="$2" -v r="$ratios" 'BEGIN {
        printf "%-13s %7.2f %6.2f%% %7.1f %6.1f | %7.2f %6.2f%% %7.1f %6.1f | %6.2f  (%s; pairs %s)\n",
            l, c, 100*c/a, m/1024, a, rc, 100*rc/ra, rm/1024, ra, (c/a)/(rc/ra), b, r }'
}

echo "Recording $seconds s in $pairs pairs, ours beside ffmpeg (re-encoded, then as broadcast)..." >&2
for n in $(seq "$pairs"); do
    pair re-encoded "$n" record "$url" --seconds "$seconds" --to mp3 --settings mp3.ini -- \
        -c:a libmp3lame -b:a 128k -compression_level 5
    pair as-broadcast "$n" record "$url" --seconds "$seconds" --as-broadcast -- -c copy
done

echo
echo "Recording a 128 kbps MP3 station to MP3; CPU seconds over the audio recorded, memory in MiB (peak RSS)"
echo "(median of $pairs pairs, each pair recorded at the same time from the same server; load before: $load)"
printf '%-13s %7s %7s %7s %6s | %7s %7s %7s %6s | %6s\n' "" "cpu" "% core" "MiB" "audio" \
    "ffmpeg" "% core" "MiB" "audio" "x cpu"
report re-encoded "budget 1.0 x ffmpeg -c:a libmp3lame"
report as-broadcast "budget 2 x ffmpeg -c copy"
