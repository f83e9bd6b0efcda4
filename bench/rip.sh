#!/usr/bin/env bash
# Ripping a generated 10-track, 40-minute disc image to MP3 128 kbps:
#   varnelo-cli cd rip (reads with paranoia and encodes tracks side by side)
#   against cd-paranoia then lame, one track after the other (the same paranoia
#   checks: full verification; the same LAME settings).
# Usage: bench/rip.sh [path/to/varnelo-cli] [runs]   (default build/bin/varnelo-cli, 2 runs)
# Each figure is the best of the runs: wall clock, user+system CPU, peak memory.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$here/build/bin/varnelo-cli}")"
runs="${2:-2}"
[[ -x "$cli" ]] || { echo "varnelo-cli not found at $cli (build it: ./scripts/build.sh)" >&2; exit 2; }
for tool in sox lame cd-paranoia /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Generating a 10-track, 40-minute disc image (a tone and pink noise per track)..." >&2
: > disc.bin
{
    echo 'PERFORMER "Bench"'
    echo 'TITLE "Forty Minutes"'
    echo 'FILE "disc.bin" BINARY'
} > disc.cue
offset=0
for t in $(seq 1 10); do
    sox -n -r 44100 -b 16 -c 2 -e signed -L -t raw track.raw synth 240 sine $((200 + 70 * t)) pinknoise vol 0.4
    cat track.raw >> disc.bin
    printf '  TRACK %02d AUDIO\n    TITLE "Track %d"\n    INDEX 01 %02d:%02d:%02d\n' \
        "$t" "$t" $((offset / 4500)) $((offset / 75 % 60)) $((offset % 75)) >> disc.cue
    offset=$((offset + $(stat -c %s track.raw) / 2352))
done
rm track.raw

# The options as the dialog writes them: MP3 128 kbps, quality 5, stereo;
# secure reading (every sector verified), as cd-paranoia reads by default.
printf '[mp3]\nbitrate=9\nchannel=1\nfrequency=7\nquality=5\n[Format]\nmode=2\nretries=1\nstop=0\n' > rip.ini

anchor() {
    for t in $(seq 1 10); do
        cd-paranoia -q -d disc.cue -w "$t" anchor.wav
        lame --quiet --noreplaygain -b 128 -q 5 -m s --lowpass -1 --highpass -1 anchor.wav "anchor$t.mp3"
    done
    rm -f anchor.wav
}

ours() {
    rm -rf out
    "$cli" cd rip --device disc.cue --to mp3 --settings rip.ini --out out --accuraterip off
}

source "$here/bench/measure.sh"
export -f anchor ours
export cli

echo "Running ($runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))..." >&2
read -r ow oc orss < <(measure bash -c ours)
read -r aw ac arss < <(measure bash -c anchor)

echo
echo "40 minutes of audio in 10 tracks to MP3 128 kbps; seconds (best of $runs), memory in MiB (peak RSS)"
printf '%-34s %8s %8s %8s\n' "" "wall" "cpu" "MiB"
awk -v w="$ow" -v c="$oc" -v m="$orss" 'BEGIN { printf "%-34s %8.2f %8.2f %8.1f\n", "varnelo-cli cd rip", w, c, m/1024 }'
awk -v w="$aw" -v c="$ac" -v m="$arss" 'BEGIN { printf "%-34s %8.2f %8.2f %8.1f\n", "cd-paranoia then lame, per track", w, c, m/1024 }'
awk -v ow="$ow" -v aw="$aw" 'BEGIN { printf "ratio (wall): %.2f   (budget 0.60)\n", ow/aw }'
echo
echo "Files: ours $(ls out/*.mp3 | wc -l) MP3 ($(du -cb out/*.mp3 | tail -1 | cut -f1) bytes), anchor $(ls anchor*.mp3 | wc -l) MP3 ($(du -cb anchor*.mp3 | tail -1 | cut -f1) bytes)"
