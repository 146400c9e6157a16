// The member-based solver on generated families: a 20-bit family (8 members,
// 2 founders: a couple with six children) over 100 and 1,000 biallelic loci,
// a 15-bit family (7 members, 3 founders, three generations) over 1,000
// loci, and the plainly stated programme on the largest families it can do.
// Output goes to /dev/null; "peak_rss_mib" is the process's peak resident
// size, so run one benchmark per process (--benchmark_filter) to read it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "bench/pedigree_generator.h"
#include "member_dp/member_dp_solver.h"
#include "pedigree_file/pedigree_reader.h"
#include "tests/member_dp/member_dp_oracle.h"

namespace {

// One generated family of `members` members: a couple and its children, or
// (three generations) a couple, three children, a child's spouse and their
// children.
std::string benchFamilyText(int members, int generations, int loci) {
  GeneratorSettings settings;
  settings.families = 1;
  settings.members = members;
  settings.generations = generations;
  settings.children = 3;
  settings.loci = loci;
  settings.recombinationRate = 0.01;
  settings.seed = 7;
  TextSink text;
  bench_generator::writeFamilies(settings, text);
  return text.text();
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
    ResultFilesSink sinks({dat, res, out});
    state.ResumeTiming();
    member_dp::MemberDpOutcome outcome;
    if constexpr (kOracle) {
      outcome = member_dp_oracle::solveLiterally(*family, sinks, 4096);
    } else {
      outcome = member_dp::MemberDpSolver(*family, {4096}).run(sinks);
    }
    written = outcome.written;
    leastCost = outcome.leastCost;
  }
  std::fclose(devNull);
  state.counters["configurations"] = static_cast<double>(written);
  state.counters["least_cost"] = leastCost;
  state.counters["peak_rss_mib"] = peakResidentMiB();
}

// 20 bits: a couple and six children; 15 bits: seven members over three
// generations (three founders).
void Fast20Bits(benchmark::State& state) {
  SolveText<false>(state, benchFamilyText(8, 2, static_cast<int>(state.range(0))));
}
void Fast15Bits(benchmark::State& state) {
  SolveText<false>(state, benchFamilyText(7, 3, static_cast<int>(state.range(0))));
}
void Oracle15Bits(benchmark::State& state) {
  SolveText<true>(state, benchFamilyText(7, 3, static_cast<int>(state.range(0))));
}
void Oracle20Bits(benchmark::State& state) {
  SolveText<true>(state, benchFamilyText(8, 2, static_cast<int>(state.range(0))));
}

// Everybody 1/2 at every locus: every phase of the father after the first
// locus is optimal (the mother's follows), so the trace back stops at the
// cap of 4096 configurations of 1,000 loci each.
void Fast20BitsCapped(benchmark::State& state) {
  const int parents[8][3] = {{0, 0, 1}, {0, 0, 2}, {1, 2, 1}, {1, 2, 2},
                             {1, 2, 1}, {1, 2, 2}, {1, 2, 1}, {1, 2, 2}};
  std::string text;
  for (int m = 0; m < 8; ++m) {
    text += "1 " + std::to_string(m + 1) + " " + std::to_string(parents[m][0]) + " " +
            std::to_string(parents[m][1]) + " " + std::to_string(parents[m][2]) + " 0 0";
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
