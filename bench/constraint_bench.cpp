// Option c on generated families (alleles 1 and 2, no recombination, no
// missing genotype): the whole solver call per family, with the solutions
// written to memory sinks, and the construction plus reduction alone.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "app/pedigree_reader.h"
#include "constraint/constraint_solver.h"
#include "pedigree/run_settings.h"
#include "pedigree/text_input.h"
#include "tests/constraint/generated_families.h"
#include "tests/constraint/literal_reduction.h"

namespace {

Family preparedFamily(const constraint_test::FamilyOptions& options, unsigned seed) {
  std::mt19937 random(seed);
  const std::string text = constraint_test::generateFamilyText(options, random);
  LineSource source(text);
  PedigreeReader reader(source, "generated");
  ReadFamily read = reader.nextFamily();
  Family family = *read.family;
  family.memberCount = static_cast<int>(family.members.size());
  family.prepare();
  return family;
}

constraint_test::FamilyOptions nuclear(int loci) {
  constraint_test::FamilyOptions options;
  options.children = 8;
  options.loci = loci;
  return options;
}

// 2 founders, 4 children with 4 married-in spouses, 5 grandchildren per couple: 30 members.
constraint_test::FamilyOptions threeGenerations(int loci) {
  constraint_test::FamilyOptions options;
  options.generations = 3;
  options.children = 4;
  options.grandchildren = 5;
  options.loci = loci;
  return options;
}

void solveWholeFamily(benchmark::State& state, const constraint_test::FamilyOptions& options) {
  const Family prepared = preparedFamily(options, 1);
  int solutions = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Family family = prepared;
    TextSink dat;
    TextSink res;
    TextSink out;
    state.ResumeTiming();
    ConstraintSolver solver(family, kDefaultMaxSolutions);
    solutions = solver.solve(dat, res, out);
    benchmark::DoNotOptimize(out.text().size());
  }
  state.counters["members"] = static_cast<double>(prepared.memberCount);
  state.counters["solutions"] = solutions;
}

void reduceOnly(benchmark::State& state, const constraint_test::FamilyOptions& options) {
  Family family = preparedFamily(options, 1);
  std::size_t remaining = 0;
  for (auto _ : state) {
    ConstraintSolver solver(family, kDefaultMaxSolutions);
    solver.buildConstraints();
    state.counters["built"] = static_cast<double>(solver.constraints.size());
    solver.reduceConstraints();
    remaining = solver.constraints.size();
  }
  state.counters["reduced"] = static_cast<double>(remaining);
}

// The same reduction done the plain way (every pair of equations compared in
// every elimination pass, fixed lists scanned), for comparison.
void reducePlainly(benchmark::State& state, const constraint_test::FamilyOptions& options) {
  Family family = preparedFamily(options, 1);
  ConstraintSolver solver(family, kDefaultMaxSolutions);
  solver.buildConstraints();
  for (auto _ : state) {
    constraint_test::EquationSystem system{solver.constraints, solver.parities, solver.fixedZero,
                                           solver.fixedOne};
    benchmark::DoNotOptimize(constraint_test::reduceLiterally(system));
  }
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

BENCHMARK_CAPTURE(reducePlainly, nuclear_8_children_200_loci, nuclear(200))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reducePlainly, nuclear_8_children_1000_loci, nuclear(1000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(reducePlainly, three_generations_30_members_200_loci, threeGenerations(200))
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
