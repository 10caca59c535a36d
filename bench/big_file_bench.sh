#!/bin/bash
# Any file size: writes a 4 GiB UTF-8 log with "报告" only in its last kilobyte into a new folder
# under DIR, runs the content filter with the character count over it under /usr/bin/time -v, checks
# that the file is listed with its whole count, and deletes the file.
# Usage: big_file_bench.sh CLI DIR
set -euo pipefail
cli=$1
work=$(mktemp -d -p "$2")
trap 'rm -rf -- "$work"' EXIT
python3 - "$work/big.log" <<'PY'
import random, sys
rng = random.Random(3)
words = "the of and payment order account total amount 数据 分析 <b>x</b> delivery".split(" ")
block = "".join(" ".join(rng.choice(words) for _ in range(12)) + "\r\n" for _ in range(20000)).encode()
target, tail = 4 * 2 ** 30, "\r\n最后的报告 INVOICE-END\r\n".encode()
with open(sys.argv[1], "wb") as out:
    written = 0
    while written + len(block) < target - 1024:
        out.write(block)
        written += len(block)
    out.write(b"x" * (target - written - 600) + tail + b"y" * (600 - len(tail)))
PY
expected=$(python3 - "$work/big.log" <<'PY'
import sys
cont = bytes(range(0x80, 0xC0))
total, pairs, last = 0, 0, b""
with open(sys.argv[1], "rb") as f:
    while chunk := f.read(64 << 20):
        total += len(chunk.translate(None, cont))
        pairs += chunk.count(b"\r\n") + (last == b"\r" and chunk[:1] == b"\n")
        last = chunk[-1:]
print(total - pairs)
PY
)
/usr/bin/time -v "$cli" scan --content 报告 --in content --length 0:99999999999 --measure chars --unit 1 \
    --format json "$work" 2>"$work/time" >"$work/out" || true
grep -E 'Elapsed|Maximum resident' "$work/time"
count=$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["内容字数"].replace(",",""))' "$work/out")
echo "listed with count $count, expected $expected"
[ "$count" = "$expected" ] && echo "whole file counted" || echo "COUNT DIFFERS"
