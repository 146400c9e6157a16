// Properties of option c on generated families, and the solver compared
// with the results obtained through the plain reduction.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "constraint_test_helpers.h"
#include "family_generator.h"

namespace {

using constraint_test::EquationSystem;
using constraint_test::ReductionOutcome;
using constraint_test::Solved;
using FamilyOptions = test_support::GeneratedFamilyOptions;

constexpr std::uint64_t kTestLimit = 256;

Solved solveText(const std::string& text) { return constraint_test::solveText(text, kTestLimit); }

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One "out" row: ids and the phased genotypes.
struct Row {
  int id = 0;
  int father = 0;
  int mother = 0;
  std::vector<std::pair<int, int>> loci;
};

Row parseRow(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream columns(line);
  for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
  Row row;
  row.id = std::stoi(fields[1]);
  row.father = std::stoi(fields[2]);
  row.mother = std::stoi(fields[3]);
  for (std::size_t f = 7; f + 2 < fields.size(); ++f) {
    const std::size_t slash = fields[f].find('/');
    row.loci.emplace_back(std::stoi(fields[f].substr(0, slash)), std::stoi(fields[f].substr(slash + 1)));
  }
  return row;
}

// Every written solution: 0 recombinants, each child's paternal allele one
// of its father's and maternal allele one of its mother's, all different.
void expectSoundSolutions(const Solved& solved, const std::string& text) {
  ASSERT_NE(solved.result.outcome, FamilyOutcome::kNoSolution) << text;
  // 2 to the power of the free variables, written up to the limit.
  const std::uint64_t count = solved.result.solutionCount;
  ASSERT_EQ(count & (count - 1), 0u) << "not a power of two: " << count;
  const std::uint64_t expectedCount = std::min(count, kTestLimit);
  EXPECT_EQ(solved.result.outcome == FamilyOutcome::kCapped, count > kTestLimit);
  const std::vector<std::string> resLines = splitLines(solved.res);
  ASSERT_EQ(resLines.size(), expectedCount) << text;
  for (const std::string& line : resLines) {
    ASSERT_EQ(line.substr(line.find('\t'), 4), "\t 0\t") << line << "\n" << text;
  }
  const std::vector<std::string> outLines = splitLines(solved.out);
  ASSERT_EQ(outLines.size(), expectedCount * static_cast<std::size_t>(solved.memberCount));
  std::set<std::string> distinct;
  for (std::size_t first = 0; first < outLines.size();
       first += static_cast<std::size_t>(solved.memberCount)) {
    std::map<int, Row> rows;
    std::string solution;
    for (int m = 0; m < solved.memberCount; ++m) {
      Row row = parseRow(outLines[first + static_cast<std::size_t>(m)]);
      rows[row.id] = row;
      solution += outLines[first + static_cast<std::size_t>(m)] + "\n";
    }
    distinct.insert(solution);
    for (const auto& [id, row] : rows) {
      if (row.father == 0) continue;
      const Row& father = rows.at(row.father);
      const Row& mother = rows.at(row.mother);
      for (std::size_t l = 0; l < row.loci.size(); ++l) {
        const auto [paternal, maternal] = row.loci[l];
        EXPECT_TRUE(paternal == father.loci[l].first || paternal == father.loci[l].second)
            << "member " << id << " locus " << l << "\n"
            << text;
        EXPECT_TRUE(maternal == mother.loci[l].first || maternal == mother.loci[l].second)
            << "member " << id << " locus " << l << "\n"
            << text;
      }
    }
  }
  EXPECT_EQ(distinct.size(), expectedCount);
}

// The family solved by the solver, and solved with the equations reduced by
// the plain method instead: the same verdict and byte for byte the same
// solutions in the same order.
void expectSameResultsAsPlainReduction(const std::string& text) {
  auto family = test_support::preparedFamily(text);
  ConstraintSolver plainSolver(*family, kTestLimit);
  SolveResult plainResult{FamilyOutcome::kNoSolution, 0};
  TextSink plainDat;
  TextSink plainRes;
  TextSink plainOut;
  if (plainSolver.buildConstraints()) {
    EquationSystem system{plainSolver.constraints, plainSolver.parities, plainSolver.fixedZero,
                          plainSolver.fixedOne};
    const ReductionOutcome outcome = constraint_test::reduceLiterally(system);
    ASSERT_NE(outcome, ReductionOutcome::kTooManyPasses) << text;
    if (outcome == ReductionOutcome::kReduced) {
      plainSolver.constraints = system.constraints;
      plainSolver.parities = system.parities;
      plainSolver.fixedZero = system.fixedZero;
      plainSolver.fixedOne = system.fixedOne;
      plainResult = plainSolver.enumerateSolutions({plainDat, plainRes, plainOut});
    }
  }
  const Solved solved = solveText(text);
  EXPECT_EQ(solved.result.outcome, plainResult.outcome) << text;
  EXPECT_EQ(solved.result.solutionCount, plainResult.solutionCount) << text;
  EXPECT_EQ(solved.dat, plainDat.text()) << text;
  EXPECT_EQ(solved.out, plainOut.text()) << text;
}

TEST(OptionCProperties, BiallelicFamiliesWithoutRecombinationHaveOnlySoundSolutions) {
  std::mt19937 random(7);
  for (int round = 0; round < 160; ++round) {
    FamilyOptions options;
    options.marriedChildren = 1000;  // every child of the first couple marries
    options.generations = round % 4 == 3 ? 3 : 2;
    options.children = 1 + static_cast<int>(random() % (options.generations == 3 ? 3 : 5));
    options.halfSiblings = round % 5 == 1;
    options.loci = 2 + static_cast<int>(random() % 9);
    options.childrenFirst = round % 3 == 1;
    options.shuffled = round % 3 == 2;
    const std::string text = test_support::generateFamilyText(options, random);
    SCOPED_TRACE("round " + std::to_string(round));
    expectSoundSolutions(solveText(text), text);
    expectSameResultsAsPlainReduction(text);
    if (HasFatalFailure()) return;
  }
}

TEST(OptionCProperties, SameResultsAsPlainReductionOnOtherFamilies) {
  // More codes, recombination and missing genotypes: the rule is then a
  // decision table rather than genetics, and many families have no
  // solution, but the results must still be those of the plain reduction.
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    FamilyOptions options;
    options.marriedChildren = 1000;  // every child of the first couple marries
    options.generations = round % 2 == 0 ? 3 : 2;
    options.children = 1 + static_cast<int>(random() % 4);
    options.halfSiblings = round % 3 == 0;
    options.loci = 3 + static_cast<int>(random() % 12);
    options.alleles = 2 + static_cast<int>(random() % 3);
    options.recombinationRate = 0.1;
    options.missingGenotypeRate = round % 4 == 0 ? 0.05 : 0.0;
    options.shuffled = round % 2 == 1;
    const std::string text = test_support::generateFamilyText(options, random);
    SCOPED_TRACE("round " + std::to_string(round));
    expectSameResultsAsPlainReduction(text);
    if (HasFatalFailure()) return;
  }
}

