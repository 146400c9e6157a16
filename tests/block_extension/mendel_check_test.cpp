#include <gtest/gtest.h>

#include "block_extension/block_extension.h"
#include "block_test_helpers.h"

namespace {

using block_extension::isTrioConsistent;

TEST(BlockMendelTrio, ChildNeedsOneAlleleFromEachParentAndMissingAllelesAskLess) {
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 1, 3));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 3, 1));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 1, 2));  // both from parent 1
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 5, 3));
  EXPECT_FALSE(isTrioConsistent(1, 1, 1, 1, 1, 2));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 0, 0));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 0, 3));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 0, 5));
  // A parent with one missing allele can give anything.
  EXPECT_TRUE(isTrioConsistent(0, 2, 3, 4, 7, 3));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 0, 1, 9));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 0, 8, 9));
}

TEST(BlockMendelCheck, EveryViolationIsPrintedOnceAndTheFamilyIsLeftAsRead) {
  // Mother 1 comes before father 2 in the processing order; child 4 is fine.
  block_test::Case c(
      "1 1 0 0 2 0 0 1 1 1 2 5 5\n"
      "1 2 0 0 1 0 0 2 2 3 0 6 6\n"
      "1 3 2 1 1 0 0 3 3 1 3 7 7\n"
      "1 4 2 1 1 0 0 1 2 1 3 5 6\n");
  random_source::seed(3);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(solveByBlockExtension(c.f, c.stats));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
            "at Locus: 0 with genotyes: (1,1)\t(2,2)\t(3,3)\n"
            "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
            "at Locus: 2 with genotyes: (5,5)\t(6,6)\t(7,7)\n");
  block_test::expectDrawsTaken(3, 0);
  EXPECT_EQ(c.f.recombinantCount, 0);
  EXPECT_EQ(c.locus(4, 0).allele1, 1);
  EXPECT_FALSE(c.locus(4, 0).resolved);
  EXPECT_EQ(c.locus(2, 1).allele2, 0);  // no fill-in either
}

}  // namespace
