// The member-based solver on generated families: a 20-bit family (8 members,
// 2 founders: a couple with six children) over 100 and 1,000 biallelic loci,
// a 15-bit family (7 members, 3 founders, three generations) over 1,000
// loci, and the plainly stated programme on the largest families it can do.
// Output goes to /dev/null; "peak_rss_mib" is the process's peak resident
// size, so run one benchmark per process (--benchmark_filter) to read it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <random>
#include <string>

#include "app/pedigree_reader.h"
#include "member_dp/member_dp_solver.h"
#include "tests/member_dp/member_dp_oracle.h"
#include "tests/member_dp/random_family.h"

namespace {

std::string benchFamilyText(const member_dp_test::FamilyShape& shape, int loci, double recombination,
                            unsigned seed) {
  std::mt19937 random(seed);
  member_dp_test::GenotypeOptions options;
  options.loci = loci;
  options.alleles = 2;
  options.recombination = recombination;
  return member_dp_test::familyText(1, shape, options, random);
}

std::unique_ptr<Family> preparedFamily(const std::string& text) {
  LineSource source(text);
  PedigreeReader reader(source, "bench input");
  std::unique_ptr<Family> family = reader.nextFamily().family;
  family->memberCount = static_cast<int>(family->members.size());
  family->prepare();
  return family;
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

template <bool kOracle>
void SolveText(benchmark::State& state, const std::string& text) {
  std::FILE* devNull = std::fopen("/dev/null", "w");
  std::uint64_t written = 0;
  int leastCost = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto family = preparedFamily(text);
    TextSink out(devNull), dat(devNull), res(devNull);
    state.ResumeTiming();
    member_dp::MemberDpOutcome outcome;
    if constexpr (kOracle) {
      outcome = member_dp_oracle::solveLiterally(*family, out, dat, res, 4096);
    } else {
      outcome = member_dp::MemberDpSolver(*family, 4096).run(out, dat, res);
    }
    written = outcome.written;
    leastCost = outcome.leastCost;
  }
  std::fclose(devNull);
  state.counters["configurations"] = static_cast<double>(written);
  state.counters["least_cost"] = leastCost;
  state.counters["peak_rss_mib"] = peakResidentMiB();
}

template <bool kOracle>
void SolveFamily(benchmark::State& state, const member_dp_test::FamilyShape& shape, int loci,
                 double recombination) {
  SolveText<kOracle>(state, benchFamilyText(shape, loci, recombination, 7));
}

void Fast20Bits(benchmark::State& state) {
  SolveFamily<false>(state, member_dp_test::nuclearShape(6), static_cast<int>(state.range(0)), 0.01);
}
void Fast15Bits(benchmark::State& state) {
  SolveFamily<false>(state, member_dp_test::threeGenerationShape(3), static_cast<int>(state.range(0)), 0.01);
}
void Oracle15Bits(benchmark::State& state) {
  SolveFamily<true>(state, member_dp_test::threeGenerationShape(3), static_cast<int>(state.range(0)), 0.01);
}
void Oracle20Bits(benchmark::State& state) {
  SolveFamily<true>(state, member_dp_test::nuclearShape(6), static_cast<int>(state.range(0)), 0.01);
}

// Everybody 1/2 at every locus: every phase of the father after the first
// locus is optimal (the mother's follows), so the trace back stops at the
// cap of 4096 configurations of 1,000 loci each.
void Fast20BitsCapped(benchmark::State& state) {
  const member_dp_test::FamilyShape shape = member_dp_test::nuclearShape(6);
  std::string text;
  for (std::size_t m = 0; m < shape.sex.size(); ++m) {
    const int father = shape.father[m] < 0 ? 0 : shape.father[m] + 1;
    const int mother = shape.mother[m] < 0 ? 0 : shape.mother[m] + 1;
    text += "1 " + std::to_string(m + 1) + " " + std::to_string(father) + " " + std::to_string(mother) + " " +
            std::to_string(shape.sex[m]) + " 0 0";
    for (int l = 0; l < state.range(0); ++l) text += " 1 2";
    text += "\n";
  }
  SolveText<false>(state, text);
}

BENCHMARK(Fast20BitsCapped)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Fast20Bits)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Fast15Bits)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Oracle15Bits)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Oracle20Bits)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
