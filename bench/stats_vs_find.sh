#!/usr/bin/env bash
# Folder statistics benchmark: `karv-tessil-cli stats --recurse` against a find pipeline that counts
# the same (files and sub-folders per folder, every folder listed), alternating A B A B with a warm
# cache; checks that both give the same counts, prints the medians and their ratio.
# usage: bench/stats_vs_find.sh [TREE] [ROUNDS]   (builds the scan benchmark's tree when it is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-/tmp/karv-scan-tree}
rounds=${2:-7}
cli=./build/bench/src/cli/karv-tessil-cli
export LC_ALL=C

cmake --preset bench >/dev/null
cmake --build --preset bench --target karv-tessil-cli -j2 >/dev/null
[ -d "$tree" ] || python3 bench/make_scan_tree.py "$tree" 200000

ours() { "$cli" stats --recurse "$tree" 2>/dev/null; }
# Entries per parent folder and kind, plus every folder (those without entries count 0 and 0).
theirs() { find "$tree" -mindepth 1 -printf '%y %h\n' | sort | uniq -c; find "$tree" -type d; }

# Both must give the same "path,files,dirs" for every folder.
as_lines() {
    awk '$1 ~ /^[0-9]+$/ && ($2 == "f" || $2 == "d") && NF >= 3 {
             n = $1; k = $2; sub(/^ *[0-9]+ [fd] /, ""); c[$0 "/", k] += n; next }
         { seen[$0 "/"] = 1 }
         END { for (p in seen) printf "%s,%d,%d\n", p, c[p, "f"], c[p, "d"] }'
}
diff <(ours | sort) <(theirs | as_lines | sort) >/dev/null || { echo "the two counts differ" >&2; exit 1; }
echo "folders counted: $(ours | wc -l), files: $(find "$tree" -type f | wc -l)"

ours >/dev/null; theirs >/dev/null # warm the cache
a=(); b=()
for _ in $(seq "$rounds"); do
    start=$(date +%s%N); ours >/dev/null; a+=($(( $(date +%s%N) - start )))
    start=$(date +%s%N); theirs >/dev/null; b+=($(( $(date +%s%N) - start )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ma=$(median "${a[@]}"); mb=$(median "${b[@]}")
awk -v a="$ma" -v b="$mb" 'BEGIN {printf "median karv-tessil-cli stats --recurse: %.1f ms\nmedian find pipeline: %.1f ms\nratio (ours / pipeline): %.2f\n", a/1e6, b/1e6, a/b}'
