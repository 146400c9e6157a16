// The fast member-based solver: hand-checked families, and agreement with
// the plainly stated programme (member_dp_oracle.h) on random families.
#include "member_dp/member_dp_solver.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "family_generator.h"
#include "member_dp/joint_state.h"
#include "member_dp_oracle.h"
#include "random_family.h"
#include "test_support.h"

namespace {

using member_dp::MemberDpOutcome;
using member_dp::MemberDpSolver;
using Status = MemberDpOutcome::Status;

struct Written {
  MemberDpOutcome outcome;
  std::string out;
  std::string dat;
  std::string res;  // times masked
  std::vector<std::vector<int>> foundPaths;
};

Written solveFast(const std::string& text, std::uint64_t maxSolutions = 0) {
  auto family = test_support::preparedFamily(text);
  TextSink out, dat, res;
  Written written;
  written.outcome = MemberDpSolver(*family, maxSolutions).run(out, dat, res);
  written.out = out.text();
  written.dat = dat.text();
  written.res = test_support::maskTimes(res.text());
  written.foundPaths = family->foundPaths;
  return written;
}

Written solveByOracle(const std::string& text, std::uint64_t maxSolutions = 0) {
  auto family = test_support::preparedFamily(text);
  TextSink out, dat, res;
  Written written;
  written.outcome = member_dp_oracle::solveLiterally(*family, out, dat, res, maxSolutions);
  written.out = out.text();
  written.dat = dat.text();
  written.res = test_support::maskTimes(res.text());
  written.foundPaths = family->foundPaths;
  return written;
}

int countLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  return count;
}

TEST(MemberDpSolver, SingleLocusWritesEachPhasePatternOnceHighestStateFirst) {
  // Child 1/2 of father 1/2 and mother 1/1: the 2 came from the father
  // (his allele2, source 1); either maternal source fits, so two optimal
  // states share one phase pattern. The higher (maternal source 1) is
  // traced first and is the one written.
  const Written w = solveFast(
      "1 1 0 0 1 0 0 1 2\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 1 2 1 0 0 1 2\n");
  EXPECT_EQ(w.outcome.status, Status::kSolved);
  EXPECT_EQ(w.outcome.written, 1u);
  EXPECT_EQ(w.out,
            "1\t1\t0\t0\t1\t0\t0\t1/2\t0\t0\n"
            "1\t2\t0\t0\t2\t0\t0\t1/1\t0\t0\n"
            "1\t3\t1\t2\t1\t0\t0\t2/1\t1\t1\n");
  EXPECT_EQ(w.res, "1\t 0\t T\n");
  EXPECT_EQ(w.dat.substr(0, w.dat.find("1-2\n")), "1-1\nM\n  ,  \n1|2(0,0)\n" + std::string(9, '\n'));
}

TEST(MemberDpSolver, FoundersOnlyWriteEveryPhaseAfterTheFirstHeterozygousLocus) {
  const Written w = solveFast(
      "4 1 0 0 1 0 0 1 2 1 2\n"
      "4 2 0 0 2 0 0 2 1 2 1\n");
  ASSERT_EQ(w.outcome.written, 4u);
  // Final states 3, 2, 1, 0 in that order; bit 0 is member 1's phase.
  const std::string phases[4][2] = {{"2/1", "2/1"}, {"1/2", "2/1"}, {"2/1", "1/2"}, {"1/2", "1/2"}};
  std::string expected;
  for (const auto& pair : phases) {
    expected += "4\t1\t0\t0\t1\t0\t0\t1/2\t" + pair[0] + "\t00\t00\n";
    expected += "4\t2\t0\t0\t2\t0\t0\t1/2\t" + pair[1] + "\t00\t00\n";
  }
  EXPECT_EQ(w.out, expected);
  EXPECT_EQ(w.res, "4\t 0\t T\n4\t 0\t T\n4\t 0\t T\n4\t 0\t T\n");
  ASSERT_EQ(w.foundPaths.size(), 4u);
  EXPECT_EQ(w.foundPaths[0], (std::vector<int>{0, 3}));
}

TEST(MemberDpSolver, LeastCostIsWrittenInEveryResultLine) {
  // Sibs 3 and 4 share their paternal allele at loci 0 and 2 but not at
  // locus 1: one of them recombines on each side of locus 1.
  const std::string text =
      "5 1 0 0 1 0 0 1 2 1 2 1 2\n"
      "5 2 0 0 2 0 0 1 1 1 1 1 1\n"
      "5 3 1 2 1 0 0 1 1 1 1 1 1\n"
      "5 4 1 2 2 0 0 1 1 2 1 1 1\n";
  const Written w = solveFast(text);
  EXPECT_EQ(w.outcome.leastCost, 2);
  ASSERT_GT(w.outcome.written, 0u);
  EXPECT_EQ(countLines(w.res, "5\t 2\t T\n"), static_cast<int>(w.outcome.written));
  const Written oracle = solveByOracle(text);
  EXPECT_EQ(w.out, oracle.out);
  EXPECT_EQ(w.res, oracle.res);
}

