// The block-extension solver as a whole: the order of its steps, and the
// small helpers its steps share.
#include <algorithm>

#include "pedigree/random_source.h"
#include "phasing/block_extension.h"

namespace block_extension {

double uniformDraw() { return random_source::next() / static_cast<double>(random_source::kMax); }

bool coin() { return random_source::next() >= kCoinThreshold; }

bool hasRecombination(const Member& member) {
  return member.sourcePattern(kPaternal) == 2 || member.sourcePattern(kMaternal) == 2;
}

void queueMember(Pedigree& family, int memberId) {
  (hasRecombination(family.member(memberId)) ? family.recombinedQueue : family.settledQueue).push(memberId);
}

void orderSideTo(LocusGenotype& g, int side, int allele) {
  if (g.alleleOnSide(side) != allele) std::swap(g.allele1, g.allele2);
  g.resolved = true;
}

void refreshSourcesFromParents(Pedigree& family, Member& member, std::size_t k) {
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

namespace {

void inferSide(Member& child, const Member& parent, int side, std::size_t first, std::size_t last) {
  const std::size_t end = std::min({last, child.genotypes.size(), parent.genotypes.size()});
  for (std::size_t k = first; k < end; ++k) {
    LocusGenotype& g = child.genotypes[k];
    int& source = g.sourceOnSide(side);
    if (!g.resolved || source >= 0) continue;
    const LocusGenotype& p = parent.genotypes[k];
    if (p.resolved && !p.isTypedHomozygote()) source = g.alleleOnSide(side) == p.allele1 ? 0 : 1;
  }
}

}  // namespace

void inferSourcesOf(Pedigree& family, Member& member, std::size_t first, std::size_t last) {
  if (member.isFounder()) return;
  if (member.fatherId > 0) inferSide(member, family.member(member.fatherId), kPaternal, first, last);
  if (member.motherId > 0) inferSide(member, family.member(member.motherId), kMaternal, first, last);
}

}  // namespace block_extension

bool Pedigree::solveByBlockExtension() {
  // A family whose genotypes no parent pair can explain is left as read.
  if (!checkMendelConsistency()) return false;
  fillMissingAlleles();
  resolveForcedPhases();
  extendNuclearFamilies();
  extendBlocks();
  countRecombinants();
  return true;
}
