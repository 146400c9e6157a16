#include <gtest/gtest.h>

#include "block_test_helpers.h"
#include "phasing/block_extension.h"

namespace {

TEST(BlockMendelTrio, TypedChildNeedsOneAlleleFromEachParentInEitherOrder) {
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 1, 3));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 3, 1));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 1, 2));  // both from parent 1
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 5, 3));
  EXPECT_FALSE(isTrioConsistent(1, 1, 1, 1, 1, 2));
}

TEST(BlockMendelTrio, MissingAllelesAskLess) {
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 0, 0));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 0, 3));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 4, 2, 0));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 4, 0, 5));
  // A parent with one missing allele can give anything.
  EXPECT_TRUE(isTrioConsistent(0, 2, 3, 4, 7, 3));
  EXPECT_TRUE(isTrioConsistent(1, 2, 3, 0, 1, 9));
  EXPECT_FALSE(isTrioConsistent(1, 2, 3, 0, 8, 9));
}

TEST(BlockMendelCheck, ReportsEveryViolationOnceThroughTheFirstParentInOrder) {
  // Mother 1 comes before father 2 in the processing order.
  auto f = block_test::family(
      "1 1 0 0 2 0 0 1 1 1 2 5 5\n"
      "1 2 0 0 1 0 0 2 2 3 4 6 6\n"
      "1 3 2 1 1 0 0 3 3 1 3 7 7\n"
      "1 4 2 1 1 0 0 1 2 1 3 5 6\n");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(f->checkMendelConsistency());
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
            "at Locus: 0 with genotyes: (1,1)\t(2,2)\t(3,3)\n"
            "Mendel Error: parent 1: 1\tparent2:2\tand child:3\n"
            "at Locus: 2 with genotyes: (5,5)\t(6,6)\t(7,7)\n");
  // The tested children stay in the scratch set; the genotypes are untouched.
  EXPECT_EQ(f->visitedIds, (std::set<int>{3, 4}));
  EXPECT_EQ(block_test::locus(*f, 3, 0).allele1, 3);
}

TEST(BlockMendelCheck, ConsistentFamilyPassesSilentlyAndEmptiesTheScratchSet) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2\n"
      "1 2 0 0 2 0 0 0 3\n"
      "1 3 1 2 1 0 0 2 9\n"
      "1 4 0 0 1 0 0 5 5\n");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(f->checkMendelConsistency());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(f->visitedIds.empty());
}

TEST(BlockMendelCheck, FailingFamilyIsLeftAsReadWithNoRecombinants) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 3 4 0 3\n"
      "1 3 1 2 1 0 0 2 1 9 9\n");
  AlleleStats stats;
  Family& held = *f;
  stats.addFamily(held);
  held.stats = &stats;
  random_source::seed(3);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(held.solveByBlockExtension());
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(held.recombinantCount, 0);
  const LocusGenotype& g = block_test::locus(held, 3, 0);
  EXPECT_EQ(g.allele1, 2);
  EXPECT_EQ(g.allele2, 1);
  EXPECT_FALSE(g.resolved);
  EXPECT_EQ(block_test::locus(held, 2, 1).allele1, 0);  // no fill-in either
  block_test::expectDrawsTaken(3, 0);
}

}  // namespace