TEST(MemberDpSolver, NoConsistentConfigurationWritesNothing) {
  // The child's 3 at locus 1 comes from neither parent.
  for (const char* loci : {"1 2 1 2", "1 2 3 1"}) {
    const std::string text =
        std::string("6 1 0 0 1 0 0 1 2 1 2\n6 2 0 0 2 0 0 1 1 1 1\n6 3 1 2 2 0 0 ") + loci + "\n";
    const Written w = solveFast(text);
    const bool consistent = std::string(loci) == "1 2 1 2";
    EXPECT_EQ(w.outcome.status, consistent ? Status::kSolved : Status::kNoConsistentConfiguration);
    EXPECT_EQ(w.out.empty(), !consistent);
    EXPECT_EQ(w.dat.empty(), !consistent);
    EXPECT_EQ(w.res.empty(), !consistent);
    if (!consistent) {
      EXPECT_EQ(w.outcome.failingLocus, 1);
    }
  }
  // One locus only: nothing is written either.
  const Written single = solveFast("6 1 0 0 1 0 0 1 2\n6 2 0 0 2 0 0 1 1\n6 3 1 2 2 0 0 3 3\n");
  EXPECT_EQ(single.outcome.status, Status::kNoConsistentConfiguration);
  EXPECT_TRUE(single.out.empty());
  EXPECT_EQ(single.outcome.written,
            solveByOracle("6 1 0 0 1 0 0 1 2\n6 2 0 0 2 0 0 1 1\n6 3 1 2 2 0 0 3 3\n").outcome.written);
}

TEST(MemberDpSolver, CapWritesTheFirstConfigurationsInTracebackOrder) {
  const std::string text =
      "4 1 0 0 1 0 0 1 2 1 2\n"
      "4 2 0 0 2 0 0 2 1 2 1\n";
  const Written all = solveFast(text);
  const Written two = solveFast(text, 2);
  EXPECT_EQ(two.outcome.status, Status::kCapped);
  EXPECT_EQ(two.outcome.written, 2u);
  EXPECT_EQ(two.out, all.out.substr(0, two.out.size()));
  EXPECT_EQ(two.out.size() * 2, all.out.size());
  // Exactly as many as exist: nothing is left on the stack.
  EXPECT_EQ(solveFast(text, 4).outcome.status, Status::kSolved);
}

TEST(MemberDpSolver, PathsWrittenByAnEarlierRunStayExcluded) {
  const std::string text =
      "4 1 0 0 1 0 0 1 2 1 2\n"
      "4 2 0 0 2 0 0 2 1 2 1\n";
  std::string outputs[2];
  for (int oracle = 0; oracle < 2; ++oracle) {
    auto family = test_support::preparedFamily(text);
    TextSink out, dat, res;
    for (std::uint64_t cap : {2, 0}) {
      if (oracle == 1) {
        member_dp_oracle::solveLiterally(*family, out, dat, res, cap);
      } else {
        MemberDpSolver(*family, cap).run(out, dat, res);
      }
      outputs[oracle] += "|" + out.text();
      out.clear();
    }
    EXPECT_EQ(family->foundPaths.size(), 4u);
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0], std::string("|")
                            .append(solveFast(text, 2).out)
                            .append("|")
                            .append(solveFast(text).out.substr(solveFast(text, 2).out.size())));
}

TEST(MemberDpSolver, UntypedStretchWithManySourceOnlyPathsIsWrittenOnce) {
  // 6 non-founders, all untyped over 40 loci: every constant source vector
  // is optimal (4096 final states); all share the all-zero phase path.
  std::string text;
  const int parents[8][2] = {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {3, 4}, {3, 4}};
  for (int m = 0; m < 8; ++m) {
    text += "9 " + std::to_string(m + 1) + " " + std::to_string(parents[m][0]) + " " +
            std::to_string(parents[m][1]) + " " + (m == 2 || m == 0 ? "1" : "2") + " 0 0";
    for (int l = 0; l < 40; ++l) text += " 0 0";
    text += "\n";
  }
  // Member 4 is the mother of 7 and 8: sex 2; member 3 their father.
  const Written w = solveFast(text);
  EXPECT_EQ(w.outcome.status, Status::kSolved);
  EXPECT_EQ(w.outcome.leastCost, 0);
  EXPECT_EQ(w.outcome.written, 1u);
}

