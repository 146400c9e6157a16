// The block-extension solver as a whole: the order of its steps, and the
// small helpers its steps share.
#include <algorithm>

#include "pedigree/forced_phases.h"
#include "pedigree/random_source.h"
#include "phasing/block_extension.h"

namespace block_extension {

double uniformDraw() { return random_source::next() / static_cast<double>(random_source::kMax); }

bool coin() { return random_source::next() >= kCoinThreshold; }

void queueMember(Family& family, int memberId) {
  (family.member(memberId).hasRecombination() ? family.recombinedQueue : family.settledQueue).push(memberId);
}

void orderSideTo(LocusGenotype& g, int side, int allele) {
  if (g.alleleOnSide(side) != allele) std::swap(g.allele1, g.allele2);
  g.resolved = true;
}

void refreshSourcesFromParents(Family& family, Member& member, std::size_t k) {
  LocusGenotype& g = member.genotypes[k];
  if (member.fatherId > 0) {
    const LocusGenotype& father = family.member(member.fatherId).genotypes[k];
    if (father.resolved && !father.isTypedHomozygote())
      g.paternalSource = g.allele1 == father.allele1 ? 0 : 1;
  }
  if (member.motherId > 0) {
    const LocusGenotype& mother = family.member(member.motherId).genotypes[k];
    if (mother.resolved && !mother.isTypedHomozygote())
      g.maternalSource = g.allele2 == mother.allele1 ? 0 : 1;
  }
}

}  // namespace block_extension

// Members the forced phases completed start the two queues (recombined ones
// apart); the member with the most resolved loci is the first seed, ties
// going to the later member in id order.
void Family::seedFromForcedPhases(const std::vector<ResolvedCount>& counts) {
  for (const ResolvedCount& c : counts) {
    const Member& m = member(c.memberId);
    if (c.resolvedLoci == static_cast<int>(m.genotypes.size())) {
      visitedIds.insert(c.memberId);
      const bool recombined = !m.isFounder() && m.hasRecombination();
      (recombined ? recombinedQueue : settledQueue).push(c.memberId);
    }
    if (c.resolvedLoci >= seedBlockLength) {
      seedMemberId = c.memberId;
      seedBlockLength = c.resolvedLoci;
    }
  }
}

bool Family::solveByBlockExtension() {
  // A family whose genotypes no parent pair can explain is left as read.
  if (!checkMendelConsistency()) return false;
  fillMissingAlleles();
  seedFromForcedPhases(resolveForcedPhases(*this));
  extendNuclearFamilies();
  extendBlocks();
  countRecombinants();
  return true;
}
