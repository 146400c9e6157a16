#include <gtest/gtest.h>

#include <set>

#include "block_test_helpers.h"

namespace {

using block_test::Case;

// The fill-in with every missing founder allele drawn as 9.
Case& filled(Case& c) {
  c.onlyFounderAllele(9);
  c.solver.fillMissingAlleles();
  return c;
}

TEST(BlockFillFromChildren, ParentTakesWhatItsChildrenCarryBeyondTheOtherParent) {
  Case c("1 1 0 0 1 0 0 0 0\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 3 3\n1 4 1 2 1 0 0 4 1\n");
  filled(c);
  EXPECT_EQ(c.locus(1, 0).allele1, 3);  // the homozygous child
  EXPECT_EQ(c.locus(1, 0).allele2, 4);  // 1 is the mother's

  // A value the known allele already explains is not copied, on either side.
  Case known1("1 1 0 0 1 0 0 5 0\n1 2 0 0 2 0 0 6 6\n1 3 1 2 1 0 0 5 6\n");
  filled(known1);
  EXPECT_EQ(known1.locus(1, 0).allele2, 9);
  Case known2("1 1 0 0 1 0 0 0 5\n1 2 0 0 2 0 0 6 6\n1 3 1 2 1 0 0 5 6\n");
  filled(known2);
  EXPECT_EQ(known2.locus(1, 0).allele1, 9);

  // Father 1 has child 4 by mother 2 and child 5 by his mate 3: each child is
  // read against its own mother (against mother 3, child 4's 7 looks hers).
  Case half(
      "1 1 0 0 1 0 0 0 0\n1 2 0 0 2 0 0 1 1\n1 3 0 0 2 0 0 7 8\n"
      "1 4 1 2 1 0 0 1 7\n1 5 1 3 2 0 0 9 8\n");
  filled(half);
  EXPECT_EQ(half.locus(1, 0).allele1, 7);
  EXPECT_EQ(half.locus(1, 0).allele2, 9);
}

TEST(BlockFillFromParents, HomozygousParentsPhaseAndFillTheirChild) {
  Case c("1 1 0 0 1 0 0 3 3 3 3\n1 2 0 0 2 0 0 7 7 7 8\n1 3 1 2 1 0 0 0 7 7 0\n");
  filled(c);
  // (0,7) and (7,0) with father 3/3: the 7 is the mother's either way.
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(c.locus(3, k).allele1, 3);
    EXPECT_EQ(c.locus(3, k).allele2, 7);
    EXPECT_TRUE(c.locus(3, k).resolved);
  }
}

TEST(BlockRandomFill, KnownAlleleStaysOnItsParentsSideAndTheOtherIsDrawnFromTheOtherParent) {
  // (0,3) with father 3/3; (5,0) with mother 5/5; (1,0) where only the mother
  // carries 1. Whatever the draws, the known allele keeps the side of the
  // parent it can come from.
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    random_source::seed(seed);
    Case a("1 1 0 0 1 0 0 3 3\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 0 3\n");
    a.solver.fillMissingAlleles();
    EXPECT_EQ(a.locus(3, 0).allele1, 3);
    EXPECT_TRUE(std::set<int>({1, 2}).count(a.locus(3, 0).allele2));
    Case b("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 5 5\n1 3 1 2 1 0 0 5 0\n");
    b.solver.fillMissingAlleles();
    EXPECT_EQ(b.locus(3, 0).allele2, 5);
    EXPECT_TRUE(std::set<int>({1, 2}).count(b.locus(3, 0).allele1));
    Case o("1 1 0 0 1 0 0 2 3\n1 2 0 0 2 0 0 1 4\n1 3 1 2 1 0 0 1 0\n");
    o.solver.fillMissingAlleles();
    EXPECT_EQ(o.locus(3, 0).allele2, 1);
    EXPECT_TRUE(std::set<int>({2, 3}).count(o.locus(3, 0).allele1));
    EXPECT_FALSE(o.locus(3, 0).resolved);
  }
}

