#!/bin/bash
# Duplicates by content: karv-tessil-cli against jdupes and rmlint (and fdupes when asked) on the
# same tree, alternating runs (A B C ... A B C ...), warm page cache. "ours" is a first run (its
# digest cache emptied before it), "ours-cached" a second run over the unchanged tree right after.
# Usage: dup_md5_bench.sh CLI TREE [ROUNDS]; PEERS="jdupes rmlint fdupes" picks the peers.
set -euo pipefail
cli=$(realpath -- "$1")
tree=$(realpath -- "$2")
rounds=${3:-5}
peers=${PEERS:-jdupes rmlint}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

run_ours() { rm -rf -- "$XDG_CACHE_HOME"; "$cli" scan --dup md5 --output all --format paths "$tree" >"$work/ours.txt" 2>/dev/null; }
run_ours-cached() { "$cli" scan --dup md5 --output all --format paths "$tree" >"$work/ours-cached.txt" 2>/dev/null; }
run_jdupes() { jdupes -r -q -z "$tree" >"$work/jdupes.txt"; }
run_rmlint() { rmlint -T df -o fdupes "$tree" >"$work/rmlint.txt"; }
run_fdupes() { fdupes -r -q "$tree" >"$work/fdupes.txt"; }

tools="ours ours-cached"
for peer in $peers; do
    if command -v "$peer" >/dev/null; then tools="$tools $peer"; else echo "no $peer: left out"; fi
done

# Warm-up (fills the page cache) and the result check. rmlint leaves empty files out (they are a
# lint type of their own), so its groups are compared without the group of empty files.
here=$(dirname -- "$0")
for tool in $tools; do
    "run_$tool"
    mode=peer
    [[ $tool == ours* ]] && mode=ours
    python3 "$here/compare_groups.py" "$mode" "$work/$tool.txt" >"$work/$tool.groups"
    python3 "$here/compare_groups.py" "$mode" "$work/$tool.txt" --skip-empty >"$work/$tool.nonempty"
done
for tool in $tools; do
    [[ $tool == ours ]] && continue
    kind=groups
    [[ $tool == rmlint ]] && kind=nonempty
    if cmp -s "$work/ours.$kind" "$work/$tool.$kind"; then same="same"; else same="DIFFERENT"; fi
    echo "groups: ours $(wc -l <"$work/ours.$kind"), $tool $(wc -l <"$work/$tool.$kind") ($kind): $same"
done

: >"$work/times"
for ((i = 0; i < rounds; i++)); do
    for tool in $tools; do
        # Wall time, and user + system time (the machine is shared: CPU time is the steadier figure).
        /usr/bin/time -f "$tool %e %U %S" -a -o "$work/times" bash -c "$(declare -f "run_$tool"); cli=\"\$1\" tree=\"\$2\" work=\"\$3\" run_$tool" _ "$cli" "$tree" "$work"
    done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 "$here/median_table.py" "$work/times" ours $tools
