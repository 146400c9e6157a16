#include "block_extension/block_extension.h"

#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_extension::SeedBlock;
using block_test::Case;

TEST(BlockExtendToChild, NoDeterminedSourceTakesOneRandomHaplotypeForTheWholeBlock) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    Case c("1 1 0 0 1 0 0 1 2 3 4 5 6\n1 2 0 0 2 0 0 2 1 4 3 6 5\n1 3 1 2 1 0 0 1 2 3 4 5 6\n");
    for (int k = 0; k < 3; ++k) c.locus(1, k).resolved = c.locus(2, k).resolved = true;
    random_source::seed(seed);
    c.solver.extendToChild(SeedBlock{1, 0, 3}, 1, 3);
    block_test::expectDrawsTaken(seed, 1);
    const int s = block_test::sequenceFrom(seed, 0, 1)[0] >= block_extension::kCoinThreshold ? 1 : 0;
    EXPECT_EQ(c.sources(3, kPaternal), (std::vector<int>{s, s, s}));
    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(c.locus(3, k).resolved);
      EXPECT_EQ(c.locus(3, k).allele1, c.locus(1, k).alleleNumber(s));
      // The mother's allele1 is 2k+2, her allele2 2k+1.
      EXPECT_EQ(c.locus(3, k).maternalSource, c.locus(3, k).allele2 == 2 * k + 2 ? 0 : 1);
    }
  }
}

TEST(BlockExtendToChildOfPair, OrderNeedingFewerSourceChangesWinsAndNoSourceLeavesTheChildOpen) {
  Case c("1 1 0 0 1 0 0 1 2 5 6 3 4\n1 2 0 0 2 0 0 9 9 7 8 9 9\n1 3 1 2 1 0 0 1 9 7 5 3 9\n");
  c.set(3, 0, 1, 9, true, 0);
  c.set(3, 2, 3, 9, true, 0);
  c.solver.extendToChildOfPair(SeedBlock{1, 0, 3}, 3);
  const LocusGenotype& g = c.locus(3, 1);
  EXPECT_TRUE(g.resolved);
  EXPECT_EQ(g.allele1, 5);  // swapped: paternal source 0 like its neighbours
  EXPECT_EQ(g.allele2, 7);
  EXPECT_EQ(g.paternalSource, 0);
  EXPECT_EQ(g.maternalSource, 0);

  Case open("1 1 0 0 1 0 0 1 2 5 6\n1 2 0 0 2 0 0 3 4 7 8\n1 3 1 2 1 0 0 4 1 7 5\n");
  open.solver.extendToChildOfPair(SeedBlock{1, 0, 2}, 3);
  EXPECT_FALSE(open.locus(3, 0).resolved);
  EXPECT_EQ(open.locus(3, 0).allele1, 4);
}

TEST(BlockExtension, FamilyTheForcedPhasesCompleteTakesNoCoin) {
  // Every genotype is homozygous: the fill-in draws, and nothing else does.
  Case c("1 1 0 0 1 0 0 1 1 2 2\n1 2 0 0 2 0 0 3 3 4 4\n1 3 1 2 1 0 0 1 3 2 4\n");
  random_source::seed(2);
  EXPECT_TRUE(solveByBlockExtension(c.f, c.stats));
  block_test::expectDrawsTaken(2, 2 * 3 * 2);
  EXPECT_EQ(c.f.recombinantCount, 0);
  for (int id = 1; id <= 3; ++id) EXPECT_TRUE(c.locus(id, 0).resolved && c.locus(id, 1).resolved);
}

TEST(BlockExtension, LoneChildSeedsAndItsParentsArePhasedAfterIt) {
  // The forced phases order the child at both loci but its father, a founder,
  // only at locus 0: the child is the first seed, and the father's phase at
  // locus 1 follows it without a recombination.
  Case c("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 3 3 3 3\n1 3 1 2 1 0 0 1 3 2 3\n");
  random_source::seed(7);
  EXPECT_TRUE(solveByBlockExtension(c.f, c.stats));
  EXPECT_EQ(c.f.recombinantCount, 0);
  EXPECT_EQ(c.locus(1, 1).allele1, 2);
  EXPECT_EQ(c.sources(3, kPaternal), (std::vector<int>{0, 0}));
}

TEST(BlockExtension, ReachesAChainOfGenerationsWithoutRecursion) {
  // A line of 400 generations, each child by a new homozygous founder.
  std::string text = "1 1 0 0 1 0 0 1 1 3 3\n";
  int previous = 1;
  int id = 2;
  for (int generation = 0; generation < 400; ++generation) {
    const int mate = id++;
    const int child = id++;
    text += "1 " + std::to_string(mate) + " 0 0 2 0 0 5 5 5 5\n";
    text += "1 " + std::to_string(child) + " " + std::to_string(previous) + " " + std::to_string(mate) +
            " 1 0 0 1 5 3 5\n";
    previous = child;
  }
  Case c(text);
  random_source::seed(2);
  EXPECT_TRUE(solveByBlockExtension(c.f, c.stats));
  for (const auto& [memberId, m] : c.f.members) {
    for (const LocusGenotype& g : m.genotypes) ASSERT_TRUE(g.resolved) << "member " << memberId;
  }
  const LocusGenotype& last = c.locus(previous, 1);
  ASSERT_GE(last.paternalSource, 0);
  EXPECT_EQ(last.allele1, c.locus(c.f.member(previous).fatherId, 1).alleleNumber(last.paternalSource));
}

}  // namespace
