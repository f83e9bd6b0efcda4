#!/usr/bin/env bash
# Playback on a busy machine: 60 s of an MP3 tone played by varnelo-cli play
# through the program's Qt Multimedia output into a sound server of the
# bench's own (PulseAudio, null sink, private runtime folder) while both cores
# are kept busy; the sink's monitor is captured and every gap (a silence of
# 1 ms or more inside the tone) counted. paplay plays the same tone as WAV
# under the same load as the anchor.
# Usage: bench/playback.sh [path/to/varnelo-cli] [seconds]   (default build/bin/varnelo-cli, 60)
# Budget: no gap; playback under 3 % of one core.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$here/build/bin/varnelo-cli}")"
seconds="${2:-60}"
[[ -x "$cli" ]] || { echo "varnelo-cli not found at $cli (run scripts/build.sh)" >&2; exit 2; }
for tool in pulseaudio pactl parec paplay sox lame python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

export HOME="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work" PULSE_SERVER="unix:$work/pulse.sock"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-null-sink sink_name=bench rate=44100" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" >server.log 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null || { cat server.log >&2; exit 1; }

echo "Generating $seconds s of a 1 kHz tone (WAV and 128 kbps MP3)..." >&2
sox -n -r 44100 -b 16 -c 2 tone.wav synth "$seconds" sine 1000 vol 0.5
lame --quiet -b 128 tone.wav tone.mp3

# gaps FILE: silences of 1 ms or more between the first and the last sound.
gaps() {
    python3 - "$1" <<'PY'
import array, sys
d = array.array('h'); d.frombytes(open(sys.argv[1], 'rb').read()); left = d[0::2]
th = 300
i = 0
while i < len(left) and abs(left[i]) < th: i += 1
j = len(left) - 1
while j > i and abs(left[j]) < th: j -= 1
gaps = []; run = 0
for k in range(i, j + 1):
    if abs(left[k]) < th:
        run += 1
    else:
        if run >= 44: gaps.append(run)
        run = 0
print("%d %.1f %.1f %.2f" % (len(gaps), max(gaps or [0]) / 44.1, sum(gaps) / 44.1, (j - i) / 44100.0))
PY
}

# run NAME command...: plays while both cores are busy; prints "gaps longest_ms total_ms sound_s cpu_s".
run() {
    local name=$1; shift
    local busy=()
    for _ in 1 2; do (while :; do :; done) & busy+=($!); done
    pids+=("${busy[@]}")
    parec -d bench.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 "$name.raw" &
    local capture=$!
    pids+=($capture)
    sleep 0.5
    /usr/bin/time -f "%U %S" -o "$name.time" "$@" >"$name.out" 2>"$name.err" || { cat "$name.err" >&2; exit 1; }
    sleep 1
    kill "${busy[@]}" "$capture"
    wait "${busy[@]}" "$capture" 2>/dev/null || true
    local cpu
    cpu=$(awk '{print $1 + $2}' "$name.time")
    echo "$(gaps "$name.raw") $cpu"
}

echo "Playing $seconds s twice, both cores busy (load before: $(cut -d' ' -f1-3 /proc/loadavg))..." >&2
read -r vg vl vt vs vc < <(run varnelo "$cli" play tone.mp3)
read -r pg pl pt ps pc < <(run paplay paplay tone.wav)

printf '%-22s %6s %12s %12s %9s %8s\n' "player" "gaps" "longest ms" "total ms" "sound s" "cpu %"
awk -v n="varnelo-cli play (MP3)" -v g="$vg" -v l="$vl" -v t="$vt" -v s="$vs" -v c="$vc" \
    'BEGIN { printf "%-22s %6d %12.1f %12.1f %9.2f %8.2f\n", n, g, l, t, s, 100 * c / s }'
awk -v n="paplay (WAV)" -v g="$pg" -v l="$pl" -v t="$pt" -v s="$ps" -v c="$pc" \
    'BEGIN { printf "%-22s %6d %12.1f %12.1f %9.2f %8.2f\n", n, g, l, t, s, 100 * c / s }'
echo "budget: no gap; under 3 % of one core"
