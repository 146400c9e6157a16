#!/bin/sh
# Builds and runs the whole test suite twice: a normal optimised build (with
# the benchmarks, built but not run) and a build with AddressSanitizer and
# UndefinedBehaviorSanitizer. Any failure or sanitizer report fails the script.
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure_packages.sh
# The VCF tests read Haplotor's output with bcftools.
ensure_packages g++ cmake make pkg-config libhts-dev libgtest-dev libbenchmark-dev bcftools
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHAPLOTOR_TESTS=ON -DHAPLOTOR_BENCH=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure)

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHAPLOTOR_SANITIZE=ON -DHAPLOTOR_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure)
