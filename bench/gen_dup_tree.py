#!/usr/bin/env python3
"""Writes the duplicate-search benchmark tree: 30,000 files in which many share sizes, with groups
of identical files, same-size files that differ in one byte, empty files, and ten pairs of 50 MB
duplicates. Usage: gen_dup_tree.py ROOT [SEED]"""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
FILES = 30000
PER_FOLDER = 100
made = 0


def path_for(index):
    folder = os.path.join(root, "d%03d" % (index // PER_FOLDER), "s%d" % (index % 3))
    os.makedirs(folder, exist_ok=True)
    return os.path.join(folder, "f%05d.bin" % index)


def write(data):
    global made
    with open(path_for(made), "wb") as out:
        out.write(data)
    made += 1


# A few thousand sizes shared by many files (1 KiB .. 64 KiB).
sizes = sorted({int(1024 * 64 ** rng.random()) for _ in range(2500)})
big = 50 * 1000 * 1000
plan = [("pair", big)] * 10 + [("empty", 0)] * 200
planned = 10 * 2 + 200
while planned < FILES:
    kind = rng.random()
    size = rng.choice(sizes)
    if kind < 0.40:
        plan.append(("unique", size, 1))
    elif kind < 0.75:
        plan.append(("copies", size, rng.randint(2, 5)))
    else:
        plan.append(("onebyte", size, rng.randint(2, 4)))
    planned += plan[-1][2] if len(plan[-1]) > 2 else 1
rng.shuffle(plan)

pending = []  # further copies are spread over the tree: written later, in random places
for item in plan:
    kind, size = item[0], item[1]
    if kind == "empty":
        write(b"")
    elif kind == "unique":
        write(os.urandom(size))
    elif kind == "pair":
        data = os.urandom(size)
        write(data)
        pending.append(data)
    elif kind == "copies":
        data = os.urandom(size)
        write(data)
        pending.extend([data] * (item[2] - 1))
    else:  # same size, one byte apart (mostly near the end, so a prefix cannot tell them apart)
        data = bytearray(os.urandom(size))
        write(bytes(data))
        for _ in range(item[2] - 1):
            pos = size - 1 - rng.randrange(min(size, 64)) if rng.random() < 0.7 else rng.randrange(size)
            data[pos] = (data[pos] + 1) % 256
            pending.append(bytes(data))
    if rng.random() < 0.5 and pending:
        write(pending.pop(rng.randrange(len(pending))))
while pending:
    write(pending.pop(rng.randrange(len(pending))))
print("files", made)
