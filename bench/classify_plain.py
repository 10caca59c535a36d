#!/usr/bin/env python3
"""The plain script the classification benchmark compares with: the files of FOLDER in name order,
every BATCH files into the next numbered sub-folder, by one rename each (no logs, no checks)."""
import os
import sys


def main():
    folder, batch = sys.argv[1], int(sys.argv[2])
    names = sorted((n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n))),
                   key=lambda n: (n.upper(), n))
    made = set()
    for i, name in enumerate(names):
        target = os.path.join(folder, str(i // batch + 1))
        if target not in made:
            os.makedirs(target, exist_ok=True)
            made.add(target)
        os.rename(os.path.join(folder, name), os.path.join(target, name))


if __name__ == "__main__":
    main()
