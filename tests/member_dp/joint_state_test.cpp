// The per-state operations: bit layout, validity, consistency, transition
// cost and the phase mask.
#include "member_dp/joint_state.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using member_dp::applyState;
using member_dp::computeStateMask;
using member_dp::stateCost;
using member_dp::transitionCost;

// Founders 1 (father) and 2 (mother), child 3: bits 0, 1 are the founders'
// phases, bits 2, 3, 4 the child's phase, paternal and maternal source.
constexpr const char* kTrio =
    "1 1 0 0 1 0 0 1 2 1 2 2 2\n"
    "1 2 0 0 2 0 0 3 4 3 3 2 2\n"
    "1 3 1 2 1 0 0 2 3 1 3 2 2\n";

std::uint32_t trioState(int fatherPhase, int motherPhase, int childPhase, int paternal, int maternal) {
  return static_cast<std::uint32_t>(fatherPhase | motherPhase << 1 | childPhase << 2 | paternal << 3 |
                                    maternal << 4);
}

TEST(JointStateLayout, TrioBitsAndMaskFollowMemberOrder) {
  auto family = test_support::preparedFamily(kTrio);
  computeStateMask(*family);
  EXPECT_EQ(family->stateMask, 0b111u);
  EXPECT_EQ(member_dp::stateBitCount(*family), 5);

  // Locus 1: father 1/2 with phase 1 (allowed: his locus 0 is
  // heterozygous), mother 3/3, child 1/3 with phase 0 and paternal source 1.
  ASSERT_EQ(applyState(*family, trioState(1, 0, 0, 1, 0), 1), 0);
  const LocusGenotype& father = family->member(1).genotypes[1];
  const LocusGenotype& child = family->member(3).genotypes[1];
  EXPECT_EQ(father.allele1, 2);
  EXPECT_EQ(father.allele2, 1);
  EXPECT_EQ(father.paternalSource, 0);
  EXPECT_EQ(father.maternalSource, 0);
  EXPECT_TRUE(father.resolved);
  EXPECT_EQ(child.allele1, 1);
  EXPECT_EQ(child.allele2, 3);
  EXPECT_EQ(child.paternalSource, 1);
  EXPECT_EQ(child.maternalSource, 0);
  // The child's paternal allele 1 is the father's allele2 (source 1).
  EXPECT_EQ(stateCost(*family, trioState(1, 0, 0, 1, 0), 1), 0);
  EXPECT_EQ(stateCost(*family, trioState(1, 0, 0, 0, 0), 1), kCostSentinel);
  // The mother is homozygous: either maternal source fits.
  EXPECT_EQ(stateCost(*family, trioState(1, 0, 0, 1, 1), 1), 0);
}

TEST(JointStateValidity, HomozygousLociAdmitOnlyPhaseZero) {
  auto family = test_support::preparedFamily(kTrio);
  // Locus 2: everybody 2/2.
  EXPECT_EQ(applyState(*family, trioState(0, 0, 0, 0, 0), 2), 0);
  EXPECT_EQ(applyState(*family, trioState(0, 0, 1, 0, 0), 2), kCostSentinel);
  EXPECT_EQ(applyState(*family, trioState(0, 1, 0, 0, 0), 2), kCostSentinel);
  // Mother 3/3 at locus 1 as well.
  EXPECT_EQ(stateCost(*family, trioState(0, 1, 0, 0, 0), 1), kCostSentinel);
}

