#!/usr/bin/env bash
# Soak run: the stream player (`varnelo-cli stream`) and, when this build has
# it, the recorder (`varnelo-cli record`) play and record from a hostile radio
# server for MINUTES. The server (varnelo-soak-server) answers each connection
# with the next misbehaviour of a cycle: good audio with changing titles (cut
# after 25 s) between two or three of: random bytes, audio with corrupted bytes,
# a connection closed at once, in the headers or reset mid-audio, a 500 answer,
# a binary status line, an HTML page, unusable or wrong metadata intervals, a
# flood of full-size titles, a lying Content-Length, redirects that loop or go
# nowhere, endless metadata, an endless header line, endless headers, silence
# after the headers, audio or headers trickling a byte at a time, a stalled
# metadata block. A client that gives up is started again.
#   bench/soak.sh MINUTES [BUILD_DIR]
# Prints per client: starts, restarts (gave up, exit 1), crashes (killed by a
# signal, a sanitizer report, or any other exit), reconnects, titles; RSS over
# time and its growth; for the recorder the files it finished and whether
# ffprobe can read each. Exit status 1 when a client crashed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
minutes="${1:-}"
build="${2:-${VARNELO_BUILD_DIR:-$root/build}}"
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -gt 0 ] || { echo "usage: bench/soak.sh MINUTES [BUILD_DIR]" >&2; exit 2; }
cli="$build/bin/varnelo-cli"
server_bin="$build/bin/varnelo-soak-server"
[ -x "$cli" ] && [ -x "$server_bin" ] || { echo "build varnelo-cli and varnelo-soak-server first ($build)" >&2; exit 1; }
command -v ffprobe >/dev/null || { echo "bench/soak.sh needs ffprobe" >&2; exit 1; }

work="$(mktemp -d)"
server_pid=""
declare -A pid=()
cleanup() {
    for c in "${!pid[@]}"; do [ -n "${pid[$c]}" ] && kill "${pid[$c]}" 2>/dev/null || true; done
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$server_bin" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do grep -q '^mount: ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
playlist=$(sed -n 's/^playlist: //p' "$work/server.out")
[ -n "$playlist" ] || { echo "the soak server did not start:" >&2; cat "$work/server.err" >&2; exit 1; }

clients=(stream)
commands=$("$cli" 2>&1 || true) # the usage text lists the commands this build has
if grep -qE '^ +record( |$)' <<<"$commands"; then
    clients+=(record)
    recorder="present: varnelo-cli record runs beside the player"
else
    recorder="absent: this varnelo-cli has no record command, only the player runs"
fi

start_s=$(date +%s)
end_s=$((start_s + minutes * 60))
declare -A starts=() restarts=() crashes=() born=()
for c in "${clients[@]}"; do starts[$c]=0; restarts[$c]=0; crashes[$c]=0; pid[$c]=""; done
mkdir -p "$work/rec"

launch() { # client
    local c=$1 left=$((end_s - $(date +%s)))
    [ "$left" -gt 0 ] || return 0
    # Each client gets its own runtime folder, so no lock file is shared with a running program.
    export XDG_RUNTIME_DIR="$work/runtime-$c"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    starts[$c]=$((starts[$c] + 1))
    local log="$work/$c.${starts[$c]}"
    case $c in
    stream) "$cli" stream "$playlist" --silent --seconds "$left" >"$log.out" 2>"$log.err" & ;;
    record) (cd "$work/rec" && exec "$cli" record "$playlist" --seconds "$left" --out "$work/rec") \
                >"$log.out" 2>"$log.err" & ;;
    esac
    pid[$c]=$!
    born[$c]=$(date +%s)
}

# Called when a client's process has ended: was it the end of its time, a
# give-up, or a crash?
reap() { # client
    local c=$1 rc=0 now log="$work/$c.${starts[$c]}"
    wait "${pid[$c]}" || rc=$?
    now=$(date +%s)
    pid[$c]=""
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$log.err"; then
        crashes[$c]=$((crashes[$c] + 1))
        echo "[$(elapsed)] $c: SANITIZER REPORT (exit $rc), in $log.err:"
        grep -m3 -E 'ERROR: |runtime error:' "$log.err" | sed 's/^/      /'
    elif [ "$rc" -eq 0 ] && [ "$now" -ge $((end_s - 2)) ]; then
        :
    elif [ "$rc" -eq 1 ] || [ "$rc" -eq 0 ]; then
        restarts[$c]=$((restarts[$c] + 1))
        echo "[$(elapsed)] $c ended (exit $rc): $(grep -v '^status:' "$log.err" | tail -1)"
    else
        crashes[$c]=$((crashes[$c] + 1))
        echo "[$(elapsed)] $c CRASHED: exit $rc$([ "$rc" -gt 128 ] && echo " (signal $((rc - 128)))")"
        tail -3 "$log.err" | sed 's/^/      /'
        cp "$log.err" "$root/soak-crash-$c-${starts[$c]}.err" 2>/dev/null && echo "      stderr kept as soak-crash-$c-${starts[$c]}.err"
    fi
}

