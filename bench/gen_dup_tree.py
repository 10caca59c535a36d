#!/usr/bin/env python3
"""Writes a duplicate-search benchmark tree. Usage: gen_dup_tree.py ROOT [SEED] [--shape SHAPE]

--shape sizes (default): 30,000 files in which many share sizes, with groups of identical files,
  same-size files that differ in one byte, empty files, and ten pairs of 50 MB duplicates.
--shape folder: a tree shaped like a real document folder full of copies: 30,010 files in 1,200
  folders, median file 1.1 KB, 99 % under 115 KB, one 50 MB file, 90 % of the files share their
  size with another (about 836 MB of about 923 MB), 4,265 groups of identical files. The contents
  come from the seeded generator, so a seed always gives the same tree.
Prints what it made (files, folders, bytes, bytes of size-sharing files, groups, median, 99th
percentile)."""
import hashlib
import math
import os
import random
import sys

args = [a for a in sys.argv[1:] if not a.startswith("--")]
shape = "sizes"
if "--shape" in sys.argv:
    shape = sys.argv[sys.argv.index("--shape") + 1]
    args = [a for a in args if a != shape]
root = args[0]
rng = random.Random(int(args[1]) if len(args) > 1 else 1)


def shape_sizes():
    FILES = 30000
    PER_FOLDER = 100
    made = 0

    def path_for(index):
        folder = os.path.join(root, "d%03d" % (index // PER_FOLDER), "s%d" % (index % 3))
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, "f%05d.bin" % index)

    def write(data):
        nonlocal made
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


# --- folder shape -----------------------------------------------------------------------------
FOLDER_FILES = 30010
FOLDERS = 1200  # 30 top folders with 39 sub-folders each
GROUPS = 4265  # groups of identical files, the empty files among them
UNIQUE = 3001  # files whose size no other file has, the 50 MB file among them
BIG = 50 * 1000 * 1000
SHARED_BYTES = 836 * 1000 * 1000
UNIQUE_BYTES = 87 * 1000 * 1000
SMALL_LIMIT = 115 * 1000
LARGE_SHARED_SETS = (80, 20)  # groups and same-size sets of files of 115 KB and more
LARGE_UNIQUE = 10


def small_size():
    # Log-normal (median 1.1 KB over the whole tree, copies counted); the few beyond the limit are drawn again (the large files are
    # planned on their own).
    while True:
        size = int(850 * math.exp(rng.gauss(0, 1.75)))
        if 16 <= size < SMALL_LIMIT:
            return size


def members():
    r = rng.random()
    return 2 if r < 0.62 else 3 if r < 0.86 else 4 if r < 0.95 else 5


def shape_folder():
    folders = []
    for top in range(30):
        folders.append(os.path.join(root, "p%02d" % top))
        folders.extend(os.path.join(root, "p%02d" % top, "sub%02d" % sub) for sub in range(39))
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    # Plans: ("same", size, count) identical files; ("differ", size, count) same size, contents differ.
    plans = [("same", 0, 8)]
    large_groups, large_sets = LARGE_SHARED_SETS
    plans += [("same", -1, members()) for _ in range(large_groups)]
    plans += [("differ", -1, rng.randint(2, 3)) for _ in range(large_sets)]
    plans += [("same", small_size(), members()) for _ in range(GROUPS - 1 - large_groups)]
    shared = sum(p[2] for p in plans)
    while shared < FOLDER_FILES - UNIQUE:
        count = min(rng.randint(2, 3), FOLDER_FILES - UNIQUE - shared)
        if count < 2:  # the last single file takes the size of the last group
            plans.append(("differ", plans[-1][1], 1))
        else:
            plans.append(("differ", small_size(), count))
        shared += count
    # Large sizes: log-uniform, then scaled so the size-sharing files hold SHARED_BYTES.
    raw = {i: 120e3 * (200 ** rng.random()) for i, p in enumerate(plans) if p[1] == -1}
    small_shared = sum(p[1] * p[2] for p in plans if p[1] >= 0)
    raw_total = sum(raw[i] * plans[i][2] for i in raw)
    scale = (SHARED_BYTES - small_shared) / raw_total
    for i, value in raw.items():
        plans[i] = (plans[i][0], max(SMALL_LIMIT + 1000, int(value * scale)), plans[i][2])
    used = {p[1] for p in plans}
    uniques = [BIG]
    while len(uniques) < UNIQUE - LARGE_UNIQUE:
        size = small_size()
        if size not in used:
            used.add(size)
            uniques.append(size)
    rest = max(0, UNIQUE_BYTES - sum(uniques))
    for k in range(LARGE_UNIQUE):
        size = max(SMALL_LIMIT + 1000, rest // LARGE_UNIQUE + rng.randrange(-50000, 50000))
        while size in used:
            size += 1
        used.add(size)
        uniques.append(size)
    plans += [("same", size, 1) for size in uniques]

    # Every file gets a random folder; its copies land elsewhere in the tree.
    files = []  # (folder, data)
    for kind, size, count in plans:
        data = rng.randbytes(size)
        for _ in range(count):
            files.append(data)
            if kind == "differ":
                # A changed version: mostly near the end, so a prefix cannot tell it apart.
                changed = bytearray(data)
                pos = size - 1 - rng.randrange(min(size, 64)) if rng.random() < 0.3 else rng.randrange(size)
                changed[pos] = (changed[pos] + 1) % 256
                data = bytes(changed)
    order = list(range(len(files)))
    rng.shuffle(order)
    contents, sizes = {}, {}
    for n, index in enumerate(order):
        data = files[index]
        path = os.path.join(folders[rng.randrange(len(folders))], "f%05d.bin" % n)
        with open(path, "wb") as out:
            out.write(data)
        key = hashlib.sha1(data).digest()
        contents[key] = contents.get(key, 0) + 1
        sizes[len(data)] = sizes.get(len(data), 0) + 1
    all_sizes = sorted(len(d) for d in files)
    total = sum(all_sizes)
    shared_bytes = sum(s for s in all_sizes if sizes[s] > 1)
    print("files %d folders %d bytes %d shared-size files %d (%.1f %%) bytes %d groups %d median %d p99 %d" % (
        len(files), len(folders), total, sum(1 for s in all_sizes if sizes[s] > 1),
        100.0 * sum(1 for s in all_sizes if sizes[s] > 1) / len(files), shared_bytes,
        sum(1 for c in contents.values() if c > 1), all_sizes[len(all_sizes) // 2],
        all_sizes[int(len(all_sizes) * 0.99)]))


if shape == "sizes":
    shape_sizes()
elif shape == "folder":
    shape_folder()
else:
    sys.exit("unknown shape %s" % shape)
