#!/bin/sh
# Option i on a VCF: 20 nuclear families (two founders and 2 to 4 children)
# over the 24,990 chr20 sites of the phased panel of Debian's
# shapeit4-example package, built by bench/simulate_vcf_families.cpp as in
# bench/vcf_option_b.sh (the first 20 nuclear families it makes with seed 20).
# The same families are also written as a seven-column pedigree file (members
# numbered per family, allele code = VCF allele index + 1). Measures, on one
# core and one thread, with /usr/bin/time -v (wall clock, processor time, peak
# memory):
#   1. Haplotor -i on the seven-column file,
#   2. Haplotor -i on VCF + PED (read + solve + write + index), with its own
#      HAPLOTOR_TIMES note (solving versus reading and writing),
#   3. the same with HAPLOTOR_THETA set to the seven-column run's estimate,
# and prints the file sizes and the share of children's calls that the
# seven-column run and each VCF run phase identically.
#
# The runs differ in one modelling input: the VCF run takes each interval's
# recombination fraction from the distance between its sites (Haldane,
# HAPLOTOR_CM_PER_MB, default 1), the seven-column run one fraction for every
# interval, estimated from the file as (least recombinant count + 1) /
# (meioses x intervals + 2) within [0.001, 0.1]. Over 24,990 sites and a few
# recombinations that estimate is the floor 0.001: the script checks this from
# the recombinations the seven-column run writes (at least the least count)
# and then runs the VCF form once more with HAPLOTOR_THETA=0.001, which
# replaces the distance-based fractions. Phase can differ only where the two
# models place a crossover differently.
# Usage: bench/vcf_option_i.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
haplotor=$root/${1:-build}/Haplotor.exe
helper="python3 $root/bench/seven_column_families.py"
. bench/panel_setup.sh
cd "$work"
# The simulator mixes nuclear and three-generation families; 60 leave room for
# 20 nuclear ones.
./simulate panel.txt map.gmap 60 all.ped 20 <header.txt | bcftools view -Oz -o all.vcf.gz
$helper nuclear all.ped 20 nuclear.ped
bcftools view -s "$(cut -d' ' -f2 nuclear.ped | paste -sd, -)" -Oz -o nuclear.vcf.gz all.vcf.gz
$helper seven nuclear.ped nuclear.vcf.gz nuclear_7col.txt
sites=$(bcftools view -H nuclear.vcf.gz | wc -l)
children=$(awk '$3 != "0"' nuclear.ped | wc -l)
echo "families: $(cut -d' ' -f1 nuclear.ped | sort -u | wc -l), members: $(wc -l <nuclear.ped)," \
  "children: $children, sites: $sites"

measure() {
  # $1: label; the rest: the command
  label=$1
  shift
  /usr/bin/time -v taskset -c 0 "$@" 2>time.txt >/dev/null || { cat time.txt; exit 1; }
  wall=$(grep 'Elapsed (wall clock)' time.txt | awk '{print $NF}')
  user=$(grep 'User time' time.txt | awk '{print $NF}')
  sys=$(grep 'System time' time.txt | awk '{print $NF}')
  rss=$(grep 'Maximum resident' time.txt | awk '{print $NF}')
  printf '%-48s wall %8s  user %7s s  sys %6s s  peak %7s kB\n' "$label" "$wall" "$user" "$sys" "$rss"
  grep '^Haplotor: processor time' time.txt || true
}
recombinations() {
  # $1: a res file; sums the family lines' recombinant counts
  awk -F'\t' '$1 ~ /^[0-9]+$/ {s += $2} END {print s + 0}' "$1"
}
export HAPLOTOR_THREADS=1
measure "Haplotor -i, seven-column file" "$haplotor" -i nuclear_7col.txt
measure "Haplotor -i, VCF + PED (read+solve+write+index)" env HAPLOTOR_TIMES=1 "$haplotor" -i nuclear.vcf.gz nuclear.ped
for file in nuclear.vcf.gz nuclear.phased.vcf.gz nuclear_7col.txt nuclear_7col.out; do
  printf '%10d bytes  %s\n' "$(wc -c <"$file")" "$file"
done
echo "recombinations written: seven-column $(recombinations nuclear_7col.res), VCF $(recombinations nuclear.res)"
echo "seven-column vs VCF:"
$helper agree nuclear.ped nuclear_7col.out nuclear.phased.vcf.gz

# The seven-column estimate: the written recombinations bound the least count
# from above, so a bound below the floor fixes the estimate at the floor.
written=$(recombinations nuclear_7col.res)
bound=$(awk -v r="$written" -v c="$children" -v s="$sites" 'BEGIN {printf "%.3g", (r + 1) / (2 * c * (s - 1) + 2)}')
if awk -v b="$bound" 'BEGIN {exit !(b < 0.001)}'; then
  echo "seven-column estimate: at most $bound before the floor, so 0.001"
  mkdir theta
  cp nuclear.vcf.gz nuclear.ped theta/
  cd theta
  measure "Haplotor -i, VCF + PED, HAPLOTOR_THETA=0.001" env HAPLOTOR_TIMES=1 HAPLOTOR_THETA=0.001 \
    "$haplotor" -i nuclear.vcf.gz nuclear.ped
  echo "seven-column vs VCF with HAPLOTOR_THETA=0.001:"
  $helper agree nuclear.ped ../nuclear_7col.out nuclear.phased.vcf.gz
else
  echo "seven-column estimate above the floor (bound $bound): not read from the files; no HAPLOTOR_THETA run"
fi
