#!/usr/bin/env python3
"""Phase accuracy of a phased family VCF against the simulated truth, and the
crude scaffold of a Haplotor output. Reads the VCF files with `bcftools query`.

usage:
  score_phase.py score TRUTH.vcf.gz INPUT.vcf.gz PHASED.vcf.gz PEDIGREE.ped [--tsv] [--by-sex]
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

X-linked families (bench/simulate_vcf_families.cpp --x) are recognised by
haploid calls in the truth: a male's one X. Males have no phase, so their calls
never enter the phase or switch error or the share phased (their true call is
not heterozygous), whatever form (haploid or diploid homozygous) the input and
output give them; a daughter's phase error is her first allele differing from
her father's X at her heterozygous loci. Males' calls do count in "called".
--by-sex adds, after the figures above (with --tsv as four more cells):
  daughters' phase   phase error of the female children (PED sex 2)
  daughters' switch  switch error of the female children
  mothers' switch    switch error of the female founders
  called             share of (family, site) pairs, among those with a typed
                     call in the input, where the phased file writes every
                     member's typed call (a site it drops counts as not written)
                     and no child carries an allele its parents' written calls
                     cannot give (X: a son's allele from his mother, a daughter
                     one allele from each parent; a parent without a written
                     call constrains nothing; a female written haploid counts as
                     not called)
These figures are the same for autosomal families, so X and autosomal
families of one shape compare column by column.

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


def read_pedigree(path):
    """{member: (family, father, mother, sex)}"""
    members = {}
    for line in open(path):
        cols = line.split()
        if len(cols) >= 6 and not line.startswith("#"):
            members[cols[1]] = (cols[0], cols[2], cols[3], cols[4])
    return members


def read_ped(path):
    return {n: (f, m) for n, (_, f, m, _) in read_pedigree(path).items()}


def allele_list(gt):
    """the alleles of a call of any ploidy, or None if any is missing"""
    parts = gt.replace("|", "/").split("/")
    return None if "." in parts or "" in parts else parts


def called_share(names, pedigree, typed, phased, x_linked):
    """(called, counted) (family, site) pairs, as described in the header"""
    info = [pedigree.get(n, (n, "0", "0", "0")) for n in names]
    family = [fam for fam, _, _, _ in info]
    female = [sex == "2" for _, _, _, sex in info]
    index = {n: i for i, n in enumerate(names)}
    trios = [(m, index[f], index[mo], x_linked and sex == "1")  # (child, father, mother, son on X)
             for m, (_, f, mo, sex) in enumerate(info) if f in index and mo in index]
    called = counted = 0
    for key, calls in typed.items():
        out = phased.get(key)
        written = [allele_list(out[m][0]) if out else None for m in range(len(names))]
        typed_families = {family[m] for m in range(len(names)) if allele_list(calls[m][0]) is not None}
        bad = {family[m] for m in range(len(names))
               if (allele_list(calls[m][0]) is not None and written[m] is None)
               or (x_linked and female[m] and written[m] is not None and len(written[m]) != 2)}
        for child, father, mother, son in trios:
            c = written[child]
            if c is None:
                continue
            fa = None if written[father] is None else set(written[father])
            mo = None if written[mother] is None else set(written[mother])
            if son:
                ok = mo is None or set(c) <= mo
            else:
                ok = len(c) == 2 and any((fa is None or a in fa) and (mo is None or b in mo)
                                         for a, b in (c, c[::-1]))
            if not ok:
                bad.add(family[child])
        counted += len(typed_families)
        called += len(typed_families - bad)
    return called, counted


def percent(num, den):
    return 100.0 * num / den if den else float("nan")


def score(truth_path, input_path, phased_path, ped_path, tsv, by_sex=False):
    names = samples(truth_path)
    pedigree = read_pedigree(ped_path)
    parents = {n: (f, m) for n, (_, f, m, _) in pedigree.items()}
    children = [parents.get(n, ("0", "0"))[0] in names and parents[n][1] in names for n in names]
    female = [pedigree.get(n, ("", "0", "0", "0"))[3] == "2" for n in names]
    daughters = [c and f for c, f in zip(children, female)]
    mothers = [not c and f for c, f in zip(children, female)]
    daughter_n = daughter_err = 0
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
                if daughters[m]:
                    daughter_n += 1
                    daughter_err += not right
                if pp not in (".", ""):
                    p = float(pp)
                    bucket = "0.99" if p >= 0.99 else "0.9" if p >= 0.9 else None
                    if bucket:
                        calib[bucket][0] += not right
                        calib[bucket][1] += 1
    switch_n = switch_err = 0
    half_switch_n = 0
    half_switch_err = 0.0
    group_switch = {"daughters": [0, 0], "mothers": [0, 0]}  # [errors, pairs]
    for m, run in enumerate(runs):
        # strict: adjacent phased calls; half: adjacent het calls, phased or not
        previous = None
        group = "daughters" if daughters[m] else "mothers" if mothers[m] else None
        for right, ps in run:
            if right is not None:
                if previous is not None and (previous[1] == ps or "." in (ps, previous[1])):
                    switch_n += 1
                    switch_err += right != previous[0]
                    if group:
                        group_switch[group][0] += right != previous[0]
                        group_switch[group][1] += 1
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
    if by_sex:
        first = next(iter(truth.values()), [])
        x_linked = any(len(gt.replace("|", "/").split("/")) == 1 for gt, _, _ in first)
        called, counted = called_share(names, pedigree, typed, phased, x_linked)
        figures["daughters_phase"] = percent(daughter_err, daughter_n)
        for group in group_switch:
            figures[group + "_switch"] = percent(*group_switch[group])
        figures["called"] = percent(called, counted)
    if tsv:
        cells = [f"{figures[k]:.2f}" for k in ("phase", "switch", "phased", "phase_half", "switch_half")]
        for bucket in ("0.9", "0.99"):
            wrong, count = calib[bucket]
            cells.append(f"{percent(wrong, count):.2f}/{count}" if "PP" in tags else "-")
        if by_sex:
            cells += [f"{figures[k]:.2f}"
                      for k in ("daughters_phase", "daughters_switch", "mothers_switch", "called")]
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
    if by_sex:
        print(f"daughters' phase error: {figures['daughters_phase']:.2f}% of {daughter_n}")
        for group in group_switch:
            pairs = group_switch[group][1]
            print(f"{group}' switch error: {figures[group + '_switch']:.2f}% of {pairs} adjacent pairs")
        print(f"called: {figures['called']:.2f}% of {counted} (family, site) pairs with a typed call")


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
        score(*argv[1:5], tsv="--tsv" in argv[5:], by_sex="--by-sex" in argv[5:])
    elif len(argv) == 3 and argv[0] == "scaffold":
        scaffold(argv[1], argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
