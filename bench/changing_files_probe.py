#!/usr/bin/env python3
"""Files changing while they are read: runs the CLI over a tree while a writer process keeps
appending to, truncating, rewriting in place (same size, new bytes), replacing (rename over),
deleting and recreating files, among them files that cross the 8 MiB whole-read limit and the
16 MiB two-halves limit while they are read, and gzip files being rewritten.

Every command (content filter plain and regex, character count, duplicates by MD5, similar names
with the content check, the viewer, classification by copy and by move into another file system,
statistics) runs again and again
under `timeout` and `/usr/bin/time -v` for a time budget. Checked after every run:
- the exit status (0, or 1 for a classification with failed files; never a crash or a timeout),
- no sanitizer report on standard error,
- the peak resident memory (reported; a run above --max-rss-mb counts as a fault),
- the files the writer never touches are found, counted and grouped exactly,
- every file a classification reports as copied or moved holds bytes the source really had
  (a state the writer completed), never a mix,
- after a move run, the last state the writer left in every file still exists somewhere (at the
  source or at the target): a move never removed a source after copying an older state.

Usage: changing_files_probe.py [--cli PATH] [--seconds-per-command N] [--work DIR] [--other DIR]
                               [--only content,regex,chars,dup,view,similar,stats,copy,move]
For the sanitizers: cmake --preset asan, build karv-tessil-cli there, pass it with --cli.
Paths are passed to programs as argument lists, never through a shell.
"""
import argparse
import gzip
import hashlib
import json
import multiprocessing
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

MiB = 1 << 20
TERM = "报告"


def digest(data):
    return hashlib.sha1(data).hexdigest()


_words = random.Random(5)
LINES = [(" ".join(_words.choice(["alpha", "beta", "数据", "分析", "order", "总计", "<b>x</b>", "line"])
                   for _ in range(_words.randrange(3, 14))) + "\r\n").encode() for _ in range(997)]


_big = []


def big_content():
    """17 MiB of random bytes, the same in every process of the probe."""
    if not _big:
        _big.append(random.Random(13).randbytes(17 * MiB))
    return _big[0]


