#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_test::locus;
using block_test::setLocus;
using block_test::sources;

void setBlock(Family& f, int start, int length) {
  f.seedBlockStart = start;
  f.seedBlockLength = length;
}

TEST(BlockExtendToChild, NoDeterminedSourceTakesOneRandomHaplotypeForTheWholeBlock) {
  for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 1 2 3 4 5 6\n"
        "1 2 0 0 2 0 0 2 1 4 3 6 5\n"
        "1 3 1 2 1 0 0 1 2 3 4 5 6\n");
    for (int k = 0; k < 3; ++k) {
      locus(*f, 1, k).resolved = true;
      locus(*f, 2, k).resolved = true;
    }
    setBlock(*f, 0, 3);
    random_source::seed(seed);
    f->extendToChild(1, 3);
    const int s = block_test::sequenceFrom(seed, 0, 1)[0] >= 16383 ? 1 : 0;
    random_source::seed(seed);
    random_source::next();
    block_test::expectDrawsTaken(seed, 1);
    for (int k = 0; k < 3; ++k) {
      const LocusGenotype& g = locus(*f, 3, k);
      EXPECT_TRUE(g.resolved);
      EXPECT_EQ(g.allele1, locus(*f, 1, k).alleleNumber(s));
      // The mother's allele1 is 2k+2, her allele2 2k+1.
      EXPECT_EQ(g.maternalSource, g.allele2 == 2 * k + 2 ? 0 : 1);
    }
    EXPECT_EQ(sources(*f, 3, kPaternal), (std::vector<int>{s, s, s}));
    EXPECT_EQ(f->visitedIds.count(3), 1u);
    ASSERT_EQ(f->settledQueue.size(), 1u);
  }
}

TEST(BlockExtendToChild, DeterminedSourcesSetTheHaplotypeAndAChangeIsFollowed) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 3 4 5 6 7 8 9 10\n"
      "1 2 0 0 2 0 0 11 12 11 12 11 12 11 12 11 12\n"
      "1 3 1 2 1 0 0 1 2 4 11 5 6 7 11 9 10\n");
  for (int k = 0; k < 5; ++k) locus(*f, 1, k).resolved = true;
  setLocus(*f, 3, 0, 1, 2, false);
  setLocus(*f, 3, 1, 4, 11, true, 1);
  setLocus(*f, 3, 2, 5, 6, false);
  setLocus(*f, 3, 3, 7, 11, true, 0);
  setLocus(*f, 3, 4, 9, 10, false);
  setBlock(*f, 0, 5);
  random_source::seed(9);
  f->extendToChild(1, 3);
  block_test::expectDrawsTaken(9, 0);
  EXPECT_EQ(sources(*f, 3, kPaternal), (std::vector<int>{1, 1, 1, 0, 0}));
  EXPECT_EQ(locus(*f, 3, 0).allele1, 2);  // haplotype 1 back to the block start
  EXPECT_EQ(locus(*f, 3, 2).allele1, 6);
  EXPECT_EQ(locus(*f, 3, 4).allele1, 9);  // haplotype 0 after the change
  // The mother is not phased: no maternal source.
  EXPECT_EQ(sources(*f, 3, kMaternal), (std::vector<int>{-1, -1, -1, -1, -1}));
}

TEST(BlockExtendToChildOfPair, WithoutDeterminedSourcesTheChildIsOnlyMarked) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 5 6\n"
      "1 2 0 0 2 0 0 3 4 7 8\n"
      "1 3 1 2 1 0 0 4 1 7 5\n");
  setBlock(*f, 0, 2);
  f->extendToChildOfPair(1, 2, 3);
  EXPECT_FALSE(locus(*f, 3, 0).resolved);
  EXPECT_EQ(locus(*f, 3, 0).allele1, 4);
  EXPECT_EQ(f->visitedIds.count(3), 1u);
  EXPECT_EQ(f->settledQueue.size(), 1u);
}

