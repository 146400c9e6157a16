// The trio count's rules (the definition the programme is checked against),
// a member reached twice, the size guard at its limits, and option l end to
// end.
#include "locus_dp/locus_dp_solver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "locus_dp/locus_dp.h"
#include "locus_dp_test_helpers.h"
#include "test_support.h"

namespace {

std::string locusText(const LocusGenotype& g) {
  return std::to_string(g.allele1) + (g.resolved ? "|" : " ") + std::to_string(g.allele2);
}

// --- trioRecombinations ---

// Father 1, mother 2, child 3; all loci resolved unless stated, so state 0
// reads the stored order.
std::unique_ptr<Family> resolvedTrio(const std::string& text) {
  auto family = test_support::preparedFamily(text);
  for (auto& [id, member] : family->members) {
    for (LocusGenotype& g : member.genotypes) g.resolved = true;
  }
  return family;
}

TEST(TrioRecombinations, HomozygousParentLociCarryNoInformation) {
  // Paternal sources 0, -, -, 1: the switch across the father's homozygous
  // run counts once; the mother is homozygous throughout.
  auto family = resolvedTrio(
      "1 1 0 0 1 0 0 1 2 3 3 3 3 1 2\n"
      "1 2 0 0 2 0 0 5 5 5 5 5 5 5 5\n"
      "1 3 1 2 1 0 0 1 5 3 5 3 5 2 5\n");
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 1);
}

TEST(TrioRecombinations, RolesFollowTheFirstParentsSex) {
  // Member 1 has two informative switches against the child's allele1,
  // member 2 none. Named first with sex 1, member 1 is the father.
  auto family = resolvedTrio(
      "1 1 0 0 1 0 0 1 2 2 1 1 2\n"
      "1 2 0 0 2 0 0 1 2 1 2 1 2\n"
      "1 3 1 2 1 0 0 1 1 1 1 1 1\n");
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 2);
  // Named first, member 2 (sex 2) makes the second-named member 1 the
  // father, so the count is unchanged.
  EXPECT_EQ(trioRecombinations(*family, 2, 0, 1, 0, 3, 0), 2);
  // With sex 0 the first-named member 1 is the mother: its switches now meet
  // the child's allele2, which is also 1, and member 2 is the father.
  family->member(1).sex = 0;
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 2);
  family->member(3).genotypes[0].allele2 = 2;  // child's allele2 now 2,1,1
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 1);
  // Named second after member 2 (sex 2), member 1 is the father whatever
  // its own sex: two switches against the child's allele1 (1, 1, 1) plus
  // one of member 2 against its allele2 (2, 1, 1).
  EXPECT_EQ(trioRecombinations(*family, 2, 0, 1, 0, 3, 0), 3);
}

// --- tree ---

TEST(LocusDpSolve, MotherReachedTwiceIsPhasedOnce) {
  // Child 1 of 2 and 3; 2 is a child of 6 and 4, 3 a child of 5 and 4.
  // Visiting 3 places its unplaced father 5 together with mother 4 again.
  auto family = test_support::preparedFamily(
      "1 1 2 3 1 0 0 1 2 1 2\n"
      "1 2 6 4 1 0 0 1 2 2 1\n"
      "1 3 5 4 2 0 0 1 2 1 2\n"
      "1 4 0 0 2 0 0 2 1 1 2\n"
      "1 5 0 0 1 0 0 1 2 1 2\n"
      "1 6 0 0 1 0 0 2 1 1 2\n");
  TextSink out;
  ASSERT_EQ(solveByLocusDp(*family, out, "test input").outcome, FamilyOutcome::kSolved);
  for (const auto& [id, member] : family->members) EXPECT_EQ(locus_dp_test::openLoci(member), 0) << id;
}

// --- size guard ---

std::string memberLine(int family, int id, int father, int mother, int sex, int heterozygousLoci) {
  std::string line = std::to_string(family) + " " + std::to_string(id) + " " + std::to_string(father) + " " +
                     std::to_string(mother) + " " + std::to_string(sex) + " 0 0";
  for (int k = 0; k < heterozygousLoci; ++k) line += " 1 2";
  return line + "\n";
}

