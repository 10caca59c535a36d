#!/bin/bash
# Names only: `karv-tessil-cli scan --pattern "*.txt|*.log" --format paths` against fd on one core
# and on all cores, alternating rounds on a warm cache, after checking both list the same files.
# Usage: names_vs_fd.sh CLI TREE [ROUNDS]   (TREE: make_scan_tree.py ROOT 200000)
set -euo pipefail
cli=$(realpath -- "$1")
tree=$(realpath -- "$2")
rounds=${3:-7}
here=$(dirname -- "$0")
fd=$(command -v fdfind || command -v fd || true)
[[ -n $fd ]] || { echo "no fd (apt-get install fd-find)"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

run_ours() { "$cli" scan --pattern "*.txt|*.log" --format paths -0 "$tree" >"$work/ours.txt" 2>/dev/null; }
# -u: hidden and ignored files too; -j1 for one core.
run_fd-j1() { "$fd" -u -j1 -0 -t f -e txt -e log . "$tree" >"$work/fd-j1.txt"; }
run_fd() { "$fd" -u -0 -t f -e txt -e log . "$tree" >"$work/fd.txt"; }
tools="ours fd-j1 fd"

for tool in $tools; do "run_$tool"; done
for tool in fd-j1 fd; do
    if cmp -s <(sort -z "$work/ours.txt") <(sort -z "$work/$tool.txt"); then same=same; else same=DIFFERENT; fi
    echo "files: ours $(tr -cd '\0' <"$work/ours.txt" | wc -c), $tool $(tr -cd '\0' <"$work/$tool.txt" | wc -c): $same"
done

: >"$work/times"
for ((i = 0; i < rounds; i++)); do
    for tool in $tools; do
        /usr/bin/time -f "$tool %e %U %S" -a -o "$work/times" bash -c "$(declare -f "run_$tool"); cli=\"\$1\" tree=\"\$2\" work=\"\$3\" fd=\"\$4\" run_$tool" _ "$cli" "$tree" "$work" "$fd"
    done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 "$here/median_table.py" "$work/times" ours $tools
