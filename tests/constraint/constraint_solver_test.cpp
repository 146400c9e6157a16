#include "constraint/constraint_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "literal_reduction.h"
#include "test_support.h"

namespace {

using constraint_test::EquationSystem;
using constraint_test::ReductionOutcome;

std::vector<int> sorted(std::vector<int> list) {
  std::sort(list.begin(), list.end());
  return list;
}

// ---- Construction ----

TEST(BuildConstraints, TrioTypedHomozygousEverywhereFixesEveryVariableToZero) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1 2 2\n"
      "1 2 0 0 2 0 0 1 1 2 2\n"
      "1 3 1 2 1 0 0 1 1 2 2\n");
  ConstraintSolver solver(*family, 0);
  ASSERT_TRUE(solver.buildConstraints());
  // Founder 1, then the couple's child, then founder 2.
  EXPECT_EQ(solver.fixedZero, (std::vector<int>{0, 1, 4, 5, 2, 3}));
  EXPECT_TRUE(solver.fixedOne.empty());
  EXPECT_TRUE(solver.constraints.empty());
}

TEST(BuildConstraints, FounderFixesHomozygousLociAndItsFirstOtherLocus) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 1 1 2 2 2 1 1 1 2\n"
      "1 2 0 0 2 0 0 0 0 1 2 1 1 1 2 1 2 1 2\n"
      "1 3 1 2 1 0 0 0 1 1 1 1 1 2 1 1 1 1 1\n");
  ConstraintSolver solver(*family, 0);
  ASSERT_TRUE(solver.buildConstraints());
  std::set<int> zero(solver.fixedZero.begin(), solver.fixedZero.end());
  // Founder 1 (variables 0..5): heterozygous at 0, 2, 5.
  for (int v : {0, 1, 3, 4}) EXPECT_TRUE(zero.count(v)) << v;
  for (int v : {2, 5}) EXPECT_FALSE(zero.count(v)) << v;
  // Founder 2 (variables 6..11): untyped locus 0 spends the first-locus fixing.
  for (int v : {6, 8}) EXPECT_TRUE(zero.count(v)) << v;
  for (int v : {7, 9, 10, 11}) EXPECT_FALSE(zero.count(v)) << v;
}

TEST(BuildConstraints, ParentLinksConsecutiveHeterozygousLociOnly) {
  // Father heterozygous at 1, 4 and 6; mother and child homozygous 1 1.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1 1 2 1 1 1 1 2 1 1 1 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n"
      "1 3 1 2 1 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n");
  ConstraintSolver solver(*family, 0);
  ASSERT_TRUE(solver.buildConstraints());
  ASSERT_EQ(solver.constraints.size(), 2u);
  EXPECT_EQ(solver.constraints[0], (std::vector<int>{1, 4}));
  EXPECT_EQ(solver.constraints[1], (std::vector<int>{4, 6}));
  EXPECT_EQ(solver.parities, (std::vector<int>{0, 0}));
}

TEST(BuildConstraints, ChildListedBeforeItsParentsGetsAscendingEquations) {
  // seqIndex: child 0, father 1, mother 2; two loci.
  auto family = test_support::preparedFamily(
      "1 3 1 2 1 0 0 1 1 1 2\n"
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1\n");
  ConstraintSolver solver(*family, 0);
  ASSERT_TRUE(solver.buildConstraints());
  ASSERT_EQ(solver.constraints.size(), 1u);
  EXPECT_EQ(solver.constraints[0], (std::vector<int>{1, 2, 3}));  // [v(F,0), v(F,1), v(C,1)] sorted
  EXPECT_EQ(solver.parities[0], 0);
}

TEST(BuildConstraints, HalfSiblingsAreHandledOnceInTwoCouples) {
  // Father 1 with mate 2 (children 3, 4) and mate 5 (child 6); one locus.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1\n"
      "1 2 0 0 2 0 0 2 2\n"
      "1 3 1 2 1 0 0 1 2\n"
      "1 4 1 2 2 0 0 2 1\n"
      "1 5 0 0 2 0 0 1 1\n"
      "1 6 1 5 1 0 0 1 1\n");
  ConstraintSolver solver(*family, 0);
  ASSERT_TRUE(solver.buildConstraints());
  // Children 3 and 4 (variables 2, 3) get phase 0 (1 from the father),
  // child 6 (variable 5) phase 0 as a homozygote; founders 0, 1, 4.
  EXPECT_EQ(sorted(solver.fixedZero), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(solver.fixedOne.empty());
}

TEST(BuildConstraints, ChildParentsCannotExplainIsAContradiction) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 2\n"
      "1 3 1 2 1 0 0 1 1 0 1\n");
  ConstraintSolver solver(*family, 0);
  EXPECT_FALSE(solver.buildConstraints());
}

