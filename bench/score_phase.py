#!/usr/bin/env python3
"""Phase accuracy of a phased family VCF against the simulated truth, and the
crude scaffold of a Haplotor output. Reads the VCF files with `bcftools query`.

usage:
  score_phase.py score TRUTH.vcf.gz INPUT.vcf.gz PHASED.vcf.gz PEDIGREE.ped [--tsv]
  score_phase.py scaffold PHASED.vcf.gz PEDIGREE.ped > scaffold.vcf

score: the members are the truth's samples; a call counts only where the
input (the file that was phased) has it typed and the truth is heterozygous.
  phase error   children (both parents in the PED): among calls written as a
                phased heterozygote, the share whose first (paternal) allele
                is not the true paternal one
  switch error  every member: among adjacent pairs of its phased heterozygous
                calls (within one PS block where both have PS), the share whose
                relative phase differs from the truth's
  share phased  phased heterozygous calls / true heterozygous typed calls
The "half" variants count every other call at a true heterozygote (unphased,
or written with another genotype) as half an error: the phase error over all
true heterozygous typed calls of children, the switch error over adjacent
pairs of heterozygous calls, phased or not, with 0.5 for a pair with an
unphased call. Calibration, if the phased VCF has a PP FORMAT field: among
the children's phased heterozygous calls with PP in [0.9, 0.99) and with
PP >= 0.99, the share whose paternal allele is wrong.
With --tsv one line: phase, switch, phased, phase half, switch half (percent),
then the two calibration shares and counts ("-" without PP).

scaffold: a copy of the genotypes (GT only) without the phase a family often
leaves open: where a child and both its parents are heterozygous, the three
calls are written unphased (the parents' phase there rests on their other
children alone, and the child's on the parents'); unphased and missing calls
stay as they are.
"""
import subprocess
import sys


def header_tags(path):
    text = subprocess.run(["bcftools", "view", "-h", path], check=True, capture_output=True,
                          text=True).stdout
    return {tag for tag in ("PS", "PP") if f"##FORMAT=<ID={tag}," in text}, text


def samples(path):
    return subprocess.run(["bcftools", "query", "-l", path], check=True, capture_output=True,
                          text=True).stdout.split()


def query(path, names, tags):
    """{(chrom, pos, ref, alt): [(gt, ps, pp) per name]}"""
    fields = "%GT" + "".join(f"\\t%{t}" for t in tags)
    fmt = "%CHROM\\t%POS\\t%REF\\t%ALT[\\t" + fields + "]\\n"
    out = subprocess.run(["bcftools", "query", "-s", ",".join(names), "-f", fmt, path],
                         check=True, capture_output=True, text=True).stdout
    width = 1 + len(tags)
    sites = {}
    for line in out.splitlines():
        cols = line.split("\t")
        values = cols[4:]
        calls = []
        for i in range(len(names)):
            call = values[i * width:(i + 1) * width]
            extra = dict(zip(tags, call[1:]))
            calls.append((call[0], extra.get("PS", "."), extra.get("PP", ".")))
        sites[tuple(cols[:4])] = calls
    return sites


def alleles(gt):
    """(a, b, phased) or None for a missing or haploid call"""
    sep = "|" if "|" in gt else "/"
    parts = gt.split(sep)
    if len(parts) != 2 or "." in parts:
        return None
    return parts[0], parts[1], sep == "|"


def read_ped(path):
    parents = {}
    for line in open(path):
        cols = line.split()
        if len(cols) >= 6 and not line.startswith("#"):
            parents[cols[1]] = (cols[2], cols[3])
    return parents


def percent(num, den):
    return 100.0 * num / den if den else float("nan")