TEST(JointStateValidity, FounderPhaseIsFixedAtItsFirstHeterozygousLocus) {
  // Founder 1 is untyped at locus 0 and heterozygous from locus 1 on.
  auto family = test_support::preparedFamily("7 1 0 0 1 0 0 0 0 1 2 1 2\n");
  EXPECT_EQ(applyState(*family, 1, 1), kCostSentinel);
  EXPECT_EQ(applyState(*family, 0, 1), 0);
  EXPECT_EQ(applyState(*family, 1, 2), 0);
  EXPECT_EQ(family->member(1).genotypes[2].allele1, 2);
  // An invalid member stops the writing: the members after it keep their
  // genotypes untouched.
  auto trio = test_support::preparedFamily(kTrio);
  EXPECT_EQ(applyState(*trio, trioState(1, 0, 0, 0, 0), 0), kCostSentinel);
  EXPECT_FALSE(trio->member(2).genotypes[0].resolved);
  EXPECT_FALSE(trio->member(3).genotypes[0].resolved);
}

TEST(JointStateConsistency, MissingAlleleIsNoWildcard) {
  auto family = test_support::preparedFamily(
      "2 1 0 0 1 0 0 1 1 0 1\n"
      "2 2 0 0 2 0 0 1 1 1 1\n"
      "2 3 1 2 2 0 0 0 1 0 1\n");
  // Locus 0: child 0/1 from parents 1/1 and 1/1: no state fits.
  for (std::uint32_t s = 0; s < 32; ++s) EXPECT_EQ(stateCost(*family, s, 0), kCostSentinel) << s;
  // Locus 1: the father's 0 passed on; the child's 0 must come from him.
  // Father phase 0 = 0/1, child phase 0 = (0 paternal, 1 maternal), source 0.
  EXPECT_EQ(stateCost(*family, trioState(0, 0, 0, 0, 0), 1), 0);
  EXPECT_EQ(stateCost(*family, trioState(0, 0, 0, 1, 0), 1), kCostSentinel);
  EXPECT_EQ(stateCost(*family, trioState(0, 0, 1, 0, 0), 1), kCostSentinel);
}

TEST(JointStateTransition, CountsChangedSourcesOfNonFoundersOnly) {
  auto family = test_support::preparedFamily(kTrio);
  // Founder phases change, child sources stay: no recombination.
  EXPECT_EQ(transitionCost(*family, 1, trioState(0, 0, 1, 1, 0), trioState(1, 0, 0, 1, 0)), 0);
  EXPECT_EQ(transitionCost(*family, 1, trioState(0, 0, 1, 0, 0), trioState(1, 0, 0, 1, 0)), 1);
  EXPECT_EQ(transitionCost(*family, 1, trioState(0, 0, 1, 0, 0), trioState(1, 0, 0, 1, 1)), 2);
  EXPECT_EQ(transitionCost(*family, 2, trioState(0, 0, 0, 1, 1), trioState(0, 0, 0, 1, 1)), 0);
}

TEST(JointStateLayout, MemberOrderPlacesChildrenAfterParents) {
  // Child 1 of founders 2 and 3 is listed first; founder 5 and child 4 of
  // 1 and 5 follow. memberOrder: 2, 3, 1, 5, 4 -> phase bits 0, 1, 2, 5, 6.
  auto family = test_support::preparedFamily(
      "3 1 2 3 1 0 0 1 2\n"
      "3 2 0 0 1 0 0 1 2\n"
      "3 3 0 0 2 0 0 1 1\n"
      "3 4 1 5 2 0 0 1 1\n"
      "3 5 0 0 2 0 0 1 1\n");
  computeStateMask(*family);
  EXPECT_EQ(family->stateMask, (1u << 0) | (1u << 1) | (1u << 2) | (1u << 5) | (1u << 6));
  EXPECT_EQ(member_dp::stateBitCount(*family), 9);
  // Member 1 (bits 2..4): phase 1 = 2 paternal, from father 2's allele2
  // (father 2 phase 0 at its first heterozygous locus).
  std::uint32_t s = (1u << 2) | (1u << 3);
  // Member 4 (bits 6..8): 1/1 from father 1's allele2 (1) and mother 5.
  s |= (1u << 7);
  EXPECT_EQ(stateCost(*family, s, 0), 0);
  EXPECT_EQ(stateCost(*family, s & ~(1u << 7), 0), kCostSentinel);
}

}  // namespace