// Families of the sizes the program meets: many children give many
// equations sharing pivots, which must reduce quickly and soundly.
TEST(OptionCProperties, LargeFamiliesHaveOnlySoundSolutions) {
  std::mt19937 random(3);
  for (int round = 0; round < 6; ++round) {
    FamilyOptions options;
    options.marriedChildren = 1000;  // every child of the first couple marries
    options.generations = round % 2 == 0 ? 2 : 3;
    options.children = round % 2 == 0 ? 8 : 4;
    options.grandchildren = 5;
    options.loci = round % 2 == 0 ? 400 : 100;
    options.childrenFirst = round % 3 == 1;
    options.shuffled = round % 3 == 2;
    const std::string text = test_support::generateFamilyText(options, random);
    SCOPED_TRACE("round " + std::to_string(round));
    expectSoundSolutions(solveText(text), text);
    if (HasFatalFailure()) return;
  }
}

// A family whose elimination, with equations kept in the order the rule
// lists them, returns to an earlier state forever; kept ascending it ends.
TEST(OptionCProperties, FamilyThatCyclesWithUnsortedEquationsEndsWithSoundSolutions) {
  const std::string text =
      "1 2 0 0 2 0 0 1 2 2 2 1 2 2 2 1 2\n"
      "1 4 1 2 1 0 0 1 1 1 2 1 2 2 1 2 1\n"
      "1 3 1 2 1 0 0 1 1 2 1 1 2 1 2 2 1\n"
      "1 6 1 2 1 0 0 1 1 2 1 1 2 2 1 2 1\n"
      "1 5 1 2 1 0 0 2 1 1 2 2 2 1 2 2 2\n"
      "1 1 0 0 1 0 0 1 2 1 1 2 1 1 2 2 1\n";
  expectSameResultsAsPlainReduction(text);
  const Solved solved = solveText(text);
  expectSoundSolutions(solved, text);
}

