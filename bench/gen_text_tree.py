#!/usr/bin/env python3
"""Writes the text-search benchmark trees.
  gen_text_tree.py utf8 ROOT   -- 10,000 UTF-8 text files (about 300 MB); some hold "Invoice" in
                                  some letter case
  gen_text_tree.py mixed ROOT  -- 10,000 files mixing GBK, UTF-8 with and without mark, UTF-16LE/BE
                                  with mark, Big5 HTML pages declaring their charset in <head>, and
                                  gzip-compressed UTF-8; some hold 报告, some hold its GBK bytes
                                  only across a character boundary (or as other Big5 characters).
                                  ROOT.expected lists the files whose decoded text holds 报告.
  gen_text_tree.py logs ROOT   -- two 120 MB UTF-8 logs in ROOT/p00, the one with "INVOICE" only in
                                  its last line; add them to a utf8 tree for large files among
                                  the small ones.
  gen_text_tree.py shaped ROOT -- 10,001 UTF-8 files shaped like a real document folder: about
                                  310 MB, median 4.4 KB, 90 % under 71 KB, five files of about
                                  20 MB; about 12 % hold "Invoice" in some letter case, at a random
                                  place. ROOT.expected lists them."""
import gzip
import math
import os
import random
import sys

mode, root = sys.argv[1], sys.argv[2]
rng = random.Random(5)
words = ("the of and payment order account total amount customer delivery date number item price "
         "quantity tax note invo voices nvoic in vo ice").split()
hanzi = "我们的年度总结会议记录项目进展计划安排财务数据分析市场销售客户服务质量管理部门人员工作"


def folder_for(index):
    folder = os.path.join(root, "p%02d" % (index % 40), "q%d" % (index % 7))
    os.makedirs(folder, exist_ok=True)
    return folder


def ascii_text(size, hit):
    parts, length = [], 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(12)) + "\n"
        parts.append(line)
        length += len(line)
    if hit:
        parts.insert(rng.randrange(len(parts)), rng.choice(["Invoice", "INVOICE", "invoice", "InVoIcE"]) + " 42\n")
    return "".join(parts)


def chinese_text(chars, hit):
    text = "".join(rng.choice(hanzi) for _ in range(chars))
    lines = [text[i:i + 40] for i in range(0, len(text), 40)]
    if hit:
        lines.insert(rng.randrange(len(lines) + 1), "年度报告第%d页" % rng.randrange(100))
    return "\n".join(lines) + "\n"


if mode == "logs":
    folder = os.path.join(root, "p00")
    os.makedirs(folder, exist_ok=True)
    log_words = words + ["数据", "分析"]
    for name, hit in (("big1.log", True), ("big2.log", False)):
        block = "".join(" ".join(rng.choice(log_words) for _ in range(12)) + "\n" for _ in range(20000))
        encoded = block.encode("utf-8")
        with open(os.path.join(folder, name), "wb") as out:
            for _ in range(-(-120 * 2 ** 20 // len(encoded))):
                out.write(encoded)
            if hit:
                out.write("late INVOICE 7\n".encode("utf-8"))
    sys.exit(0)

if mode == "shaped":
    # One block of lines, a sixth of them Chinese, that every file is cut from: writing 310 MB
    # word by word would take minutes.
    lines = []
    for _ in range(120000):
        if rng.random() < 0.16:
            lines.append("".join(rng.choice(hanzi) for _ in range(rng.randint(8, 30))))
        else:
            lines.append(" ".join(rng.choice(words) for _ in range(rng.randint(4, 14))))
    block = ("\n".join(lines) + "\n").encode("utf-8")
    assert b"invoice" not in block.lower()
    forms = [b"Invoice", b"INVOICE", b"invoice", b"InVoIcE", b"invoicE"]

    def cut(size):
        start = block.find(b"\n", rng.randrange(len(block) - 200000)) + 1
        piece = block[start:start + size]
        return piece[:piece.rfind(b"\n") + 1] or piece

    def body(size, hit):
        data = b"".join(cut(min(size, 150000)) for _ in range(max(1, size // 150000)))
        if hit:
            at = data.find(b"\n", rng.randrange(max(1, len(data)))) + 1
            data = data[:at] + rng.choice(forms) + b" 42\n" + data[at:]
        return data

    expected = []
    for i in range(10001):
        big = i % 2000 == 1999
        size = 20 * 10**6 if big else int(min(140e3, max(200, rng.lognormvariate(math.log(4300), 2.17))))
        hit = rng.random() < 0.12 or i == 3999
        name = os.path.join(folder_for(i), "doc%05d.%s" % (i, ("txt", "md", "csv", "log")[i % 4]))
        with open(name, "wb") as out:
            out.write(body(size, hit))
        if hit:
            expected.append(name)
    with open(root + ".expected", "w", encoding="utf-8") as out:
        out.write("".join(sorted(p + "\n" for p in expected)))
    sys.exit(0)

if mode == "utf8":
    for i in range(10000):
        hit = rng.random() < 0.1
        body = ascii_text(rng.randint(20000, 40000), hit)
        if rng.random() < 0.3:
            body = chinese_text(200, False) + body
        with open(os.path.join(folder_for(i), "doc%05d.txt" % i), "w", encoding="utf-8") as out:
            out.write(body)
    sys.exit(0)

expected = []
kinds = ["gbk", "utf8", "utf8bom", "utf16le", "utf16be", "big5html", "gzip", "gbktrap"]
for i in range(10000):
    kind = kinds[i % len(kinds)]
    hit = rng.random() < 0.3 and kind not in ("big5html", "gbktrap")
    text = chinese_text(rng.randint(1000, 8000), hit)
    name = os.path.join(folder_for(i), "f%05d.%s" % (i, "html" if kind == "big5html" else "gz" if kind == "gzip" else "txt"))
    if kind == "gbk":
        data = text.encode("gbk")
    elif kind == "utf8":
        data = text.encode("utf-8")
    elif kind == "utf8bom":
        data = b"\xef\xbb\xbf" + text.encode("utf-8")
    elif kind == "utf16le":
        data = b"\xff\xfe" + text.encode("utf-16-le")
    elif kind == "utf16be":
        data = b"\xfe\xff" + text.encode("utf-16-be")
    elif kind == "gzip":
        data = gzip.compress(text.encode("utf-8"))
    elif kind == "gbktrap":
        # 氨ǜ妗: the GBK bytes of 报告 (B1 A8 B8 E6) straddle three characters.
        data = (text[:100] + "氨ǜ妗" + text[100:]).encode("gbk")
    else:
        # Traditional text; 惆豢 has the Big5 bytes B1 A8 B8 E6, the GBK form of 报告.
        body = "報表" + "".join(rng.choice("年度會議記錄項目進展計劃安排財務數據") for _ in range(2000)) + "惆豢"
        data = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=big5">'
                '<title>t</title></head><body>' + body + '</body></html>').encode("big5")
    with open(name, "wb") as out:
        out.write(data)
    if hit:
        expected.append(name)
with open(root + ".expected", "w", encoding="utf-8") as out:
    out.write("".join(sorted(p + "\n" for p in expected)))