def score(truth_path, input_path, phased_path, ped_path, tsv):
    names = samples(truth_path)
    parents = read_ped(ped_path)
    children = [parents.get(n, ("0", "0"))[0] in names and parents[n][1] in names for n in names]
    tags, _ = header_tags(phased_path)
    truth = query(truth_path, names, [])
    typed = query(input_path, names, [])
    phased = query(phased_path, names, sorted(tags))
    phase_n = phase_err = 0  # children, phased het calls at true hets
    half_n = 0  # children, true het typed calls
    half_err = 0.0
    het_n = het_phased = 0
    calib = {"0.9": [0, 0], "0.99": [0, 0]}  # [wrong, count]
    # per member: list of (site order, orientation or None if unphased, ps)
    runs = [[] for _ in names]
    for key in truth:
        if key not in typed or key not in phased:
            continue
        for m in range(len(names)):
            t = alleles(truth[key][m][0])
            if t is None or t[0] == t[1] or alleles(typed[key][m][0]) is None:
                continue
            het_n += 1
            if children[m]:
                half_n += 1
            gt, ps, pp = phased[key][m]
            c = alleles(gt)
            if c is None or {c[0], c[1]} != {t[0], t[1]}:
                if children[m]:
                    half_err += 0.5
                continue  # another genotype: no phase to score, not in a switch pair
            if not c[2]:
                runs[m].append((None, ps))
                if children[m]:
                    half_err += 0.5
                continue
            het_phased += 1
            right = c[0] == t[0]
            runs[m].append((right, ps))
            if children[m]:
                phase_n += 1
                phase_err += not right
                half_err += not right
                if pp not in (".", ""):
                    p = float(pp)
                    bucket = "0.99" if p >= 0.99 else "0.9" if p >= 0.9 else None
                    if bucket:
                        calib[bucket][0] += not right
                        calib[bucket][1] += 1
    switch_n = switch_err = 0
    half_switch_n = 0
    half_switch_err = 0.0
    for run in runs:
        # strict: adjacent phased calls; half: adjacent het calls, phased or not
        previous = None
        for right, ps in run:
            if right is not None:
                if previous is not None and (previous[1] == ps or "." in (ps, previous[1])):
                    switch_n += 1
                    switch_err += right != previous[0]
                previous = (right, ps)
        for (a, psa), (b, psb) in zip(run, run[1:]):
            half_switch_n += 1
            if a is None or b is None or (psa != psb and "." not in (psa, psb)):
                half_switch_err += 0.5
            else:
                half_switch_err += a != b
    figures = {
        "phase": percent(phase_err, phase_n),
        "switch": percent(switch_err, switch_n),
        "phased": percent(het_phased, het_n),
        "phase_half": percent(half_err, half_n),
        "switch_half": percent(half_switch_err, half_switch_n),
    }
    if tsv:
        cells = [f"{figures[k]:.2f}" for k in ("phase", "switch", "phased", "phase_half", "switch_half")]
        for bucket in ("0.9", "0.99"):
            wrong, count = calib[bucket]
            cells.append(f"{percent(wrong, count):.2f}/{count}" if "PP" in tags else "-")
        print("\t".join(cells))
        return
    print(f"phase error (children, phased het calls): {figures['phase']:.2f}% of {phase_n}")
    print(f"switch error (all members): {figures['switch']:.2f}% of {switch_n} adjacent pairs")
    print(f"share phased: {figures['phased']:.2f}% of {het_n} true het typed calls")
    print(f"phase error, unphased = half an error: {figures['phase_half']:.2f}% of {half_n}")
    print(f"switch error, unphased = half an error: {figures['switch_half']:.2f}% of {half_switch_n}")
    if "PP" in tags:
        for bucket, label in (("0.9", "PP in [0.9, 0.99)"), ("0.99", "PP >= 0.99")):
            wrong, count = calib[bucket]
            print(f"{label}: {percent(wrong, count):.2f}% wrong of {count}")


def scaffold(phased_path, ped_path):
    names = samples(phased_path)
    index = {n: i for i, n in enumerate(names)}
    parents = read_ped(ped_path)
    trios = [(index[n], index[f], index[m]) for n, (f, m) in parents.items()
             if n in index and f in index and m in index]
    _, header = header_tags(phased_path)
    out = sys.stdout
    for line in header.splitlines():
        if line.startswith(("##fileformat", "##contig", "##FORMAT=<ID=GT,")):
            out.write(line + "\n")
    out.write("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t" + "\t".join(names) + "\n")
    text = subprocess.run(["bcftools", "query", "-f", "%CHROM\\t%POS\\t%ID\\t%REF\\t%ALT[\\t%GT]\\n",
                           phased_path], check=True, capture_output=True, text=True).stdout
    for line in text.splitlines():
        cols = line.split("\t")
        gts = cols[5:]
        calls = [alleles(gt) for gt in gts]
        het = [c is not None and c[0] != c[1] for c in calls]
        for child, father, mother in trios:
            if het[child] and het[father] and het[mother]:
                for m in (child, father, mother):
                    gts[m] = gts[m].replace("|", "/")
        out.write("\t".join(cols[:5]) + "\t.\tPASS\t.\tGT\t" + "\t".join(gts) + "\n")


def main(argv):
    if len(argv) >= 5 and argv[0] == "score":
        score(*argv[1:5], tsv="--tsv" in argv[5:])
    elif len(argv) == 3 and argv[0] == "scaffold":
        scaffold(argv[1], argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
