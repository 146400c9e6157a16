#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_test::locus;
using block_test::setLocus;
using block_test::sources;

// Mother 2 is phased at locus 0 only; her three children are phased at both
// loci and know her haplotype at locus 0 (children 3 and 4 her allele1,
// child 5 her allele2). Father 1 is homozygous.
std::unique_ptr<Family> maternalVoteFamily() {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 5 5 6 6\n"
      "1 2 0 0 2 0 0 1 2 4 3\n"
      "1 3 1 2 1 0 0 5 1 6 3\n"
      "1 4 1 2 1 0 0 5 1 6 3\n"
      "1 5 1 2 1 0 0 5 2 6 4\n");
  setLocus(*f, 1, 0, 5, 5, true, 0, 0);
  setLocus(*f, 1, 1, 6, 6, true, 0, 0);
  setLocus(*f, 2, 0, 1, 2, true, 0, 0);
  setLocus(*f, 2, 1, 4, 3, false, 0, 0);
  setLocus(*f, 3, 0, 5, 1, true, -1, 0);
  setLocus(*f, 3, 1, 6, 3, true);
  setLocus(*f, 4, 0, 5, 1, true, -1, 0);
  setLocus(*f, 4, 1, 6, 3, true);
  setLocus(*f, 5, 0, 5, 2, true, -1, 1);
  setLocus(*f, 5, 1, 6, 4, true);
  return f;
}

TEST(BlockSibshipVotes, SiblingsSharingTheAlleleOrderTheUnphasedParent) {
  auto f = maternalVoteFamily();
  f->extendSibshipByVotes(3);
  const LocusGenotype& mother = locus(*f, 2, 1);
  EXPECT_TRUE(mother.resolved);
  EXPECT_EQ(mother.allele1, 3);  // the haplotype children 3 and 4 carry
  EXPECT_EQ(mother.allele2, 4);
  EXPECT_EQ(sources(*f, 3, kMaternal), (std::vector<int>{0, 0}));
  EXPECT_EQ(sources(*f, 4, kMaternal), (std::vector<int>{0, 0}));
  EXPECT_EQ(sources(*f, 5, kMaternal), (std::vector<int>{1, 1}));
  EXPECT_EQ(f->visitedIds, (std::set<int>{3, 4, 5}));
}

TEST(BlockSibshipVotes, SiblingWithARecombinationDoesNotVote) {
  // Child 4 now votes against child 5 (it does not share child 3's allele),
  // which would tie the vote, but its paternal sources change.
  auto f = maternalVoteFamily();
  setLocus(*f, 4, 0, 5, 1, true, 0, 0);
  setLocus(*f, 4, 1, 6, 4, true, 1, -1);
  f->extendSibshipByVotes(3);
  EXPECT_TRUE(locus(*f, 2, 1).resolved);
  EXPECT_EQ(locus(*f, 2, 1).allele1, 3);
  // The child with a change is not extended itself.
  EXPECT_EQ(locus(*f, 4, 1).maternalSource, -1);
}

TEST(BlockSibshipVotes, TiedVoteLeavesTheChildOpenAndALaterChildSwitches) {
  // Child 4 carries 4 at locus 1 now: for child 3 the votes of 4 and 5 tie;
  // for child 4 both siblings say it switched to the mother's other haplotype.
  auto f = maternalVoteFamily();
  setLocus(*f, 4, 1, 6, 4, true);
  f->extendSibshipByVotes(3);
  EXPECT_EQ(locus(*f, 3, 1).maternalSource, -1);
  EXPECT_EQ(locus(*f, 4, 1).maternalSource, 1);
  EXPECT_TRUE(locus(*f, 2, 1).resolved);
  EXPECT_EQ(locus(*f, 2, 1).allele2, 4);  // child 4's allele is her allele2
  EXPECT_EQ(locus(*f, 5, 1).maternalSource, 1);
}

TEST(BlockSibshipVotes, OnlySiblingsOfTheSameFatherVoteAboutHim) {
  // Children 3 and 4 of father 1, child 5 of father 6, all of mother 2.
  // Child 5 would vote against child 4 about father 1, tying the vote.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 4 3\n"
      "1 2 0 0 2 0 0 7 7 7 7\n"
      "1 3 1 2 1 0 0 1 7 3 7\n"
      "1 4 1 2 1 0 0 1 7 3 7\n"
      "1 5 6 2 1 0 0 2 7 3 7\n"
      "1 6 0 0 1 0 0 1 2 3 4\n");
  setLocus(*f, 1, 0, 1, 2, true, 0, 0);
  setLocus(*f, 1, 1, 4, 3, false, 0, 0);
  setLocus(*f, 2, 0, 7, 7, true, 0, 0);
  setLocus(*f, 2, 1, 7, 7, true, 0, 0);
  setLocus(*f, 6, 0, 1, 2, true, 0, 0);
  setLocus(*f, 6, 1, 3, 4, true, 0, 0);
  setLocus(*f, 3, 0, 1, 7, true, 0, -1);
  setLocus(*f, 3, 1, 3, 7, true);
  setLocus(*f, 4, 0, 1, 7, true, 0, -1);
  setLocus(*f, 4, 1, 3, 7, true);
  setLocus(*f, 5, 0, 2, 7, true, 1, -1);
  setLocus(*f, 5, 1, 3, 7, true);
  f->extendSibshipByVotes(3);
  const LocusGenotype& father = locus(*f, 1, 1);
  EXPECT_TRUE(father.resolved);
  EXPECT_EQ(father.allele1, 3);
  EXPECT_EQ(father.allele2, 4);
  EXPECT_EQ(locus(*f, 3, 1).paternalSource, 0);
  // The other father is left as he was.
  EXPECT_EQ(locus(*f, 6, 1).allele1, 3);
}

