#include <gtest/gtest.h>

#include "block_test_helpers.h"

namespace {

using block_test::locus;

// Statistics in which every founder allele that is still missing can only be
// drawn as `allele`: one founder carrying it once beside a missing value.
void attachSingleAlleleStats(Family& f, AlleleStats& stats, int allele) {
  stats.founderCount = 1;
  stats.locusCount = f.locusCount;
  stats.alleleCounts.assign(static_cast<std::size_t>(f.locusCount), {{0, 1}, {allele, 1}});
  f.stats = &stats;
}

TEST(BlockFillFromChildren, ParentMissingBothTakesOneAlleleFromEachChild) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 0 0\n"
      "1 2 0 0 2 0 0 1 2\n"
      "1 3 1 2 1 0 0 3 3\n"
      "1 4 1 2 1 0 0 4 1\n");
  AlleleStats stats;
  attachSingleAlleleStats(*f, stats, 9);
  f->fillMissingAlleles();
  EXPECT_EQ(locus(*f, 1, 0).allele1, 3);  // the homozygous child
  EXPECT_EQ(locus(*f, 1, 0).allele2, 4);  // 1 is the mother's
}

TEST(BlockFillFromChildren, AlleleTheKnownOneExplainsIsNotCopied) {
  // Known allele in allele1: a child's allele equal to it writes nothing.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 5 0\n"
      "1 2 0 0 2 0 0 6 6\n"
      "1 3 1 2 1 0 0 5 6\n");
  AlleleStats stats;
  attachSingleAlleleStats(*f, stats, 9);
  f->fillMissingAlleles();
  EXPECT_EQ(locus(*f, 1, 0).allele1, 5);
  EXPECT_EQ(locus(*f, 1, 0).allele2, 9);

  // The same with the known allele in allele2: copying the 5 would make the
  // father 5/5, homozygous for an allele the child has only once.
  auto g = block_test::family(
      "1 1 0 0 1 0 0 0 5\n"
      "1 2 0 0 2 0 0 6 6\n"
      "1 3 1 2 1 0 0 5 6\n");
  AlleleStats statsG;
  attachSingleAlleleStats(*g, statsG, 9);
  g->fillMissingAlleles();
  EXPECT_EQ(locus(*g, 1, 0).allele1, 9);
  EXPECT_EQ(locus(*g, 1, 0).allele2, 5);
}

TEST(BlockFillFromChildren, EachChildIsReadAgainstItsOwnOtherParent) {
  // Father 1 has child 4 by mother 2 and child 5 by mother 3; his mate is 3.
  // Against mother 3 the child 4's allele 7 looks like the mother's.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 0 0\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 0 0 2 0 0 7 8\n"
      "1 4 1 2 1 0 0 1 7\n"
      "1 5 1 3 2 0 0 9 8\n");
  ASSERT_EQ(f->member(1).mateId, 3);
  AlleleStats stats;
  attachSingleAlleleStats(*f, stats, 2);
  f->fillMissingAlleles();
  EXPECT_EQ(locus(*f, 1, 0).allele1, 7);
  EXPECT_EQ(locus(*f, 1, 0).allele2, 9);
}

TEST(BlockFillFromParents, HomozygousParentsPhaseAndFill) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 3 3 3 3\n"
      "1 2 0 0 2 0 0 7 7 7 8\n"
      "1 3 1 2 1 0 0 0 7 7 0\n");
  AlleleStats stats;
  attachSingleAlleleStats(*f, stats, 9);
  random_source::seed(11);
  f->fillMissingAlleles();
  // (0,7): the father gives 3, the mother's 7 stays.
  EXPECT_EQ(locus(*f, 3, 0).allele1, 3);
  EXPECT_EQ(locus(*f, 3, 0).allele2, 7);
  EXPECT_TRUE(locus(*f, 3, 0).resolved);
  // (7,0) with father 3/3: the 7 is the mother's, so the alleles move first.
  EXPECT_EQ(locus(*f, 3, 1).allele1, 3);
  EXPECT_EQ(locus(*f, 3, 1).allele2, 7);
  EXPECT_TRUE(locus(*f, 3, 1).resolved);
}