def grow16_base():
    return random.Random(17).randbytes(4096) * ((16 * MiB - 64 * 1024) // 4096)


def text_block(rng, size, term_every=0):
    """UTF-8 text of exactly `size` bytes, lines of ASCII and Chinese."""
    parts, total, n = [], 0, 0
    while total < size:
        n += 1
        line = rng.choice(LINES)
        if term_every and n % term_every == 0:
            line = line[:-2] + (" " + TERM + "\r\n").encode()
        parts.append(line)
        total += len(line)
    # Never ends inside a character: a cut one is dropped and made up by dots.
    data = b"".join(parts)[:size].decode("utf-8", "ignore").encode()
    return data.ljust(size, b".")


class Writer:
    """The only writer of the hot files. Logs every state it completes: path, inode, SHA-1 of the
    whole content, and the link count of the inode just before and just after the write."""

    def __init__(self, hot, scratch, log_path, seed):
        self.hot, self.scratch, self.rng = hot, scratch, random.Random(seed)
        self.log = open(log_path, "a", buffering=1)
        self.model = {}  # name -> (inode, bytearray)
        self.base = {}  # name -> initial content
        self.steps = 0

    def record(self, name, ino, data, before, after, op):
        self.log.write(json.dumps({"path": os.path.join(self.hot, name), "ino": ino, "sha": digest(bytes(data)),
                                   "before": before, "after": after, "op": op}) + "\n")

    def record_gone(self, name, ino, op):
        self.log.write(json.dumps({"path": os.path.join(self.hot, name), "ino": ino, "gone": True, "op": op}) + "\n")

    def create(self, name, data, op="create"):
        path = os.path.join(self.hot, name)
        tmp = os.path.join(self.scratch, name + ".new")
        with open(tmp, "wb") as f:
            f.write(data)
        old = self.model.get(name)
        os.replace(tmp, path)
        if old:
            self.record_gone(name, old[0], op + "-superseded")
        ino = os.stat(path).st_ino
        self.model[name] = (ino, bytearray(data))
        self.record(name, ino, data, 1, 1, op)

    def setup(self):
        rng = random.Random(7)
        self.base = {
            "grow8.txt": text_block(rng, 8 * MiB - 96 * 1024, term_every=5000),
            "grow16.bin": grow16_base(),
            "rewrite_small.txt": text_block(rng, 200 * 1024, term_every=100),
            "rewrite_big.txt": text_block(rng, 9 * MiB, term_every=20000),
            "trunc.txt": text_block(rng, 3 * MiB, term_every=1000),
            "replaced.txt": text_block(rng, 64 * 1024, term_every=50),
            "churn1.txt": text_block(rng, 4096, term_every=3),
            "churn2.txt": text_block(rng, 30 * 1024, term_every=3),
            "flip_a.txt": b"same small content\n" * 100,
            "flip_b.txt": b"same small content\n" * 100,
            "log.gz": gzip.compress(text_block(rng, 10 * MiB, term_every=30000), 1),
            # Equal to a file the writer never touches while unchanged: read in two halves at once.
            "big_flip.bin": big_content(),
        }
        for name, data in self.base.items():
            self.create(name, data)

    def current(self, name):
        """The modelled content, or None after recreating a file that has gone or been replaced."""
        path = os.path.join(self.hot, name)
        entry = self.model.get(name)
        try:
            ino = os.stat(path).st_ino
        except FileNotFoundError:
            ino = None
        if entry is None or ino != entry[0]:
            self.create(name, self.base[name], "recreate")
            return None
        return entry

    def write_in_place(self, name, change, op):
        """Opens the path, applies `change(fd, data) -> new data` through the descriptor."""
        path = os.path.join(self.hot, name)
        entry = self.current(name)
        if entry is None:
            return
        try:
            fd = os.open(path, os.O_RDWR)
        except FileNotFoundError:
            return
        try:
            st = os.fstat(fd)
            if st.st_ino != entry[0]:
                return
            data = change(fd, entry[1])
            after = os.fstat(fd).st_nlink
            self.model[name] = (st.st_ino, data)
            self.record(name, st.st_ino, data, st.st_nlink, after, op)
        finally:
            os.close(fd)

    def grow(self, name, limit):
        def change(fd, data):
            if len(data) >= limit:
                base = self.base[name]
                os.ftruncate(fd, len(base))
                return bytearray(base)
            piece = (text_block(self.rng, 64 * 1024) if name.endswith(".txt")
                     else self.rng.randbytes(64 * 1024))
            os.pwrite(fd, piece, len(data))
            return data + piece
        self.write_in_place(name, change, "append")

    def rewrite(self, name, ansi):
        def change(fd, data):
            new = bytearray(text_block(self.rng, len(data), term_every=self.rng.choice([0, 500])))
            if ansi and len(new) > 4:
                # Bytes that are no UTF-8 far into the file: the streamed read starts again as ANSI.
                at = self.rng.randrange(len(new) // 2, len(new) - 2)
                new[at:at + 2] = b"\xb1\xa8"
            os.pwrite(fd, bytes(new), 0)  # one write: same size, new bytes
            return new
        self.write_in_place(name, change, "rewrite")

    def truncate_refill(self, name):
        def change(fd, data):
            os.ftruncate(fd, 0)
            st = os.fstat(fd)
            self.record(name, st.st_ino, b"", st.st_nlink, st.st_nlink, "truncate")
            time.sleep(0.002)
            new = text_block(self.rng, len(self.base[name]), term_every=self.rng.choice([0, 1000]))
            os.pwrite(fd, new, 0)
            return bytearray(new)
        self.write_in_place(name, change, "refill")

    def rewrite_gzip(self, name):
        def change(fd, data):
            packed = gzip.compress(text_block(self.rng, 10 * MiB, term_every=30000), 1)
            os.ftruncate(fd, 0)
            st = os.fstat(fd)
            self.record(name, st.st_ino, b"", st.st_nlink, st.st_nlink, "gzip-empty")
            half = len(packed) // 2
            os.pwrite(fd, packed[:half], 0)
            st = os.fstat(fd)
            self.record(name, st.st_ino, packed[:half], st.st_nlink, st.st_nlink, "gzip-half")
            time.sleep(0.003)
            os.pwrite(fd, packed[half:], half)
            return bytearray(packed)
        self.write_in_place(name, change, "gzip")

    def flip(self):
        # Makes one of two equal files differ for a moment, in place, keeping its size.
        name = self.rng.choice(["flip_a.txt", "flip_b.txt"])

        def change(fd, data):
            new = bytearray(data)
            new[self.rng.randrange(len(new))] ^= 1 if self.rng.random() < 0.5 else 0
            os.pwrite(fd, bytes(new), 0)
            return new
        self.write_in_place(name, change, "flip")

    def flip_big(self):
        # One byte of the 17 MiB file, in either half, changed or put back: same size, new bytes.
        def change(fd, data):
            at = self.rng.randrange(len(data))
            new = bytearray(data)
            new[at] = big_content()[at] if self.rng.random() < 0.5 else (data[at] ^ 0x55)
            os.pwrite(fd, bytes(new[at:at + 1]), at)
            return new
        self.write_in_place("big_flip.bin", change, "flip-big")

    def churn(self, name):
        path = os.path.join(self.hot, name)
        entry = self.model.get(name)
        try:
            os.unlink(path)
            if entry:
                self.record_gone(name, entry[0], "delete")
            self.model.pop(name, None)
        except FileNotFoundError:
            pass
        time.sleep(0.002)
        self.create(name, text_block(self.rng, len(self.base[name]), term_every=3), "recreate")

    def step(self):
        self.steps += 1
        choice = self.rng.randrange(10)
        try:
            if choice == 0:
                self.grow("grow8.txt", 8 * MiB + 256 * 1024)
            elif choice == 1:
                self.grow("grow16.bin", 16 * MiB + 256 * 1024)
            elif choice == 2:
                self.rewrite("rewrite_small.txt", ansi=False)
            elif choice == 3:
                self.rewrite("rewrite_big.txt", ansi=self.rng.random() < 0.5)
            elif choice == 4:
                self.truncate_refill("trunc.txt")
            elif choice == 5:
                self.create("replaced.txt", text_block(self.rng, 64 * 1024, term_every=50), "replace")
            elif choice == 6:
                self.churn(self.rng.choice(["churn1.txt", "churn2.txt"]))
            elif choice == 7:
                self.rewrite_gzip("log.gz")
            elif choice == 8:
                self.flip_big()
            else:
                self.flip()
        except OSError as error:  # a file taken away by the program between two calls
            self.log.write(json.dumps({"note": repr(error)}) + "\n")


def writer_loop(hot, scratch, log_path, base, seed, stop, pause):
    writer = Writer(hot, scratch, log_path, seed)
    writer.base = base
    # The model starts from the files as they are; the ones a move took away come back.
    for name in base:
        path = os.path.join(hot, name)
        try:
            with open(path, "rb") as f:
                writer.model[name] = (os.fstat(f.fileno()).st_ino, bytearray(f.read()))
        except FileNotFoundError:
            writer.create(name, base[name], "recreate")
    rng = random.Random(seed)
    while not stop.is_set():
        writer.step()
        time.sleep(pause * rng.random())


def make_stable(root):
    """Files the writer never touches: what every run must get exactly right."""
    rng = random.Random(11)
    stable = os.path.join(root, "stable")
    os.makedirs(stable)
    files = {}
    for i in range(30):
        data = text_block(rng, 1000 + 997 * i, term_every=7 if i % 3 == 0 else 0)
        files[f"s{i:02}.txt"] = data
    files["dup1.txt"] = files["s05.txt"]
    files["big_a.bin"] = big_content()
    files["big_b.bin"] = files["big_a.bin"]
    files["big_c.bin"] = files["big_a.bin"][:-1] + b"\0"  # same size, last byte differs
    # The size of the growing 16 MiB file when it starts over: compared with it while it grows.
    files["grow16_twin.bin"] = grow16_base()
    files["stable.gz"] = gzip.compress(text_block(rng, 2 * MiB, term_every=500))
    for name, data in files.items():
        with open(os.path.join(stable, name), "wb") as f:
            f.write(data)
    return {os.path.join(stable, n): d for n, d in files.items()}


def run(cmd, budget_s, env):
    """One run under timeout and /usr/bin/time -v: (exit, stdout bytes, stderr text, rss_kb, secs)."""
    started = time.monotonic()
    full = ["nice", "-n", "10", "/usr/bin/time", "-v", "timeout", "-s", "KILL", str(budget_s)] + cmd
    proc = subprocess.run(full, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    err = proc.stderr.decode("utf-8", "replace")
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", err)
    status = re.search(r"Exit status: (\d+)", err)
    code = int(status.group(1)) if status else proc.returncode
    if "Command terminated by signal" in err:
        code = 128 + int(re.search(r"signal (\d+)", err).group(1))
    return code, proc.stdout, err, int(rss.group(1)) if rss else 0, time.monotonic() - started


def tree_digests(folder):
    found = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            try:
                with open(path, "rb") as f:
                    found[path] = digest(f.read())
            except OSError:
                pass
    return found


def load_states(log_path):
    states, records = {}, []
    for line in open(log_path):
        rec = json.loads(line)
        records.append(rec)
        if "sha" in rec:
            states.setdefault(rec["path"], set()).add(rec["sha"])
    return states, records


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "default", "src", "cli", "karv-tessil-cli"))
    parser.add_argument("--seconds-per-command", type=float, default=45)
    parser.add_argument("--work", default=tempfile.gettempdir())
    parser.add_argument("--other", default="/dev/shm", help="a folder on another file system, for moves")
    parser.add_argument("--pause", type=float, default=0.01, help="longest pause between two writer steps")
    parser.add_argument("--max-rss-mb", type=float, default=600)
    parser.add_argument("--only", default="", help="comma-separated command names")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    work = tempfile.mkdtemp(prefix="karv-changing-", dir=args.work)
    other = tempfile.mkdtemp(prefix="karv-changing-", dir=args.other)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
    faults, summary = [], {}
    try:
        root = os.path.join(work, "tree")
        hot = os.path.join(root, "hot")
        scratch = os.path.join(work, "scratch")
        os.makedirs(hot)
        os.makedirs(scratch)
        stable = make_stable(root)
        stable_sha = {p: digest(d) for p, d in stable.items()}
        log_path = os.path.join(work, "states.jsonl")
        first = Writer(hot, scratch, log_path, 1)
        first.setup()
        base = first.base

        gz_has = TERM.encode() in gzip.decompress(stable[os.path.join(root, "stable", "stable.gz")])
        with_term = sorted(p for p, d in stable.items()
                           if (TERM.encode() in d) or (p.endswith("stable.gz") and gz_has))

        def check_scan_paths(name, out, expect_in, expect_out=()):
            listed = set(out.decode("utf-8", "replace").split("\n"))
            for p in expect_in:
                if p not in listed:
                    faults.append(f"{name}: stable file missing from the list: {p}")
            for p in expect_out:
                if p in listed:
                    faults.append(f"{name}: stable file listed wrongly: {p}")

        def cmd_content(i):
            code, out, err, rss, secs = run([cli, "scan", "--content", TERM, "--in", "content", "--format", "paths",
                                             root], 120, env)
            check_scan_paths("content", out, with_term, [p for p in stable if p not in with_term])
            return code, err, rss, secs, code == 0

        def cmd_regex(i):
            code, out, err, rss, secs = run([cli, "scan", "--content", "报告|数据\\s+报", "--match", "regex", "--in",
                                             "content", "--format", "paths", root], 120, env)
            check_scan_paths("regex", out, with_term)
            return code, err, rss, secs, code == 0

        def cmd_chars(i):
            code, out, err, rss, secs = run([cli, "scan", "--length", "0:1e15", "--measure", "chars", "--unit", "1",
                                             "--format", "json", root], 120, env)
            for line in out.decode("utf-8", "replace").splitlines():
                row = json.loads(line)
                data = stable.get(row["path"])
                if data is not None and not row["path"].endswith((".bin", ".gz")):
                    chars = len(data.decode("utf-8")) - data.count(b"\r\n")
                    if int(row["内容字数"].replace(",", "")) != chars:
                        faults.append(f"chars: {row['path']} counted {row['内容字数']}, has {chars}")
            return code, err, rss, secs, code == 0

        def cmd_dup(i):
            code, out, err, rss, secs = run([cli, "scan", "--dup", "md5", "--output", "all", "--format", "json",
                                             root], 120, env)
            rows = [json.loads(line) for line in out.decode("utf-8", "replace").splitlines()]
            # The rows carry no group number: the stable files tell whether grouping stayed right.
            listed = {r["path"] for r in rows}
            for must in ("dup1.txt", "s05.txt", "big_a.bin", "big_b.bin"):
                if os.path.join(root, "stable", must) not in listed:
                    if must.startswith("big_") and os.path.join(hot, "big_flip.bin") in listed:
                        # The changing twin met first leads the group and, once written to, takes
                        # no more members: a later stable copy is missed, never wrongly grouped.
                        hot_listed["stable twin missed"] = hot_listed.get("stable twin missed", 0) + 1
                    else:
                        faults.append(f"dup: stable duplicate not listed: {must}")
            if os.path.join(root, "stable", "big_c.bin") in listed:
                faults.append("dup: big_c.bin listed although unique")
            for name in ("big_flip.bin", "grow16.bin", "flip_a.txt"):
                if os.path.join(hot, name) in listed:
                    hot_listed[name] = hot_listed.get(name, 0) + 1
            return code, err, rss, secs, code == 0

        def cmd_view(i):
            names = ["grow8.txt", "rewrite_big.txt", "log.gz", "trunc.txt", "churn1.txt", "grow16.bin"]
            path = os.path.join(hot, names[i % len(names)])
            code, out, err, rss, secs = run([cli, "view", path], 120, env)
            ok = code == 0 or (code == 2 and "churn" in path)  # a file gone at the start is bad usage
            return code, err, rss, secs, ok

        def cmd_similar(i):
            # Similar names with the content check: the texts of both files are loaded whole.
            code, out, err, rss, secs = run([cli, "scan", "--dup", "name", "--similar", "60", "--judge-content",
                                             "--output", "all", "--format", "paths", root], 180, env)
            return code, err, rss, secs, code == 0

        def cmd_stats(i):
            code, out, err, rss, secs = run([cli, "stats", "--recurse", root], 60, env)
            return code, err, rss, secs, code == 0

        def classify(i, move):
            tag = "move" if move else "copy"
            target = os.path.join(other, f"{tag}{i}")
            logs = os.path.join(work, f"logs-{tag}{i}")
            os.makedirs(logs)
            cmd = [cli, "classify", "--recurse", "--in-order", "--batch-size", "3", "--log-dir", logs,
                   "--template", target + "/[批次名]/[文件名]", hot]
            if move:
                cmd.insert(2, "--move")
            code, out, err, rss, secs = run(cmd, 180, env)
            return code, err, rss, secs, code in (0, 1), target, out, logs

        def check_placed(out, move, logs, since):
            # Read once the writer has stopped: every state it completed is in the log by then.
            states, records = load_states(log_path)
            try:
                with open(os.path.join(logs, "归类失败的文件路径.txt"), "rb") as f:
                    failed = set(f.read().decode("utf-8", "replace").split("\r\n"))
            except OSError:
                failed = set()
            done = 0
            for line in out.decode("utf-8", "replace").splitlines():
                source, _, placed = line.partition("\t")
                if source in failed:
                    continue
                done += 1
                try:
                    with open(placed, "rb") as f:
                        got = digest(f.read())
                except OSError:
                    faults.append(f"classify{' move' if move else ''}: reported target missing: {placed}")
                    continue
                if got not in states.get(source, set()):
                    faults.append(f"classify{' move' if move else ''}: {placed} holds bytes {source} never had "
                                  f"(a mix of two states) but was reported done")
            # The run's own states: the files as the run found them, then what the writer did.
            start = [{"path": p, "ino": ino, "sha": sha, "before": 1, "after": 1, "op": "start"}
                     for p, (ino, sha) in since[0].items()]
            return start + records[since[1]:], done

        def snapshot():
            found = {}
            for name in os.listdir(hot):
                path = os.path.join(hot, name)
                with open(path, "rb") as f:
                    found[path] = (os.fstat(f.fileno()).st_ino, digest(f.read()))
            return found, len(load_states(log_path)[1])

        def check_nothing_lost(target, records, tag):
            # The last state of every inode the writer did not itself replace or delete must exist.
            last = {}
            for rec in records:
                if "ino" in rec:
                    last[(rec["path"], rec["ino"])] = rec
            present = set(tree_digests(hot).values()) | set(tree_digests(target).values())
            lost = ambiguous = 0
            for (path, ino), rec in last.items():
                if rec.get("gone") or rec["sha"] in present:
                    continue
                if rec["before"] == 0:
                    continue  # written after the file had already been removed
                if rec["after"] == 0:
                    ambiguous += 1  # removed while the writer wrote: cannot tell which came first
                    continue
                lost += 1
                faults.append(f"{tag}: last state of {path} (inode {ino}, {rec['op']}) exists nowhere")
            return lost, ambiguous

        def with_writer(body):
            stop = multiprocessing.Event()
            proc = multiprocessing.Process(target=writer_loop, args=(hot, scratch, log_path, base, random.randrange(1 << 30),
                                                                    stop, args.pause))
            proc.start()
            try:
                time.sleep(0.05)
                return body()
            finally:
                stop.set()
                proc.join(30)
                if proc.is_alive():
                    proc.kill()

        hot_listed = {}  # how often a changing file was listed as a duplicate

        commands = {"content": cmd_content, "regex": cmd_regex, "chars": cmd_chars, "dup": cmd_dup,
                    "view": cmd_view, "similar": cmd_similar, "stats": cmd_stats, "copy": None, "move": None}
        only = [c for c in args.only.split(",") if c] or list(commands)
        for name in only:
            runs = bad = 0
            peak = 0
            total_secs = 0.0
            started = time.monotonic()
            lost_total = ambiguous_total = done_total = 0
            while time.monotonic() - started < args.seconds_per_command:
                if name in ("copy", "move"):
                    since = snapshot()
                    result = with_writer(lambda: classify(runs, name == "move"))
                    code, err, rss, secs, ok, target, out, logs = result
                    records, done = check_placed(out, name == "move", logs, since)
                    done_total += done
                    if name == "move":
                        lost, ambiguous = check_nothing_lost(target, records, "move")
                        lost_total += lost
                        ambiguous_total += ambiguous
                    else:
                        # Copies never remove: the writer's last states are all at the source.
                        lost, _ = check_nothing_lost(os.path.join(other, "none"), records, "copy")
                        lost_total += lost
                    shutil.rmtree(target, ignore_errors=True)
                else:
                    code, err, rss, secs, ok = with_writer(lambda: commands[name](runs))
                runs += 1
                peak = max(peak, rss)
                total_secs += secs
                if "ERROR: AddressSanitizer" in err or "runtime error:" in err or "LeakSanitizer" in err:
                    faults.append(f"{name}: sanitizer report:\n{err[-3000:]}")
                    ok = False
                if not ok:
                    bad += 1
                    faults.append(f"{name}: exit status {code} (run {runs}); stderr tail: {err[-400:]!r}")
                if rss > args.max_rss_mb * 1024:
                    faults.append(f"{name}: peak memory {rss / 1024:.0f} MB")
            summary[name] = {"runs": runs, "bad_exit": bad, "peak_rss_mb": round(peak / 1024, 1),
                             "seconds": round(total_secs, 1)}
            if name in ("copy", "move"):
                summary[name].update({"files_done": done_total, "states_lost": lost_total,
                                      "ambiguous": ambiguous_total})
            print(f"{name}: {json.dumps(summary[name], ensure_ascii=False)}", flush=True)
        print(f"changing files listed as duplicates (runs): {json.dumps(hot_listed)}")
        _, records = load_states(log_path)
        print(f"writer states recorded: {sum(1 for r in records if 'sha' in r)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(other, ignore_errors=True)
    seen = set()
    for fault in faults:
        key = fault[:160]
        if key not in seen:
            seen.add(key)
            print("FAULT:", fault)
    print(f"{len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
