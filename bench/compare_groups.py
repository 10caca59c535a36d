#!/usr/bin/env python3
"""Compares duplicate groups. Usage:
  compare_groups.py ours FILE      -- FILE: our --output all --format paths list; groups are rebuilt
                                      by content and must be adjacent runs in the list
  compare_groups.py peer FILE      -- FILE: jdupes/fdupes/rmlint output (groups separated by blank
                                      lines)
  --skip-empty (after FILE) leaves out the group of empty files (rmlint does not list them).
Prints one canonical line per group, sorted, to standard output."""
import hashlib
import os
import sys


def canonical(groups):
    return sorted("\t".join(sorted(g)) for g in groups if len(g) > 1)


def empty(group):
    return all(os.path.getsize(path) == 0 for path in group)


mode, name = sys.argv[1], sys.argv[2]
lines = open(name, encoding="utf-8", errors="surrogateescape").read().split("\n")
if mode == "peer":
    groups, current = [], []
    for line in lines:
        if line == "":
            if current:
                groups.append(current)
            current = []
        else:
            current.append(line)
    if current:
        groups.append(current)
else:
    groups, keys = [], []
    for line in lines:
        if not line:
            continue
        with open(line, "rb") as f:
            key = hashlib.sha256(f.read()).hexdigest()
        if keys and keys[-1] == key:
            groups[-1].append(line)
        else:
            if key in keys:
                sys.exit("group of %s is not one adjacent run" % line)
            keys.append(key)
            groups.append([line])
if "--skip-empty" in sys.argv[3:]:
    groups = [g for g in groups if not empty(g)]
for line in canonical(groups):
    print(line)