elapsed() { local s=$(($(date +%s) - start_s)); printf '%02d:%02d' $((s / 60)) $((s % 60)); }

rss_of() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || true; }

echo "== soak: $minutes min against $playlist; recorder $recorder"
echo "   (RSS in MiB of each client process, sampled every 10 s, shown each minute)"
for c in "${clients[@]}"; do launch "$c"; done
: >"$work/rss.log"
next_print=$((start_s + 60))
next_sample=$((start_s + 10))
while [ "$(date +%s)" -lt "$end_s" ]; do
    sleep 2
    now=$(date +%s)
    for c in "${clients[@]}"; do
        if [ -n "${pid[$c]}" ] && ! kill -0 "${pid[$c]}" 2>/dev/null; then reap "$c"; fi
        [ -z "${pid[$c]}" ] && launch "$c"
    done
    if [ "$now" -ge "$next_sample" ]; then
        next_sample=$((next_sample + 10))
        for c in "${clients[@]}"; do
            p=${pid[$c]}; [ -n "$p" ] || continue
            r=$(rss_of "$p"); [ -n "$r" ] || continue
            echo "$((now - start_s)) $c $p $r $((now - born[$c]))" >>"$work/rss.log"
        done
    fi
    if [ "$now" -ge "$next_print" ]; then
        next_print=$((next_print + 60))
        line="[$(elapsed)]"
        for c in "${clients[@]}"; do
            r=$(awk -v c="$c" '$2 == c {r = $4} END {print r + 0}' "$work/rss.log")
            line+=$(awk -v c="$c" -v r="$r" -v p="${pid[$c]:--}" 'BEGIN {printf "  %s %6.1f MiB (pid %s)", c, r / 1024, p}')
        done
        echo "$line"
    fi
done
for c in "${clients[@]}"; do
    if [ -n "${pid[$c]}" ]; then
        # Its --seconds ends it now; give it a moment to close files, then stop it.
        # (The recorder's --seconds counts the station's audio: after this server's
        # silent and broken connections it is still short of them, as it should be.)
        for _ in $(seq 50); do kill -0 "${pid[$c]}" 2>/dev/null || break; sleep 0.2; done
        if kill -0 "${pid[$c]}" 2>/dev/null; then
            [ "$c" = record ] && echo "record still short of its seconds of audio: stopped" ||
                echo "$c did not end on time: stopping it"
            kill -TERM "${pid[$c]}"
        fi
        reap "$c"
    fi
done
kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
server_pid=""

echo
echo "== soak summary ($minutes min, $(sed -n 's/^connections: //p' "$work/server.out") connections to the hostile mount)"
status=0
for c in "${clients[@]}"; do
    lost=$(cat "$work/$c".*.err | grep -c 'status: connection lost' || true)
    back=$(cat "$work/$c".*.err | grep -c 'status: reconnected' || true)
    titles=$(cat "$work/$c".*.out | grep -c '^title: ' || true)
    printf '%-7s starts %d, restarts after giving up %d, crashes %d; drops %d, reconnected %d; title lines %d\n' \
        "$c" "${starts[$c]}" "${restarts[$c]}" "${crashes[$c]}" "${lost:-0}" "${back:-0}" "${titles:-0}"
    [ "${crashes[$c]}" -eq 0 ] || status=1
    # Memory: per process, RSS after its first minute against its last sample;
    # growth per hour over the processes that lived at least five minutes.
    awk -v c="$c" '$2 == c {
            if (!($3 in first) && $5 >= 60) first[$3] = $4
            last[$3] = $4; age[$3] = $5; if ($4 > max) max = $4
        }
        END {
            n = 0
            for (p in first) if (age[p] >= 300) {
                n++; rate = (last[p] - first[p]) / 1024 / ((age[p] - 60) / 3600)
                printf "        pid %-8s lived %4d s: RSS %6.1f MiB after 1 min, %6.1f MiB at the end (%+.1f MiB/hour)\n",
                    p, age[p], first[p] / 1024, last[p] / 1024, rate
            }
            printf "        largest RSS %.1f MiB; %d process(es) lived 5 min or longer\n", max / 1024, n
        }' "$work/rss.log"
done
if [[ " ${clients[*]} " == *" record "* ]]; then
    files=$(cat "$work"/record.*.out | sed -n 's/^file: //p')
    good=0 bad=0
    while IFS= read -r f; do
        [ -n "$f" ] || continue
        if ffprobe -v error -show_entries format=duration -of csv=p=0 "$f" >/dev/null 2>&1; then good=$((good + 1)); else
            bad=$((bad + 1)); echo "        unreadable recording: $f"; fi
    done <<<"$files"
    echo "record  files finished: $((good + bad)), readable by ffprobe: $good, unreadable: $bad"
    [ "$bad" -eq 0 ] || status=1
fi
exit "$status"
