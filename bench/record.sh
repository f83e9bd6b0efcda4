#!/usr/bin/env bash
# CPU and memory of recording a 128 kbps MP3 station to MP3 for 60 s, side by
# side with ffmpeg on the same local ICY server in the same run:
#   re-encoded   varnelo-cli record --to mp3           vs  ffmpeg -c:a libmp3lame -b:a 128k
#   as broadcast varnelo-cli record --as-broadcast     vs  ffmpeg -c copy
# Both encode with LAME at quality 5 (the options' default; ffmpeg's
# -compression_level 5), CBR 128 kbps.
# Usage: bench/record.sh [path/to/varnelo-cli] [seconds]   (default build/bin/varnelo-cli, 60 s)
# CPU is user+system time of the whole process; "% core" is that over the
# recorded seconds. Peak memory is the maximum resident set size.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$here/build/bin/varnelo-cli}")"
seconds="${2:-60}"
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

# measure OUTPUT_GLOB command...: prints "cpu_seconds maxrss_kib audio_seconds"
measure() {
    local output=$1
    shift
    /usr/bin/time -v -o time.txt "$@" >run.out 2>run.err || { cat run.err >&2; echo "failed: $*" >&2; exit 1; }
    local cpu rss audio file
    cpu=$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {print u+s}' time.txt)
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
    file=$(ls $output | head -n 1)
    audio=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$file")
    echo "$cpu $rss $audio"
}

row() {  # label cpu rss audio ref_cpu ref_rss ref_audio budget
    awk -v l="$1" -v c="$2" -v m="$3" -v a="$4" -v rc="$5" -v rm="$6" -v ra="$7" -v b="$8" 'BEGIN {
        printf "%-13s %7.2f %6.2f%% %7.1f %6.1f | %7.2f %6.2f%% %7.1f %6.1f | %6.2f  (%s)\n",
            l, c, 100*c/a, m/1024, a, rc, 100*rc/ra, rm/1024, ra, (c/a)/(rc/ra), b }'
}

echo "Recording $seconds s four times (ours and ffmpeg, re-encoded and as broadcast)..." >&2
mkdir -p ours broadcast
read -r oc om oa < <(measure 'ours/*.mp3' "$cli" record "$url" --seconds "$seconds" --to mp3 --settings mp3.ini --out ours)
read -r fc fm fa < <(measure ffmpeg.mp3 ffmpeg -v error -y -i "$url" -t "$seconds" -c:a libmp3lame -b:a 128k \
    -compression_level 5 ffmpeg.mp3)
read -r bc bm ba < <(measure 'broadcast/*.mp3' "$cli" record "$url" --seconds "$seconds" --as-broadcast --out broadcast)
read -r cc cm ca < <(measure copy.mp3 ffmpeg -v error -y -i "$url" -t "$seconds" -c copy copy.mp3)

echo
echo "Recording a 128 kbps MP3 station to MP3; CPU seconds over the audio recorded, memory in MiB (peak RSS)"
printf '%-13s %7s %7s %7s %6s | %7s %7s %7s %6s | %6s\n' "" "cpu" "% core" "MiB" "audio" \
    "ffmpeg" "% core" "MiB" "audio" "x cpu"
row "re-encoded" "$oc" "$om" "$oa" "$fc" "$fm" "$fa" "budget 1.0 x ffmpeg -c:a libmp3lame"
row "as broadcast" "$bc" "$bm" "$ba" "$cc" "$cm" "$ca" "budget 2 x ffmpeg -c copy"
