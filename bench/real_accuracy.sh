#!/bin/sh
# Phase accuracy on families whose founders carry real haplotypes: the phased
# chr20 panel of Debian's shapeit4-example package (300 people, 24,990
# sites), founders' haplotypes drawn without replacement, children's by
# meioses along its genetic map (bench/simulate_vcf_families.cpp), truth
# kept. Per configuration FAMILIES families (default 40) are phased by
#   option i      Haplotor -i, HAPLOTOR_THREADS=2
#   scaffold      what option i hands shapeit4 as scaffold: its output with the
#                 calls of a child and both parents unphased where all three are
#                 heterozygous (score_phase.py scaffold); with HAPLOTOR_MIN_PP=p
#                 given to this script, Haplotor's own output under that setting
#                 (shapeit4 takes phased GT calls as scaffold; PS is not needed)
#   shapeit4      shapeit4 alone on the family VCF (no reference panel), 2 threads
#   i+shapeit4    shapeit4 with that scaffold (time: Haplotor + scaffold + shapeit4; the
#                 crude scaffold reuses the option i run)
# and scored against the truth by bench/score_phase.py. Needs shapeit4,
# shapeit4-example, bcftools, python3 and g++. Time is wall clock, seconds.
# Settings (environment):
#   FAMILIES=n      families per configuration (default 40)
#   CONFIGS="a b"   run only these configurations (names as in the table; each
#                   keeps its own seed, so its families do not depend on the
#                   selection)
#   THIN=n          keep every n-th panel site in every configuration run
#   SHAPEIT=0       option i only: no shapeit4, no scaffold
#   HAPLOTOR_MIN_PP=p  see "scaffold" above
#   other HAPLOTOR_* variables (HAPLOTOR_ERROR, HAPLOTOR_MAP, ...) reach every
#   Haplotor run as they are, and are listed under the table
# Usage: [settings] bench/real_accuracy.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/${1:-build}/Haplotor.exe
families=${FAMILIES:-40}
min_pp=${HAPLOTOR_MIN_PP:-}
unset HAPLOTOR_MIN_PP
configs=${CONFIGS:-}
shapeit=${SHAPEIT:-1}
settings=$(env | grep '^HAPLOTOR_' | sort | tr '\n' ' ')
if ! command -v shapeit4 >/dev/null; then
  echo "needs the Debian package shapeit4" >&2
  exit 1
fi
[ -x "$exe" ] || { echo "no $exe: build the haplotor target first" >&2; exit 1; }
. bench/panel_setup.sh

table=$work/table.txt
row() {
  # $1 configuration, $2 tool, $3 phased VCF, $4 seconds
  printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$($score score truth.vcf.gz fam.vcf.gz "$3" fam.ped --tsv)" "$4" >>"$table"
}

seed=0
# configuration: name shape thin missing errors
while read -r name shape thin missing errors; do
  seed=$((seed + 1))
  if [ -n "$configs" ]; then
    case " $configs " in *" $name "*) ;; *) continue ;; esac
  fi
  thin=${THIN:-$thin}
  dir=$work/$name
  mkdir "$dir"
  cd "$dir"
  "$work/simulate" "$work/panel.txt" "$work/map.gmap" "$families" fam.ped "$seed" --shape "$shape" \
    --thin "$thin" --missing "$missing" --errors "$errors" --distinct --truth truth.vcf <"$work/header.txt" |
    bcftools view -Oz -o fam.vcf.gz
  bcftools view -Oz -o truth.vcf.gz truth.vcf
  bcftools index fam.vcf.gz
  echo "$name: $(wc -l <fam.ped) samples, $(bcftools index -n fam.vcf.gz) sites" >&2

  start=$(now)
  HAPLOTOR_THREADS=2 HAPLOTOR_SEED=1 "$exe" -i fam.vcf.gz fam.ped >haplotor.log 2>&1 || { cat haplotor.log; exit 1; }
  i_time=$(since "$start")
  row "$name" "option i" fam.phased.vcf.gz "$i_time"
  if [ "$shapeit" = 0 ]; then
    cd "$root"
    continue
  fi

  start=$(now)
  shapeit4 --input fam.vcf.gz --map "$data/chr20.b37.gmap.gz" --region 20 --output alone.vcf.gz \
    --thread 2 --log alone.log >/dev/null 2>&1 || { cat alone.log; exit 1; }
  row "$name" "shapeit4" alone.vcf.gz "$(since "$start")"

  start=$(now)
  if [ -n "$min_pp" ]; then
    HAPLOTOR_MIN_PP=$min_pp HAPLOTOR_THREADS=2 HAPLOTOR_SEED=1 HAPLOTOR_OUT=scaffold.vcf.gz \
      "$exe" -i fam.vcf.gz fam.ped >scaffold.log 2>&1 || { cat scaffold.log; exit 1; }
    tool="scaffold PP>=$min_pp"
    scaffold_time=$(since "$start")
  else
    $score scaffold fam.phased.vcf.gz fam.ped | bcftools view -Oz -o scaffold.vcf.gz
    bcftools index -f scaffold.vcf.gz
    tool="scaffold (crude)"
    scaffold_time=$(awk -v a="$i_time" -v b="$(since "$start")" 'BEGIN { print a + b }')
  fi
  row "$name" "$tool" scaffold.vcf.gz "$scaffold_time"

  start=$(now)
  shapeit4 --input fam.vcf.gz --scaffold scaffold.vcf.gz --map "$data/chr20.b37.gmap.gz" --region 20 \
    --output scaffolded.vcf.gz --thread 2 --log scaffolded.log >/dev/null 2>&1 || { cat scaffolded.log; exit 1; }
  row "$name" "i+shapeit4" scaffolded.vcf.gz "$(awk -v a="$scaffold_time" -v b="$(since "$start")" 'BEGIN { print a + b }')"
  cd "$root"
done <<EOF
nuclear-dense nuclear 12 0 0
nuclear-sparse-3%missing nuclear 150 0.03 0
three-gen-dense-0.5%errors three 12 0 0.005
nuclear-sparse nuclear 150 0 0
nuclear-dense-3%missing nuclear 12 0.03 0
three-gen-dense-3%missing three 12 0.03 0
nuclear-dense-0.5%errors nuclear 12 0 0.005
EOF

echo "$families families per configuration; dense = every 12th panel site, sparse = every 150th${THIN:+ (all overridden: every ${THIN}th)}."
[ -z "$settings" ] || echo "Haplotor settings: $settings"
echo "Errors and share in percent; 'half' counts an unphased heterozygous call as half an error;"
echo "PP columns: children's phased heterozygous calls with PP in [0.9, 0.99) and >= 0.99, % wrong/count."
{
  printf 'configuration\ttool\tphase\tswitch\tphased\tphase half\tswitch half\tPP .9-.99\tPP >=.99\ttime s\n'
  cat "$table"
} | column -t -s "$(printf '\t')"
