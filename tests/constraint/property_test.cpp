// Properties of option c on generated families, and the solver compared
// with the results obtained through the plain reduction.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "constraint/constraint_solver.h"
#include "family_generator.h"
#include "literal_reduction.h"
#include "test_support.h"

namespace {

using constraint_test::EquationSystem;
using FamilyOptions = test_support::GeneratedFamilyOptions;
using constraint_test::ReductionOutcome;

constexpr std::uint64_t kTestLimit = 256;

struct Solved {
  int result = 0;
  std::string res;
  std::string out;
  int memberCount = 0;
};

Solved solveText(const std::string& text, std::uint64_t limit = kTestLimit) {
  auto family = test_support::preparedFamily(text);
  Solved solved;
  solved.memberCount = family->memberCount;
  TextSink dat;
  TextSink res;
  TextSink out;
  ConstraintSolver solver(*family, limit);
  solved.result = solver.solve(dat, res, out);
  solved.res = res.text();
  solved.out = out.text();
  return solved;
}

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
  ASSERT_NE(solved.result, -1) << text;
  // 2 to the power of the free variables; 0 or the lowest int once that
  // no longer fits in 32 bits (the written solutions then stop at the limit).
  std::uint64_t expectedCount = kTestLimit;
  if (solved.result > 0) {
    ASSERT_EQ(solved.result & (solved.result - 1), 0) << "not a power of two: " << solved.result;
    expectedCount = std::min<std::uint64_t>(static_cast<std::uint64_t>(solved.result), kTestLimit);
  }
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
  const bool built = plainSolver.buildConstraints();
  int plainResult = -1;
  TextSink plainDat;
  TextSink plainOut;
  if (built) {
    EquationSystem system{plainSolver.constraints, plainSolver.parities, plainSolver.fixedZero,
                          plainSolver.fixedOne};
    const ReductionOutcome outcome = constraint_test::reduceLiterally(system);
    ASSERT_NE(outcome, ReductionOutcome::kTooManyPasses) << text;
    if (outcome == ReductionOutcome::kReduced) {
      plainSolver.constraints = system.constraints;
      plainSolver.parities = system.parities;
      plainSolver.fixedZero = system.fixedZero;
      plainSolver.fixedOne = system.fixedOne;
      TextSink res;
      plainResult = plainSolver.enumerateSolutions(plainDat, res, plainOut);
    }
  }
  auto fresh = test_support::preparedFamily(text);
  TextSink dat;
  TextSink res;
  TextSink out;
  ConstraintSolver solver(*fresh, kTestLimit);
  EXPECT_EQ(solver.solve(dat, res, out), plainResult) << text;
  EXPECT_EQ(dat.text(), plainDat.text()) << text;
  EXPECT_EQ(out.text(), plainOut.text()) << text;
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
  auto family = test_support::preparedFamily(text);
  ASSERT_EQ(family->memberOrder, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  expectSameResultsAsPlainReduction(text);
  const Solved solved = solveText(text);
  expectSoundSolutions(solved, text);
}

}  // namespace
