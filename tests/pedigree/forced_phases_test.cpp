#include "pedigree/forced_phases.h"

#include <gtest/gtest.h>

#include "pedigree/family.h"
#include "test_support.h"

namespace {

std::vector<bool> resolvedFlags(const Member& m) {
  std::vector<bool> flags;
  for (const auto& g : m.genotypes) flags.push_back(g.resolved);
  return flags;
}

// Each member's count of loci the step phased, in ascending id.
std::vector<std::pair<int, int>> resolve(Family& family) {
  std::vector<std::pair<int, int>> counts;
  for (const ResolvedCount& c : resolveForcedPhases(family)) counts.emplace_back(c.memberId, c.resolvedLoci);
  return counts;
}

using Counts = std::vector<std::pair<int, int>>;

}  // namespace

TEST(ForcedPhases, FounderFreePhaseFollowsItsFirstHomozygote) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 3 3 4 5 6 7\n"
      "1 2 0 0 2 0 0 1 2 4 5\n");
  family->locusCount = 4;
  family->member(2).genotypes.resize(4, LocusGenotype{1, 2, 0, 0, false});
  EXPECT_EQ(resolve(*family), (Counts{{1, 2}, {2, 1}}));
  EXPECT_EQ(resolvedFlags(family->member(1)), (std::vector<bool>{false, true, true, false}));
  // Without a homozygote only locus 0 is phased.
  EXPECT_EQ(resolvedFlags(family->member(2)), (std::vector<bool>{true, false, false, false}));
}

TEST(ForcedPhases, HomozygousFoundersAreComplete) {
  auto family = test_support::preparedFamily("1 1 0 0 1 0 0 1 1 2 2\n1 2 0 0 2 0 0 3 3 4 4\n");
  EXPECT_EQ(resolve(*family), (Counts{{1, 2}, {2, 2}}));
}

TEST(ForcedPhases, ChildOrderedByWhatOneParentLacks) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 1 1 1 1 2\n"
      "1 2 0 0 2 0 0 2 3 2 2 1 2\n"
      "1 3 1 2 1 0 0 1 2 2 1 1 2\n");
  EXPECT_EQ(resolve(*family)[2], std::make_pair(3, 2));
  const auto& child = family->member(3).genotypes;
  EXPECT_TRUE(child[0].resolved);  // 1 is not carried by the mother: kept
  EXPECT_EQ(child[0].allele1, 1);
  EXPECT_TRUE(child[1].resolved);  // 2 is not carried by the father: swapped
  EXPECT_EQ(child[1].allele1, 1);
  EXPECT_EQ(child[1].allele2, 2);
  EXPECT_FALSE(child[2].resolved);  // both alleles could come from either parent
}

TEST(ForcedPhases, FirstInformativeSourceFillsBackwardsOverPhasedParentLoci) {
  // The father's free phase goes to locus 2 (after his homozygote at locus
  // 1), so locus 0 stays open for him; the mother is homozygous everywhere.
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 3 3 5 6\n"
      "1 2 0 0 2 0 0 7 7 7 7 7 7\n"
      "1 3 1 2 1 0 0 7 2 3 7 7 6\n");
  EXPECT_EQ(resolve(*family), (Counts{{1, 2}, {2, 3}, {3, 3}}));
  const auto& child = family->member(3).genotypes;
  EXPECT_EQ(child[0].allele1, 2);  // 7 is not the father's: swapped
  EXPECT_EQ(child[2].allele1, 6);
  EXPECT_EQ(child[2].paternalSource, 1);
  EXPECT_EQ(child[1].paternalSource, 1);   // filled back through the homozygous father locus
  EXPECT_EQ(child[0].paternalSource, -1);  // the father is open there: the walk stops
  EXPECT_EQ(child[0].maternalSource, -1);  // mother homozygous: nothing runs
}

TEST(ForcedPhases, UnphasedChildLocusResetsTheRunningSources) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 2 1 1\n"
      "1 2 0 0 2 0 0 3 3 1 2 3 3\n"
      "1 3 1 2 1 0 0 1 3 1 2 1 3\n");
  family->member(1).genotypes[1].resolved = true;
  resolveForcedPhases(*family);
  const auto& child = family->member(3).genotypes;
  EXPECT_EQ(child[0].paternalSource, 0);
  EXPECT_FALSE(child[1].resolved);
  // The father is homozygous at locus 2; after the open locus no source runs.
  EXPECT_EQ(child[2].paternalSource, -1);
}

TEST(ForcedPhases, SourcesOfBothParentsPhasedShowARecombinationAndOnlyLociThePassPhasedCount) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 3 3 3 3\n"
      "1 3 1 2 1 0 0 1 3 2 3\n");
  family->member(1).genotypes[1].resolved = true;  // the father is phased at both loci
  // Only loci phased by the step itself count: not the father's locus 1.
  EXPECT_EQ(resolve(*family), (Counts{{1, 1}, {2, 2}, {3, 2}}));
  const auto& child = family->member(3).genotypes;
  EXPECT_EQ(child[0].paternalSource, 0);
  EXPECT_EQ(child[1].paternalSource, 1);
  EXPECT_TRUE(family->member(3).hasRecombination());
}
