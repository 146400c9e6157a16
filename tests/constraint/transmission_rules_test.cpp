// The two genetic rules of the constraint-finding method: the trio phase
// table, and the two-locus equations against transmission without
// recombination over every genotype and phase of codes 1 and 2.
#include "constraint/transmission_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

LocusGenotype genotype(int a, int b) {
  LocusGenotype g;
  g.allele1 = a;
  g.allele2 = b;
  return g;
}

struct RuleResult {
  int count = 0;
  std::vector<int> first;
  std::vector<int> second;
  int firstParity = -1;
  int secondParity = -1;
};

// Father seqIndex 0, mother 1, child 2; two loci (p = 0, q = 1), so
// v(F,p) = 0, v(F,q) = 1, v(M,p) = 2, v(M,q) = 3, v(C,p) = 4, v(C,q) = 5.
RuleResult rule(LocusGenotype fp, LocusGenotype fq, LocusGenotype mp, LocusGenotype mq, LocusGenotype cp,
                LocusGenotype cq, int fatherIndex = 0, int motherIndex = 1) {
  RuleResult r;
  r.count = twoLocusConstraints(fp, fq, mp, mq, cp, cq, fatherIndex, motherIndex, 2, 2, 0, 1, r.first,
                                r.second, r.firstParity, r.secondParity);
  return r;
}

TEST(ChildPhaseFromParents, DecisionTable) {
  EXPECT_EQ(childPhaseFromParents(1, 2, 1, 2, 1, 2), kChildPhaseOpen);
  EXPECT_EQ(childPhaseFromParents(1, 1, 2, 2, 1, 2), 0);
  EXPECT_EQ(childPhaseFromParents(2, 2, 1, 1, 1, 2), 1);
  EXPECT_EQ(childPhaseFromParents(1, 2, 1, 2, 2, 2), 0);
  EXPECT_EQ(childPhaseFromParents(1, 1, 1, 1, 2, 2), kChildPhaseImpossible);
  EXPECT_EQ(childPhaseFromParents(1, 2, 1, 2, 0, 1), kChildPhaseImpossible);  // 0 is an ordinary code
  EXPECT_EQ(childPhaseFromParents(0, 0, 0, 1, 0, 1), 0);
  EXPECT_EQ(childPhaseFromParents(3, 1, 2, 3, 1, 3), 0);  // 1 only from the father
}

// Phased alleles of a genotype with codes 1 and 2 under a phase bit:
// 0 puts the smaller code first (paternal), 1 the larger.
std::pair<int, int> phased(const LocusGenotype& g, int bit) {
  const int low = std::min(g.allele1, g.allele2);
  const int high = std::max(g.allele1, g.allele2);
  return bit == 0 ? std::make_pair(low, high) : std::make_pair(high, low);
}

// For codes 1 and 2 the equations hold exactly when every informative parent
// passes one of its haplotypes whole, for every phase assignment under which
// the child's alleles come from the right parents.
TEST(TwoLocusConstraints, MatchesTransmissionWithoutRecombinationForCodesOneAndTwo) {
  const std::vector<LocusGenotype> genotypes = {genotype(1, 1), genotype(1, 2), genotype(2, 1),
                                                genotype(2, 2)};
  int checkedAssignments = 0;
  for (const auto& fp : genotypes)
    for (const auto& fq : genotypes)
      for (const auto& mp : genotypes)
        for (const auto& mq : genotypes)
          for (const auto& cp : genotypes)
            for (const auto& cq : genotypes) {
              RuleResult r = rule(fp, fq, mp, mq, cp, cq);
              const LocusGenotype* all[6] = {&fp, &fq, &mp, &mq, &cp, &cq};
              bool anyConsistent = false;
              for (int bits = 0; bits < 64; ++bits) {
                int bit[6];
                std::pair<int, int> a[6];
                for (int v = 0; v < 6; ++v) {
                  bit[v] = (bits >> v) & 1;
                  a[v] = phased(*all[v], bit[v]);
                }
                // Child at locus l (4 + l) takes its paternal allele from the
                // father (0 + l) and maternal from the mother (2 + l).
                auto has = [](std::pair<int, int> g, int code) {
                  return g.first == code || g.second == code;
                };
                bool consistent = true;
                for (int l = 0; l < 2; ++l) {
                  consistent = consistent && has(a[l], a[4 + l].first) && has(a[2 + l], a[4 + l].second);
                }
                if (!consistent) continue;
                anyConsistent = true;
                auto informative = [&](int base) {
                  return a[base].first != a[base].second && a[base + 1].first != a[base + 1].second;
                };
                auto whole = [&](int base, bool paternalSide) {
                  int source[2];
                  for (int l = 0; l < 2; ++l) {
                    const int code = paternalSide ? a[4 + l].first : a[4 + l].second;
                    source[l] = a[base + l].first == code ? 0 : 1;
                  }
                  return source[0] == source[1];
                };
                const bool expected =
                    (!informative(0) || whole(0, true)) && (!informative(2) || whole(2, false));
                auto holds = [&](const std::vector<int>& vars, int parity) {
                  int sum = parity;
                  for (int v : vars) sum ^= bit[v];
                  return sum == 0;
                };
                bool satisfied = true;
                if (r.count >= 1) satisfied = satisfied && holds(r.first, r.firstParity);
                if (r.count == 2) satisfied = satisfied && holds(r.second, r.secondParity);
                ASSERT_NE(r.count, kTwoLocusContradiction);
                EXPECT_EQ(satisfied, expected);
                ++checkedAssignments;
              }
              if (r.count == kTwoLocusContradiction) {
                EXPECT_FALSE(anyConsistent);
              }
            }
  EXPECT_GT(checkedAssignments, 1000);
}

}  // namespace
