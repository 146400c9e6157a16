#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_test::Case;

// Mother 2 is phased at locus 0 only; her three children are phased at both
// loci and know her haplotype at locus 0 (children 3 and 4 her allele1,
// child 5 her allele2). Father 1 is homozygous.
void maternalVoteFamily(Case& c) {
  c.set(1, 0, 5, 5, true, 0, 0);
  c.set(1, 1, 6, 6, true, 0, 0);
  c.set(2, 0, 1, 2, true, 0, 0);
  c.set(2, 1, 4, 3, false, 0, 0);
  c.set(3, 0, 5, 1, true, -1, 0);
  c.set(3, 1, 6, 3, true);
  c.set(4, 0, 5, 1, true, -1, 0);
  c.set(4, 1, 6, 3, true);
  c.set(5, 0, 5, 2, true, -1, 1);
  c.set(5, 1, 6, 4, true);
}

const char* const kVoteText =
    "1 1 0 0 1 0 0 5 5 6 6\n1 2 0 0 2 0 0 1 2 4 3\n"
    "1 3 1 2 1 0 0 5 1 6 3\n1 4 1 2 1 0 0 5 1 6 3\n1 5 1 2 1 0 0 5 2 6 4\n";

TEST(BlockSibshipVotes, SiblingsSharingTheAlleleOrderTheUnphasedParent) {
  Case c(kVoteText);
  maternalVoteFamily(c);
  c.solver.extendSibshipByVotes(3);
  EXPECT_TRUE(c.locus(2, 1).resolved);
  EXPECT_EQ(c.locus(2, 1).allele1, 3);  // the haplotype children 3 and 4 carry
  EXPECT_EQ(c.sources(3, kMaternal), (std::vector<int>{0, 0}));
  EXPECT_EQ(c.sources(4, kMaternal), (std::vector<int>{0, 0}));
  EXPECT_EQ(c.sources(5, kMaternal), (std::vector<int>{1, 1}));
}

TEST(BlockSibshipVotes, SiblingWithARecombinationNeitherVotesNorIsExtended) {
  // Child 4 does not share child 3's allele, which would tie the vote, but
  // its paternal sources change.
  Case c(kVoteText);
  maternalVoteFamily(c);
  c.set(4, 0, 5, 1, true, 0, 0);
  c.set(4, 1, 6, 4, true, 1, -1);
  c.solver.extendSibshipByVotes(3);
  EXPECT_EQ(c.locus(2, 1).allele1, 3);
  EXPECT_EQ(c.locus(4, 1).maternalSource, -1);
}

TEST(BlockSibshipSources, SourceBetweenAgreeingNeighboursIsFilledAndPhasesTheParent) {
  Case c(
      "1 1 0 0 1 0 0 1 2 5 6 3 4 8 9 1 2\n1 2 0 0 2 0 0 7 7 7 7 7 7 7 7 7 7\n"
      "1 3 1 2 1 0 0 2 7 5 7 4 7 8 7 1 7\n1 4 1 2 1 0 0 1 7 7 6 3 7 9 7 2 7\n");
  for (int k = 0; k < 5; ++k) {
    c.set(2, k, 7, 7, true, 0, 0);
    c.locus(1, k).resolved = k % 2 == 0;
  }
  // Child 3: paternal sources 1, -, 1, -, 0 (all loci phased).
  const int childSources[] = {1, -1, 1, -1, 0};
  for (int k = 0; k < 5; ++k) c.locus(3, k) = {c.locus(3, k).allele1, 7, childSources[k], -1, true};
  // Child 4: sources 0, -, 0 around an unphased locus.
  c.set(4, 0, 1, 7, true, 0);
  c.set(4, 1, 7, 6, false);
  c.set(4, 2, 3, 7, true, 0);
  c.solver.fillSibshipSources(3);
  EXPECT_EQ(c.sources(3, kPaternal), (std::vector<int>{1, 1, 1, -1, 0}));
  EXPECT_EQ(c.locus(1, 1).allele2, 5);  // between 1 and 1: the child's 5
  EXPECT_TRUE(c.locus(1, 1).resolved);
  EXPECT_FALSE(c.locus(1, 3).resolved);  // between 1 and 0 nothing is decided
  // Child 4's unphased locus takes the father's allele 0, now 6; no source.
  EXPECT_TRUE(c.locus(4, 1).resolved);
  EXPECT_EQ(c.locus(4, 1).allele1, 6);
  EXPECT_EQ(c.locus(4, 1).paternalSource, -1);
}

}  // namespace
