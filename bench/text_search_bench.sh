#!/bin/bash
# Content search: karv-tessil-cli against grep and single-threaded ripgrep on 10,000 UTF-8 files,
# and on 10,000 files of mixed encodings against the union of two ripgrep runs. Alternating runs,
# warm page cache. Usage: text_search_bench.sh CLI UTF8_TREE MIXED_TREE [ROUNDS]
# (UTF8_TREE: gen_text_tree.py utf8, then gen_text_tree.py logs on the same root for two large files.)
set -euo pipefail
cli=$1
utf8=$2
mixed=$3
rounds=${4:-5}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
here=$(dirname -- "$0")

ours_utf8() { "$cli" scan --content Invoice --in content --format paths "$utf8" 2>/dev/null | sort >"$work/ours_utf8"; }
grep_utf8() { LC_ALL=C grep -rliF Invoice "$utf8" | sort >"$work/grep_utf8"; }
rg_utf8() { rg -j1 -l -i -F Invoice "$utf8" | sort >"$work/rg_utf8"; }
ours_mixed() { "$cli" scan --content 报告 --in content --format paths "$mixed" 2>/dev/null | sort >"$work/ours_mixed"; }
# Both ripgrep runs together: the union is what they find between them.
rg_mixed() {
    { rg -z -l -F 报告 "$mixed" || true; rg -E gbk -l -F 报告 "$mixed" || true; } | sort -u >"$work/rg_mixed"
}

for f in ours_utf8 grep_utf8 rg_utf8 ours_mixed rg_mixed; do "$f"; done
cmp -s "$work/ours_utf8" "$work/grep_utf8" && echo "utf8: same files as grep ($(wc -l <"$work/ours_utf8"))" || echo "utf8: FILES DIFFER from grep"
cmp -s "$work/ours_utf8" "$work/rg_utf8" && echo "utf8: same files as rg" || echo "utf8: FILES DIFFER from rg"
cmp -s "$work/ours_mixed" "$mixed.expected" && echo "mixed: exactly the expected files ($(wc -l <"$work/ours_mixed"))" || echo "mixed: DIFFERS from the expected files"
echo "mixed: ripgrep union finds $(wc -l <"$work/rg_mixed"); only ripgrep: $(comm -13 "$work/ours_mixed" "$work/rg_mixed" | wc -l), only ours: $(comm -23 "$work/ours_mixed" "$work/rg_mixed" | wc -l)"
comm -13 "$work/ours_mixed" "$work/rg_mixed" | sed 's/.*\.//' | sort | uniq -c | sed 's/^/  only ripgrep, by extension: /'
comm -23 "$work/ours_mixed" "$work/rg_mixed" | sed 's/.*\.//' | sort | uniq -c | sed 's/^/  only ours, by extension: /'

: >"$work/times"
for ((i = 0; i < rounds; i++)); do
    for f in ours_utf8 grep_utf8 rg_utf8 ours_mixed rg_mixed; do
        /usr/bin/time -f "$f %e %U %S" -a -o "$work/times" bash -c "$(declare -f "$f"); cli=\"\$1\" utf8=\"\$2\" mixed=\"\$3\" work=\"\$4\" $f" _ "$cli" "$utf8" "$mixed" "$work"
    done
done
grep -E '^(ours_utf8|grep_utf8|rg_utf8) ' "$work/times" >"$work/t1"
python3 "$here/median_table.py" "$work/t1" ours_utf8 grep_utf8 rg_utf8
grep -E '^(ours_mixed|rg_mixed) ' "$work/times" >"$work/t2"
python3 "$here/median_table.py" "$work/t2" ours_mixed rg_mixed
