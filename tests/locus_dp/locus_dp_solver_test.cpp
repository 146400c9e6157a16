// The pedigree tree, the trio count's rules, selection and trace back, the
// size guard, and option l end to end.
#include "locus_dp/locus_dp_solver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<int> memberIdsOf(const std::vector<LocusDpNode*>& list) {
  std::vector<int> ids;
  for (const LocusDpNode* node : list) ids.push_back(node->memberId);
  return ids;
}

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

TEST(TrioRecombinations, AlleleCarriedByNeitherParentAlleleCountsAsSecond) {
  // Child's paternal alleles 1 (source 0), 9 (neither: source 1), 1 (0).
  auto family = resolvedTrio(
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 5 5 5 5 5 5\n"
      "1 3 1 2 1 0 0 1 5 9 5 1 5\n");
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 2);
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

TEST(TrioRecombinations, OpenLociTakeStateBitsInLocusOrder) {
  // Father's loci 0 and 2 open: bit 0 of the state phases locus 0, bit 1
  // locus 2; bit value 1 puts the larger allele first.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 2 1 3 4 1 2\n"
      "1 2 0 0 2 0 0 5 5 5 5 5 5\n"
      "1 3 1 2 1 0 0 1 5 3 5 1 5\n");
  for (int id : {2, 3}) {
    for (LocusGenotype& g : family->member(id).genotypes) g.resolved = true;
  }
  family->member(1).genotypes[1].resolved = true;  // stored order 3|4
  // State 0: father 1|2, 3|4, 1|2: child's 1, 3, 1 -> sources 0, 0, 0.
  EXPECT_EQ(trioRecombinations(*family, 1, 0, 2, 0, 3, 0), 0);
  // State 1: locus 0 becomes 2|1 -> sources 1, 0, 0.
  EXPECT_EQ(trioRecombinations(*family, 1, 1, 2, 0, 3, 0), 1);
  // State 2: locus 2 becomes 2|1 -> sources 0, 0, 1.
  EXPECT_EQ(trioRecombinations(*family, 1, 2, 2, 0, 3, 0), 1);
  // State 3: sources 1, 0, 1.
  EXPECT_EQ(trioRecombinations(*family, 1, 3, 2, 0, 3, 0), 2);
}

// --- tree construction ---

TEST(LocusDpTree, ChildWithTheSmallestIdTakesParentsThenFullSiblings) {
  // Child 1 of father 3 and mother 4; full siblings 2 and 5; child 6 of
  // father 3 by another mother 7.
  auto family = test_support::preparedFamily(
      "1 1 3 4 1 0 0 1 2\n"
      "1 2 3 4 2 0 0 1 2\n"
      "1 3 0 0 1 0 0 1 2\n"
      "1 4 0 0 2 0 0 1 2\n"
      "1 5 3 4 1 0 0 1 2\n"
      "1 6 3 7 1 0 0 1 2\n"
      "1 7 0 0 2 0 0 1 2\n");
  LocusDpSolver solver(*family, 1);
  EXPECT_EQ(memberIdsOf(solver.root->parentSide), (std::vector<int>{3, 4, 2, 5}));
  EXPECT_TRUE(solver.root->offspringSide.empty());
  // The father's other mate comes before her child; the full siblings are
  // not visited again from the parents.
  const LocusDpNode* father = solver.root->parentSide[0];
  EXPECT_TRUE(father->parentSide.empty());
  EXPECT_EQ(memberIdsOf(father->offspringSide), (std::vector<int>{7, 6}));
  EXPECT_EQ(solver.placedIds, (std::vector<int>{1, 3, 4, 2, 5, 7, 6}));
  EXPECT_EQ(solver.nodeCount, 7);
  EXPECT_EQ(memberIdsOf(solver.nodes), solver.placedIds);
  EXPECT_EQ(solver.root->childCount, 4);
  EXPECT_EQ(father->treeParent, solver.root);
}

