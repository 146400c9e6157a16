# Sourced by the VCF benchmarks from the project root: checks for Debian's
# shapeit4-example, makes the scratch folder $work (removed on exit), builds
# the family simulator there and extracts the phased chr20 panel into it
# (panel.txt, map.gmap, header.txt). Sets $data, the example folder, and
# $score (the scorer, from $root); now and since time a step in seconds.
data=/usr/share/doc/shapeit4/examples/test
if [ ! -f "$data/reference.vcf.gz" ]; then
  echo "needs the Debian package shapeit4-example (apt-get install shapeit4-example)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++20 -o "$work/simulate" bench/simulate_vcf_families.cpp
bcftools query -f '%CHROM\t%POS\t%ID\t%REF\t%ALT[\t%GT]\n' "$data/reference.vcf.gz" >"$work/panel.txt"
zcat "$data/chr20.b37.gmap.gz" >"$work/map.gmap"
bcftools view -h "$data/reference.vcf.gz" | grep -E '^##(fileformat|contig|FORMAT=<ID=GT)' >"$work/header.txt"
score="python3 $root/bench/score_phase.py"
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