// ---- Reduction ----

class ReduceConstraints : public ::testing::Test {
 protected:
  bool reduce(std::vector<std::vector<int>> constraints, std::vector<int> parities,
              std::vector<int> zero = {}, std::vector<int> one = {}) {
    solver.constraints = std::move(constraints);
    solver.parities = std::move(parities);
    solver.fixedZero = std::move(zero);
    solver.fixedOne = std::move(one);
    return solver.reduceConstraints();
  }
  Family family;
  ConstraintSolver solver{family, 0};
};

TEST_F(ReduceConstraints, NothingToReduce) {
  ASSERT_TRUE(reduce({}, {}, {3, 1}, {2}));
  EXPECT_TRUE(solver.constraints.empty());
  EXPECT_EQ(solver.fixedZero, (std::vector<int>{3, 1}));
  EXPECT_EQ(solver.fixedOne, (std::vector<int>{2}));
}

TEST_F(ReduceConstraints, EqualEquationsWithDifferentParitiesContradict) {
  EXPECT_FALSE(reduce({{1, 2}, {1, 2}}, {1, 0}));
}

TEST_F(ReduceConstraints, SameVariablesInAnotherOrderAreKept) {
  ASSERT_TRUE(reduce({{4, 6}, {6, 4}}, {0, 0}));
  EXPECT_EQ(solver.constraints, (std::vector<std::vector<int>>{{4, 6}, {6, 4}}));
}

TEST_F(ReduceConstraints, SharedPivotIsEliminatedFromTheLowerEquation) {
  ASSERT_TRUE(reduce({{3, 9}, {5, 9}}, {0, 1}));
  EXPECT_EQ(solver.constraints, (std::vector<std::vector<int>>{{3, 5}, {5, 9}}));
  EXPECT_EQ(solver.parities, (std::vector<int>{1, 1}));
}

TEST_F(ReduceConstraints, FixedOneFlipsTheParity) {
  ASSERT_TRUE(reduce({{1, 2}}, {0}, {}, {1}));
  EXPECT_TRUE(solver.constraints.empty());
  EXPECT_EQ(solver.fixedOne, (std::vector<int>{1, 2}));
}

TEST_F(ReduceConstraints, ConflictingUnitsContradict) {
  EXPECT_FALSE(reduce({{1, 3}, {2, 3}}, {0, 0}, {1}, {2}));
}

TEST_F(ReduceConstraints, EliminationUnitStartsAnotherCycle) {
  // [2,5] added to [2,3,5] leaves [3] once the pair of 2s cancels; the new
  // fixed 3 then fixes 6 through [3,6] in the next cycle.
  ASSERT_TRUE(reduce({{2, 3, 5}, {2, 5}, {3, 6}}, {1, 0, 0}));
  EXPECT_EQ(sorted(solver.fixedOne), (std::vector<int>{3, 6}));
  EXPECT_EQ(solver.constraints, (std::vector<std::vector<int>>{{2, 5}}));
}

