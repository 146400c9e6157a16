#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_test::locus;
using block_test::setLocus;
using block_test::sources;

std::unique_ptr<Family> trioWithLoci(int loci) {
  std::string father = "1 1 0 0 1 0 0";
  std::string mother = "1 2 0 0 2 0 0";
  std::string child = "1 3 1 2 1 0 0";
  for (int k = 0; k < loci; ++k) {
    father += " 1 2";
    mother += " 3 3";
    child += " 1 3";
  }
  return block_test::family(father + "\n" + mother + "\n" + child + "\n");
}

TEST(BlockParentInference, AtMostOneHundredLociFromTheFirstInformativeOne) {
  auto f = trioWithLoci(101);
  f->seedBlockStart = 0;
  f->seedBlockLength = 101;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(f->inferParentPhase(3, 1));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "There are too may markers!\n");
  EXPECT_EQ(f->visitedIds.count(1), 0u);
  EXPECT_FALSE(locus(*f, 1, 50).resolved);

  auto g = trioWithLoci(101);
  g->seedBlockStart = 0;
  g->seedBlockLength = 100;
  random_source::seed(4);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(g->inferParentPhase(3, 1));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(g->visitedIds.count(1), 1u);
  EXPECT_TRUE(locus(*g, 1, 99).resolved);
  EXPECT_FALSE(locus(*g, 1, 100).resolved);
}

TEST(BlockParentInference, ParentPhaseFollowsItsPhasedChildren) {
  // Mother 2 carries haplotypes 1-3-5 and 2-4-6, stored out of order at the
  // two loci she is not phased at.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 7 7 7 7 7 7\n"
      "1 2 0 0 2 0 0 1 2 4 3 6 5\n"
      "1 3 1 2 1 0 0 7 1 7 3 7 5\n"
      "1 4 1 2 1 0 0 7 2 7 4 7 6\n"
      "1 5 1 2 1 0 0 7 1 7 3 7 5\n");
  for (int id : {1, 3, 4, 5}) {
    for (int k = 0; k < 3; ++k) locus(*f, id, k).resolved = true;
  }
  locus(*f, 2, 0).resolved = true;
  f->seedBlockStart = 0;
  f->seedBlockLength = 3;
  random_source::seed(6);
  EXPECT_TRUE(f->inferParentPhase(3, 2));
  block_test::expectDrawsTaken(6, 0);
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(locus(*f, 2, k).resolved);
    EXPECT_EQ(locus(*f, 2, k).allele1, 2 * k + 1);
  }
  EXPECT_EQ(sources(*f, 3, kMaternal), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(sources(*f, 4, kMaternal), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(f->visitedIds.count(2), 1u);
  EXPECT_EQ(f->settledQueue.size(), 1u);
}

TEST(BlockParentInference, WithoutPhasedChildrenTiesAreBrokenByCoins) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 7 7 7 7 7 7\n"
      "1 2 0 0 2 0 0 1 2 3 4 5 6\n"
      "1 3 1 2 1 0 0 7 1 7 3 7 5\n");
  locus(*f, 2, 0).resolved = true;
  f->seedBlockStart = 0;
  f->seedBlockLength = 3;
  random_source::seed(12);
  f->inferParentPhase(3, 2);
  // One coin for the last locus (no source anywhere), one for the tie before it.
  block_test::expectDrawsTaken(12, 2);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(locus(*f, 2, k).resolved);
  EXPECT_EQ(locus(*f, 2, 0).allele1, 1);
}

TEST(BlockParentInference, HomozygousParentOverTheBlockOnlyGivesSourcesAndIsQueued) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 3 3 3 3 1 2\n"
      "1 2 0 0 2 0 0 4 5 4 5 4 5\n"
      "1 3 1 2 1 0 0 3 4 3 5 2 4\n");
  for (int k = 0; k < 3; ++k) locus(*f, 3, k).resolved = true;
  locus(*f, 1, 0).resolved = true;
  locus(*f, 1, 1).resolved = true;
  f->seedBlockStart = 0;
  f->seedBlockLength = 2;
  random_source::seed(1);
  EXPECT_TRUE(f->inferParentPhase(3, 1));
  block_test::expectDrawsTaken(1, 0);
  EXPECT_FALSE(locus(*f, 1, 2).resolved);  // outside the block
  EXPECT_EQ(f->visitedIds.count(1), 1u);
  EXPECT_EQ(sources(*f, 3, kPaternal), (std::vector<int>{-1, -1, -1}));
}

}  // namespace