TEST(BlockRandomFill, FounderDrawBeyondTheTypedFrequenciesIsScaledIntoThem) {
  // Typed founder frequencies 1: 1/3, 2: 1/6 (the missing value takes half):
  // a draw r beyond 1/2 is scaled to r x 1/2, so 1 below r = 2/3, else 2.
  const double first = 2 * 0.5 / 3;
  const double typed = first + 1 * 0.5 / 3;
  int beyond = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    Case c("1 1 0 0 1 0 0 0 0\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 1 2\n");
    c.stats.founderCount = 3;
    c.stats.alleleCounts = {{{0, 3}, {1, 2}, {2, 1}}};
    random_source::seed(seed);
    c.solver.fillMissingAlleles();
    block_test::expectDrawsTaken(seed, 6);
    const std::vector<int> draws = block_test::sequenceFrom(seed, 0, 2);
    for (int i = 0; i < 2; ++i) {
      const double r = draws[static_cast<std::size_t>(i)] / 32767.0;
      int expected = r < first ? 1 : 2;
      if (r >= typed) {
        ++beyond;
        expected = r * typed < first ? 1 : 2;
      }
      EXPECT_EQ(c.locus(1, 0).alleleOnSide(i), expected) << "seed " << seed << " r " << r;
    }
  }
  EXPECT_GT(beyond, 10);  // the scaled branch was exercised
}

TEST(BlockRandomFill, TwoDrawsPerMemberAndLocusPerSweep) {
  Case c("1 1 0 0 1 0 0 1 2 3 4\n1 2 0 0 2 0 0 1 1 3 3\n1 3 1 2 1 0 0 1 2 4 3\n");
  random_source::seed(21);
  c.solver.fillMissingAlleles();
  block_test::expectDrawsTaken(21, 2 * 3 * 2);  // even when nothing is missing
  EXPECT_EQ(c.locus(3, 1).allele1, 4);
  EXPECT_FALSE(c.locus(3, 0).resolved);

  // Member 3, a parent, gains alleles from its homozygous parents, so the
  // sweep runs again for its children, with a second random fill.
  Case again(
      "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 0 0\n1 4 0 0 2 0 0 5 5\n1 5 3 4 1 0 0 0 5\n");
  random_source::seed(8);
  again.solver.fillMissingAlleles();
  block_test::expectDrawsTaken(8, 2 * (2 * 5 * 1));
  EXPECT_EQ(again.locus(3, 0).allele2, 1);
  EXPECT_EQ(again.locus(5, 0).allele1, 1);
  EXPECT_EQ(again.locus(5, 0).allele2, 5);
  EXPECT_TRUE(again.locus(5, 0).resolved);
}

TEST(BlockRandomFill, LocusWithoutTypedFounderAlleleStaysMissingAndThePassCopes) {
  Case c("1 1 0 0 1 0 0 0 0 1 2\n1 2 0 0 2 0 0 0 0 1 1\n1 3 1 2 1 0 0 0 0 1 1\n1 4 1 2 2 0 0 0 0 2 1\n");
  c.stats.addFamily(*c.family);
  random_source::seed(5);
  EXPECT_TRUE(c.solver.solve());
  for (int id = 1; id <= 4; ++id) EXPECT_EQ(c.locus(id, 0).allele1 + c.locus(id, 0).allele2, 0);
}

TEST(BlockBottomUpOrder, ChildrenBeforeParentsAndTheLargestOpenIdWhenNoneQualifies) {
  const auto order = [](Case& c) {
    std::set<int> handled;
    std::vector<int> ids;
    for (std::size_t i = 0; i < c.f.members.size(); ++i) {
      ids.push_back(block_extension::nextBottomUpMember(c.f, handled));
      handled.insert(ids.back());
    }
    EXPECT_EQ(block_extension::nextBottomUpMember(c.f, handled), 0);
    return ids;
  };
  // Son 4 of father 1 and his daughter 3 has child 6: once 6 and 5 are done,
  // 4 waits for its father's child 3 and 3 for its child 4.
  Case loop(
      "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 2 0 0 1 1\n"
      "1 4 1 3 1 0 0 1 1\n1 5 0 0 2 0 0 1 1\n1 6 4 5 1 0 0 1 1\n");
  EXPECT_EQ(order(loop), (std::vector<int>{6, 5, 4, 3, 2, 1}));
}

}  // namespace
