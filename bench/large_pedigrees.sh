#!/bin/sh
# Option i on large pedigrees whose founders carry real haplotypes: the phased
# chr20 panel of Debian's shapeit4-example package, founders' haplotypes drawn
# without replacement, children's by meioses along its genetic map
# (bench/simulate_vcf_families.cpp, whose header describes the shapes):
#   sibship:9   a couple and 9 children                     11 members
#   three16     3 generations                               16 members
#   three18     3 generations                               18 members
#   four28      4 generations                               28 members
#   five60      5 generations                               60 members
# Each shape is drawn fully typed and with 3% of the calls missing (the same
# families: missing calls come from a generator of their own), every 25th
# panel site. Option i needs 2 x non-founders - founders with children
# inheritance bits ("bits", counted from the PED); a family above
# HAPLOTOR_MAX_BITS (default 24) is refused with a message and its calls are
# written as read: the row then says "refused" in place of the errors (nothing
# is phased). Option b runs on the 28- and 60-member shapes for comparison.
# Every run is timed on one thread (HAPLOTOR_THREADS=1 unless given) by
# /usr/bin/time and scored against the truth by bench/score_phase.py --by-sex.
# Columns:
#   time s      processor time (user) of the Haplotor run, seconds
#   peak MB     its peak resident memory
#   phase       children's phase error, % (paternal allele wrong at true hets)
#   switch      every member's switch error, %
#   phased      share of true heterozygous typed calls written phased, %
#   called      share of (family, site) pairs whose typed calls are all written
#               and whose children's calls their parents can give, %
# A run that fails (or exceeds TIMEOUT) is listed with its exit status.
# Needs shapeit4-example, bcftools, python3, g++ and /usr/bin/time.
# Settings (environment):
#   FAMILIES=n        families per shape (default 3; each shape keeps its own
#                     seed, so its families do not depend on the selection)
#   SHAPES="a b"      run only these shapes (default: all five above; any
#                     shape of the simulator is accepted, sibship:N included)
#   MISSING="r ..."   missing-call rates (default "0 0.03")
#   THIN=k            keep every k-th panel site (default 25)
#   B_SHAPES="a b"    shapes that option b runs on as well (default
#                     "four28 five60"; "" for none)
#   OLD=folder        a second build folder (e.g. the previous commit's build):
#                     every run is repeated with its Haplotor.exe, rows marked
#                     "(old)", for a side-by-side speed comparison
#   TIMEOUT=s         stop a Haplotor run after s seconds (default: no limit)
#   HAPLOTOR_* variables reach every Haplotor run as they are, and are listed
#   under the table
# Usage: [settings] bench/large_pedigrees.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/${1:-build}/Haplotor.exe
old_exe=${OLD:+$root/$OLD/Haplotor.exe}
case ${OLD:-} in /*) old_exe=$OLD/Haplotor.exe ;; esac
families=${FAMILIES:-3}
all_shapes="sibship:9 three16 three18 four28 five60"
shapes=${SHAPES:-$all_shapes}
missing_rates=${MISSING:-0 0.03}
thin=${THIN:-25}
b_shapes=${B_SHAPES-four28 five60}
timeout=${TIMEOUT:-}
export HAPLOTOR_THREADS="${HAPLOTOR_THREADS:-1}"
export HAPLOTOR_SEED="${HAPLOTOR_SEED:-1}"
settings=$(env | grep '^HAPLOTOR_' | sort | tr '\n' ' ')
[ -x "$exe" ] || { echo "no $exe: build the haplotor target first" >&2; exit 1; }
if [ -n "$old_exe" ] && [ ! -x "$old_exe" ]; then
  echo "no $old_exe (OLD)" >&2
  exit 1
fi
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
. bench/panel_setup.sh

table=$work/table.txt
: >"$table"
sites=
run() {
  # $1 shape, $2 bits, $3 missing rate, $4 tool label, $5 option letter, $6 Haplotor.exe;
  # run in a folder of its own inside that of the family files
  rundir=$(printf '%s' "$4" | tr -c 'a-z0-9' '_')
  mkdir "$rundir"
  ln -s ../fam.vcf.gz ../fam.vcf.gz.csi ../fam.ped "$rundir"
  status=0
  if [ -n "$timeout" ]; then
    (cd "$rundir" && /usr/bin/time -f '%U %M' -o time.txt timeout "$timeout" "$6" "-$5" fam.vcf.gz fam.ped \
      >haplotor.log 2>&1) || status=$?
  else
    (cd "$rundir" && /usr/bin/time -f '%U %M' -o time.txt "$6" "-$5" fam.vcf.gz fam.ped >haplotor.log 2>&1) ||
      status=$?
  fi
  # time.txt: a "Command exited with non-zero status" line first when the run failed
  cost=$(tail -1 "$rundir/time.txt" | awk -v OFS='\t' '{ printf "%.2f\t%.0f", $1, $2 / 1024 }')
  if [ "$status" = 0 ] && [ -f "$rundir/fam.phased.vcf.gz" ]; then
    # the --tsv --by-sex cells: 1 phase, 2 switch, 3 phased, 11 called
    figures=$($score score truth.vcf.gz fam.vcf.gz "$rundir/fam.phased.vcf.gz" fam.ped --tsv --by-sex |
      awk -F'\t' -v OFS='\t' '{ print $1, $2, $3, $11 }')
    if grep -q 'inheritance bits, more than the limit' "$rundir/haplotor.log"; then
      figures=$(printf '%s' "$figures" | awk -F'\t' -v OFS='\t' '{ print "refused", "-", $3, $4 }')
    fi
  else
    [ "$status" = 124 ] && [ -n "$timeout" ] && what="timed out after $timeout s" || what="exited with status $status"
    echo "$1 $3 $4: Haplotor $what:" >&2
    tail -5 "$rundir/haplotor.log" >&2
    figures=$(printf 'failed (exit %s)\t\t\t' "$status")
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "$cost" "$figures" >>"$table"
}

for shape in $shapes; do
  # each shape's seed is its place in the full list (shapes outside it: after)
  # shellcheck disable=SC2086 # the list is split into lines
  seed=$(printf '%s\n' $all_shapes | grep -nx -- "$shape" | cut -d: -f1 || true)
  [ -n "$seed" ] || seed=$(($(printf '%s' "$shape" | cksum | cut -d' ' -f1) % 1000 + 100))
  for missing in $missing_rates; do
    dir=$work/$shape-$missing
    mkdir "$dir"
    cd "$dir"
    "$work/simulate" "$work/panel.txt" "$work/map.gmap" "$families" fam.ped "$seed" --shape "$shape" \
      --thin "$thin" --missing "$missing" --distinct --truth truth.vcf <"$work/header.txt" |
      bcftools view -Oz -o fam.vcf.gz
    bcftools view -Oz -o truth.vcf.gz truth.vcf
    bcftools index fam.vcf.gz
    sites=$(bcftools index -n fam.vcf.gz)
    # reduced bits of the first family: 2 x non-founders - founders with children
    bits=$(awk '$1 == 1 {
        if ($3 != "0") { nonfounders++; parent[$3] = 1; parent[$4] = 1 } else founder[$2] = 1
      } END {
        for (p in parent) if (p in founder) with_children++
        print 2 * nonfounders - with_children
      }' fam.ped)
    echo "$shape, $missing missing: $(wc -l <fam.ped) samples in $families families, $bits bits, $sites sites" >&2
    run "$shape" "$bits" "$missing" "option i" i "$exe"
    [ -z "$old_exe" ] || run "$shape" "$bits" "$missing" "option i (old)" i "$old_exe"
    case " $b_shapes " in
      *" $shape "*)
        run "$shape" "$bits" "$missing" "option b" b "$exe"
        [ -z "$old_exe" ] || run "$shape" "$bits" "$missing" "option b (old)" b "$old_exe"
        ;;
    esac
    cd "$root"
  done
done

echo "$families families per row; every ${thin}th panel site ($sites sites); missing: share of calls ./.;"
echo "bits: 2 x non-founders - founders with children (option i refuses a family above HAPLOTOR_MAX_BITS)."
echo "Haplotor settings: ${settings% }${OLD:+ (old build: $OLD)}"
echo "Time: processor (user) seconds; errors and shares in percent; refused: nothing phased, calls as read."
{
  printf 'shape\tbits\tmissing\ttool\ttime s\tpeak MB\tphase\tswitch\tphased\tcalled\n'
  cat "$table"
} | column -t -s "$(printf '\t')"
