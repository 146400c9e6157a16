# Sourced by the VCF benchmarks: builds the family simulator and extracts the
# phased chr20 panel of Debian's shapeit4-example into $work (panel.txt,
# map.gmap, header.txt). Needs $data (the example folder) and $work.
g++ -O2 -std=c++20 -o "$work/simulate" bench/simulate_vcf_families.cpp
bcftools query -f '%CHROM\t%POS\t%ID\t%REF\t%ALT[\t%GT]\n' "$data/reference.vcf.gz" >"$work/panel.txt"
zcat "$data/chr20.b37.gmap.gz" >"$work/map.gmap"
bcftools view -h "$data/reference.vcf.gz" | grep -E '^##(fileformat|contig|FORMAT=<ID=GT)' >"$work/header.txt"
