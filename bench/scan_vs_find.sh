#!/usr/bin/env bash
# Traversal benchmark: `karv-tessil-cli scan --pattern "*.txt|*.log"` against an equivalent find,
# alternating A B A B with a warm cache; prints the medians, their ratio and our peak memory.
# usage: bench/scan_vs_find.sh [TREE] [ROUNDS]   (builds the tree when it is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-/tmp/karv-scan-tree}
rounds=${2:-7}
cli=./build/bench/src/cli/karv-tessil-cli

cmake --preset bench >/dev/null
cmake --build --preset bench --target karv-tessil-cli >/dev/null
[ -d "$tree" ] || python3 bench/make_scan_tree.py "$tree" 200000

ours() { "$cli" scan --pattern "*.txt|*.log" "$tree" 2>/dev/null; }
theirs() { find "$tree" -type f \( -iname '*.txt' -o -iname '*.log' \) -printf '%f\t%s\t%TY-%Tm-%Td %TT\t%h/\n'; }

# Both must list the same files.
diff <("$cli" scan --pattern "*.txt|*.log" --format paths -0 "$tree" 2>/dev/null | sort -z | tr '\0' '\n') \
     <(find "$tree" -type f \( -iname '*.txt' -o -iname '*.log' \) -print0 | sort -z | tr '\0' '\n') >/dev/null \
    || { echo "the two listings differ" >&2; exit 1; }
echo "files listed: $(theirs | wc -l)"

ours >/dev/null; theirs >/dev/null # warm the cache
a=(); b=()
for _ in $(seq "$rounds"); do
    start=$(date +%s%N); ours >/dev/null; a+=($(( $(date +%s%N) - start )))
    start=$(date +%s%N); theirs >/dev/null; b+=($(( $(date +%s%N) - start )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ma=$(median "${a[@]}"); mb=$(median "${b[@]}")
awk -v a="$ma" -v b="$mb" 'BEGIN {printf "median karv-tessil-cli: %.1f ms\nmedian find: %.1f ms\nratio (ours / find): %.2f\n", a/1e6, b/1e6, a/b}'
/usr/bin/time -f "peak memory (karv-tessil-cli): %M KiB" "$cli" scan --pattern "*.txt|*.log" "$tree" >/dev/null 2>/tmp/karv-scan-time.txt || true
tail -n 1 /tmp/karv-scan-time.txt
