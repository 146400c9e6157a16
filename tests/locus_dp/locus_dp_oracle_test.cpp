// The locus-based programme against exhaustive search on small nuclear
// families, and the packed side counts against the plain trio count.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "family_generator.h"
#include "locus_dp/locus_dp_solver.h"
#include "locus_dp/packed_haplotypes.h"
#include "locus_dp_test_helpers.h"
#include "pedigree/forced_phases.h"
#include "test_support.h"

namespace {

using locus_dp_test::familyShape;
using locus_dp_test::GeneratedFamily;
using locus_dp_test::generateFamily;
using locus_dp_test::openLoci;
using locus_dp_test::Shape;

// Sum of the trio counts of every child under the members' states (by
// position in the shape).
int familyCost(const Family& family, const GeneratedFamily& generated, const std::vector<int>& states) {
  int cost = 0;
  for (std::size_t i = 0; i < generated.shape.size(); ++i) {
    const Shape& member = generated.shape[i];
    if (member.father < 0) continue;
    cost +=
        trioRecombinations(family, generated.ids[member.father], states[member.father],
                           generated.ids[member.mother], states[member.mother], generated.ids[i], states[i]);
  }
  return cost;
}

// Least cost over every phase assignment of every open locus.
int exhaustiveMinimum(const Family& family, const GeneratedFamily& generated) {
  std::vector<int> bits;
  int totalBits = 0;
  for (int id : generated.ids) {
    bits.push_back(openLoci(family.member(id)));
    totalBits += bits.back();
  }
  int least = kCostSentinel;
  std::vector<int> states(bits.size());
  for (long long assignment = 0; assignment < (1LL << totalBits); ++assignment) {
    long long rest = assignment;
    for (std::size_t i = 0; i < bits.size(); ++i) {
      states[i] = static_cast<int>(rest & ((1LL << bits[i]) - 1));
      rest >>= bits[i];
    }
    least = std::min(least, familyCost(family, generated, states));
  }
  return least;
}

// Solves the generated family and checks the programme's least cost and the
// cost of the phases it wrote against exhaustive search. False when the
// family has too many open loci to search.
bool checkAgainstExhaustiveSearch(const GeneratedFamily& generated, LocusDpInnerLoop innerLoop) {
  auto family = test_support::preparedFamily(generated.text);
  resolveForcedPhases(*family);
  int totalOpen = 0;
  for (const auto& [id, member] : family->members) totalOpen += openLoci(member);
  if (totalOpen > 14) return false;
  int expected = exhaustiveMinimum(*family, generated);

  LocusDpSolver solver(*family, family->members.begin()->first);
  EXPECT_TRUE(solver.withinSizeLimits());
  solver.innerLoop = innerLoop;
  solver.evaluate();
  int best = solver.selectAndTraceBack();
  EXPECT_EQ(best, expected) << generated.text;
  // The written phases are a configuration of that cost: every locus is now
  // resolved, so each member has the single state 0.
  for (const auto& [id, member] : family->members) {
    EXPECT_EQ(openLoci(member), 0) << "member " << id << "\n" << generated.text;
  }
  EXPECT_EQ(familyCost(*family, generated, std::vector<int>(generated.ids.size(), 0)), expected)
      << generated.text;
  return true;
}

TEST(LocusDpOracle, AgreesWithExhaustiveSearchOnSmallNuclearFamilies) {
  std::mt19937 rng(20261206);
  int checked = 0;
  for (int round = 0; round < 400; ++round) {
    int childCount = 1 + round % 3;
    int loci = 1 + (round / 3) % 4;
    GeneratedFamily generated = generateFamily(rng, familyShape(childCount, 0, rng), loci, round % 2 == 0);
    // Alternate the inner loops; the reference test compares them fully.
    auto innerLoop = round % 3 == 0 ? LocusDpInnerLoop::automatic
                                    : (round % 3 == 1 ? LocusDpInnerLoop::overChildStates
                                                      : LocusDpInnerLoop::overParentStates);
    if (checkAgainstExhaustiveSearch(generated, innerLoop)) ++checked;
    if (HasFailure()) return;
  }
  EXPECT_GT(checked, 300);
}

TEST(LocusDpOracle, AgreesWithExhaustiveSearchOverThreeGenerations) {
  // A member with both parents' and offspring sides in the tree (the
  // married child when its id is the smallest) is covered here.
  std::mt19937 rng(4242);
  int checked = 0;
  for (int round = 0; round < 300; ++round) {
    int loci = 1 + round % 3;
    GeneratedFamily generated =
        generateFamily(rng, familyShape(1 + round % 2, 1 + (round / 2) % 2, rng), loci, round % 3 != 0);
    if (checkAgainstExhaustiveSearch(generated, LocusDpInnerLoop::automatic)) ++checked;
    if (HasFailure()) return;
  }
  EXPECT_GT(checked, 150);
}

TEST(LocusDpOracle, RecountMatchesBestCostForTransmittedFullyTypedFamilies) {
  // With every allele typed and transmitted without error, the recount's
  // source rule and the trio count agree on every locus.
  std::mt19937 rng(77);
  for (int round = 0; round < 40; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.children = 1 + round % 4;
    options.loci = 3 + round % 5;
    options.alleles = 2 + round % 3;
    options.recombinationRate = 0.3;
    std::string text = test_support::generateFamilyText(options, rng);
    auto family = test_support::preparedFamily(text);
    resolveForcedPhases(*family);
    LocusDpSolver solver(*family, family->members.begin()->first);
    ASSERT_TRUE(solver.withinSizeLimits());
    solver.evaluate();
    int best = solver.selectAndTraceBack();
    family->countRecombinants();
    EXPECT_EQ(family->recombinantCount, best) << text;
  }
}

// Random members at many loci (several words), open and resolved loci
// mixed, homozygous and missing alleles included.
Member randomMember(std::mt19937& rng, int loci, int sex) {
  std::uniform_int_distribution<int> allele(0, 3);
  std::uniform_int_distribution<int> coin(0, 2);
  Member member;
  member.sex = sex;
  for (int k = 0; k < loci; ++k) {
    LocusGenotype g;
    g.allele1 = allele(rng);
    g.allele2 = allele(rng);
    g.resolved = coin(rng) == 0;
    member.genotypes.push_back(g);
  }
  return member;
}

TEST(LocusDpPackedCounts, AgreeWithThePlainTrioCount) {
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    int loci = 1 + static_cast<int>(rng() % 150);
    Family family;
    family.locusCount = loci;
    family.members[1] = randomMember(rng, loci, 1);
    family.members[2] = randomMember(rng, loci, 2);
    family.members[3] = randomMember(rng, loci, 1);
    auto open = [&](int id) { return std::min(openLoci(family.member(id)), 8); };
    int words = wordsForLoci(loci);
    PackedStates father = packStates(family.member(1), open(1), words);
    PackedStates mother = packStates(family.member(2), open(2), words);
    PackedStates child = packStates(family.member(3), open(3), words);
    SideLink paternal = makeSideLink(family.member(1), family.member(3), kPaternal, loci);
    SideLink maternal = makeSideLink(family.member(2), family.member(3), kMaternal, loci);
    for (int trial = 0; trial < 20; ++trial) {
      int f = static_cast<int>(rng() % (1u << open(1)));
      int m = static_cast<int>(rng() % (1u << open(2)));
      int c = static_cast<int>(rng() % (1u << open(3)));
      int packed = sideRecombinations(paternal, father.of(f), child.of(c)) +
                   sideRecombinations(maternal, mother.of(m), child.of(c));
      ASSERT_EQ(packed, trioRecombinations(family, 1, f, 2, m, 3, c))
          << "round " << round << " loci " << loci;
      // Naming the mother first leaves the roles unchanged.
      ASSERT_EQ(packed, trioRecombinations(family, 2, m, 1, f, 3, c));
    }
  }
}

}  // namespace
