#!/bin/sh
# Builds and runs the whole test suite twice: a normal optimised build (with
# the benchmarks, built but not run) and a build with AddressSanitizer and
# UndefinedBehaviorSanitizer; then the thread tests with ThreadSanitizer. Any
# failure or sanitizer report fails the script.
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure_packages.sh
# The VCF tests read Haplotor's output with bcftools; the workflow checks run
# snakemake. libtsan2 is g++'s ThreadSanitizer runtime.
ensure_packages g++ libtsan2 cmake make pkg-config libhts-dev libgtest-dev libbenchmark-dev bcftools snakemake
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHAPLOTOR_TESTS=ON -DHAPLOTOR_BENCH=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure)
# The whole-genome workflow (workflow/Snakefile) with the optimised build.
sh tests/workflow/check_workflow.sh build/Haplotor.exe

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHAPLOTOR_SANITIZE=ON -DHAPLOTOR_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure)

# ThreadSanitizer over the thread tests, which run Haplotor.exe (built with it
# too) on one and on three threads: a data race in the family pool stops the
# three-thread run, whose exit status and cut-short files then differ from the
# one-thread run. The reports go to build-tsan/reports/ and are printed
# instead of the test's long differences of result files. Only test_app and
# Haplotor.exe are built, at -O1 with line tables only (half the compile
# time of -O2 -g; the reports still name files and lines), to keep the step short.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DHAPLOTOR_TSAN=ON -DHAPLOTOR_BENCH=OFF
cmake --build build-tsan -j"$jobs" --target test_app
rm -rf build-tsan/reports
mkdir build-tsan/reports
if ! TSAN_OPTIONS="halt_on_error=1:log_path=$PWD/build-tsan/reports/race" \
  build-tsan/test_app --gtest_filter='Threads.*' >build-tsan/threads.log 2>&1; then
  cat build-tsan/reports/* 2>/dev/null || true
  cut -c1-200 build-tsan/threads.log | head -n 40
  echo "the thread tests failed under ThreadSanitizer; whole output in build-tsan/threads.log"
  exit 1
fi

# Fuzzing: replays every input in tests/fuzz/regressions/, then fuzzes each
# option (its letter for the pedigree form, its capital for the VCF/PED
# form) for HAPLOTOR_FUZZ_SECONDS seconds (20 by default) from the seed
# corpus (0: replay only), with AddressSanitizer, UndefinedBehaviorSanitizer and leak checks.
# Any crash, sanitizer report, leak or input taking over 10 s fails the
# script; the failing input is left in build-fuzz/artifacts/. Needs clang and
# its libFuzzer runtime; skipped with a note when they are missing.
fuzz_runtime_present() {
  command -v clang++ >/dev/null 2>&1 || return 1
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
    >"$probe/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1
  found=$?
  rm -rf "$probe"
  return $found
}

# Installed like the other packages when root; otherwise the step is skipped.
fuzz_runtime_present || (ensure_packages clang libclang-rt-14-dev) >/dev/null 2>&1 || true
if ! fuzz_runtime_present; then
  echo "fuzzing skipped: install clang and its libFuzzer runtime (Debian: apt-get install clang libclang-rt-14-dev)"
  exit 0
fi

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHAPLOTOR_FUZZ=ON -DHAPLOTOR_TESTS=OFF
cmake --build build-fuzz -j"$jobs" --target run_option_fuzzer
fuzzer=build-fuzz/run_option_fuzzer
mkdir -p build-fuzz/artifacts
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

regressions=$(find tests/fuzz/regressions -type f ! -name README.md | sort)
if [ -n "$regressions" ]; then
  # shellcheck disable=SC2086 # one argument per file; the names hold no spaces
  "$fuzzer" -close_fd_mask=3 -timeout=10 $regressions
fi

seconds=${HAPLOTOR_FUZZ_SECONDS:-20}
[ "$seconds" -gt 0 ] || exit 0
for option in b c l m i s B C L M I; do
  corpus=build-fuzz/corpus-$option
  mkdir -p "$corpus"
  if ! HAPLOTOR_FUZZ_OPTION=$option "$fuzzer" -close_fd_mask=3 -max_len=4096 -timeout=10 \
    -max_total_time="$seconds" -artifact_prefix=build-fuzz/artifacts/ \
    "$corpus" tests/fuzz/corpus; then
    echo "fuzzing option $option failed; the input is in build-fuzz/artifacts/:" \
      "copy it into tests/fuzz/regressions/ and fix the fault"
    exit 1
  fi
done