TEST(BlockExtendToChildOfPair, OrderNeedingFewerSourceChangesWins) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 5 6 3 4\n"
      "1 2 0 0 2 0 0 9 9 7 8 9 9\n"
      "1 3 1 2 1 0 0 1 9 7 5 3 9\n");
  setLocus(*f, 3, 0, 1, 9, true, 0);
  setLocus(*f, 3, 1, 7, 5, false);
  setLocus(*f, 3, 2, 3, 9, true, 0);
  setBlock(*f, 0, 3);
  f->extendToChildOfPair(1, 2, 3);
  const LocusGenotype& g = locus(*f, 3, 1);
  EXPECT_TRUE(g.resolved);
  EXPECT_EQ(g.allele1, 5);  // swapped: paternal source 0 like its neighbours
  EXPECT_EQ(g.allele2, 7);
  EXPECT_EQ(g.paternalSource, 0);
  EXPECT_EQ(g.maternalSource, 0);
}

TEST(BlockFindNextSeed, CompleteFamilyEndsEvenWithUncoveredLoci) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 2 1 2\n"
      "1 3 1 2 1 0 0 1 2 1 2\n");
  for (int id = 1; id <= 3; ++id) {
    for (int k = 0; k < 2; ++k) locus(*f, id, k).resolved = true;
  }
  EXPECT_FALSE(f->findNextSeed());
  EXPECT_EQ(f->visitedIds.size(), 3u);
}

TEST(BlockFindNextSeed, PrefersUncoveredRunsAndNeverSeedsASingleLocus) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 2 1 2 1 2 1 2 1 2\n"
      "1 3 1 2 1 0 0 1 2 1 2 1 2 1 2 1 2\n");
  locus(*f, 1, 2).resolved = true;
  locus(*f, 1, 3).resolved = true;
  locus(*f, 3, 0).resolved = true;
  locus(*f, 3, 1).resolved = true;
  // Two runs of 2: the later member wins the tie.
  EXPECT_TRUE(f->findNextSeed());
  EXPECT_EQ(f->seedMemberId, 3);
  EXPECT_EQ(f->seedBlockStart, 0);
  EXPECT_EQ(f->seedBlockLength, 2);
  // Once its loci are covered, the father's run is next.
  f->coveredLoci[0] = 1;
  f->coveredLoci[1] = 1;
  EXPECT_TRUE(f->findNextSeed());
  EXPECT_EQ(f->seedMemberId, 1);
  EXPECT_EQ(f->seedBlockStart, 2);
  // Runs of one locus never seed.
  f->coveredLoci[2] = 1;
  f->coveredLoci[3] = 1;
  locus(*f, 2, 4).resolved = true;
  EXPECT_FALSE(f->findNextSeed());
}

TEST(BlockFindNextSeed, MemberWithARecombinationSeedsOnlyWhenNoOtherCan) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 2 1 2 1 2\n"
      "1 3 1 2 1 0 0 1 2 1 2 1 2\n");
  setLocus(*f, 3, 0, 1, 2, true, 0);
  setLocus(*f, 3, 1, 2, 1, true, 1);
  EXPECT_TRUE(f->findNextSeed());
  EXPECT_EQ(f->seedMemberId, 3);
  EXPECT_EQ(f->seedBlockLength, 2);
  locus(*f, 1, 1).resolved = true;
  locus(*f, 1, 2).resolved = true;
  EXPECT_TRUE(f->findNextSeed());
  EXPECT_EQ(f->seedMemberId, 1);
}

TEST(BlockExtendFromSeed, ReachesAChainOfGenerationsAndCoversTheBlock) {
  // A line of 400 generations, each child by a new founder: every member is
  // reached from the seed through the queues, without recursion.
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
  auto f = block_test::family(text);
  for (auto& [memberId, m] : f->members) {
    for (LocusGenotype& g : m.genotypes) g.resolved = m.isFounder();
  }
  f->seedMemberId = 1;
  setBlock(*f, 0, 2);
  random_source::seed(2);
  f->extendFromSeed();
  EXPECT_EQ(f->visitedIds.size(), f->members.size());
  EXPECT_EQ(f->coveredLoci, (std::vector<int>{1, 1}));
  // The last child carries the haplotype of its father that its source names.
  const LocusGenotype& last = locus(*f, previous, 1);
  EXPECT_TRUE(last.resolved);
  ASSERT_GE(last.paternalSource, 0);
  EXPECT_EQ(last.allele1, locus(*f, f->member(previous).fatherId, 1).alleleNumber(last.paternalSource));
}

}  // namespace