TEST(LocusDpSizeGuard, AcceptsUpToTheLimitsAndRefusesBeyond) {
  // Trio rooted at the father: 2^11 * 2^11 * 2^10 = 2^32 exactly.
  std::string atLimit =
      memberLine(1, 1, 0, 0, 1, 11) + memberLine(1, 2, 0, 0, 2, 11) + memberLine(1, 3, 1, 2, 1, 10);
  auto family = test_support::preparedFamily(atLimit);
  EXPECT_TRUE(LocusDpSolver(*family, 1).withinSizeLimits());
  // One more child, even without open loci, goes past 2^32.
  family = test_support::preparedFamily(atLimit + memberLine(1, 4, 1, 2, 1, 11));
  for (LocusGenotype& g : family->member(4).genotypes) g.resolved = true;
  EXPECT_FALSE(LocusDpSolver(*family, 1).withinSizeLimits());

  // A lone member: 2^20 states are accepted, 2^21 refused although there is
  // no trio to evaluate.
  family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 20));
  TextSink out;
  ASSERT_EQ(solveByLocusDp(*family, out, "test input").outcome, FamilyOutcome::kSolved);
  for (const LocusGenotype& g : family->member(1).genotypes) EXPECT_EQ(locusText(g), "1|2");
  family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 21));
  EXPECT_EQ(solveByLocusDp(*family, out, "test input").outcome, FamilyOutcome::kRefused);
}

TEST(LocusDpSizeGuard, RefusedFamilyIsReportedAndLeftUntouched) {
  auto family = test_support::preparedFamily(memberLine(9, 1, 0, 0, 1, 40));
  TextSink out;
  EXPECT_EQ(solveByLocusDp(*family, out, "test input").outcome, FamilyOutcome::kRefused);
  EXPECT_EQ(out.text(), "Pedigree 9 is to big!\n");
  // Nothing is phased or counted for a refused family.
  for (const LocusGenotype& g : family->member(1).genotypes) EXPECT_FALSE(g.resolved);
}

// --- option l end to end ---

TEST(LocusDpRun, WritesEveryFamilyAndSkipsTheRefusedOne) {
  std::string dir = test_support::makeTempDir();
  std::string input = memberLine(1, 1, 0, 0, 1, 0) + memberLine(2, 1, 0, 0, 1, 40) +
                      "3 1 0 0 1 0 0 1 2 1 2\n"
                      "3 2 0 0 2 0 0 3 4 3 4\n"
                      "3 3 1 2 1 0 0 1 3 2 4\n";
  test_support::writeFile(dir + "/fam.txt", input);
  test_support::RunResult run = test_support::runHaplotor({"-l", "fam.txt"}, dir);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.standardOutput, "");
  EXPECT_NE(run.standardError.find("family 2"), std::string::npos) << run.standardError;
  std::string out = test_support::readFile(dir + "/fam.out");
  // Family 3: the child's loci are forced (1|3, 2|4); the parents' open
  // second loci are phased 2|1 and 4|3 so that the child's alleles come from
  // the same haplotypes at both loci: no recombinant.
  EXPECT_NE(out.find("Pedigree 2 is to big!\n"), std::string::npos);
  EXPECT_EQ(out.rfind("1\t1\t0\t0\t1\t0\t0\t\t\n", 0), 0u) << out;
  std::string res = test_support::maskTimes(test_support::readFile(dir + "/fam.res"));
  EXPECT_EQ(res.find("2\t "), std::string::npos) << res;
  EXPECT_NE(res.find("1\t 0\t T\n"), std::string::npos) << res;
  EXPECT_NE(res.find("3\t 0\t T\n"), std::string::npos) << res;
  std::string dat = test_support::readFile(dir + "/fam.dat");
  EXPECT_EQ(dat.find("2-1\n"), std::string::npos);
  EXPECT_NE(dat.find("3-3\n"), std::string::npos);
}

TEST(LocusDpRun, TooLargeFamiliesAreNamedWithTheFileAndAFiniteNonZeroSize) {
  // A lone member has no trio to evaluate but 2^24 states (its first locus
  // is fixed); a trio of 2^(1099 + 1099 + 1100) evaluations
  // lies far beyond the range of a double.
  std::string dir = test_support::makeTempDir();
  test_support::writeFile(dir + "/big.txt", memberLine(1, 1, 0, 0, 1, 25) + memberLine(2, 1, 0, 0, 1, 1100) +
                                                memberLine(2, 2, 0, 0, 2, 1100) +
                                                memberLine(2, 3, 1, 2, 1, 1100));
  test_support::RunResult run = test_support::runHaplotor({"-l", "big.txt"}, dir);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.standardError.find("Haplotor: big.txt: family 1: too large for the locus-based method (about "
                                   "1.678e+07 trio and state evaluations"),
            std::string::npos)
      << run.standardError;
  EXPECT_NE(
      run.standardError.find("Haplotor: big.txt: family 2: too large for the locus-based method (about "),
      std::string::npos)
      << run.standardError;
  EXPECT_NE(run.standardError.find("(about 6.265e+992 trio"), std::string::npos) << run.standardError;
  EXPECT_EQ(run.standardError.find("inf"), std::string::npos) << run.standardError;
}

}  // namespace
