#!/usr/bin/env bash
# Classification benchmark: `karv-tessil-cli classify --move --in-order --batch-size 100` with the
# default template "[父目录路径]/[批次名]/[文件名]" over one folder of small files, against a plain
# Python script that makes the same folders and renames the same files. Each round works on a fresh
# copy (hard links of one prepared tree, on the same file system); rounds alternate A B A B.
# usage: bench/classify_vs_script.sh [FILES] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-50000}
rounds=${2:-3}
cli=${KARV_CLI:-./build/default/src/cli/karv-tessil-cli}
work=$(mktemp -d /tmp/karv-classify-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/template" "$work/logs"
python3 - "$work/template" "$files" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "f%06d.txt" % i), "w") as out:
        out.write("file %d\n" % i)
PY
fresh() { rm -rf "$work/run"; cp -al "$work/template" "$work/run"; sync; }
ours() { "$cli" classify --move --in-order --batch-size 100 --log-dir "$work/logs" "$work/run" >/dev/null 2>&1; }
theirs() { python3 bench/classify_plain.py "$work/run" 100; }
listing() { (cd "$work/run" && find . -type f | sort); }

# Both must end with the same tree.
fresh; ours; listing >"$work/ours.txt"
fresh; theirs; listing >"$work/theirs.txt"
cmp -s "$work/ours.txt" "$work/theirs.txt" || { echo "the two runs leave different trees" >&2; exit 1; }
echo "files classified: $(wc -l <"$work/ours.txt") into $(cd "$work/run" && find . -mindepth 1 -type d | wc -l) folders"

a=(); b=()
for _ in $(seq "$rounds"); do
    fresh; start=$(date +%s%N); ours; a+=($(( $(date +%s%N) - start )))
    fresh; start=$(date +%s%N); theirs; b+=($(( $(date +%s%N) - start )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ma=$(median "${a[@]}"); mb=$(median "${b[@]}")
awk -v a="$ma" -v b="$mb" 'BEGIN {printf "median karv-tessil-cli classify: %.1f ms\nmedian plain script: %.1f ms\nratio (ours / script): %.2f\n", a/1e6, b/1e6, a/b}'
