#!/bin/sh
# The workflow (workflow/Snakefile) end to end on a generated three-chromosome
# cohort (make_cohort.py):
# - whole-chromosome chunks give the records of one run over the whole file,
#   for options b and i;
# - 1 Mb chunks give a valid, indexed VCF with every input record once and in
#   order, whose children's calls agree with the whole run on at least 99%
#   (the figure is printed; the differences sit near chunk edges);
# - a chunk that fails (an unreadable PED) fails the workflow with its
#   message and leaves no final output;
# - after a chunk failed, a rerun phases only the chunks not done yet.
# Usage: tests/workflow/check_workflow.sh [Haplotor.exe] (default build/Haplotor.exe)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(realpath "${1:-$root/build/Haplotor.exe}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "workflow check failed: $*" >&2
  exit 1
}
workflow() {
  snakemake -s "$root/workflow/Snakefile" --cores 2 --quiet \
    --config vcf=cohort.vcf.gz ped=cohort.ped haplotor="$exe" seed=7 "$@" >workflow.log 2>&1
}

python3 "$root/tests/workflow/make_cohort.py" cohort
bcftools view -Oz -o cohort.vcf.gz cohort.vcf
bcftools index cohort.vcf.gz

for method in b i; do
  HAPLOTOR_SEED=7 HAPLOTOR_OUT=whole_$method.vcf.gz HAPLOTOR_RES=whole_$method.res \
    "$exe" -$method cohort.vcf.gz cohort.ped 2>/dev/null || fail "option $method on the whole file"
  workflow method=$method out=chromosomes_$method.vcf.gz || { cat workflow.log; fail "option $method, whole chromosomes"; }
  bcftools view -H whole_$method.vcf.gz >whole.txt
  bcftools view -H chromosomes_$method.vcf.gz >chromosomes.txt
  [ -s whole.txt ] && cmp -s whole.txt chromosomes.txt ||
    fail "option $method: whole-chromosome chunks differ from one run over the whole file"
  for chromosome in 1 2 3; do
    grep -q "^Region	$chromosome$" chromosomes_$method.res || fail "the report has no section for $chromosome"
  done
done

workflow method=i chunk_mb=1 out=chunked.vcf.gz || { cat workflow.log; fail "option i, 1 Mb chunks"; }
[ -f chunked.vcf.gz.csi ] && bcftools view -H -r 2:1000000-1500000 chunked.vcf.gz >/dev/null ||
  fail "the output of 1 Mb chunks is not an indexed VCF"
grep -q "^Region	1:1000001-2000000$" chunked.res || fail "the report of 1 Mb chunks has no section per chunk"
bcftools query -f '%CHROM %POS %REF %ALT\n' cohort.vcf.gz >records.in
bcftools query -f '%CHROM %POS %REF %ALT\n' chunked.vcf.gz >records.out
cmp -s records.in records.out || fail "the output of 1 Mb chunks does not hold every input record once, in order"
children=$(awk '$3 != "0" && $1 !~ /^#/ { printf "%s%s", sep, $2; sep = "," }' cohort.ped)
bcftools query -s "$children" -f '[%GT\n]' whole_i.vcf.gz >children.whole
bcftools query -s "$children" -f '[%GT\n]' chunked.vcf.gz >children.chunked
agreement=$(paste children.whole children.chunked |
  awk '{ same += $1 == $2 } END { printf "%.2f", 100 * same / NR }')
echo "1 Mb chunks: children's calls agree with the whole run on $agreement% ($(wc -l <children.whole) calls)"
awk -v a="$agreement" 'BEGIN { exit !(a >= 99) }' || fail "agreement $agreement% is below 99%"

mkdir unreadable.ped
if workflow method=i ped=unreadable.ped out=failed.vcf.gz; then fail "a failing chunk did not fail the workflow"; fi
grep -q "pedigree file 'unreadable.ped'" workflow.log || { cat workflow.log; fail "the chunk's message is not shown"; }
[ ! -e failed.vcf.gz ] && [ ! -e failed.vcf.gz.csi ] && [ ! -e failed.res ] ||
  fail "a failed workflow left a final output"
# A rerun resumes: the chunks done before a failure are not phased again.
cat >flaky.sh <<FLAKY
#!/bin/sh
[ "\$HAPLOTOR_REGION" != 2 ] || [ -e mended ] || { echo "Haplotor: chromosome 2 made to fail" >&2; exit 1; }
echo "\$HAPLOTOR_REGION" >>phased-regions.txt
exec "$exe" "\$@"
FLAKY
chmod +x flaky.sh
if workflow method=b out=resumed.vcf.gz haplotor="$work/flaky.sh" --keep-going; then
  fail "a failing chunk did not fail the workflow"
fi
[ ! -e resumed.vcf.gz ] || fail "a failed workflow left a final output"
touch mended
workflow method=b out=resumed.vcf.gz haplotor="$work/flaky.sh" || { cat workflow.log; fail "the rerun failed"; }
[ "$(sort phased-regions.txt | tr '\n' ' ')" = "1 2 3 " ] || fail "the rerun phased again: $(cat phased-regions.txt)"
bcftools view -H whole_b.vcf.gz >whole.txt
bcftools view -H resumed.vcf.gz | cmp -s - whole.txt || fail "the resumed output differs from the whole run"
echo "workflow checks passed"