bool satisfies(const EquationSystem& s, unsigned assignment) {
  auto value = [assignment](int v) { return static_cast<int>((assignment >> v) & 1u); };
  for (int v : s.fixedZero) {
    if (value(v) != 0) return false;
  }
  for (int v : s.fixedOne) {
    if (value(v) != 1) return false;
  }
  for (std::size_t k = 0; k < s.constraints.size(); ++k) {
    int sum = s.parities[k];
    for (int v : s.constraints[k]) sum ^= value(v);
    if (sum != 0) return false;
  }
  return true;
}

// The fixed variables and pivots of a reduced system.
std::vector<int> determinedVariables(const EquationSystem& s) {
  std::vector<int> determined = s.fixedZero;
  determined.insert(determined.end(), s.fixedOne.begin(), s.fixedOne.end());
  for (const std::vector<int>& vars : s.constraints) determined.push_back(vars.back());
  return sorted(determined);
}

// Random ascending systems, reduced by the solver and by the plain method:
// the same verdict, the same fixed variables and pivots (which decide the
// free variables and so the solutions written), and the solver's result
// has exactly the solutions of the original system, in the form back
// substitution needs (ascending, distinct pivots, no fixed variable left).
TEST(ReduceConstraintsAgainstPlainMethod, RandomSystems) {
  std::mt19937 random(20261206);
  int contradictions = 0;
  int reduced = 0;
  for (int round = 0; round < 3000; ++round) {
    const int variables = 4 + static_cast<int>(random() % 9);
    EquationSystem original;
    const int equations = static_cast<int>(random() % 14);
    for (int e = 0; e < equations; ++e) {
      std::set<int> vars;
      const int size = 2 + static_cast<int>(random() % 3);
      while (static_cast<int>(vars.size()) < size) vars.insert(static_cast<int>(random() % variables));
      original.constraints.emplace_back(vars.begin(), vars.end());
      original.parities.push_back(static_cast<int>(random() % 2));
    }
    for (int v = 0; v < variables; ++v) {
      const unsigned draw = random() % 10;
      if (draw == 0) original.fixedZero.push_back(v);
      if (draw == 1) original.fixedOne.push_back(v);
    }
    Family family;
    ConstraintSolver solver(family, 0);
    solver.constraints = original.constraints;
    solver.parities = original.parities;
    solver.fixedZero = original.fixedZero;
    solver.fixedOne = original.fixedOne;
    const bool ok = solver.reduceConstraints();
    EquationSystem plain = original;
    const ReductionOutcome outcome = constraint_test::reduceLiterally(plain);
    ASSERT_NE(outcome, ReductionOutcome::kTooManyPasses) << "round " << round;
    ASSERT_EQ(ok, outcome == ReductionOutcome::kReduced) << "round " << round;
    bool anySolution = false;
    for (unsigned a = 0; a < (1u << variables); ++a) anySolution = anySolution || satisfies(original, a);
    ASSERT_EQ(ok, anySolution) << "round " << round;
    if (!ok) {
      ++contradictions;
      continue;
    }
    ++reduced;
    const EquationSystem fast{solver.constraints, solver.parities, solver.fixedZero, solver.fixedOne};
    ASSERT_EQ(determinedVariables(fast), determinedVariables(plain)) << "round " << round;
    std::set<int> pivots;
    for (const std::vector<int>& vars : fast.constraints) {
      ASSERT_GE(vars.size(), 2u);
      ASSERT_TRUE(std::adjacent_find(vars.begin(), vars.end(), std::greater_equal<int>()) == vars.end());
      ASSERT_TRUE(pivots.insert(vars.back()).second) << "pivot shared, round " << round;
      for (int v : vars) {
        ASSERT_EQ(std::count(fast.fixedZero.begin(), fast.fixedZero.end(), v) +
                      std::count(fast.fixedOne.begin(), fast.fixedOne.end(), v),
                  0);
      }
    }
    for (unsigned a = 0; a < (1u << variables); ++a) {
      ASSERT_EQ(satisfies(fast, a), satisfies(original, a)) << "round " << round << " assignment " << a;
    }
  }
  EXPECT_GT(contradictions, 100);
  EXPECT_GT(reduced, 100);
}

