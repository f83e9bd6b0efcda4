# Sourced by the benchmarks. measure command...: runs it $runs times and prints
# "wall cpu maxrss_kib" of the best run (wall and user+system CPU in seconds,
# the largest peak resident set size in KiB).
measure() {
    local best_wall="" best_cpu="" best_rss=0
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -v -o time.txt "$@" >/dev/null 2>run.err || { cat run.err >&2; echo "failed: $*" >&2; exit 1; }
        local wall cpu rss
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(k=1;k<=n;k++) s=s*60+p[k]; print s}' time.txt)
        cpu=$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {print u+s}' time.txt)
        rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
        if [[ -z "$best_wall" ]] || awk "BEGIN{exit !($wall < $best_wall)}"; then best_wall=$wall; fi
        if [[ -z "$best_cpu" ]] || awk "BEGIN{exit !($cpu < $best_cpu)}"; then best_cpu=$cpu; fi
        ((rss > best_rss)) && best_rss=$rss
    done
    echo "$best_wall $best_cpu $best_rss"
}
