#!/bin/bash
# Similar names at threshold 90: time for 10,000 and 20,000 files, alternating runs.
# Usage: similar_names_bench.sh CLI WORKDIR [ROUNDS]
set -euo pipefail
cli=$1
base=$2
rounds=${3:-3}
here=$(dirname -- "$0")
mkdir -p -- "$base"
python3 "$here/gen_name_tree.py" "$base/n10k" 10000
python3 "$here/gen_name_tree.py" "$base/n20k" 20000
times=$(mktemp)
trap 'rm -f -- "$times"' EXIT
for ((i = 0; i < rounds; i++)); do
    for n in n10k n20k; do
        /usr/bin/time -f "$n %e %U %S" -a -o "$times" "$cli" scan --dup name --similar 90 --output all --format paths "$base/$n" >"$base/$n.out" 2>/dev/null
    done
done
echo "rows: 10k $(wc -l <"$base/n10k.out"), 20k $(wc -l <"$base/n20k.out")"
python3 "$here/median_table.py" "$times" n20k n10k