TEST(BlockFillFromParents, KnownAlleleOfAHomozygousParentKeepsItsSide) {
  // Child (0,3) with father 3/3: the 3 is the father's; the maternal allele
  // is drawn from the mother, never a second 3.
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 3 3\n"
        "1 2 0 0 2 0 0 1 2\n"
        "1 3 1 2 1 0 0 0 3\n");
    random_source::seed(seed);
    f->fillMissingAlleles();
    const LocusGenotype& g = locus(*f, 3, 0);
    EXPECT_EQ(g.allele1, 3);
    EXPECT_TRUE(g.allele2 == 1 || g.allele2 == 2) << g.allele2;
  }
  // Child (5,0) with mother 5/5: the 5 is the mother's.
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 1 2\n"
        "1 2 0 0 2 0 0 5 5\n"
        "1 3 1 2 1 0 0 5 0\n");
    random_source::seed(seed);
    f->fillMissingAlleles();
    const LocusGenotype& g = locus(*f, 3, 0);
    EXPECT_EQ(g.allele2, 5);
    EXPECT_TRUE(g.allele1 == 1 || g.allele1 == 2) << g.allele1;
  }
}

TEST(BlockRandomFill, KnownAlleleOnlyTheOtherParentCarriesMovesToItsSide) {
  // Child (1,0): only the mother carries 1, so the paternal allele is drawn.
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 2 3\n"
        "1 2 0 0 2 0 0 1 4\n"
        "1 3 1 2 1 0 0 1 0\n");
    random_source::seed(seed);
    f->fillMissingAlleles();
    const LocusGenotype& g = locus(*f, 3, 0);
    EXPECT_EQ(g.allele2, 1);
    EXPECT_TRUE(g.allele1 == 2 || g.allele1 == 3) << g.allele1;
    EXPECT_FALSE(g.resolved);
  }
}

TEST(BlockRandomFill, NonFounderDrawTransmitsTheChosenParentalAlleles) {
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 1 2\n"
        "1 2 0 0 2 0 0 3 4\n"
        "1 3 1 2 1 0 0 0 0\n");
    random_source::seed(seed);
    f->fillMissingAlleles();
    // Founders take two draws, then the child's two.
    const std::vector<int> draws = block_test::sequenceFrom(seed, 4, 2);
    const LocusGenotype& g = locus(*f, 3, 0);
    EXPECT_EQ(g.allele1, draws[0] / 32767.0 >= 0.5 ? 2 : 1);
    EXPECT_EQ(g.allele2, draws[1] / 32767.0 >= 0.5 ? 4 : 3);
  }
}

TEST(BlockRandomFill, FounderDrawBeyondTheTypedFrequenciesIsScaledIntoThem) {
  // Typed founder frequencies 1: 1/3, 2: 1/6 (the missing value takes half):
  // a draw r beyond 1/2 is scaled to r x 1/2, so 1 below r = 2/3, else 2.
  const double first = 2 * 0.5 / 3;
  const double typed = first + 1 * 0.5 / 3;
  int beyond = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    auto f = block_test::family(
        "1 1 0 0 1 0 0 0 0\n"
        "1 2 0 0 2 0 0 1 2\n"
        "1 3 1 2 1 0 0 1 2\n");
    AlleleStats stats;
    stats.founderCount = 3;
    stats.locusCount = 1;
    stats.alleleCounts = {{{0, 3}, {1, 2}, {2, 1}}};
    f->stats = &stats;
    random_source::seed(seed);
    f->drawMissingAlleles();
    block_test::expectDrawsTaken(seed, 6);
    const std::vector<int> draws = block_test::sequenceFrom(seed, 0, 2);
    for (int i = 0; i < 2; ++i) {
      const double r = draws[static_cast<std::size_t>(i)] / 32767.0;
      int expected = r < first ? 1 : 2;
      if (r >= typed) {
        ++beyond;
        expected = r * typed < first ? 1 : 2;
      }
      const int drawn = i == 0 ? locus(*f, 1, 0).allele1 : locus(*f, 1, 0).allele2;
      EXPECT_EQ(drawn, expected) << "seed " << seed << " r " << r;
    }
  }
  EXPECT_GT(beyond, 10);  // the scaled branch was exercised
}

