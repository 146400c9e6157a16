#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_extension::SeedBlock;
using block_test::Case;

TEST(BlockParentInference, AtMostOneHundredLociFromTheFirstInformativeOne) {
  std::string father = "1 1 0 0 1 0 0";
  std::string mother = "1 2 0 0 2 0 0";
  std::string child = "1 3 1 2 1 0 0";
  for (int k = 0; k < 101; ++k) {
    father += " 1 2";
    mother += " 3 3";
    child += " 1 3";
  }
  const std::string text = father + "\n" + mother + "\n" + child + "\n";
  Case tooLong(text);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(tooLong.solver.inferParentPhase(SeedBlock{3, 0, 101}, 3, 1));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "There are too may markers!\n");
  EXPECT_FALSE(tooLong.locus(1, 50).resolved);

  Case longest(text);
  random_source::seed(4);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(longest.solver.inferParentPhase(SeedBlock{3, 0, 100}, 3, 1));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(longest.locus(1, 99).resolved);
  EXPECT_FALSE(longest.locus(1, 100).resolved);
}

TEST(BlockParentInference, ParentPhaseFollowsItsPhasedChildrenAndGivesThemSources) {
  // Mother 2 carries haplotypes 1-3-5 and 2-4-6, stored out of order at the
  // two loci she is not phased at.
  Case c(
      "1 1 0 0 1 0 0 7 7 7 7 7 7\n1 2 0 0 2 0 0 1 2 4 3 6 5\n"
      "1 3 1 2 1 0 0 7 1 7 3 7 5\n1 4 1 2 1 0 0 7 2 7 4 7 6\n1 5 1 2 1 0 0 7 1 7 3 7 5\n");
  for (int id : {1, 3, 4, 5}) {
    for (int k = 0; k < 3; ++k) c.locus(id, k).resolved = true;
  }
  c.locus(2, 0).resolved = true;
  random_source::seed(6);
  EXPECT_TRUE(c.solver.inferParentPhase(SeedBlock{3, 0, 3}, 3, 2));
  block_test::expectDrawsTaken(6, 0);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(c.locus(2, k).allele1, 2 * k + 1);
  EXPECT_EQ(c.sources(3, kMaternal), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(c.sources(4, kMaternal), (std::vector<int>{1, 1, 1}));
}

TEST(BlockParentInference, WithoutPhasedChildrenTiesAreBrokenByCoins) {
  Case c("1 1 0 0 1 0 0 7 7 7 7 7 7\n1 2 0 0 2 0 0 1 2 3 4 5 6\n1 3 1 2 1 0 0 7 1 7 3 7 5\n");
  c.locus(2, 0).resolved = true;
  random_source::seed(12);
  c.solver.inferParentPhase(SeedBlock{3, 0, 3}, 3, 2);
  // One coin for the last locus (no source anywhere), one for the tie before it.
  block_test::expectDrawsTaken(12, 2);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(c.locus(2, k).resolved);
  EXPECT_EQ(c.locus(2, 0).allele1, 1);
}

}  // namespace
