#!/bin/sh
# Option i's accuracy on X-linked families whose founders carry real
# haplotypes: the phased chr20 panel of Debian's shapeit4-example package
# stands in for chromosome X (bench/simulate_vcf_families.cpp --x). Fathers and
# male children carry one X: a son his mother's, recombined along the genetic
# map; a daughter her father's X unchanged and a recombined maternal one.
# Founders' haplotypes are drawn without replacement, truth kept, and every
# configuration runs on
#   X haploid    males' calls written haploid (0, 1; missing .)
#   X diploid    males' calls written homozygous (0/0, 1/1; missing ./.)
#   autosomal    autosomal families of the same shape and sites, for comparison
# (the two X codings share their families; the autosomal ones are drawn with
# the same seed but inherit autosomally, so they are other families), each
# phased by Haplotor -i (HAPLOTOR_THREADS=2) and scored by
# bench/score_phase.py --by-sex. Needs shapeit4-example, bcftools, python3 and
# g++. A run that fails is listed with its exit status instead of figures.
# Columns (percent; the scorer's header defines them):
#   dau phase     daughters' phase error (paternal allele wrong at true hets)
#   dau switch    daughters' switch error
#   mum switch    switch error of the female founders
#   switch        switch error of every member (males have no phase on X)
#   phased        share of true heterozygous typed calls written phased
#   phase half    children's phase error, unphased = half an error
#   switch half   every member's switch error, unphased = half an error
#   called        share of (family, site) pairs whose typed calls are all
#                 written and whose children's calls their parents can give
#   time s        wall clock of the Haplotor run
# Targets for X: daughters' phase error under 0.5% with fully typed males;
# daughters' and mothers' switch error no worse than on the autosomal rows.
# Settings (environment):
#   FAMILIES=n          families per run (default 40)
#   CONFIGS="a b"       run only these configurations (names as in the table;
#                       each keeps its own seed)
#   CHROMOSOMES="a b"   run only these of X-haploid X-diploid autosomal
#   HAPLOTOR_* variables reach every Haplotor run as they are, and are listed
#   under the table
# Usage: [settings] bench/x_accuracy.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/${1:-build}/Haplotor.exe
families=${FAMILIES:-40}
configs=${CONFIGS:-}
chromosomes=${CHROMOSOMES:-X-haploid X-diploid autosomal}
settings=$(env | grep '^HAPLOTOR_' | sort | tr '\n' ' ')
[ -x "$exe" ] || { echo "no $exe: build the haplotor target first" >&2; exit 1; }
. bench/panel_setup.sh

table=$work/table.txt
seed=0
# configuration: name shape thin missing
while read -r name shape thin missing; do
  seed=$((seed + 1))
  if [ -n "$configs" ]; then
    case " $configs " in *" $name "*) ;; *) continue ;; esac
  fi
  for chromosome in $chromosomes; do
    case $chromosome in
      X-haploid) x="--x haploid" ;;
      X-diploid) x="--x diploid" ;;
      autosomal) x="" ;;
      *) echo "unknown chromosome $chromosome (X-haploid, X-diploid or autosomal)" >&2; exit 1 ;;
    esac
    dir=$work/$name-$chromosome
    mkdir "$dir"
    cd "$dir"
    # shellcheck disable=SC2086 # $x is an option and its value, or nothing
    "$work/simulate" "$work/panel.txt" "$work/map.gmap" "$families" fam.ped "$seed" --shape "$shape" \
      --thin "$thin" --missing "$missing" --distinct --truth truth.vcf $x <"$work/header.txt" |
      bcftools view -Oz -o fam.vcf.gz
    bcftools view -Oz -o truth.vcf.gz truth.vcf
    bcftools index fam.vcf.gz
    echo "$name $chromosome: $(wc -l <fam.ped) samples ($(awk '$5 == 1' fam.ped | wc -l) male)," \
      "$(bcftools index -n fam.vcf.gz) sites" >&2
    start=$(now)
    status=0
    HAPLOTOR_THREADS=2 HAPLOTOR_SEED=1 "$exe" -i fam.vcf.gz fam.ped >haplotor.log 2>&1 || status=$?
    seconds=$(since "$start")
    if [ "$status" = 0 ] && [ -f fam.phased.vcf.gz ]; then
      # the --tsv --by-sex cells: 1 phase, 2 switch, 3 phased, 4 phase half, 5 switch half,
      # 6-7 PP calibration, 8 daughters' phase, 9 daughters' switch, 10 mothers' switch, 11 called
      figures=$($score score truth.vcf.gz fam.vcf.gz fam.phased.vcf.gz fam.ped --tsv --by-sex |
        awk -F'\t' -v OFS='\t' '{ print $8, $9, $10, $2, $3, $4, $5, $11 }')
    else
      echo "$name $chromosome: Haplotor exited with status $status:" >&2
      tail -5 haplotor.log >&2
      figures=$(printf 'failed (exit %s)\t\t\t\t\t\t\t' "$status")
    fi
    printf '%s\t%s\t%s\t%s\n' "$name" "$chromosome" "$figures" "$seconds" >>"$table"
    cd "$root"
  done
done <<EOF
nuclear-dense nuclear 12 0
nuclear-dense-3%missing nuclear 12 0.03
three-gen-dense three 12 0
three-gen-dense-3%missing three 12 0.03
EOF

echo "$families families per run; dense = every 12th panel site; nuclear: a couple and 3 children,"
echo "three-gen: a couple, 3 children, two of them with a spouse and 2 children each; children's sex at random."
[ -z "$settings" ] || echo "Haplotor settings: $settings"
echo "Percent; dau = daughters (female children), mum = female founders; 'half' counts an unphased"
echo "heterozygous call as half an error; called: (family, site) pairs fully written and consistent."
{
  printf 'configuration\tchromosome\tdau phase\tdau switch\tmum switch\tswitch\tphased\tphase half\tswitch half\tcalled\ttime s\n'
  cat "$table"
} | column -t -s "$(printf '\t')"