// ---- Enumeration ----

TEST(EnumerateSolutions, FreeVariablesCountInBinaryWithTheFirstAsLowestBit) {
  // Three members, five loci; everything fixed but variables 4 (member 1,
  // locus 4) and 9 (member 2, locus 4).
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1 1 1 1 1 1 1 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1 1 1 1 1 2 1\n"
      "1 3 1 2 1 0 0 1 1 1 1 1 1 1 1 1 1\n");
  ConstraintSolver solver(*family, 0);
  for (int v = 0; v < 15; ++v) {
    if (v != 4 && v != 9) solver.fixedZero.push_back(v);
  }
  TextSink dat;
  TextSink res;
  TextSink out;
  EXPECT_EQ(solver.enumerateSolutions(dat, res, out), 4);
  EXPECT_EQ(solver.freeVars, (std::vector<int>{4, 9}));
  std::vector<std::string> fatherLocus4;
  std::vector<std::string> motherLocus4;
  std::istringstream lines(out.text());
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 14u);
    // Seven leading columns, then the genotypes of loci 0..4.
    if (fields[1] == "1") fatherLocus4.push_back(fields[11]);
    if (fields[1] == "2") motherLocus4.push_back(fields[11]);
  }
  EXPECT_EQ(fatherLocus4, (std::vector<std::string>{"1/2", "2/1", "1/2", "2/1"}));
  EXPECT_EQ(motherLocus4, (std::vector<std::string>{"1/2", "1/2", "2/1", "2/1"}));
}

TEST(EnumerateSolutions, OutputLimitWritesTheFirstSolutionsAndReturnsTheFullCount) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1 1 1 1 1\n"
      "1 3 1 2 1 0 0 0 0 0 0 0 0 0 0\n");
  // Founder 1 has three free loci after its first; the untyped child under
  // typed parents is a contradiction, so enumerate directly.
  ConstraintSolver solver(*family, 5);
  for (int v : {0, 4, 5, 6, 7, 8, 9, 10, 11}) solver.fixedZero.push_back(v);
  TextSink dat;
  TextSink res;
  TextSink out;
  EXPECT_EQ(solver.enumerateSolutions(dat, res, out), 8);
  EXPECT_EQ(std::count(res.text().begin(), res.text().end(), '\n'), 5);
  // The family's records hold the last solution written (s = 4: locus 3 flipped).
  EXPECT_EQ(family->member(1).genotypes[3].allele1, 2);
  EXPECT_EQ(family->member(1).genotypes[1].allele1, 1);
}

TEST(EnumerateSolutions, HomozygousLociAreResolvedUnchangedAndFoundersHaveSourceZero) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 2 1 3 3\n"
      "1 2 0 0 2 0 0 1 1 3 3\n"
      "1 3 1 2 1 0 0 1 2 3 3\n");
  TextSink dat;
  TextSink res;
  TextSink out;
  ConstraintSolver solver(*family, 0);
  EXPECT_EQ(solver.solve(dat, res, out), 1);
  const LocusGenotype& founderLocus0 = family->member(1).genotypes[0];
  EXPECT_EQ(founderLocus0.allele1, 1);  // the founder's fixed first locus: smaller code paternal
  EXPECT_EQ(founderLocus0.allele2, 2);
  EXPECT_EQ(founderLocus0.paternalSource, 0);
  const LocusGenotype& childLocus1 = family->member(3).genotypes[1];
  EXPECT_TRUE(childLocus1.resolved);
  EXPECT_EQ(childLocus1.allele1, 3);
  EXPECT_EQ(family->member(3).genotypes[0].allele1, 2);  // the 2 can only come from the father
  EXPECT_EQ(family->recombinantCount, 0);
}

}  // namespace
