#!/usr/bin/env python3
"""Builds a tree of small files in nested folders for the traversal benchmark.

Names mix ASCII and Chinese, extensions, sizes and times vary. Deterministic for a given seed.
usage: make_scan_tree.py FOLDER [FILES]
"""
import os
import random
import sys

root = sys.argv[1]
total = int(sys.argv[2]) if len(sys.argv) > 2 else 200_000
rng = random.Random(20261208)
words = ["report", "数据", "notes", "报告", "photo", "备份", "draft", "项目", "log", "合同", "Invoice", "年度"]
extensions = [".txt", ".log", ".TXT", ".md", ".html", ".htm", ".csv", ".jpg", ".Log", ".dat", ""]

folders = [root]
os.makedirs(root, exist_ok=True)
made = 0
while made < total:
    # Each folder gets a few dozen files and, now and then, sub-folders below a random existing one.
    parent = rng.choice(folders[-200:]) if len(folders) > 1 and rng.random() < 0.7 else rng.choice(folders)
    folder = os.path.join(parent, f"{rng.choice(words)}_{len(folders)}")
    os.makedirs(folder, exist_ok=True)
    folders.append(folder)
    for _ in range(rng.randint(10, 60)):
        if made >= total:
            break
        name = f"{rng.choice(words)} {made}{rng.choice(extensions)}"
        path = os.path.join(folder, name)
        with open(path, "wb") as out:
            out.write(os.urandom(rng.randint(0, 2048)))
        stamp = 1_300_000_000 + rng.randint(0, 400_000_000)
        os.utime(path, (stamp, stamp))
        made += 1
print(f"{made} files in {len(folders)} folders under {root}")
