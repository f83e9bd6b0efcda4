#!/usr/bin/env bash
# Folder scan and start-up benchmarks.
#   bench/scan.sh [BUILD_DIR]
# 1. `varnelo-cli scan` on folders of 1 000, 10 000 and 100 000 tagged MP3s
#    (one tiny lame-encoded file, 344 bytes, copied and given its own ID3v1 tag
#    per copy), into an empty library; then the largest again into the library
#    that holds them. Growth should be linear: the time per file is printed.
# 2. Start-up with 10 000 and with 100 000 records in music.dat and as many in
#    radio.dat: the program runs under xvfb-run with --quit-after-startup and
#    reports the time from launch to the end of its start-up sequence.
# SCAN_SIZES overrides the folder sizes (e.g. SCAN_SIZES="1000 10000").
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-${VARNELO_BUILD_DIR:-$root/build}}"
cli="$build/bin/varnelo-cli"
app="$build/bin/varnelo"
for tool in lame sox python3 xvfb-run; do
    command -v "$tool" >/dev/null || { echo "bench/scan.sh needs $tool" >&2; exit 1; }
done
[ -x "$cli" ] && [ -x "$app" ] || { echo "build varnelo and varnelo-cli first ($build)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

sox -n -r 8000 -c 1 "$work/tone.wav" synth 0.05 sine 440
lame --quiet --id3v1-only --tt x --ta x --tl x "$work/tone.wav" "$work/tone.mp3"

# COUNT copies, 1 artist per 10 files and 1 album per 4, each with its own ID3v1 tag.
make_folder() {
    python3 - "$work/tone.mp3" "$1" "$2" <<'PY'
import os, sys
src, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
body = open(src, 'rb').read()[:-128]
os.makedirs(folder, exist_ok=True)
def field(text, size=30):
    return text.encode()[:size].ljust(size, b'\0')
for i in range(count):
    tag = b'TAG' + field('Title %05d' % i) + field('Artist %04d' % (i // 10)) + \
          field('Album %04d' % (i // 4)) + b'2001' + b'\0' * 30 + bytes([i % 148])
    with open(os.path.join(folder, 'track%05d.mp3' % i), 'wb') as f:
        f.write(body + tag)
PY
}

seconds() { python3 -c 'import time; print("%.6f" % time.time())'; }

# Best of three runs, each into a fresh data folder unless one is given.
scan() { # label media-folder [data-folder]
    local best="" t0 t1 out
    for run in 1 2 3; do
        local data="${3:-$work/data-$RANDOM$RANDOM}"
        t0=$(seconds)
        out=$("$cli" scan --data-folder "$data" "$2")
        t1=$(seconds)
        best=$(python3 -c "d = $t1 - $t0; b = '$best'; print(d if not b else min(d, float(b)))")
    done
    local files="${4:-0}"
    if [ "$files" -gt 0 ]; then
        printf '%-34s %8.3f s  %6.1f us/file   (%s)\n' "$1" "$best" \
            "$(python3 -c "print($best * 1e6 / $files)")" "$out"
    else
        printf '%-34s %8.3f s   (%s)\n' "$1" "$best" "$out"
    fi
}

echo "== varnelo-cli scan (best of 3)"
mkdir -p "$work/media0"
scan "empty folder (fixed cost)" "$work/media0"
sizes="${SCAN_SIZES:-1000 10000 100000}"
largest=0
for n in $sizes; do
    make_folder "$work/media$n" "$n"
    scan "$n files, empty library" "$work/media$n" "" "$n"
    "$cli" scan --data-folder "$work/data$n" "$work/media$n" >/dev/null
    largest=$n
done
scan "$largest files, all already known" "$work/media$largest" "$work/data$largest" "$largest"

runtime="$work/xdg"; mkdir -m 700 "$runtime"
startup() { # label folder runs
    local all=""
    for i in $(seq "$3"); do
        all="$all $( (cd "$2" && XDG_RUNTIME_DIR="$runtime" xvfb-run -a ./varnelo --quit-after-startup 2>&1 |
            awk '/^startup-ms/ {print $2}') || true)"
    done
    printf '%-34s %s ms  (median of:%s)\n' "$1" \
        "$(python3 -c "import statistics, sys; print(statistics.median(int(x) for x in sys.argv[1:]))" $all)" "$all"
}

echo "== start-up (launch to the end of the start-up sequence)"
empty="$work/run0"; mkdir -p "$empty"; cp "$app" "$empty/varnelo"
startup "empty data folder" "$empty" 3
for n in $sizes; do
    [ "$n" -ge 10000 ] || continue
    run="$work/run$n"
    mkdir -p "$run/record"
    cp "$app" "$run/varnelo"   # the data folder is record/ beside the executable
    cp "$work/data$n/music.dat" "$work/data$n/tt.txt" "$run/record/"
    python3 - "$run/record/radio.dat" "$n" <<'PY'
import sys
def field(text, size):
    b = text.encode()[:size]
    return bytes([len(b)]) + b.ljust(size, b'\0')
genres = ['Rock', 'Jazz', 'Classical', 'Trance', 'Pop', 'Blues']
with open(sys.argv[1], 'wb') as f:
    for i in range(int(sys.argv[2])):
        f.write(field('http://home%d.example' % i, 50) + field('http://127.0.0.1:%d/stream%d' % (8000 + i % 50000, i), 50) +
                field(genres[i % len(genres)], 30) + field('Station %06d' % i, 100))
PY
    startup "$n library records + $n stations" "$run" 5
done
