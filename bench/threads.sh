#!/bin/sh
# Wall time of options c, l, m and i with HAPLOTOR_THREADS=1 and =2 on
# generated files where solving dominates, and a check that both runs write
# the same files (time columns aside).
#   bench/threads.sh BUILD_DIR [WORK_DIR]
# BUILD_DIR: a Release build with -DHAPLOTOR_BENCH=ON (Haplotor.exe and
# generate_pedigrees).
set -eu
build=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
cd "$work"
"$build/generate_pedigrees" --families 300 --members 10 --loci 1000 --seed 1 > c.txt
"$build/generate_pedigrees" --families 40 --members 6 --loci 9 --seed 2 > l.txt
"$build/generate_pedigrees" --families 60 --members 8 --loci 300 --recombination 0.01 --seed 3 > m.txt
"$build/generate_pedigrees" --families 40 --members 9 --loci 1000 --missing 0.05 --recombination 0.01 --seed 4 > i.txt
mask() { sed -E 's/\t [0-9.e+-]+$/\tT/; s/^(Total Time used\(Sec\):\t).*/\1T/' "$1"; }
for option in c l m i; do
  for threads in 1 2; do
    start=$(date +%s.%N)
    HAPLOTOR_THREADS=$threads "$build/Haplotor.exe" -$option $option.txt > /dev/null 2> $option.err.$threads
    end=$(date +%s.%N)
    mask $option.res > $option.res.$threads
    cat $option.out $option.dat | md5sum > $option.sum.$threads
    printf '%s threads=%s %.2f s\n' "$option" "$threads" "$(echo "$end - $start" | bc)"
  done
  cmp -s $option.res.1 $option.res.2 && cmp -s $option.sum.1 $option.sum.2 && cmp -s $option.err.1 $option.err.2 ||
    echo "$option: the two runs differ"
done
