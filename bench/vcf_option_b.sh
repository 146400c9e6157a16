#!/bin/sh
# VCF benchmark: 500 simulated families (nuclear and three-generation) whose
# founders carry haplotypes of the phased chr20 panel of Debian's
# shapeit4-example package (300 people, 24,990 sites), crossovers placed by
# its genetic map; children's genotypes unphased. Measures, on one core,
#   1. bcftools view of the family VCF to bgzipped VCF (read + write),
#   2. Haplotor -b on the same file to bgzipped VCF + CSI index,
#   3. bcftools view -Ou of the records as uncompressed BCF: about what
#      parking a chromosome's records and reading them back costs Haplotor,
# with /usr/bin/time -v (wall clock, processor time, peak memory), then sets
# Haplotor's reading and writing (its processor time less solving) beside
# bcftools view -Oz, and the sizes of the input and both outputs.
# Usage: bench/vcf_option_b.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
. bench/panel_setup.sh
"$work/simulate" "$work/panel.txt" "$work/map.gmap" 500 "$work/families.ped" 20 <"$work/header.txt" |
  bcftools view -Oz -o "$work/families.vcf.gz"
echo "families: $(cut -d' ' -f1 "$work/families.ped" | sort -u | wc -l), samples: $(wc -l <"$work/families.ped"), sites: $(bcftools index -n "$work/families.vcf.gz" 2>/dev/null || bcftools view -H "$work/families.vcf.gz" | wc -l)"

measure() {
  # $1: label; the rest: the command. Sets $cpu (user + system seconds).
  label=$1
  shift
  /usr/bin/time -v taskset -c 0 "$@" 2>"$work/time.txt" >/dev/null || { cat "$work/time.txt"; exit 1; }
  wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | awk '{print $NF}')
  user=$(grep 'User time' "$work/time.txt" | awk '{print $NF}')
  sys=$(grep 'System time' "$work/time.txt" | awk '{print $NF}')
  rss=$(grep 'Maximum resident' "$work/time.txt" | awk '{print $NF}')
  cpu=$(echo "$user $sys" | awk '{printf "%.2f", $1 + $2}')
  printf '%-44s wall %8s  user %7s s  sys %6s s  peak %7s kB\n' "$label" "$wall" "$user" "$sys" "$rss"
  grep '^Haplotor: processor time' "$work/time.txt" || true
}
size() { wc -c <"$1" | tr -d ' '; }
bcftools index "$work/families.vcf.gz"
measure "bcftools view -Oz (read + write)" bcftools view -Oz -o "$work/view.vcf.gz" "$work/families.vcf.gz"
bcftools_cpu=$cpu
measure "bcftools index (CSI of that output)" bcftools index -f "$work/view.vcf.gz"
bcftools view -Ou -o "$work/parked.bcf" "$work/families.vcf.gz"
measure "bcftools view -Ou of uncompressed BCF" bcftools view -Ou -o /dev/null "$work/parked.bcf"
parked_cpu=$cpu
cd "$work"
HAPLOTOR_TIMES=1 HAPLOTOR_SEED=1 measure "Haplotor -b (read + solve + write + index)" \
  "$OLDPWD/$build/Haplotor.exe" -b families.vcf.gz families.ped
solving=$(sed -n 's/^Haplotor: processor time: .* s in all, \([0-9.]*\) s solving.*/\1/p' time.txt)
echo "processor time, reading and writing: Haplotor $(echo "$cpu $solving" | awk '{printf "%.2f", $1 - $2}') s" \
  "(${cpu} s less ${solving} s solving), bcftools view -Oz ${bcftools_cpu} s;" \
  "parking in uncompressed BCF about ${parked_cpu} s of it"
echo "sizes (bytes): input $(size families.vcf.gz), Haplotor output $(size families.phased.vcf.gz)," \
  "bcftools view -Oz output $(size view.vcf.gz)"
bcftools view families.phased.vcf.gz >/dev/null && echo "output passes bcftools view"
# The output carries PS on the founders' phased heterozygous calls (and '.'
# for every other sample at such a site): more text to format and compress
# than the input, so bcftools is timed on it as well.
measure "bcftools view -Oz of Haplotor's output" bcftools view -Oz -o view3.vcf.gz families.phased.vcf.gz
echo "Mendel errors (input, output):" \
  "$(bcftools +mendelian families.vcf.gz -p families.ped -m c | awk '!/^#/{s+=$2} END{print s}')" \
  "$(bcftools +mendelian families.phased.vcf.gz -p families.ped -m c | awk '!/^#/{s+=$2} END{print s}')"
phased=$(bcftools query -f '[%GT\n]' families.phased.vcf.gz | grep -c '|' || true)
total=$(bcftools query -f '[%GT\n]' families.phased.vcf.gz | wc -l)
echo "calls written phased: $phased of $total"
