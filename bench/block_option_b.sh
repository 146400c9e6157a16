#!/bin/sh
# Timing and peak memory of option b on generated inputs.
#   bench/block_option_b.sh BUILD_DIR [WORK_DIR]
# BUILD_DIR: a build configured with -DHAPLOTOR_BENCH=ON (Release), holding
# Haplotor.exe and generate_pedigrees. Prints /usr/bin/time figures for:
#   1. 2,000 families x 10 members x 1,000 loci, 5% missing alleles;
#   2. one three-generation family of 40 members x 5,000 loci, 5% missing;
# and the share of recombination-free nuclear families given 0 recombinants.
set -eu
build=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
cd "$work"

"$build/generate_pedigrees" --families 2000 --members 10 --loci 1000 --missing 0.05 --seed 1 > nuclear.txt

# A founder couple with 6 children, each married to a founder, and 26
# grandchildren: 40 members. Founder alleles 1..2 transmitted without
# recombination; each allele written as 0 with probability 0.05.
python3 - > deep.txt <<'PY'
import random
random.seed(1)
loci = 5000
people = {}
def founder(i, sex):
    people[i] = (0, 0, sex, [random.randint(1, 2) for _ in range(loci)], [random.randint(1, 2) for _ in range(loci)])
def child(i, f, m, sex):
    def gamete(p):
        h = random.randint(3, 4)
        return list(people[p][h])
    people[i] = (f, m, sex, gamete(f), gamete(m))
founder(1, 1); founder(2, 2)
kids = list(range(3, 9))
for k in kids: child(k, 1, 2, 1 if k % 2 else 2)
next_id = 9
couples = []
for k in kids:
    founder(next_id, 2 if people[k][2] == 1 else 1)
    couples.append((k, next_id) if people[k][2] == 1 else (next_id, k))
    next_id += 1
for c, n in zip(couples, [5, 5, 4, 4, 4, 4]):
    for _ in range(n):
        child(next_id, c[0], c[1], random.randint(1, 2)); next_id += 1
for i in sorted(people):
    f, m, sex, a, b = people[i]
    fields = [1, i, f, m, sex, 0, 0]
    for x, y in zip(a, b):
        if random.random() < 0.5: x, y = y, x
        fields += [0 if random.random() < 0.05 else x, 0 if random.random() < 0.05 else y]
    print(" ".join(map(str, fields)))
PY

for input in nuclear deep; do
  echo "== $input: $(wc -l < $input.txt) members"
  HAPLOTOR_SEED=1 /usr/bin/time -v "$build/Haplotor.exe" -b $input.txt > $input.stdout 2> $input.time
  grep -E "Elapsed|User time|Maximum resident" $input.time
done

for loci in 10 100 1000; do
  "$build/generate_pedigrees" --families 1000 --members 6 --loci $loci --seed 3 > free.txt
  HAPLOTOR_SEED=1 "$build/Haplotor.exe" -b free.txt > /dev/null
  awk -v l=$loci 'NR > 1 && /^[0-9]+\t / { n++; if ($2 == 0) z++ }
    END { printf "recombination-free nuclear families, %d loci, no missing: %d of %d with 0 recombinants\n", l, z, n }' free.res
done
