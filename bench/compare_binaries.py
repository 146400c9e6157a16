#!/usr/bin/env python3
"""Runs two Haplotor binaries on the same generated pedigree files and reports
every difference in result files, standard output, standard error and exit
status (time columns of "res" masked).

usage: compare_binaries.py OLD NEW [--files N] [--options bclms] [--seed S] [--keep DIR]

The files cover nuclear, three-generation and half-sib families, shuffled
lines, returning family ids, missing alleles, multi-allelic markers and
damaged lines (missing fields, words for numbers, one known parent, loops,
repeated member ids, an empty line).
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile


def family_lines(rng, fid, shape, loci, alleles, missing):
    people = []  # id, father, mother, sex, paternal, maternal

    def founder(sex):
        pid = len(people) + 1
        people.append([pid, 0, 0, sex, [rng.randint(1, alleles) for _ in range(loci)],
                       [rng.randint(1, alleles) for _ in range(loci)]])
        return pid

    def transmit(parent):
        p = people[parent - 1]
        side = rng.random() < 0.5
        hap = []
        for l in range(loci):
            if l and rng.random() < 0.1:
                side = not side
            hap.append(p[4][l] if side else p[5][l])
        return hap

    def child(f, m):
        pid = len(people) + 1
        people.append([pid, f, m, rng.choice([1, 2]), transmit(f), transmit(m)])
        return pid

    f, m = founder(1), founder(2)
    kids = [child(f, m) for _ in range(rng.randint(1, 4))]
    if shape == "three":
        for k in kids[:2]:
            sex = people[k - 1][3]
            spouse = founder(2 if sex == 1 else 1)
            pair = (k, spouse) if sex == 1 else (spouse, k)
            for _ in range(rng.randint(1, 3)):
                child(*pair)
    elif shape == "halfsib":
        m2 = founder(2)
        for _ in range(rng.randint(1, 3)):
            child(f, m2)
    elif shape == "single":
        people[:] = people[:1]
    lines = []
    for p in people:
        fields = [fid, p[0], p[1], p[2], p[3], 0, 0]
        for l in range(loci):
            a, b = p[4][l], p[5][l]
            if rng.random() < 0.5:
                a, b = b, a
            if rng.random() < missing:
                a = 0
            if rng.random() < missing:
                b = 0
            fields += [a, b]
        lines.append(" ".join(str(x) for x in fields))
    if rng.random() < 0.3:
        rng.shuffle(lines)
    return lines


def damage(rng, lines):
    i = rng.randrange(len(lines))
    words = lines[i].split()
    kind = rng.randrange(7)
    if kind == 0 and len(words) > 3:
        words = words[: rng.randint(1, 6)]
    elif kind == 1:
        words[rng.randrange(len(words))] = "x"
    elif kind == 2 and len(words) > 3:
        words[rng.choice([2, 3])] = "0"
    elif kind == 3 and len(words) > 3:
        words[2] = words[1]
    elif kind == 4:
        lines.insert(i, lines[i])
    elif kind == 5:
        lines.insert(i, "")
    elif kind == 6 and len(words) > 9:
        words = words[:-2]
    lines[i] = ",".join(words) if rng.random() < 0.2 else " ".join(words)


def make_file(rng, path):
    loci = rng.choice([1, 2, 3, 4, 6, 8, 12, 20])
    alleles = rng.choice([2, 2, 3, 4])
    missing = rng.choice([0, 0, 0.03, 0.1])
    lines = []
    fids = list(range(1, rng.randint(2, 5)))
    if rng.random() < 0.2:
        fids.append(fids[0])  # a family id that comes back
    for fid in fids:
        shape = rng.choice(["nuclear", "nuclear", "three", "halfsib", "single"])
        lines += family_lines(rng, fid, shape, loci, alleles, missing)
    if rng.random() < 0.25:
        damage(rng, lines)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


TIME = re.compile(r"^(\S+\t \S+\t )\S+$|^(Total Time used\(Sec\):\t)\S+$")


def masked(text):
    out = []
    for line in text.split("\n"):
        m = TIME.match(line)
        out.append((m.group(1) or m.group(2)) + "T" if m else line)
    return "\n".join(out)


def run(binary, option, folder, name):
    env = dict(os.environ, HAPLOTOR_SEED="7")
    p = subprocess.run([binary, "-" + option, name], cwd=folder, env=env, capture_output=True, timeout=120)
    result = {"status": str(p.returncode), "stdout": p.stdout.decode("latin-1"),
              "stderr": p.stderr.decode("latin-1")}
    for ext in ("dat", "res", "out"):
        path = os.path.join(folder, name[:-3] + ext)
        if os.path.exists(path):
            with open(path, encoding="latin-1") as f:
                result[ext] = masked(f.read())
            os.remove(path)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--files", type=int, default=1000)
    ap.add_argument("--options", default="bclm")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep")
    a = ap.parse_args()
    rng = random.Random(a.seed)
    work = tempfile.mkdtemp()
    differing = 0
    for n in range(a.files):
        name = "f%05d.txt" % n
        make_file(rng, os.path.join(work, name))
        for option in a.options:
            r1 = run(os.path.abspath(a.old), option, work, name)
            r2 = run(os.path.abspath(a.new), option, work, name)
            if r1 != r2:
                differing += 1
                keys = [k for k in sorted(set(r1) | set(r2)) if r1.get(k) != r2.get(k)]
                print("differs: -%s %s (%s)" % (option, name, ", ".join(keys)))
                if a.keep:
                    os.makedirs(a.keep, exist_ok=True)
                    shutil.copy(os.path.join(work, name), os.path.join(a.keep, option + "_" + name))
    shutil.rmtree(work)
    print("%d files x %d options, %d runs differ" % (a.files, len(a.options), differing))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
