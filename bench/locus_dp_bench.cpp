// The locus-based method on a nuclear family of two parents and four
// children with k open loci per member after the forced phases (k + 1 loci:
// the founders' first locus takes their free phase, the children's first
// locus is homozygous, every other locus is a shared heterozygote the parents
// cannot order). Through the solver entry (size guard included) for k = 8 and
// 10, rooted at the father or at a child; k = 11 and 12 lie beyond the guard's 2^32 trio evaluations and are
// run on the solver directly to show how the time grows.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "locus_dp/locus_dp.h"
#include "locus_dp/locus_dp_solver.h"
#include "pedigree/forced_phases.h"
#include "pedigree/result_sinks.h"
#include "pedigree/text_input.h"
#include "pedigree_file/pedigree_reader.h"

namespace {

// With `childFirst` the first child takes id 1 and the father id 3, so the
// tree is rooted at a child whose parents' side holds father, mother and
// three full siblings.
std::string nuclearFamilyText(int openLoci, bool childFirst = false) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> allele(1, 4);
  std::vector<std::pair<int, int>> pairs;
  for (int k = 0; k < openLoci; ++k) {
    int a = allele(random);
    int b = a;
    while (b == a) b = allele(random);
    pairs.emplace_back(a, b);
  }
  std::string text;
  auto line = [&](int id, int father, int mother, int sex, bool child) {
    for (int field : {1, id, father, mother, sex, 0, 0}) text.append(std::to_string(field)).append(" ");
    text.append(child ? "1 1" : "1 2");
    for (auto [a, b] : pairs) {
      if (random() % 2 != 0) std::swap(a, b);
      text.append(" ").append(std::to_string(a)).append(" ").append(std::to_string(b));
    }
    text.append("\n");
  };
  int father = childFirst ? 3 : 1;
  int mother = 2;
  int firstChild = childFirst ? 1 : 3;
  line(father, 0, 0, 1, false);
  line(mother, 0, 0, 2, false);
  for (int c : {firstChild, 4, 5, 6}) line(c, father, mother, 1 + c % 2, true);
  return text;
}

std::unique_ptr<Family> preparedFamily(const std::string& text) {
  LineSource source(text);
  PedigreeReader reader(source, "bench input");
  std::unique_ptr<Family> family = reader.nextFamily().family;
  family->memberCount = static_cast<int>(family->members.size());
  family->prepare();
  resolveForcedPhases(*family);
  return family;
}

void SolveNuclearFamily(benchmark::State& state) {
  const std::string text = nuclearFamilyText(static_cast<int>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<Family> family = preparedFamily(text);
    TextSink dat, res, out;
    ResultFilesSink sink({dat, res, out});
    state.ResumeTiming();
    bool solved = solveByLocusDp(*family, Settings(), "bench input", sink).outcome == FamilyOutcome::kSolved;
    benchmark::DoNotOptimize(solved);
    if (!solved) state.SkipWithError("refused by the size guard");
  }
}

void EvaluateBeyondTheGuard(benchmark::State& state) {
  const std::string text = nuclearFamilyText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<Family> family = preparedFamily(text);
    state.ResumeTiming();
    LocusDpSolver solver(*family, 1);
    state.counters["trio_evaluations"] = solver.workEstimate();
    solver.evaluate();
    benchmark::DoNotOptimize(solver.selectAndTraceBack());
  }
}

}  // namespace

// Second argument 1: rooted at a child (parents' side) instead of the father.
BENCHMARK(SolveNuclearFamily)
    ->Args({8, 0})
    ->Args({10, 0})
    ->Args({8, 1})
    ->Args({10, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(EvaluateBeyondTheGuard)->Arg(11)->Arg(12)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
