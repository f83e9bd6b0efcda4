#!/usr/bin/env bash
# Ripping a generated 10-track, 40-minute disc image to MP3 128 kbps and to
# FLAC (level 5):
#   varnelo-cli cd rip (reads with paranoia and encodes tracks side by side)
#   against cd-paranoia then lame or flac, one track after the other (the same
#   paranoia checks: full verification; the same encoder settings). The FLAC
#   files of both decode to the same samples, which is checked.
# And finding a drive's read offset on a 4-track, 16-minute image made as a
# drive with offset +667 reads it, against an AccurateRip database served on
# 127.0.0.1: varnelo-cli cd offset (one read, every offset in ±3000) against
# ripping track 1 once per offset for 10 common offsets, each rip's checksum
# worked out (cd-paranoia -O N + accuraterip-checksum, and cd rip --offset N).
# And the cost of test and copy on the 40-minute image to WAV: cd rip --secure
# against a plain cd rip, and cd-paranoia reading every track twice.
# Usage: bench/rip.sh [path/to/varnelo-cli] [runs] [all|mp3|flac|offset|secure]
#   (default build/bin/varnelo-cli, 2 runs, both parts)
# Each figure is the best of the runs: wall clock, user+system CPU, peak memory.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$here/build/bin/varnelo-cli}")"
runs="${2:-2}"
part="${3:-all}"
[[ -x "$cli" ]] || { echo "varnelo-cli not found at $cli (build it: ./scripts/build.sh)" >&2; exit 2; }
for tool in sox lame flac cd-paranoia accuraterip-checksum python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
source "$here/bench/measure.sh"

if [[ "$part" == all || "$part" == offset ]]; then
echo "Generating a 4-track, 16-minute disc image read by a drive with offset +667..." >&2
mkdir -p offset && cd offset
: > true.raw
{
    echo 'FILE "disc.bin" BINARY'
} > disc.cue
sectors=0
records=()
for t in 1 2 3 4; do
    sox -n -r 44100 -b 16 -c 2 -e signed -L -t raw track.raw synth 240 sine $((300 + 90 * t)) pinknoise vol 0.4
    sox -r 44100 -b 16 -c 2 -e signed -L -t raw track.raw track.wav
    records+=("$(accuraterip-checksum --accuraterip-v2 track.wav "$t" 4)")
    cat track.raw >> true.raw
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' \
        "$t" $((sectors / 4500)) $((sectors / 75 % 60)) $((sectors % 75)) >> disc.cue
    sectors=$((sectors + $(stat -c %s track.raw) / 2352))
done
rm track.raw track.wav
# The drive returns the disc's sample p - 667 where sample p is asked for.
{ head -c $((667 * 4)) /dev/zero; head -c $(($(stat -c %s true.raw) - 667 * 4)) true.raw; } > disc.bin
rm true.raw
# One record of the true v2 checksums (the ids are the server's to ignore:
# it answers every database path with it).
python3 - "${records[@]}" > dBAR.bin <<'PY'
import struct, sys
crcs = [int(c, 16) for c in sys.argv[1:]]
sys.stdout.buffer.write(struct.pack('<BIII', len(crcs), 0, 0, 0) +
                        b''.join(struct.pack('<BII', 10, c, 0) for c in crcs))
PY
python3 - > port.txt <<'PY' &
import http.server, socketserver, sys
data = open('dBAR.bin', 'rb').read()
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200 if self.path.endswith('.bin') else 404)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)
    def log_message(self, *a): pass
