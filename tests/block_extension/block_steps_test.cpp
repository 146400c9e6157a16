// Steps of option b on small families, where the generated families and the
// end-to-end results do not reach: Mendel errors, limits, draws of missing
// alleles, deep pedigrees and loops.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "block_extension/block_extension.h"
#include "block_extension/block_extension_solver.h"
#include "pedigree/random_source.h"
#include "test_support.h"

namespace {

using block_extension::isTrioConsistent;

// A prepared family from pedigree-file text with empty run statistics and a
// solver over both.
struct Case {
  explicit Case(const std::string& text) : family(test_support::preparedFamily(text)), f(*family) {}
  std::unique_ptr<Family> family;
  Family& f;
  AlleleStats stats;
  BlockExtensionSolver solver{f, stats};
  LocusGenotype& locus(int id, int k) { return f.member(id).genotypes.at(static_cast<std::size_t>(k)); }
};

TEST(BlockMendel, TrioRuleAndEveryViolationPrintedWithTheFamilyLeftAsRead) {
  struct Trio {
    int p1a, p1b, p2a, p2b, ca, cb;
    bool consistent;
  };
  for (const Trio& t : std::vector<Trio>{{1, 2, 3, 4, 1, 3, true},
                                         {1, 2, 3, 4, 3, 1, true},
                                         {1, 2, 3, 4, 1, 2, false},
                                         {1, 2, 3, 4, 5, 3, false},
                                         {1, 1, 1, 1, 1, 2, false},
                                         {1, 2, 3, 4, 0, 0, true},
                                         {1, 2, 3, 4, 0, 3, true},
                                         {1, 2, 3, 4, 0, 5, false},
                                         {0, 2, 3, 4, 7, 3, true},
                                         {1, 2, 3, 0, 1, 9, true},
                                         {1, 2, 3, 0, 8, 9, false}})
    EXPECT_EQ(isTrioConsistent(t.p1a, t.p1b, t.p2a, t.p2b, t.ca, t.cb), t.consistent)
        << t.p1a << t.p1b << " x " << t.p2a << t.p2b << " -> " << t.ca << t.cb;

  // Mother 1 comes before father 2 in the processing order; child 4 is fine.
  Case c(
      "1 1 0 0 2 0 0 1 1 1 2 5 5\n1 2 0 0 1 0 0 2 2 3 0 6 6\n"
      "1 3 2 1 1 0 0 3 3 1 3 7 7\n1 4 2 1 1 0 0 1 2 1 3 5 6\n");
  random_source::seed(3);
  const int firstDraw = random_source::next();
  random_source::seed(3);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(solveByBlockExtension(c.f, c.stats));
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),
      "Mendel Error: parent 1: 1\tparent2:2\tand child:3\nat Locus: 0 with genotyes: (1,1)\t(2,2)\t(3,3)\n"
      "Mendel Error: parent 1: 1\tparent2:2\tand child:3\nat Locus: 2 with genotyes: (5,5)\t(6,6)\t(7,7)\n");
  EXPECT_EQ(random_source::next(), firstDraw);  // no draw was taken
  EXPECT_FALSE(c.locus(4, 0).resolved);
  EXPECT_EQ(c.locus(2, 1).allele2, 0);  // no fill-in either
}

TEST(BlockParentInference, AtMostOneHundredLociPerProgramme) {
  std::string father = "1 1 0 0 1 0 0", mother = "1 2 0 0 2 0 0", child = "1 3 1 2 1 0 0";
  for (int k = 0; k < 101; ++k) {
    father += " 1 2";
    mother += " 3 3";
    child += " 1 3";
  }
  for (int length : {101, 100}) {
    Case c(father + "\n" + mother + "\n" + child + "\n");
    random_source::seed(4);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.solver.inferParentPhase(block_extension::SeedBlock{3, 0, length}, 3, 1), length == 100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), length == 100 ? "" : "There are too may markers!\n");
    EXPECT_EQ(c.locus(1, 99).resolved, length == 100);
    EXPECT_FALSE(c.locus(1, 100).resolved);
  }
}

