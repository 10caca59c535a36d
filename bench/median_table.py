#!/usr/bin/env python3
"""Medians of "tool wall user sys" lines. Usage: median_table.py TIMES OURS PEER..."""
import statistics
import sys

runs = {}
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) != 4:
        continue
    tool, wall, user, system = parts[0], float(parts[1]), float(parts[2]), float(parts[3])
    runs.setdefault(tool, []).append((wall, user + system))
ours, peers = sys.argv[2], [p for p in sys.argv[3:] if p != sys.argv[2]]
med = {}
for tool, values in runs.items():
    med[tool] = (statistics.median(v[0] for v in values), statistics.median(v[1] for v in values))
    print("%-8s wall median %.3f s  cpu median %.3f s  wall runs %s" % (
        tool, med[tool][0], med[tool][1], " ".join("%.2f" % v[0] for v in values)))
for peer in peers:
    print("%s / %s: wall %.2f, cpu %.2f" % (ours, peer, med[ours][0] / med[peer][0], med[ours][1] / med[peer][1]))
