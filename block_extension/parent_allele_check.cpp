// The last check of the block extension: a resolved child locus must have
// taken its paternal allele from its father's locus and its maternal allele
// from its mother's. Where missing alleles were filled in, the extension can
// order a child against what a parent now holds; such a locus is left
// unresolved instead of being written with a phase its parents cannot give.
#include <cstddef>
#include <vector>

#include "block_extension/block_extension_solver.h"

namespace block_extension {

namespace {

// A missing (0) allele of the parent could have been any allele.
bool parentCanGive(const LocusGenotype& parent, int allele) {
  return parent.allele1 == 0 || parent.allele2 == 0 || parent.carries(allele);
}

}  // namespace

void unresolveLociParentsCannotGive(Family& family) {
  for (auto& [id, member] : family.members) {
    if (member.isFounder()) continue;
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
      LocusGenotype& g = member.genotypes[k];
      if (!g.resolved) continue;
      bool fits = true;
      for (int side = kPaternal; side <= kMaternal && fits; ++side) {
        const int parentId = member.parentOnSide(side);
        if (parentId <= 0) continue;
        const std::vector<LocusGenotype>& parent = family.member(parentId).genotypes;
        fits = k >= parent.size() || parentCanGive(parent[k], g.alleleOnSide(side));
      }
      if (fits) continue;
      g.resolved = false;
      g.paternalSource = kSourceUnknown;
      g.maternalSource = kSourceUnknown;
    }
  }
}

}  // namespace block_extension
