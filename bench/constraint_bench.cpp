// Option c on generated families (alleles 1 and 2, no recombination, no
// missing allele): the whole solver call per family with the solutions
// written to memory sinks, and the construction plus reduction alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/pedigree_generator.h"
#include "constraint/constraint_finding.h"
#include "constraint/constraint_solver.h"
#include "pedigree/result_sinks.h"
#include "pedigree/settings.h"
#include "pedigree/text_input.h"
#include "pedigree_file/pedigree_reader.h"

namespace {

std::unique_ptr<Family> preparedFamily(const GeneratorSettings& settings) {
  TextSink text;
  bench_generator::writeFamilies(settings, text);
  LineSource source(text.text());
  PedigreeReader reader(source, "generated");
  std::unique_ptr<Family> family = reader.nextFamily().family;
  family->memberCount = static_cast<int>(family->members.size());
  family->prepare();
  return family;
}

// A couple and eight children.
GeneratorSettings nuclear(int loci) {
  GeneratorSettings settings;
  settings.families = 1;
  settings.members = 10;
  settings.loci = loci;
  return settings;
}

// 2 founders, 4 children with 4 married-in spouses, 5 grandchildren per
// couple: 30 members.
GeneratorSettings threeGenerations(int loci) {
  GeneratorSettings settings;
  settings.families = 1;
  settings.generations = 3;
  settings.children = 4;
  settings.members = 30;
  settings.loci = loci;
  return settings;
}

void solveWholeFamily(benchmark::State& state, const GeneratorSettings& settings) {
  const std::unique_ptr<Family> prepared = preparedFamily(settings);
  SolveResult result;
  for (auto _ : state) {
    state.PauseTiming();
    Family family = *prepared;
    TextSink dat;
    TextSink res;
    TextSink out;
    state.ResumeTiming();
    ResultFilesSink sink({dat, res, out});
    result = solveByConstraintFinding(family, Settings(), "generated", sink);
    benchmark::DoNotOptimize(out.text().size());
  }
  state.counters["members"] = static_cast<double>(prepared->memberCount);
  state.counters["solutions"] = static_cast<double>(result.solutionCount);
}

void reduceOnly(benchmark::State& state, const GeneratorSettings& settings) {
  const std::unique_ptr<Family> family = preparedFamily(settings);
  std::size_t remaining = 0;
  for (auto _ : state) {
    ConstraintSolver solver(*family, kDefaultMaxSolutions);
    solver.buildConstraints();
    state.counters["built"] = static_cast<double>(solver.constraints.size());
    solver.reduceConstraints();
    remaining = solver.constraints.size();
  }
  state.counters["reduced"] = static_cast<double>(remaining);
}

}  // namespace

BENCHMARK_CAPTURE(solveWholeFamily, nuclear_8_children_200_loci, nuclear(200))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solveWholeFamily, nuclear_8_children_1000_loci, nuclear(1000))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solveWholeFamily, three_generations_30_members_200_loci, threeGenerations(200))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reduceOnly, nuclear_8_children_1000_loci, nuclear(1000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reduceOnly, three_generations_30_members_200_loci, threeGenerations(200))
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