TEST(BlockSibshipSources, SourceBetweenAgreeingNeighboursIsFilledAndPhasesTheParent) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 5 6 3 4 8 9 1 2\n"
      "1 2 0 0 2 0 0 7 7 7 7 7 7 7 7 7 7\n"
      "1 3 1 2 1 0 0 2 7 5 7 4 7 8 7 1 7\n"
      "1 4 1 2 1 0 0 1 7 7 6 3 7 9 7 2 7\n");
  for (int k = 0; k < 5; ++k) setLocus(*f, 2, k, 7, 7, true, 0, 0);
  setLocus(*f, 1, 0, 1, 2, true, 0, 0);
  setLocus(*f, 1, 1, 5, 6, false, 0, 0);
  setLocus(*f, 1, 2, 3, 4, true, 0, 0);
  setLocus(*f, 1, 3, 8, 9, false, 0, 0);
  setLocus(*f, 1, 4, 1, 2, true, 0, 0);
  // Child 3: paternal sources 1, -, 1, -, 0 (all loci phased).
  setLocus(*f, 3, 0, 2, 7, true, 1);
  setLocus(*f, 3, 1, 5, 7, true);
  setLocus(*f, 3, 2, 4, 7, true, 1);
  setLocus(*f, 3, 3, 8, 7, true);
  setLocus(*f, 3, 4, 1, 7, true, 0);
  // Child 4: sources 0, -, 0 around an unphased locus.
  setLocus(*f, 4, 0, 1, 7, true, 0);
  setLocus(*f, 4, 1, 7, 6, false);
  setLocus(*f, 4, 2, 3, 7, true, 0);
  setLocus(*f, 4, 3, 9, 7, false);
  setLocus(*f, 4, 4, 2, 7, false);
  f->fillSibshipSources(3);
  EXPECT_EQ(sources(*f, 3, kPaternal), (std::vector<int>{1, 1, 1, -1, 0}));
  // Between 1 and 1 the father's allele2 is the child's 5.
  EXPECT_TRUE(locus(*f, 1, 1).resolved);
  EXPECT_EQ(locus(*f, 1, 1).allele2, 5);
  // Between 1 and 0 nothing is decided.
  EXPECT_FALSE(locus(*f, 1, 3).resolved);
  // Child 4's unphased locus takes the father's allele 0, now 6; no source.
  EXPECT_TRUE(locus(*f, 4, 1).resolved);
  EXPECT_EQ(locus(*f, 4, 1).allele1, 6);
  EXPECT_EQ(locus(*f, 4, 1).paternalSource, -1);
  EXPECT_EQ(f->visitedIds, (std::set<int>{3, 4}));
}

TEST(BlockSibshipSources, HalfSiblingIsPhasedAgainstItsOwnMother) {
  // Father 1 has child 4 by mother 2 and child 5 by mother 3.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 8 8 8 8 8 8\n"
      "1 2 0 0 2 0 0 1 2 5 6 3 4\n"
      "1 3 0 0 2 0 0 1 2 5 6 3 4\n"
      "1 4 1 2 1 0 0 8 1 8 5 8 3\n"
      "1 5 1 3 1 0 0 8 2 8 5 8 4\n");
  for (int id : {1, 2, 3}) {
    for (int k = 0; k < 3; ++k) locus(*f, id, k).resolved = k != 1;
  }
  setLocus(*f, 5, 0, 8, 2, true, -1, 1);
  setLocus(*f, 5, 1, 8, 5, true);
  setLocus(*f, 5, 2, 8, 4, true, -1, 1);
  f->fillSibshipSources(4);
  EXPECT_EQ(locus(*f, 5, 1).maternalSource, 1);
  EXPECT_TRUE(locus(*f, 3, 1).resolved);
  EXPECT_EQ(locus(*f, 3, 1).allele2, 5);
  EXPECT_FALSE(locus(*f, 2, 1).resolved);
  EXPECT_EQ(locus(*f, 2, 1).allele1, 5);
}

TEST(BlockFirstSeed, LongestRunWithoutRecombinationSeedsAndCompleteMembersAreQueued) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 3 3 3 3 3 3\n"
      "1 3 1 2 1 0 0 1 3 2 3 1 3\n"
      "1 4 1 2 1 0 0 1 3 1 3 1 3\n");
  for (int k = 0; k < 3; ++k) {
    locus(*f, 1, k).resolved = true;
    locus(*f, 2, k).resolved = true;
    setLocus(*f, 3, k, k == 1 ? 2 : 1, 3, true, k == 1 ? 1 : 0, -1);  // sources 0, 1, 0
    setLocus(*f, 4, k, 1, 3, true, 0, -1);
  }
  f->extendNuclearFamilies();
  EXPECT_EQ(f->seedMemberId, 4);
  EXPECT_EQ(f->seedBlockLength, 3);
  EXPECT_EQ(f->seedBlockStart, 0);
  std::vector<int> recombined;
  for (auto q = f->recombinedQueue; !q.empty(); q.pop()) recombined.push_back(q.front());
  EXPECT_EQ(recombined, (std::vector<int>{3, 3}));  // from the seed scan and the queue scan
  ASSERT_EQ(f->settledQueue.size(), 1u);
  EXPECT_EQ(f->settledQueue.front(), 4);
  EXPECT_EQ(f->visitedIds, (std::set<int>{3, 4}));
}

}  // namespace