TEST(LocusDpTree, FounderRootTakesMateThenChildren) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2\n"
      "1 2 0 0 2 0 0 1 2\n"
      "1 3 1 2 1 0 0 1 2\n"
      "1 4 1 2 2 0 0 1 2\n");
  LocusDpSolver solver(*family, 1);
  EXPECT_EQ(memberIdsOf(solver.root->offspringSide), (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(solver.root->parentSide.empty());
  EXPECT_EQ(solver.nodeCount, 4);
}

TEST(LocusDpTree, MotherReachedTwiceGetsTwoNodesAndIsPhasedOnce) {
  // Child 1 of 2 and 3; 2 is a child of 6 and 4, 3 a child of 5 and 4.
  // Visiting 3 places its unplaced father 5 together with mother 4 again.
  auto family = test_support::preparedFamily(
      "1 1 2 3 1 0 0 1 2 1 2\n"
      "1 2 6 4 1 0 0 1 2 2 1\n"
      "1 3 5 4 2 0 0 1 2 1 2\n"
      "1 4 0 0 2 0 0 2 1 1 2\n"
      "1 5 0 0 1 0 0 1 2 1 2\n"
      "1 6 0 0 1 0 0 2 1 1 2\n");
  LocusDpSolver solver(*family, 1);
  EXPECT_EQ(solver.placedIds, (std::vector<int>{1, 2, 3, 6, 4, 5, 4}));
  ASSERT_TRUE(solver.withinSizeLimits());
  solver.evaluate();
  solver.selectAndTraceBack();
  for (const auto& [id, member] : family->members) {
    for (const LocusGenotype& g : member.genotypes) EXPECT_TRUE(g.resolved) << "member " << id;
  }
}

// --- evaluation, selection and trace back ---

TEST(LocusDpSolve, SingleMemberTakesStateZeroSmallerAlleleFirst) {
  auto family = test_support::preparedFamily("4 7 0 0 2 0 0 2 1 3 3 5 4 0 6\n");
  TextSink out;
  ASSERT_TRUE(family->solveByLocusDp(out));
  EXPECT_EQ(out.text(), "");
  const Member& member = family->member(7);
  std::vector<std::string> loci;
  for (const LocusGenotype& g : member.genotypes) loci.push_back(locusText(g));
  EXPECT_EQ(loci, (std::vector<std::string>{"1|2", "3|3", "4|5", "0|6"}));
  EXPECT_EQ(family->recombinantCount, 0);
}

TEST(LocusDpSolve, MemberWithoutOpenLociHasOneStateAndKeepsItsOrder) {
  auto family = test_support::preparedFamily("1 1 0 0 1 0 0 2 1 4 3\n");
  for (LocusGenotype& g : family->member(1).genotypes) g.resolved = true;
  LocusDpSolver solver(*family, 1);
  solver.evaluate();
  ASSERT_EQ(solver.root->states.size(), 1u);
  EXPECT_EQ(solver.selectAndTraceBack(), 0);
  EXPECT_EQ(locusText(family->member(1).genotypes[0]), "2|1");
  EXPECT_EQ(locusText(family->member(1).genotypes[1]), "4|3");
}

TEST(LocusDpSolve, LowestOptimalRootStateAndFirstTiesWin) {
  // Father 1 with two open loci, everyone else resolved. The child's
  // paternal alleles 1, 1 give sources 0, 0 under father state 0 (1|2, 1|2)
  // and 1, 1 under state 3 (2|1, 2|1): both without a switch. State 0 must
  // be written.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 5 5 5 5\n"
      "1 3 1 2 1 0 0 1 5 1 5\n");
  for (int id : {2, 3}) {
    for (LocusGenotype& g : family->member(id).genotypes) g.resolved = true;
  }
  LocusDpSolver solver(*family, 1);
  solver.evaluate();
  EXPECT_EQ(solver.root->states[0].cost, 0);
  EXPECT_EQ(solver.root->states[1].cost, 1);
  EXPECT_EQ(solver.root->states[2].cost, 1);
  EXPECT_EQ(solver.root->states[3].cost, 0);
  EXPECT_EQ(solver.selectAndTraceBack(), 0);
  EXPECT_EQ(locusText(family->member(1).genotypes[0]), "1|2");
  EXPECT_EQ(locusText(family->member(1).genotypes[1]), "1|2");
}

TEST(LocusDpSolve, FirstTiedChildStateIsWritten) {
  // The child's open loci meet the father only through homozygous loci, so
  // all its states cost the same; the lowest (smaller allele first) wins.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 3 3 3 3\n"
      "1 2 0 0 2 0 0 3 3 3 3\n"
      "1 3 1 2 1 0 0 4 3 3 4\n");
  for (int id : {1, 2}) {
    for (LocusGenotype& g : family->member(id).genotypes) g.resolved = true;
  }
  TextSink out;
  ASSERT_TRUE(family->solveByLocusDp(out));
  EXPECT_EQ(locusText(family->member(3).genotypes[0]), "3|4");
  EXPECT_EQ(locusText(family->member(3).genotypes[1]), "3|4");
}

// --- size guard ---

std::string memberLine(int family, int id, int father, int mother, int sex, int heterozygousLoci) {
  std::string line = std::to_string(family) + " " + std::to_string(id) + " " + std::to_string(father) + " " +
                     std::to_string(mother) + " " + std::to_string(sex) + " 0 0";
  for (int k = 0; k < heterozygousLoci; ++k) line += " 1 2";
  return line + "\n";
}

TEST(LocusDpSizeGuard, EstimateSumsBothSidesOfEveryNode) {
  // Root 1 (4 open loci) with mate 2 (3) and children 3 (2) and 4 (1):
  // 16 * 8 * (4 + 2). Node 3 has no relatives left to place.
  auto family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 4) + memberLine(1, 2, 0, 0, 2, 3) +
                                             memberLine(1, 3, 1, 2, 1, 2) + memberLine(1, 4, 1, 2, 1, 1));
  LocusDpSolver byFather(*family, 1);
  EXPECT_EQ(byFather.workEstimate(), 16.0 * 8 * (4 + 2));
  // Rooted at child 3: parents' side 16 * 8 * (sibling 2 + node 4).
  LocusDpSolver byChild(*family, 3);
  EXPECT_EQ(byChild.workEstimate(), 16.0 * 8 * (2 + 4));
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
  EXPECT_TRUE(LocusDpSolver(*family, 1).withinSizeLimits());
  family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 21));
  EXPECT_FALSE(LocusDpSolver(*family, 1).withinSizeLimits());
}

TEST(LocusDpSizeGuard, RefusedFamilyIsReportedAndLeftUntouched) {
  auto family = test_support::preparedFamily(memberLine(9, 1, 0, 0, 1, 40));
  TextSink out;
  EXPECT_FALSE(family->solveByLocusDp(out));
  EXPECT_EQ(out.text(), "Pedigree 9 is to big!\n");
  // Nothing is phased or counted for a refused family.
  for (const LocusGenotype& g : family->member(1).genotypes) EXPECT_FALSE(g.resolved);
}

TEST(LocusDpSizeGuard, LargestAcceptedLoneMemberIsSolved) {
  auto family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 20));
  TextSink out;
  ASSERT_TRUE(family->solveByLocusDp(out));
  for (const LocusGenotype& g : family->member(1).genotypes) EXPECT_EQ(locusText(g), "1|2");
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

}  // namespace
