#!/bin/sh
# The whole-genome workflow (workflow/Snakefile) on the chr20 benchmark
# families: 500 simulated families (nuclear and three-generation) whose
# founders carry haplotypes of the phased chr20 panel of Debian's
# shapeit4-example package (24,990 sites over 20:1,000,226-3,999,849), as in
# bench/vcf_option_b.sh. Measures
#   1. one Haplotor run over the whole chromosome: processor time, peak memory;
#   2. the workflow with chunks of each size in CHUNKS (Mb): every chunk's
#      run is timed (a wrapper around Haplotor.exe given as `haplotor`), and
#      the sum of their processor times and the largest peak are printed, with
#      the share of children's calls that agree with the whole run;
#   3. the workflow's wall time with --cores 1 and --cores 2 (chunks of the
#      last size in CHUNKS).
# Settings (environment): METHOD (default i), FAMILIES (default 500),
# CHUNKS (default "5 1"). Needs shapeit4-example, bcftools, snakemake,
# python3, g++ and /usr/bin/time.
# Usage: bench/workflow_chunks.sh [build folder] (default build)
set -eu
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/${1:-build}/Haplotor.exe
method=${METHOD:-i}
families=${FAMILIES:-500}
chunk_sizes=${CHUNKS:-5 1}
. bench/panel_setup.sh
"$work/simulate" "$work/panel.txt" "$work/map.gmap" "$families" "$work/families.ped" 20 <"$work/header.txt" |
  bcftools view -Oz -o "$work/families.vcf.gz"
bcftools index "$work/families.vcf.gz"
cd "$work"
echo "option $method; families: $(cut -d' ' -f1 families.ped | sort -u | wc -l), samples: $(wc -l <families.ped)," \
  "sites: $(bcftools index -n families.vcf.gz)"

# Every Haplotor run appends "elapsed user system peak-kB" to $work/times.txt.
cat >timed.sh <<WRAP
#!/bin/sh
exec /usr/bin/time -f '%e %U %S %M' -a -o "$work/times.txt" "$exe" "\$@"
WRAP
chmod +x timed.sh
summary() {
  awk -v label="$1" '{ n++; cpu += $2 + $3; if ($4 > peak) peak = $4 }
    END { printf "%-34s %3d run(s)  processor %7.2f s  largest peak %7.1f MB\n", label, n, cpu, peak / 1024 }' times.txt
}
children=$(awk '$3 != "0" { printf "%s%s", sep, $2; sep = "," }' families.ped)

rm -f times.txt
HAPLOTOR_THREADS=1 HAPLOTOR_SEED=1 HAPLOTOR_OUT=whole.vcf.gz HAPLOTOR_RES=whole.res ./timed.sh \
  -"$method" families.vcf.gz families.ped 2>/dev/null
summary "whole chromosome, one run"
bcftools query -s "$children" -f '[%GT\n]' whole.vcf.gz >children.whole

# $1: cores; the rest: more config settings.
workflow() {
  cores=$1
  shift
  snakemake -s "$root/workflow/Snakefile" --quiet --cores "$cores" --config vcf=families.vcf.gz \
    ped=families.ped method="$method" haplotor="$work/timed.sh" seed=1 "$@" >workflow.log 2>&1 || {
    cat workflow.log
    exit 1
  }
}
for size in $chunk_sizes; do
  rm -f times.txt
  workflow 2 chunk_mb="$size" out="chunks$size.vcf.gz"
  summary "workflow, $size Mb chunks"
  bcftools query -s "$children" -f '[%GT\n]' "chunks$size.vcf.gz" >children.chunks
  paste children.whole children.chunks |
    awk -v s="$size" '{ same += $1 == $2 } END { printf "  children'"'"'s calls as in the whole run: %.3f%% of %d\n", 100 * same / NR, NR }'
done
for cores in 1 2; do
  rm -rf "last$cores.vcf.gz"*
  start=$(now)
  workflow "$cores" chunk_mb="$size" out="last$cores.vcf.gz"
  echo "workflow wall time, $size Mb chunks, --cores $cores: $(since "$start") s"
done
