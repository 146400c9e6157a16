#!/usr/bin/env python3
"""Helpers of bench/vcf_option_i.sh: the same families as PED + VCF and as a
seven-column pedigree file, and the agreement of the two runs' phase.

  nuclear IN.ped COUNT OUT.ped
      the first COUNT nuclear families of IN.ped (two founders, a couple,
      every other member their child); fails if there are fewer
  seven FAMILIES.ped FAMILIES.vcf.gz OUT.txt
      the seven-column pedigree file of the PED families: members numbered
      1, 2, ... per family in PED order, allele code = VCF allele index + 1,
      0 = missing
  agree FAMILIES.ped SEVEN.out PHASED.vcf.gz
      compares every child's calls in the seven-column "out" file with the
      phased VCF and prints the share phased identically
"""
import subprocess
import sys


def read_ped(path):
    """Families in file order: [(family, [(member, father, mother, sex)])]."""
    families, index = [], {}
    with open(path) as ped:
        for line in ped:
            fields = line.split()
            if len(fields) < 5 or fields[0].startswith("#"):
                continue
            if fields[0] not in index:
                index[fields[0]] = len(families)
                families.append((fields[0], []))
            families[index[fields[0]]][1].append(tuple(fields[1:5]))
    return families


def is_nuclear(members):
    founders = [m for m in members if m[1] == "0" and m[2] == "0"]
    children = [m for m in members if m not in founders]
    if len(founders) != 2 or not children:
        return False
    couple = {founders[0][0], founders[1][0]}
    return all({m[1], m[2]} == couple for m in children)


def nuclear(source, count, target):
    chosen = [f for f in read_ped(source) if is_nuclear(f[1])][:count]
    if len(chosen) < count:
        sys.exit(f"{source}: only {len(chosen)} nuclear families, {count} wanted")
    with open(target, "w") as ped:
        for family, members in chosen:
            for member, father, mother, sex in members:
                ped.write(f"{family} {member} {father} {mother} {sex} 0\n")


def bcftools_lines(*args):
    return subprocess.run(["bcftools", *args], check=True, capture_output=True, text=True).stdout.splitlines()


def calls_by_sample(vcf):
    """{sample: [GT text per site]}, in site order."""
    samples = bcftools_lines("query", "-l", vcf)
    columns = [[] for _ in samples]
    for line in bcftools_lines("query", "-f", "[%GT\t]\n", vcf):
        for column, gt in zip(columns, line.rstrip("\t").split("\t")):
            column.append(gt)
    return dict(zip(samples, columns))


def allele_codes(gt):
    """'0/1' -> ('1', '2'); a missing allele is '0'. Biallelic or not."""
    alleles = gt.replace("|", "/").split("/")
    if len(alleles) != 2:
        return ("0", "0")  # haploid calls do not occur in these families
    return tuple("0" if a == "." else str(int(a) + 1) for a in alleles)


def seven(ped, vcf, target):
    calls = calls_by_sample(vcf)
    with open(target, "w") as out:
        for family, members in read_ped(ped):
            number = {m[0]: str(k + 1) for k, m in enumerate(members)}
            number["0"] = "0"
            for member, father, mother, sex in members:
                fields = [family, number[member], number[father], number[mother], sex, "0", "0"]
                for gt in calls[member]:
                    fields.extend(allele_codes(gt))
                out.write(" ".join(fields) + "\n")


def sources(text):
    """'01-10' -> [0, 1, -1, 0]."""
    values, k = [], 0
    while k < len(text):
        width = 2 if text[k] == "-" else 1
        values.append(int(text[k : k + width]))
        k += width
    return values


def agree(ped, out7, vcf):
    calls = calls_by_sample(vcf)
    names = {}
    for family, members in read_ped(ped):
        for k, m in enumerate(members):
            if m[1] != "0":
                names[(family, str(k + 1))] = m[0]
    total = same = het = het_same = phased7 = phased_vcf = 0
    with open(out7) as out:
        for line in out:
            fields = line.rstrip("\n").split("\t")
            name = names.get((fields[0], fields[1]))
            if name is None:
                continue  # a founder: its haplotype order is arbitrary
            vcf_calls = calls[name]
            pairs = fields[7 : 7 + len(vcf_calls)]
            paternal, maternal = sources(fields[7 + len(vcf_calls)]), sources(fields[8 + len(vcf_calls)])
            for l, (pair, gt) in enumerate(zip(pairs, vcf_calls)):
                mine = tuple(pair.split("/"))
                is_phased7 = paternal[l] >= 0 and maternal[l] >= 0
                is_phased_vcf = "|" in gt
                match = is_phased7 and is_phased_vcf and mine == allele_codes(gt)
                total += 1
                same += match
                phased7 += is_phased7
                phased_vcf += is_phased_vcf
                if mine[0] != mine[1]:
                    het += 1
                    het_same += match
    if total == 0:
        sys.exit(f"{out7}: no child found")
    print(
        f"children's calls phased identically: {same} of {total} ({100 * same / total:.3f}%),"
        f" heterozygous {het_same} of {het} ({100 * het_same / max(het, 1):.3f}%);"
        f" phased by seven-column {phased7}, by VCF {phased_vcf}"
    )


def main():
    command, args = sys.argv[1] if len(sys.argv) > 1 else "", sys.argv[2:]
    if command == "nuclear" and len(args) == 3:
        nuclear(args[0], int(args[1]), args[2])
    elif command == "seven" and len(args) == 3:
        seven(*args)
    elif command == "agree" and len(args) == 3:
        agree(*args)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
