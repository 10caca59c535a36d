#!/bin/bash
# Duplicates by content: karv-tessil-cli against jdupes and fdupes on the same tree, alternating
# runs (A B C A B C ...), warm page cache. Usage: dup_md5_bench.sh CLI TREE [ROUNDS]
set -euo pipefail
cli=$1
tree=$2
rounds=${3:-5}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

run_ours() { "$cli" scan --dup md5 --output all --format paths "$tree" >"$work/ours.txt" 2>/dev/null; }
run_jdupes() { jdupes -r -q -z "$tree" >"$work/jdupes.txt"; }
run_fdupes() { fdupes -r -q "$tree" >"$work/fdupes.txt"; }

# Warm-up (fills the page cache) and the result check.
run_ours
run_jdupes
run_fdupes
here=$(dirname -- "$0")
python3 "$here/compare_groups.py" ours "$work/ours.txt" >"$work/ours.groups"
python3 "$here/compare_groups.py" peer "$work/jdupes.txt" >"$work/jdupes.groups"
python3 "$here/compare_groups.py" peer "$work/fdupes.txt" >"$work/fdupes.groups"
echo "groups: ours $(wc -l <"$work/ours.groups"), jdupes $(wc -l <"$work/jdupes.groups"), fdupes $(wc -l <"$work/fdupes.groups")"
cmp -s "$work/ours.groups" "$work/jdupes.groups" && echo "same groups as jdupes" || echo "GROUPS DIFFER from jdupes"
cmp -s "$work/ours.groups" "$work/fdupes.groups" && echo "same groups as fdupes" || echo "GROUPS DIFFER from fdupes"

: >"$work/times"
for ((i = 0; i < rounds; i++)); do
    for tool in ours jdupes fdupes; do
        # Wall time, and user + system time (the machine is shared: CPU time is the steadier figure).
        /usr/bin/time -f "$tool %e %U %S" -a -o "$work/times" bash -c "$(declare -f "run_$tool"); cli=\"\$1\" tree=\"\$2\" work=\"\$3\" run_$tool" _ "$cli" "$tree" "$work"
    done
done
python3 "$here/median_table.py" "$work/times" ours jdupes fdupes