struct RandomCase {
  const char* name;
  member_dp_test::FamilyShape shape;
};

// The fast solver writes exactly what the plain programme writes: same
// configurations, same order, same "res" lines, same found paths.
TEST(MemberDpSolver, EqualsPlainProgrammeOnRandomFamilies) {
  using namespace member_dp_test;
  const RandomCase cases[] = {
      {"nuclear-1", nuclearShape(1)},
      {"nuclear-2", nuclearShape(2)},
      {"nuclear-3", nuclearShape(3)},
      {"three-generation-1", threeGenerationShape(1)},
      {"three-generation-2", threeGenerationShape(2)},
      {"half-sibs-2", halfSibShape(2)},
      {"half-sibs-3", halfSibShape(3)},
      {"founders-3", foundersOnlyShape(3)},
  };
  std::mt19937 random(20261206);
  int solved = 0;
  int inconsistent = 0;
  int capped = 0;
  int multiple = 0;
  for (const RandomCase& shapeCase : cases) {
    for (int round = 0; round < 25; ++round) {
      GenotypeOptions options;
      options.loci = 1 + round % 8;
      options.alleles = 2 + round % 3;
      options.recombination = (round % 4) * 0.15;
      options.missingFounderAllele = round % 5 == 0 ? 0.3 : 0.0;
      options.typingError = round % 7 == 3 ? 0.05 : 0.0;
      const std::string text = familyText(round + 1, shapeCase.shape, options, random);
      const std::uint64_t cap = round % 6 == 5 ? 3 : 0;
      const Written fast = solveFast(text, cap);
      const Written oracle = solveByOracle(text, cap);
      SCOPED_TRACE(std::string(shapeCase.name) + " round " + std::to_string(round) + "\n" + text);
      EXPECT_EQ(fast.outcome.status, oracle.outcome.status);
      EXPECT_EQ(fast.outcome.leastCost, oracle.outcome.leastCost);
      EXPECT_EQ(fast.outcome.written, oracle.outcome.written);
      EXPECT_EQ(fast.out, oracle.out);
      EXPECT_EQ(fast.dat, oracle.dat);
      EXPECT_EQ(fast.res, oracle.res);
      EXPECT_EQ(fast.foundPaths, oracle.foundPaths);
      solved += oracle.outcome.status == Status::kSolved;
      inconsistent += oracle.outcome.status == Status::kNoConsistentConfiguration;
      capped += oracle.outcome.status == Status::kCapped;
      multiple += oracle.outcome.written > 1;
    }
  }
  // The generator must reach every outcome, or the comparison proves little.
  EXPECT_GT(solved, 50);
  EXPECT_GT(inconsistent, 5);
  EXPECT_GT(capped, 3);
  EXPECT_GT(multiple, 30);
}

// The same with the shared family generator: three generations (the first
// child marries a new founder), half-siblings, children listed before their
// parents, missing alleles written as 0.
TEST(MemberDpSolver, EqualsPlainProgrammeOnGeneratedFamilies) {
  std::mt19937 random(61206);
  int compared = 0;
  int multiple = 0;
  for (int round = 0; round < 240; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.familyId = round + 1;
    options.generations = round % 3 == 0 ? 3 : 2;
    options.children = 1 + round % 3;
    options.halfSiblings = round % 4 == 1;
    options.loci = 1 + round % 8;
    options.alleles = 2 + round % 2;
    options.recombinationRate = (round % 5) * 0.1;
    options.missingRate = round % 6 == 2 ? 0.05 : 0.0;
    options.childrenFirst = round % 2 == 1;
    const std::string text = test_support::generateFamilyText(options, random);
    if (member_dp::stateBitCount(*test_support::preparedFamily(text)) > 12) continue;
    const std::uint64_t cap = round % 7 == 6 ? 2 : 0;
    const Written fast = solveFast(text, cap);
    const Written oracle = solveByOracle(text, cap);
    SCOPED_TRACE("round " + std::to_string(round) + "\n" + text);
    EXPECT_EQ(fast.outcome.status, oracle.outcome.status);
    EXPECT_EQ(fast.outcome.written, oracle.outcome.written);
    EXPECT_EQ(fast.out, oracle.out);
    EXPECT_EQ(fast.dat, oracle.dat);
    EXPECT_EQ(fast.res, oracle.res);
    ++compared;
    multiple += oracle.outcome.written > 1;
  }
  EXPECT_GT(compared, 150);
  EXPECT_GT(multiple, 30);
}

}  // namespace