TEST(BlockRandomFill, KnownAlleleKeepsTheSideOfTheParentItCanComeFrom) {
  // (0,3) under a 3/3 father; (5,0) under a 5/5 mother; (1,0) where only the
  // mother carries 1. The drawn allele comes from the other parent.
  const struct {
    const char* text;
    int side, known;
    std::set<int> drawn;
  } cases[] = {{"1 1 0 0 1 0 0 3 3\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 0 3\n", kPaternal, 3, {1, 2}},
               {"1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 5 5\n1 3 1 2 1 0 0 5 0\n", kMaternal, 5, {1, 2}},
               {"1 1 0 0 1 0 0 2 3\n1 2 0 0 2 0 0 1 4\n1 3 1 2 1 0 0 1 0\n", kMaternal, 1, {2, 3}}};
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    for (const auto& fill : cases) {
      random_source::seed(seed);
      Case c(fill.text);
      c.solver.fillMissingAlleles();
      EXPECT_EQ(c.locus(3, 0).alleleOnSide(fill.side), fill.known) << fill.text;
      EXPECT_EQ(fill.drawn.count(c.locus(3, 0).alleleOnSide(1 - fill.side)), 1u) << fill.text;
    }
  }
}

TEST(BlockRandomFill, FounderDrawBeyondTheTypedFrequenciesIsScaledIntoThem) {
  // Founder frequencies 0: 1/2, 1: 1/3, 2: 1/6. A draw r picks 1 below 1/3
  // and 2 below 1/2; beyond, r x 1/2 is looked up instead.
  int beyond = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    Case c("1 1 0 0 1 0 0 0 0\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 1 2\n");
    c.stats.founderCount = 3;
    c.stats.alleleCounts = {{{0, 3}, {1, 2}, {2, 1}}};
    random_source::seed(seed);
    const int draws[2] = {random_source::next(), random_source::next()};
    random_source::seed(seed);
    c.solver.fillMissingAlleles();
    for (int side = 0; side < 2; ++side) {
      double r = draws[side] / 32767.0;
      if (r >= 0.5) {
        ++beyond;
        r *= 0.5;
      }
      EXPECT_EQ(c.locus(1, 0).alleleOnSide(side), r < 1.0 / 3 ? 1 : 2) << "seed " << seed << " r " << r;
    }
  }
  EXPECT_GT(beyond, 10);
}

TEST(BlockExtension, LocusWithoutTypedFounderAlleleStaysMissing) {
  Case c("1 1 0 0 1 0 0 0 0 1 2\n1 2 0 0 2 0 0 0 0 1 1\n1 3 1 2 1 0 0 0 0 1 1\n1 4 1 2 2 0 0 0 0 2 1\n");
  c.stats.addFamily(c.f);
  random_source::seed(5);
  EXPECT_TRUE(c.solver.solve());
  for (int id = 1; id <= 4; ++id) EXPECT_EQ(c.locus(id, 0).allele1 + c.locus(id, 0).allele2, 0);
  EXPECT_TRUE(c.locus(4, 1).resolved);
}

TEST(BlockExtension, ReachesAChainOfGenerationsWithoutRecursion) {
  std::string text = "1 1 0 0 1 0 0 1 1 3 3\n";
  int previous = 1;
  for (int id = 2; id < 2 + 2 * 400; id += 2) {  // each child by a new homozygous mate
    text += "1 " + std::to_string(id) + " 0 0 2 0 0 5 5 5 5\n";
    text += "1 " + std::to_string(id + 1) + " " + std::to_string(previous) + " " + std::to_string(id) +
            " 1 0 0 1 5 3 5\n";
    previous = id + 1;
  }
  Case c(text);
  random_source::seed(2);
  EXPECT_TRUE(solveByBlockExtension(c.f, c.stats));
  for (const auto& [id, m] : c.f.members) {
    for (const LocusGenotype& g : m.genotypes) ASSERT_TRUE(g.resolved) << "member " << id;
  }
  const LocusGenotype& last = c.locus(previous, 1);
  ASSERT_GE(last.paternalSource, 0);
  EXPECT_EQ(last.allele1, c.locus(c.f.member(previous).fatherId, 1).alleleNumber(last.paternalSource));
}

TEST(BlockBottomUpOrder, ChildrenBeforeParentsAndTheLargestOpenIdInALoop) {
  // Son 4 of father 1 and his daughter 3 has child 6: once 6 and 5 are done,
  // 4 waits for its father's child 3 and 3 for its child 4.
  Case c(
      "1 1 0 0 1 0 0 1 1\n1 2 0 0 2 0 0 1 1\n1 3 1 2 2 0 0 1 1\n"
      "1 4 1 3 1 0 0 1 1\n1 5 0 0 2 0 0 1 1\n1 6 4 5 1 0 0 1 1\n");
  std::set<int> handled;
  std::vector<int> order;
  for (int i = 0; i < 7; ++i) {
    order.push_back(block_extension::nextBottomUpMember(c.f, handled));
    handled.insert(order.back());
  }
  EXPECT_EQ(order, (std::vector<int>{6, 5, 4, 3, 2, 1, 0}));
}

}  // namespace
