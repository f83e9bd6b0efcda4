#!/usr/bin/env bash
# Conversion speed and memory of varnelo-cli against the reference tools on the
# same generated 10-minute input and the same settings:
#   WAV -> MP3 128 kbps CBR, quality 5      vs  lame
#   WAV -> OGG quality 3                    vs  oggenc -q 3
#   MP3 -> WAV 44100 Hz 16-bit stereo       vs  ffmpeg
#   WAV -> FLAC level 5                     vs  flac -5
#   WAV -> Opus 128 kbps VBR, complexity 10 vs  opusenc --bitrate 128 --vbr --comp 10
#   WAV -> FLAC with --replaygain track     vs  the same without (budget: 5 % more CPU)
#   WAV -> MP3 with --replaygain track      vs  the same without (budget: 5 % more CPU)
#   tags gain on the FLAC                   vs  ffmpeg's ebur128 filter (sample peak) on it
#   WAV -> MP3 as above with --jobs 2       vs  lame (one file on both cores; budget 0.55 x
#                                               lame's wall time, run in pairs, median)
# Usage: bench/convert.sh [path/to/varnelo-cli] [runs] [pairs]
#        (default build/bin/varnelo-cli, 3 runs, 5 pairs; ONE_FILE_ONLY=1 runs the pairs alone)
# Each figure is the best of the runs (wall clock and user+system CPU); peak
# memory is the maximum resident set size of that tool.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
default_cli="$here/build/bin/varnelo-cli"
[[ -x "$default_cli" ]] || default_cli="$here/build/cli/varnelo-cli"
cli="$(realpath "${1:-$default_cli}")"
runs="${2:-3}"
pairs="${3:-5}"
[[ -x "$cli" ]] || { echo "varnelo-cli not found at $cli (build it: cmake --build build --target varnelo-cli)" >&2; exit 2; }
for tool in sox lame oggenc ffmpeg flac opusenc /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Generating 10 minutes of 44100 Hz 16-bit stereo (pink noise and a tone)..." >&2
sox -n -r 44100 -b 16 -c 2 input.wav synth 600 pinknoise sine 440 vol 0.4

# Settings files as the options dialog writes them.
printf '[mp3]\nbitrate=9\nchannel=1\nfrequency=7\nquality=5\n' > mp3.ini
printf '[ogg]\nfrequency=8\nchannel=1\noggquality=1\nquality=300\n' > ogg.ini
printf '[wav]\nmode=0\n' > wav.ini
printf '[flac]\nbits=0\nlevel=5\n' > flac.ini
printf '[opus]\nbitrate=128\nmode=0\ncomplexity=10\n' > opus.ini

source "$here/bench/measure.sh"

row() {  # label ours(wall cpu rss) reference(wall cpu rss) budget
    local label=$1 ow=$2 oc=$3 orss=$4 rw=$5 rc=$6 rrss=$7 budget=$8
    awk -v l="$label" -v ow="$ow" -v oc="$oc" -v om="$orss" -v rw="$rw" -v rc="$rc" -v rm="$rrss" -v b="$budget" 'BEGIN {
        printf "%-14s %8.2f %8.2f %8.1f | %8.2f %8.2f %8.1f | %6.2f %6.2f  (budget %s)\n",
            l, ow, oc, om/1024, rw, rc, rm/1024, ow/rw, oc/rc, b }'
}

if [[ -z "${ONE_FILE_ONLY:-}" ]]; then
echo "Running ($runs runs each)..." >&2
mkdir -p out out-gain
read -r mw mc mr < <(measure "$cli" convert --to mp3 --jobs 1 --settings mp3.ini --out out input.wav)
read -r lw lc lr < <(measure lame --quiet --noreplaygain -b 128 -q 5 -m s --lowpass -1 --highpass -1 input.wav lame.mp3)
read -r ow oc orr < <(measure "$cli" convert --to ogg --jobs 1 --settings ogg.ini --out out input.wav)
read -r vw vc vr < <(measure oggenc --quiet -q 3 -o oggenc.ogg input.wav)
read -r dw dc dr < <(measure "$cli" convert --to wav --jobs 1 --settings wav.ini --out out lame.mp3)
read -r fw fc fr < <(measure ffmpeg -v error -y -i lame.mp3 -c:a pcm_s16le ffmpeg.wav)
read -r cw cc cr < <(measure "$cli" convert --to flac --jobs 1 --settings flac.ini --out out input.wav)
read -r xw xc xr < <(measure flac --silent -f -5 -o flac.flac input.wav)
# Both resample 44.1 kHz to Opus's 48 kHz: ours with FFmpeg's resampler, opusenc with its own.
read -r pw pc pr < <(measure "$cli" convert --to opus --jobs 1 --settings opus.ini --out out input.wav)
read -r ew ec er < <(measure opusenc --quiet --bitrate 128 --vbr --comp 10 input.wav opusenc.opus)
read -r gw gc gr < <(measure "$cli" convert --to flac --replaygain track --jobs 1 --settings flac.ini --out out input.wav)
read -r hw hc hr < <(measure "$cli" convert --to mp3 --replaygain track --jobs 1 --settings mp3.ini --out out-gain input.wav)
# Both decode the FLAC and measure its loudness and peak; ours also writes the tags (the first run;
# the later ones find them in place).
read -r tw tc tr < <(measure "$cli" tags gain flac.flac)
read -r aw ac ar < <(measure ffmpeg -v error -nostats -i flac.flac -af ebur128=peak=sample -f null -)

