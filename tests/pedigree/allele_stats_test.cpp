#include <gtest/gtest.h>

#include "pedigree/family.h"
#include "test_support.h"

namespace {

std::unique_ptr<Family> family(std::string_view text) { return test_support::preparedFamily(text); }

}  // namespace

TEST(AlleleStats, FrequencyRowCountsUntypedAllelesAsZero) {
  AlleleStats stats;
  stats.addFamily(
      family("1 1 0 0 1 0 0 1 1\n"
             "1 2 0 0 2 0 0 1 2\n"
             "1 3 0 0 1 0 0 0 0\n"
             "1 4 0 0 2 0 0 2 2\n"));
  TextSink res;
  stats.printSummary(res);
  EXPECT_EQ(res.text(),
            "Total Number of Founders\t4;\tTotal Number of Loci\t1;\tTotal Number of Free Loci\t-3\n"
            "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n"
            "0\t0\t0.25\t1\t0.375\t2\t0.375\t0.25\n");
}

TEST(AlleleStats, EmptyRunPrintsZerosAndHeaderOnly) {
  AlleleStats stats;
  TextSink res;
  stats.printSummary(res);
  EXPECT_EQ(res.text(),
            "Total Number of Founders\t0;\tTotal Number of Loci\t0;\tTotal Number of Free Loci\t0\n"
            "Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n");
}

TEST(AlleleStats, FreeLociOfFoundersAndChildren) {
  AlleleStats stats;
  // Founder 1 has two typed heterozygous loci (+1), founder 2 none (-1);
  // the child is 1/2 under 1/2 x 1/2 at locus 0 (free), homozygous at 1 and
  // untyped at 2 (free).
  stats.addFamily(
      family("1 1 0 0 1 0 0 1 2 3 4 5 5\n"
             "1 2 0 0 2 0 0 1 2 4 4 0 5\n"
             "1 3 1 2 1 0 0 2 1 4 4 0 5\n"));
  EXPECT_EQ(stats.founderCount, 2);
  EXPECT_EQ(stats.freeLocusCount, 1 + 0 + 2);
  EXPECT_EQ(stats.heterozygousCounts, (std::vector<int>{2, 1, 0}));
}

TEST(AlleleStats, LaterFamilyWithSameIdReplacesTheEarlier) {
  AlleleStats stats;
  stats.addFamily(family("5 1 0 0 1 0 0 1 2\n"));
  stats.addFamily(family("5 1 0 0 1 0 0 3 4\n5 2 0 0 2 0 0 3 3\n"));
  ASSERT_EQ(stats.families.size(), 1u);
  EXPECT_EQ(stats.families.at(5)->memberCount, 2);
  EXPECT_EQ(stats.founderCount, 3);  // counts are gathered, not replaced
}

TEST(AlleleStats, OriginRules) {
  auto trio = family("1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 2 1\n");
  const Member& child = trio->member(3);
  EXPECT_FALSE(child.isOriginDetermined(1, 2, 1, 2, 0));  // same heterozygote everywhere
  EXPECT_TRUE(child.isOriginDetermined(1, 1, 1, 2, 0));   // a homozygous parent
  EXPECT_TRUE(child.isOriginDetermined(2, 3, 1, 2, 0));   // the child's 1 comes from the mother only
  EXPECT_TRUE(child.isOriginDetermined(1, 3, 1, 4, 0));   // the child's 2 is carried by neither parent
  EXPECT_FALSE(child.isOriginDetermined(0, 2, 1, 2, 0));  // untyped parent allele
}

TEST(AlleleStats, ReplacingTheOnlyFamilyKeepsTheGatheredCounts) {
  AlleleStats stats;
  stats.addFamily(family("5 1 0 0 1 0 0 1 2\n"));
  stats.addFamily(family("5 1 0 0 1 0 0 3 3\n"));
  EXPECT_EQ(stats.alleleCounts[0], (std::map<int, int>{{1, 1}, {2, 1}, {3, 2}}));
  EXPECT_EQ(stats.heterozygousCounts[0], 1);
}
