#!/usr/bin/env python3
"""Two texts that share most of their sentences, for the content similarity of similar names.

Usage: gen_similar_texts.py DIR MEBIBYTES

Writes DIR/novel1.txt and DIR/novel2.txt of about MEBIBYTES each: lines of sentences mixing
Chinese words and ASCII words, with Chinese and ASCII punctuation, blanks and CR LF or LF line
breaks. The second text is the first with about one clause in eight rewritten, one in forty
dropped and one in forty added, so the two are similar but not equal.
"""
import os
import random
import sys

CHINESE = ("我们 今天 系统 文件 数据 报告 分析 结果 时间 问题 方法 工作 学习 城市 天气 研究 发展 "
           "经济 社会 技术 管理 市场 服务 用户 产品 质量 安全 环境 教育 文化 历史 科学 生活 朋友 "
           "家庭 孩子 老师 学生 医生 工程 项目 计划 会议 讨论 决定 目标 成本 效率 过程 方案").split()
ASCII = ("the of and to in is was for on that with as by at from this data file report system "
         "value test result user time error server client index table query cache build release "
         "version update memory thread config").split()
CLAUSE_END = ["，", "，", "，", ",", ";", "；"]
SENTENCE_END = ["。", "。", "。", "！", "？", "!", "?", "."]


def clause(rng):
    words = []
    for _ in range(rng.randint(3, 9)):
        if rng.random() < 0.7:
            words.append(rng.choice(CHINESE))
        else:
            words.append(" " + rng.choice(ASCII) + " ")
    if rng.random() < 0.2:
        words.append(str(rng.randint(1, 99999)))
    return "".join(words).strip()


def main():
    out_dir = sys.argv[1]
    target = int(float(sys.argv[2]) * (1 << 20))
    rng = random.Random(20261209)
    os.makedirs(out_dir, exist_ok=True)
    paths = [os.path.join(out_dir, "novel1.txt"), os.path.join(out_dir, "novel2.txt")]
    files = [open(p, "w", encoding="utf-8", newline="") for p in paths]
    written = 0
    try:
        while written < target:
            first, second = [], []
            for _ in range(rng.randint(1, 4)):  # sentences of one line
                clauses = rng.randint(1, 4)
                for k in range(clauses):
                    text = clause(rng)
                    end = rng.choice(SENTENCE_END) if k == clauses - 1 else rng.choice(CLAUSE_END)
                    roll = rng.random()
                    first.append(text + end)
                    if roll < 0.125:
                        second.append(clause(rng) + end)
                    elif roll < 0.15:
                        pass
                    elif roll < 0.175:
                        second.append(text + end)
                        second.append(clause(rng) + end)
                    else:
                        second.append(text + end)
            brk = "\r\n" if rng.random() < 0.5 else "\n"
            line1 = "".join(first) + brk
            line2 = "".join(second) + brk
            files[0].write(line1)
            files[1].write(line2)
            written += len(line1.encode("utf-8"))
    finally:
        for f in files:
            f.close()


if __name__ == "__main__":
    main()
