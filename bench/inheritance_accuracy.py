#!/usr/bin/env python3
"""Accuracy of option i beside options b, l and m on simulated families with
known truth: nuclear (2 parents, 3 children), three-generation (grandparents,
2 children, one married to a founder with 2 children) and half-sibs (a father
with 2 children by each of 2 mates); 0%, 3% and 10% missing alleles; 16
biallelic loci with recombination fraction 0.02 between adjacent loci.

Per configuration, SEEDS x 5 families go into one input file (distinct family
ids) and each option runs once on it. Figures, over non-founders at loci
heterozygous in the truth:
  called   share of those loci written phased (family written, sources known)
  scored   share of those loci whose paternal allele is written (not 0)
  phase    share of scored loci whose written paternal allele is wrong
  switch   share of adjacent scored loci pairs where phase correctness flips
  fill     share of genotypes with a missing allele written complete
  discord  share of those filled genotypes that differ from the truth

usage: inheritance_accuracy.py path/to/Haplotor.exe [seeds]
"""
import os
import random
import subprocess
import sys
import tempfile

LOCI = 16
THETA = 0.02
SHAPES = ("nuclear", "three-generation", "half-sibs")
MISSING = (0.0, 0.03, 0.10)
OPTIONS = ("i", "b", "l", "m")


def structure(shape):
    """(id, father, mother, sex) rows, parents first."""
    if shape == "nuclear":
        return [(1, 0, 0, 1), (2, 0, 0, 2), (3, 1, 2, 1), (4, 1, 2, 2), (5, 1, 2, 1)]
    if shape == "three-generation":
        return [(1, 0, 0, 1), (2, 0, 0, 2), (3, 1, 2, 1), (4, 1, 2, 2), (5, 0, 0, 2),
                (6, 3, 5, 1), (7, 3, 5, 2)]
    return [(1, 0, 0, 1), (2, 0, 0, 2), (3, 0, 0, 2), (4, 1, 2, 1), (5, 1, 2, 2),
            (6, 1, 3, 1), (7, 1, 3, 2)]


def transmit(rng, parent):
    side = rng.randrange(2)
    out = []
    for l in range(LOCI):
        if l > 0 and rng.random() < THETA:
            side = 1 - side
        out.append(parent[side][l])
    return out


def simulate(rng, shape, family_id, missing):
    truth = {}
    lines = []
    for member, father, mother, sex in structure(shape):
        if father == 0:
            truth[member] = ([1 + rng.randrange(2) for _ in range(LOCI)],
                             [1 + rng.randrange(2) for _ in range(LOCI)])
        else:
            truth[member] = (transmit(rng, truth[father]), transmit(rng, truth[mother]))
        fields = [family_id, member, father, mother, sex, 0, 0]
        typed = []
        for l in range(LOCI):
            a, b = truth[member][0][l], truth[member][1][l]
            if rng.random() < 0.5:
                a, b = b, a
            a = 0 if rng.random() < missing else a
            b = 0 if rng.random() < missing else b
            fields += [a, b]
            typed.append((a, b))
        lines.append(" ".join(map(str, fields)))
        truth[member] = truth[member] + (typed, father)
    return lines, truth


def read_out(path):
    """family -> member -> (alleles, paternal sources): first configuration only."""
    written = {}
    if not os.path.exists(path):
        return written
    for line in open(path):
        fields = line.rstrip("\n").split("\t")
        if len(fields) < 9:
            continue  # a refused family's notice
        family, member = int(fields[0]), int(fields[1])
        members = written.setdefault(family, {})
        if member in members or family in done:
            done.add(family)
            continue
        alleles = [tuple(int(x) for x in f.split("/")) for f in fields[7:7 + LOCI]]
        members[member] = (alleles, fields[7 + LOCI])
    return written


done = set()


def score(truths, written):
    het = called = scored = wrong = pairs = switches = missing_genotypes = filled = discordant = 0
    for family, truth in truths.items():
        out = written.get(family, {})
        for member, (pat, mat, typed, father) in truth.items():
            got = out.get(member)
            for l in range(LOCI):
                if 0 in typed[l]:
                    missing_genotypes += 1
                    if got and 0 not in got[0][l]:
                        filled += 1
                        discordant += sorted(got[0][l]) != sorted((pat[l], mat[l]))
            if father == 0:
                continue
            previous = None
            for l in range(LOCI):
                if pat[l] == mat[l]:
                    continue
                het += 1
                if not got or got[1][l] == "-":
                    continue
                called += 1
                if got[0][l][0] == 0:
                    continue
                scored += 1
                correct = got[0][l][0] == pat[l]
                wrong += not correct
                if previous is not None:
                    pairs += 1
                    switches += correct != previous
                previous = correct
    ratio = lambda a, b: a / b if b else 0.0
    return (ratio(called, het), ratio(scored, het), ratio(wrong, scored), ratio(switches, pairs), ratio(filled, missing_genotypes),
            ratio(discordant, filled))


def main():
    exe = os.path.abspath(sys.argv[1])
    seeds = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    print("shape\tmissing\toption\tcalled\tscored\tphase\tswitch\tfill\tdiscord")
    for shape in SHAPES:
        for missing in MISSING:
            rng = random.Random(f"{shape}-{missing}")
            lines, truths = [], {}
            for family in range(1, seeds * 5 + 1):
                family_lines, truths[family] = simulate(rng, shape, family, missing)
                lines += family_lines
            with tempfile.TemporaryDirectory() as work:
                with open(os.path.join(work, "sim.txt"), "w") as handle:
                    handle.write("\n".join(lines) + "\n")
                for option in OPTIONS:
                    subprocess.run([exe, "-" + option, "sim.txt"], cwd=work, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=dict(os.environ, HAPLOTOR_SEED="1"))
                    done.clear()
                    figures = score(truths, read_out(os.path.join(work, "sim.out")))
                    print(f"{shape}\t{missing:.0%}\t{option}\t" + "\t".join(f"{x:.4f}" for x in figures), flush=True)


if __name__ == "__main__":
    main()