echo
echo "10 minutes of audio; times in seconds (best of $runs), memory in MiB (peak RSS)"
printf '%-14s %8s %8s %8s | %8s %8s %8s | %6s %6s\n' "" "wall" "cpu" "MiB" "ref wall" "ref cpu" "ref MiB" "x wall" "x cpu"
row "WAV->MP3"  "$mw" "$mc" "$mr" "$lw" "$lc" "$lr" "1.10 x lame"
row "WAV->OGG"  "$ow" "$oc" "$orr" "$vw" "$vc" "$vr" "1.10 x oggenc"
row "MP3->WAV"  "$dw" "$dc" "$dr" "$fw" "$fc" "$fr" "2 x ffmpeg"
row "WAV->FLAC" "$cw" "$cc" "$cr" "$xw" "$xc" "$xr" "1.10 x flac -5"
row "WAV->Opus" "$pw" "$pc" "$pr" "$ew" "$ec" "$er" "1.10 x opusenc"
row "FLAC+gain"  "$gw" "$gc" "$gr" "$cw" "$cc" "$cr" "1.05 x without"
row "MP3+gain"   "$hw" "$hc" "$hr" "$mw" "$mc" "$mr" "1.05 x without"
row "tags gain"  "$tw" "$tc" "$tr" "$aw" "$ac" "$ar" "1.10 x ffmpeg ebur128"
echo
echo "Output sizes (bytes): ours mp3 $(stat -c %s out/N_input.mp3), lame $(stat -c %s lame.mp3);" \
     "ours ogg $(stat -c %s out/N_input.ogg), oggenc $(stat -c %s oggenc.ogg);" \
     "ours wav $(stat -c %s out/N_lame.wav), ffmpeg $(stat -c %s ffmpeg.wav);" \
     "ours flac $(stat -c %s out/N_input.flac), flac $(stat -c %s flac.flac);" \
     "ours opus $(stat -c %s out/N_input.opus), opusenc $(stat -c %s opusenc.opus)"
fi

# One file on both cores against lame on one: ours then lame back to back, so
# each pair sees the same load; medians of the walls and of the ratios. The
# budget assumes both cores free, so the load is printed beside it.
echo "Running $pairs pairs of --jobs 2 and lame..." >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
ratios=() ours=() theirs=() ourcpu=() theircpu=() peak=0
for ((p = 0; p < pairs; p++)); do
    read -r jw jc jr < <(runs=1 measure "$cli" convert --to mp3 --jobs 2 --settings mp3.ini --out out input.wav)
    read -r qw qc qr < <(runs=1 measure lame --quiet --noreplaygain -b 128 -q 5 -m s --lowpass -1 --highpass -1 input.wav lame.mp3)
    ours+=("$jw") theirs+=("$qw") ourcpu+=("$jc") theircpu+=("$qc")
    ratios+=("$(awk -v a="$jw" -v b="$qw" 'BEGIN { printf "%.3f", a / b }')")
    ((jr > peak)) && peak=$jr
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "One 10-minute file, WAV->MP3 128 kbps CBR q5: --jobs 2 against lame, $pairs pairs"
echo "  ours wall:  ${ours[*]}  (median $(median "${ours[@]}") s, peak $((peak / 1024)) MiB)"
echo "  lame wall:  ${theirs[*]}  (median $(median "${theirs[@]}") s)"
echo "  ratio:      ${ratios[*]}  (median $(median "${ratios[@]}"), budget 0.55)"
echo "  cpu:        ours median $(median "${ourcpu[@]}") s, lame $(median "${theircpu[@]}") s"
echo "  load average before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
