#!/usr/bin/env python3
"""Writes COUNT empty files whose names look like a real collection: camera names, dated reports,
Chinese document titles, some near-duplicates that differ in a character or two.
Usage: gen_name_tree.py ROOT COUNT"""
import os
import random
import sys

root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(11)
topics = ["年度报告", "会议纪要", "项目计划", "财务分析", "客户名单", "工作总结", "report", "invoice",
          "minutes", "budget", "draft", "summary", "合同", "发票"]
exts = [".docx", ".xlsx", ".pdf", ".txt", ".jpg", ".png", ".doc"]
made = set()


def name():
    kind = rng.random()
    if kind < 0.35:
        return "IMG_%04d%02d%02d_%06d.jpg" % (rng.randint(2010, 2024), rng.randint(1, 12), rng.randint(1, 28),
                                              rng.randrange(1000000))
    if kind < 0.7:
        return "%s_%d_%s%s" % (rng.choice(topics), rng.randint(2000, 2024),
                               "".join(rng.choice("abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(rng.randint(3, 10))),
                               rng.choice(exts))
    return "%s%s%d%s" % (rng.choice(topics), rng.choice(topics), rng.randrange(100000), rng.choice(exts))


names = []
while len(names) < count:
    if names and rng.random() < 0.15:
        base = list(rng.choice(names))
        base[rng.randrange(len(base))] = rng.choice("0123456789xyz")
        candidate = "".join(base)
    else:
        candidate = name()
    names.append(candidate)
for i, n in enumerate(names):
    folder = os.path.join(root, "f%03d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, n)
    if path in made:
        continue
    made.add(path)
    open(path, "wb").close()
print(len(made))
