#!/bin/bash
# Content search for one ASCII word on a tree shaped like a document folder (gen_text_tree.py
# shaped): karv-tessil-cli against ripgrep on all cores, ripgrep on one core and C-locale grep, in
# alternating rounds on a warm page cache, after checking all four list the same files.
# Usage: content_cores_bench.sh CLI TREE [ROUNDS]
set -euo pipefail
cli=$1
tree=$2
rounds=${3:-5}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
here=$(dirname -- "$0")

ours() { "$cli" scan --content Invoice --in content --format paths "$tree" 2>/dev/null | sort >"$work/ours"; }
rg_all() { rg -l -F -i Invoice "$tree" | sort >"$work/rg_all"; }
rg_one() { rg -j1 -l -F -i Invoice "$tree" | sort >"$work/rg_one"; }
grep_c() { LC_ALL=C grep -rliF Invoice "$tree" | sort >"$work/grep_c"; }
tools=(ours rg_all rg_one grep_c)

for f in "${tools[@]}"; do "$f"; done
for f in rg_all rg_one grep_c; do
    cmp -s "$work/ours" "$work/$f" && echo "same files as $f ($(wc -l <"$work/ours"))" || echo "FILES DIFFER from $f"
done
if [[ -f "$tree.expected" ]]; then
    cmp -s "$work/ours" "$tree.expected" && echo "exactly the expected files" || echo "DIFFERS from the expected files"
fi

: >"$work/times"
for ((i = 0; i < rounds; i++)); do
    for f in "${tools[@]}"; do
        /usr/bin/time -f "$f %e %U %S" -a -o "$work/times" bash -c "$(declare -f "$f"); cli=\"\$1\" tree=\"\$2\" work=\"\$3\" $f" _ "$cli" "$tree" "$work"
    done
done
echo "load average after the rounds: $(cut -d' ' -f1-3 /proc/loadavg); cores: $(nproc)"
python3 "$here/median_table.py" "$work/times" ours rg_all rg_one grep_c
