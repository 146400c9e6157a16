#!/usr/bin/env python3
"""Writes <name>.vcf and <name>.ped: a small cohort over three chromosomes for
the workflow checks. The bundled example's family (its sample names, with
an outsider who is in no family) and generated families: nuclear families of
two to four children and a three-generation family. Founders' haplotypes are
drawn per site from an allele frequency; children inherit by meioses with
crossovers at 1 cM per Mb (Haldane); 2% of calls are missing."""
import random
import sys

CHROMOSOMES = [("1", 3_000_000, 300), ("2", 2_000_000, 200), ("3", 1_500_000, 150)]
CM_PER_MB = 1.0
MISSING = 0.02

# (family, member, father, mother, sex); "0" for a founder's parents.
PEDIGREE = [
    ("fam1", "dad", "0", "0", 1), ("fam1", "mum", "0", "0", 2),
    ("fam1", "kid1", "dad", "mum", 1), ("fam1", "kid2", "dad", "mum", 2), ("fam1", "kid3", "dad", "mum", 2),
]


def generated_families(rng):
    for f in range(2, 6):
        family = f"fam{f}"
        PEDIGREE.extend([(family, f"f{f}_p", "0", "0", 1), (family, f"f{f}_m", "0", "0", 2)])
        for c in range(rng.randint(2, 4)):
            PEDIGREE.append((family, f"f{f}_c{c}", f"f{f}_p", f"f{f}_m", rng.randint(1, 2)))
    PEDIGREE.extend([
        ("fam6", "gp", "0", "0", 1), ("fam6", "gm", "0", "0", 2),
        ("fam6", "son", "gp", "gm", 1), ("fam6", "daughter", "gp", "gm", 2), ("fam6", "wife", "0", "0", 2),
        ("fam6", "g1", "son", "wife", 1), ("fam6", "g2", "son", "wife", 2), ("fam6", "g3", "son", "wife", 1),
    ])


def meiosis(rng, haplotypes, positions):
    """One gamete of a parent's two haplotypes."""
    side = rng.randint(0, 1)
    gamete = []
    previous = positions[0]
    for site, position in enumerate(positions):
        morgans = (position - previous) * CM_PER_MB / 1e8
        if rng.random() < (1 - pow(2.718281828459045, -2 * morgans)) / 2:
            side ^= 1
        gamete.append(haplotypes[side][site])
        previous = position
    return gamete


def main():
    name = sys.argv[1]
    rng = random.Random(20261207)
    generated_families(rng)
    samples = [member for _, member, _, _, _ in PEDIGREE] + ["outsider"]
    with open(name + ".ped", "w") as ped:
        ped.write("# family member father mother sex phenotype\n")
        for family, member, father, mother, sex in PEDIGREE:
            ped.write(f"{family} {member} {father} {mother} {sex} 0\n")
    with open(name + ".vcf", "w") as vcf:
        vcf.write("##fileformat=VCFv4.2\n")
        for chromosome, length, _ in CHROMOSOMES:
            vcf.write(f"##contig=<ID={chromosome},length={length}>\n")
        vcf.write('##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">\n')
        vcf.write("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t" + "\t".join(samples) + "\n")
        for chromosome, length, sites in CHROMOSOMES:
            positions = sorted(rng.sample(range(1, length + 1), sites))
            frequencies = [rng.uniform(0.1, 0.9) for _ in positions]
            haplotypes = {}
            for _, member, father, mother, _ in PEDIGREE:
                if father == "0":
                    haplotypes[member] = [[int(rng.random() < p) for p in frequencies] for _ in range(2)]
                else:
                    haplotypes[member] = [meiosis(rng, haplotypes[father], positions),
                                          meiosis(rng, haplotypes[mother], positions)]
            haplotypes["outsider"] = [[int(rng.random() < p) for p in frequencies] for _ in range(2)]
            for site, position in enumerate(positions):
                calls = []
                for sample in samples:
                    a, b = sorted(h[site] for h in haplotypes[sample])
                    calls.append("./." if rng.random() < MISSING else f"{a}/{b}")
                vcf.write(f"{chromosome}\t{position}\t.\tA\tG\t50\tPASS\t.\tGT\t" + "\t".join(calls) + "\n")


if __name__ == "__main__":
    main()
