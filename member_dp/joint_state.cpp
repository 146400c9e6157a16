// Writing a joint state into the family and judging it (see joint_state.h).
#include "member_dp/joint_state.h"

#include <algorithm>

namespace member_dp {

int stateBitCount(const Family& family) { return 3 * family.memberCount - 2 * family.founderCount; }

int applyState(Family& family, std::uint32_t s, int l) {
  for (int id : family.memberOrder) {
    if (id < 0) break;  // unplaceable members trail the order
    Member& x = family.member(id);
    LocusGenotype& g = x.genotypes[static_cast<std::size_t>(l)];
    const int phase = static_cast<int>(s & 1u);
    s >>= 1;
    g.resolved = true;
    const int smaller = std::min(g.allele1, g.allele2);
    const int larger = std::max(g.allele1, g.allele2);
    g.allele1 = phase == 0 ? smaller : larger;
    g.allele2 = phase == 0 ? larger : smaller;
    if (x.isFounder()) {
      g.paternalSource = 0;
      g.maternalSource = 0;
    } else {
      g.paternalSource = static_cast<int>(s & 1u);
      s >>= 1;
      g.maternalSource = static_cast<int>(s & 1u);
      s >>= 1;
    }
    if (phase == 1 && smaller == larger) return kCostSentinel;
    // A founder's two haplotypes may be exchanged freely, so its phase is
    // fixed at its first typed heterozygous locus; this removes the mirror
    // configurations.
    if (phase == 1 && x.isFounder() && x.hasNoHeterozygousLocus(l)) return kCostSentinel;
  }
  return 0;
}

int stateCost(Family& family, std::uint32_t s, int l) {
  if (applyState(family, s, l) == kCostSentinel) return kCostSentinel;
  const auto locus = static_cast<std::size_t>(l);
  for (int id : family.memberOrder) {
    if (id < 0) break;
    const Member& parent = family.member(id);
    const int side = parent.isMale() ? kPaternal : kMaternal;
    const LocusGenotype& pg = parent.genotypes[locus];
    for (int childId : parent.childIds) {
      const LocusGenotype& cg = family.member(childId).genotypes[locus];
      if (cg.alleleOnSide(side) != pg.alleleNumber(cg.sourceOnSide(side))) return kCostSentinel;
    }
  }
  return 0;
}

int transitionCost(Family& family, int l, std::uint32_t t, std::uint32_t s) {
  applyState(family, t, l - 1);
  applyState(family, s, l);
  int count = 0;
  for (int id : family.memberOrder) {
    if (id < 0) break;
    const Member& x = family.member(id);
    if (x.isFounder()) continue;
    const LocusGenotype& before = x.genotypes[static_cast<std::size_t>(l - 1)];
    const LocusGenotype& now = x.genotypes[static_cast<std::size_t>(l)];
    count += (before.paternalSource != now.paternalSource) + (before.maternalSource != now.maternalSource);
  }
  return count;
}

void computeStateMask(Family& family) {
  family.stateMask = 0;
  unsigned position = 0;
  for (int id : family.memberOrder) {
    if (id < 0) break;
    family.stateMask |= 1u << (position % 32u);
    position += family.member(id).isFounder() ? 1u : 3u;
  }
}

}  // namespace member_dp