TEST(BlockRandomFill, LocusWithoutTypedFounderAlleleStaysMissingAndThePassCopes) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 0 0 1 2\n"
      "1 2 0 0 2 0 0 0 0 1 1\n"
      "1 3 1 2 1 0 0 0 0 1 1\n"
      "1 4 1 2 2 0 0 0 0 2 1\n");
  AlleleStats stats;
  Family& held = *f;
  stats.addFamily(held);
  held.stats = &stats;
  random_source::seed(5);
  EXPECT_TRUE(held.solveByBlockExtension());
  for (int id = 1; id <= 4; ++id) {
    EXPECT_EQ(locus(held, id, 0).allele1, 0);
    EXPECT_EQ(locus(held, id, 0).allele2, 0);
  }
}

TEST(BlockRandomFill, TwoDrawsPerMemberAndLocusEvenWhenNothingIsMissing) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 2 3 4\n"
      "1 2 0 0 2 0 0 1 1 3 3\n"
      "1 3 1 2 1 0 0 1 2 4 3\n");
  random_source::seed(21);
  f->fillMissingAlleles();
  block_test::expectDrawsTaken(21, 2 * 3 * 2);
  EXPECT_EQ(locus(*f, 3, 0).allele1, 1);
  EXPECT_EQ(locus(*f, 3, 1).allele1, 4);
  EXPECT_FALSE(locus(*f, 3, 0).resolved);
}

TEST(BlockFillFromParents, ChangeOfAParentWithChildrenRunsTheFillAgainWithItsOwnDraws) {
  // Member 3 (a parent) gains alleles from its homozygous parents, so the
  // whole fill-in runs a second time, with a second random fill.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 1\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 1 2 1 0 0 0 0\n"
      "1 4 0 0 2 0 0 5 5\n"
      "1 5 3 4 1 0 0 0 5\n");
  random_source::seed(8);
  f->fillMissingAlleles();
  block_test::expectDrawsTaken(8, 2 * (2 * 5 * 1));
  EXPECT_EQ(locus(*f, 3, 0).allele1, 1);
  EXPECT_EQ(locus(*f, 3, 0).allele2, 1);
  EXPECT_EQ(locus(*f, 5, 0).allele1, 1);
  EXPECT_EQ(locus(*f, 5, 0).allele2, 5);
  EXPECT_TRUE(locus(*f, 5, 0).resolved);
}

TEST(BlockBottomUpOrder, ChildrenComeBeforeParentsAndEveryMemberIsReached) {
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 1\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 1 2 1 0 0 1 1\n"
      "1 4 0 0 2 0 0 1 1\n"
      "1 5 3 4 1 0 0 1 1\n"
      "1 6 3 4 2 0 0 1 1\n");
  std::vector<int> order;
  while (f->visitedIds.size() < f->members.size()) {
    const int id = f->nextBottomUpMember();
    ASSERT_NE(id, 0);
    order.push_back(id);
    f->visitedIds.insert(id);
  }
  EXPECT_EQ(order, (std::vector<int>{6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(f->nextBottomUpMember(), 0);
}

TEST(BlockBottomUpOrder, WhenNoMemberQualifiesTheLargestUnvisitedIdComesNext) {
  // Father 1 has daughter 3 and, by her, son 4, who has child 6 by founder 5.
  // Once 6 and 5 are done nobody qualifies: 4 waits for its father's child 3,
  // 3 waits for its child 4.
  auto f = block_test::family(
      "1 1 0 0 1 0 0 1 1\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 1 2 2 0 0 1 1\n"
      "1 4 1 3 1 0 0 1 1\n"
      "1 5 0 0 2 0 0 1 1\n"
      "1 6 4 5 1 0 0 1 1\n");
  std::vector<int> order;
  for (std::size_t i = 0; i < f->members.size(); ++i) {
    const int id = f->nextBottomUpMember();
    ASSERT_NE(id, 0);
    order.push_back(id);
    f->visitedIds.insert(id);
  }
  EXPECT_EQ(order, (std::vector<int>{6, 5, 4, 3, 2, 1}));
}

}  // namespace
