#!/bin/sh
# The window's responsiveness under load, in one command: every scenario once to its end (longest
# gap, status timer) and once with a stop click after STOP_MS (stop latency).
#   bench/window_probe.sh [BUILD_DIR] [TREES_DIR]
# The trees are made by bench/gen_probe_trees.py under TREES_DIR (default /tmp) when missing:
# probe-million (1,000,000 empty files), probe-dup (100,000 files), probe-bigtext (six 200 MB
# texts), probe-gig (two identical 1 GiB files), probe-similar (two similar 30 MB texts). Runs offscreen unless QT_QPA_PLATFORM says else.
set -u
here=$(dirname "$0")
build=${1:-$here/../build/default}
trees=${2:-/tmp}
probe="$build/window_probe"
stop_ms=${STOP_MS:-3000}
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

for tree in million dup bigtext gig; do
    [ -d "$trees/probe-$tree" ] || python3 "$here/gen_probe_trees.py" "$tree" "$trees/probe-$tree"
done

status=0
run() {
    name=$1
    stop_at=$2
    shift 2
    for stop in 0 "$stop_at"; do
        echo "=== $name, stop after ${stop} ms (0: none)"
        "$probe" "$@" --stop-after "$stop" 2>/dev/null || status=1
    done
}
run "list 1,000,000 rows" "$stop_ms" "$trees/probe-million" --preset list
run "duplicates by MD5 over 100,000 files" "$stop_ms" "$trees/probe-dup" --preset md5
run "characters without blanks, six 200 MB texts" "$stop_ms" "$trees/probe-bigtext" --preset count
run "content regex over six 200 MB texts" "$stop_ms" "$trees/probe-bigtext" --preset 'regex:Invoice\s+\d{4}'
[ -d "$trees/probe-similar" ] || python3 "$here/gen_similar_texts.py" "$trees/probe-similar" 30
run "similar names with their contents compared, two 30 MB texts" 1500 "$trees/probe-similar" --preset similar
# The pair is compared in about a second: the stop comes while it is read.
run "digest of a 1 GiB file (two equal ones)" 700 "$trees/probe-gig" --preset md5
exit $status