// The count is 2 to the power of the free variables without wrapping: an
// untyped trio of n loci leaves each founder n - 1 free phases.
TEST(OptionCProperties, SolutionCountSaturatesInsteadOfWrapping) {
  auto untypedTrio = [](int loci) {
    std::string untyped;
    for (int l = 0; l < loci; ++l) untyped += " 0 0";
    return "3 1 0 0 1 0 0" + untyped + "\n3 2 0 0 2 0 0" + untyped + "\n3 3 1 2 2 0 0" + untyped + "\n";
  };
  Solved solved = constraint_test::solveText(untypedTrio(17), 1);
  EXPECT_EQ(solved.result.outcome, FamilyOutcome::kCapped);
  EXPECT_EQ(solved.result.solutionCount, std::uint64_t{1} << 32);
  solved = constraint_test::solveText(untypedTrio(40), 1);
  EXPECT_EQ(solved.result.solutionCount, UINT64_MAX);  // 2^78
  solved = constraint_test::solveText(untypedTrio(3), 0);
  EXPECT_EQ(solved.result.outcome, FamilyOutcome::kSolved);
  EXPECT_EQ(solved.result.solutionCount, 16u);
}

// The k-th configuration (k >= 2) is written only while k x members x loci
// allele cells stay within the budget; when the budget, not the limit on
// solutions, stops the writing, the note names both.
TEST(OptionCProperties, OutputBudgetBoundsTheConfigurationsWritten) {
  EXPECT_EQ(configurationsWithinBudget(std::uint64_t{1} << 26, kOutputCellBudget), 4u);
  EXPECT_EQ(configurationsWithinBudget((std::uint64_t{1} << 26) + 1, kOutputCellBudget), 3u);
  EXPECT_EQ(configurationsWithinBudget((std::uint64_t{1} << 28) + 1, kOutputCellBudget), 1u);
  EXPECT_EQ(configurationsWithinBudget(0, kOutputCellBudget), UINT64_MAX);

  // A trio heterozygous 1 2 at four loci: 2^4 configurations of 12 cells;
  // a budget of 40 cells lets three through.
  const std::string text =
      "3 1 0 0 1 0 0 1 2 1 2 1 2 1 2\n3 2 0 0 2 0 0 1 2 1 2 1 2 1 2\n3 3 1 2 2 0 0 1 2 1 2 1 2 1 2\n";
  for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{100}, std::uint64_t{2}}) {
    auto family = test_support::preparedFamily(text);
    TextSink dat;
    TextSink res;
    TextSink out;
    ConstraintSolver solver(*family, limit, "trio.txt", 40);
    testing::internal::CaptureStderr();
    const SolveResult result = solver.solve({dat, res, out});
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.outcome, FamilyOutcome::kCapped);
    EXPECT_EQ(result.solutionCount, 16u);
    const bool budgetStops = limit != 2;
    EXPECT_EQ(std::count(res.text().begin(), res.text().end(), '\n'), budgetStops ? 3 : 2);
    const std::string expected =
        budgetStops
            ? "Haplotor: trio.txt: family 3: 2^4 = 16 zero-recombinant solutions (4 free phase "
              "variables); only the first 3 were written, as 3 members x 4 loci per configuration reach "
              "the output budget of 40 allele cells (the other limit, HAPLOTOR_MAX_SOLUTIONS, is " +
                  (limit == 0 ? std::string("0, none") : "100") + ")\n"
            : "Haplotor: trio.txt: family 3: 2^4 = 16 zero-recombinant solutions (4 free phase "
              "variables); only the first 2 were written (HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 for "
              "none)\n";
    EXPECT_EQ(messages, expected);
  }
}

}  // namespace
