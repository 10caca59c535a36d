#!/usr/bin/env python3
"""Writes the trees the window probe (window_probe) runs on.
  gen_probe_trees.py million ROOT  -- 1,000,000 empty files in ROOT itself
  gen_probe_trees.py dup ROOT      -- 100,000 small files in 1,000 folders; many share a size, a
                                      third of them are copies of another
  gen_probe_trees.py bigtext ROOT  -- six 200 MB UTF-8 text files (Chinese and Latin words, blanks,
                                      CR LF lines); "Invoice 2026" only in the last line of the last
  gen_probe_trees.py gig ROOT      -- two identical 1 GiB files (random bytes)"""
import os
import random
import sys

mode, root = sys.argv[1], sys.argv[2]
rng = random.Random(7)
os.makedirs(root, exist_ok=True)

if mode == "million":
    for i in range(1_000_000):
        fd = os.open(os.path.join(root, "e%07d.txt" % i), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.close(fd)
elif mode == "dup":
    pool = [rng.randbytes(int(512 * 8 ** rng.random())) for _ in range(20_000)]
    for i in range(100_000):
        folder = os.path.join(root, "d%03d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        data = pool[rng.randrange(len(pool))] if i % 3 == 0 else pool[i % len(pool)]
        with open(os.path.join(folder, "f%06d.bin" % i), "wb") as out:
            out.write(data)
elif mode == "bigtext":
    words = ("报告 发票 订单 金额 客户 日期 the of and payment order account total amount customer "
             "delivery date number item price").split()
    lines = []
    for _ in range(4000):
        lines.append(" ".join(rng.choice(words) for _ in range(rng.randrange(4, 16))) + "\t \r\n")
    block = "".join(lines).encode("utf-8")
    target = 200 * 1000 * 1000
    for n in range(6):
        with open(os.path.join(root, "big%d.txt" % n), "wb") as out:
            written = 0
            while written + len(block) <= target:
                out.write(block)
                written += len(block)
            if n == 5:
                out.write(b"Invoice 2026\r\n")
elif mode == "gig":
    chunk = rng.randbytes(1 << 20)
    for name in ("a.bin", "b.bin"):
        with open(os.path.join(root, name), "wb") as out:
            for i in range(1024):
                out.write(chunk[i:] + chunk[:i])
else:
    sys.exit(__doc__)
