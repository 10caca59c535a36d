#!/usr/bin/env python3
"""Deep trees for the classification run, built and checked through folder descriptors (the paths
are far longer than the kernel's limit).
  classify_deep.py make ROOT [LEVELS]   -- LEVELS (5,000) nested folders of 10-character names,
                                           one small file "fNNNNN.txt" in every level
  classify_deep.py count ROOT           -- prints: files, folders, distinct file contents
  classify_deep.py run CLI ROOT [ARGS]  -- runs `CLI classify ARGS ROOT` under /usr/bin/time -v,
                                           output to /dev/null; prints wall seconds and peak RSS"""
import os
import re
import subprocess
import sys


def make(root, levels):
    os.makedirs(root, exist_ok=True)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for level in range(levels):
        out = os.open("f%05d.txt" % level, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=fd)
        os.write(out, b"level %d\n" % level)
        os.close(out)
        name = "d%09d" % level
        os.mkdir(name, dir_fd=fd)
        child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = child
    os.close(fd)


def count(root):
    # An explicit stack of open folders: os.fwalk recurses once per level.
    files = folders = 0
    contents = set()
    stack = [os.open(root, os.O_RDONLY | os.O_DIRECTORY)]
    while stack:
        fd = stack.pop()
        for entry in os.scandir(fd):
            if entry.is_dir(follow_symlinks=False):
                folders += 1
                stack.append(os.open(entry.name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd))
            else:
                files += 1
                one = os.open(entry.name, os.O_RDONLY, dir_fd=fd)
                contents.add(os.read(one, 64))
                os.close(one)
        os.close(fd)
    print(files, folders, len(contents))


def run(cli, root, args):
    with open(os.devnull, "wb") as null:
        done = subprocess.run(["/usr/bin/time", "-v", cli, "classify", *args, root], stdout=null,
                              stderr=subprocess.PIPE)
    err = done.stderr.decode("utf-8", "replace")
    wall = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", err)
    seconds = int(wall.group(1) or 0) * 3600 + int(wall.group(2)) * 60 + float(wall.group(3))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", err).group(1))
    summary = [line for line in err.splitlines() if "完成" in line or "失败" in line]
    print("exit %d  wall %.2f s  peak %.1f MB  %s" % (done.returncode, seconds, rss / 1024,
                                                      " ".join(summary)[:200]))


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "make":
        make(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 5000)
    elif mode == "count":
        count(sys.argv[2])
    else:
        run(sys.argv[2], sys.argv[3], sys.argv[4:])