s = socketserver.TCPServer(('127.0.0.1', 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
PY
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [[ -s port.txt ]] && break; sleep 0.1; done
export url="http://127.0.0.1:$(cat port.txt)/accuraterip/"
export offsets="6 30 48 91 97 102 103 594 667 738"

find_offset() {
    "$cli" cd offset --device disc.cue --accuraterip "$url"
}
paranoia_per_offset() {
    for o in $offsets; do
        cd-paranoia -q -O "$o" -d disc.cue -w 1 t1.wav
        accuraterip-checksum --accuraterip-v2 t1.wav 1 4
    done
}
rip_per_offset() {
    for o in $offsets; do
        rm -rf rip
        "$cli" cd rip --device disc.cue --to wav --tracks 1 --offset "$o" --out rip --name none \
            --accuraterip "$url" | grep -q .
    done
}
export -f find_offset paranoia_per_offset rip_per_offset
export cli
echo "Running ($runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))..." >&2
found=$(find_offset)
read -r fw fc frss < <(measure bash -c find_offset)
read -r pw pc prss < <(measure bash -c paranoia_per_offset)
read -r rw rc rrss < <(measure bash -c rip_per_offset)
echo
echo "Read offset of a 4-track, 16-minute image (true offset +667); seconds (best of $runs), MiB (peak RSS)"
echo "varnelo-cli cd offset says: $found"
printf '%-44s %8s %8s %8s\n' "" "wall" "cpu" "MiB"
awk -v w="$fw" -v c="$fc" -v m="$frss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "varnelo-cli cd offset (one read, 6001 offsets)", w, c, m/1024 }'
awk -v w="$pw" -v c="$pc" -v m="$prss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "cd-paranoia -O N + checksum, 10 offsets", w, c, m/1024 }'
awk -v w="$rw" -v c="$rc" -v m="$rrss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "varnelo-cli cd rip --offset N, 10 offsets", w, c, m/1024 }'
awk -v fw="$fw" -v pw="$pw" 'BEGIN { printf "ratio (wall, against cd-paranoia): %.2f\n", fw/pw }'
cd "$work"
fi
[[ "$part" == all || "$part" == mp3 || "$part" == flac || "$part" == secure ]] || exit 0

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

report() { # title ours-label anchor-label ow oc orss aw ac arss
    echo
    echo "$1; seconds (best of $runs), memory in MiB (peak RSS)"
    printf '%-34s %8s %8s %8s\n' "" "wall" "cpu" "MiB"
    awk -v l="$2" -v w="$4" -v c="$5" -v m="$6" 'BEGIN { printf "%-34s %8.2f %8.2f %8.1f\n", l, w, c, m/1024 }'
    awk -v l="$3" -v w="$7" -v c="$8" -v m="$9" 'BEGIN { printf "%-34s %8.2f %8.2f %8.1f\n", l, w, c, m/1024 }'
    awk -v ow="$4" -v aw="$7" 'BEGIN { printf "ratio (wall): %.2f   (budget 0.60)\n", ow/aw }'
}

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

anchor_flac() {
    for t in $(seq 1 10); do
        cd-paranoia -q -d disc.cue -w "$t" anchor.wav
        flac -s -f -5 anchor.wav -o "anchor$t.flac"
    done
    rm -f anchor.wav
}

ours_flac() {
    rm -rf flacout
    "$cli" cd rip --device disc.cue --to flac --settings rip.ini --out flacout --name none --accuraterip off \
        --covers off 2>/dev/null
}

export -f anchor ours anchor_flac ours_flac
export cli

if [[ "$part" != secure ]]; then
echo "Running ($runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))..." >&2
if [[ "$part" != flac ]]; then
    read -r ow oc orss < <(measure bash -c ours)
    read -r aw ac arss < <(measure bash -c anchor)
    report "40 minutes of audio in 10 tracks to MP3 128 kbps" "varnelo-cli cd rip" \
        "cd-paranoia then lame, per track" "$ow" "$oc" "$orss" "$aw" "$ac" "$arss"
    echo
    echo "Files: ours $(ls out/*.mp3 | wc -l) MP3 ($(du -cb out/*.mp3 | tail -1 | cut -f1) bytes), anchor $(ls anchor*.mp3 | wc -l) MP3 ($(du -cb anchor*.mp3 | tail -1 | cut -f1) bytes)"
fi
if [[ "$part" != mp3 ]]; then
    read -r ow oc orss < <(measure bash -c ours_flac)
    read -r aw ac arss < <(measure bash -c anchor_flac)
    report "40 minutes of audio in 10 tracks to FLAC level 5" "varnelo-cli cd rip --to flac" \
        "cd-paranoia then flac, per track" "$ow" "$oc" "$orss" "$aw" "$ac" "$arss"
    same=0
    for t in $(seq 1 10); do
        ours_file="$(ls flacout/"Track $t.flac")"
        cmp -s <(flac -s -d -c --force-raw-format --endian=little --sign=signed "$ours_file") \
            <(flac -s -d -c --force-raw-format --endian=little --sign=signed "anchor$t.flac") && same=$((same + 1))
    done
    echo
    echo "Files: ours $(ls flacout/*.flac | wc -l) FLAC ($(du -cb flacout/*.flac | tail -1 | cut -f1) bytes), anchor $(ls anchor*.flac | wc -l) FLAC ($(du -cb anchor*.flac | tail -1 | cut -f1) bytes); $same of 10 decode to the same samples"
fi
fi
[[ "$part" == all || "$part" == secure ]] || exit 0

# Burst reading (mode 0), as test and copy is meant to be used: the two reads
# stand in for paranoia's verification.
printf '[Format]\nmode=0\nretries=1\nstop=0\n' > wav.ini
plain() {
    rm -rf out
    "$cli" cd rip --device disc.cue --to wav --settings wav.ini --out out --accuraterip off
}
secure() {
    rm -rf out
    "$cli" cd rip --device disc.cue --to wav --settings wav.ini --out out --accuraterip off --secure
}
paranoia_twice() {
    for t in $(seq 1 10); do
        cd-paranoia -q -Z -d disc.cue -w "$t" copy.wav
        cd-paranoia -q -Z -d disc.cue -w "$t" test.wav
        cmp -s copy.wav test.wav
    done
    rm -f copy.wav test.wav
}
export -f plain secure paranoia_twice
echo "Running test and copy ($runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))..." >&2
read -r pw pc prss < <(measure bash -c plain)
read -r sw sc srss < <(measure bash -c secure)
read -r tw tc trss < <(measure bash -c paranoia_twice)
echo "tracks said Copy OK: $(grep -c "Copy: *Copy OK" out/*.log)"
echo
echo "Test and copy, 40 minutes in 10 tracks to WAV, burst reads; seconds (best of $runs), MiB (peak RSS)"
printf '%-44s %8s %8s %8s\n' "" "wall" "cpu" "MiB"
awk -v w="$pw" -v c="$pc" -v m="$prss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "varnelo-cli cd rip", w, c, m/1024 }'
awk -v w="$sw" -v c="$sc" -v m="$srss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "varnelo-cli cd rip --secure", w, c, m/1024 }'
awk -v w="$tw" -v c="$tc" -v m="$trss" 'BEGIN { printf "%-44s %8.2f %8.2f %8.1f\n", "cd-paranoia -Z twice per track + cmp", w, c, m/1024 }'
awk -v s="$sw" -v p="$pw" -v t="$tw" 'BEGIN { printf "secure mode costs x%.2f of a plain rip (wall); against the anchor %.2f\n", s/p, s/t }'
