// The solver's reduction over GF(2) against the plain reduction and against
// every assignment, on random equation systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "constraint_test_helpers.h"

namespace {

using constraint_test::EquationSystem;
using constraint_test::ReductionOutcome;
using constraint_test::satisfies;

// The fixed variables and pivots of a reduced system.
std::vector<int> determinedVariables(const EquationSystem& s) {
  std::vector<int> determined = s.fixedZero;
  determined.insert(determined.end(), s.fixedOne.begin(), s.fixedOne.end());
  for (const std::vector<int>& vars : s.constraints) determined.push_back(vars.back());
  std::sort(determined.begin(), determined.end());
  return determined;
}

EquationSystem randomSystem(std::mt19937& random, int variables) {
  EquationSystem system;
  const int equations = static_cast<int>(random() % 14);
  for (int e = 0; e < equations; ++e) {
    std::set<int> vars;
    const int size = 2 + static_cast<int>(random() % 3);
    while (static_cast<int>(vars.size()) < size) vars.insert(static_cast<int>(random() % variables));
    system.constraints.emplace_back(vars.begin(), vars.end());
    system.parities.push_back(static_cast<int>(random() % 2));
  }
  for (int v = 0; v < variables; ++v) {
    const unsigned draw = random() % 10;
    if (draw == 0) system.fixedZero.push_back(v);
    if (draw == 1) system.fixedOne.push_back(v);
  }
  return system;
}

// The same verdict as the plain method and as trying every assignment; the
// same fixed variables and pivots as the plain method (they decide the free
// variables and so the solutions written); exactly the original solutions,
// in the form back substitution needs (ascending, distinct pivots, no fixed
// variable left in an equation).
TEST(ConstraintReduction, AgreesWithThePlainMethodAndEveryAssignment) {
  std::mt19937 random(20261206);
  int contradictions = 0;
  int reduced = 0;
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int variables = 4 + static_cast<int>(random() % 9);
    const EquationSystem original = randomSystem(random, variables);
    Family family;
    ConstraintSolver solver(family, 0);
    solver.constraints = original.constraints;
    solver.parities = original.parities;
    solver.fixedZero = original.fixedZero;
    solver.fixedOne = original.fixedOne;
    const bool ok = solver.reduceConstraints();
    EquationSystem plain = original;
    const ReductionOutcome outcome = constraint_test::reduceLiterally(plain);
    ASSERT_NE(outcome, ReductionOutcome::kTooManyPasses);
    ASSERT_EQ(ok, outcome == ReductionOutcome::kReduced);
    bool anySolution = false;
    for (unsigned a = 0; a < (1u << variables); ++a) anySolution = anySolution || satisfies(original, a);
    ASSERT_EQ(ok, anySolution);
    if (!ok) {
      ++contradictions;
      continue;
    }
    ++reduced;
    const EquationSystem fast{solver.constraints, solver.parities, solver.fixedZero, solver.fixedOne};
    ASSERT_EQ(determinedVariables(fast), determinedVariables(plain));
    std::set<int> pivots;
    std::set<int> fixed(fast.fixedZero.begin(), fast.fixedZero.end());
    fixed.insert(fast.fixedOne.begin(), fast.fixedOne.end());
    for (const std::vector<int>& vars : fast.constraints) {
      ASSERT_GE(vars.size(), 2u);
      ASSERT_TRUE(std::adjacent_find(vars.begin(), vars.end(), std::greater_equal<int>()) == vars.end());
      ASSERT_TRUE(pivots.insert(vars.back()).second) << "pivot shared";
      for (int v : vars) ASSERT_EQ(fixed.count(v), 0u);
    }
    for (unsigned a = 0; a < (1u << variables); ++a) {
      ASSERT_EQ(satisfies(fast, a), satisfies(original, a)) << "assignment " << a;
    }
  }
  EXPECT_GT(contradictions, 100);
  EXPECT_GT(reduced, 100);
}

}  // namespace
