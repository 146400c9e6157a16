// The block-extension solver as a whole: the order of its steps, and the
// small helpers its steps share.
#include <algorithm>

#include "block_extension/block_extension.h"
#include "block_extension/block_extension_solver.h"
#include "pedigree/allele_sources.h"
#include "pedigree/random_source.h"

namespace block_extension {

double uniformDraw() { return random_source::next() / static_cast<double>(random_source::kMax); }

bool coin() { return random_source::next() >= kCoinThreshold; }

void orderSideTo(LocusGenotype& g, int side, int allele) {
  if (g.alleleOnSide(side) != allele) std::swap(g.allele1, g.allele2);
  g.resolved = true;
}

void refreshSourcesFromParents(Family& family, Member& member, std::size_t k) {
  LocusGenotype& g = member.genotypes[k];
  for (int side = kPaternal; side <= kMaternal; ++side) {
    const int parentId = member.parentOnSide(side);
    if (parentId <= 0) continue;
    const LocusGenotype& parent = family.member(parentId).genotypes[k];
    if (parent.resolved && !parent.isTypedHomozygote())
      g.sourceOnSide(side) = g.alleleOnSide(side) == parent.allele1 ? 0 : 1;
  }
}

}  // namespace block_extension

BlockExtensionSolver::BlockExtensionSolver(Family& family, const AlleleStats& stats)
    : family_(family), stats_(stats) {}

void BlockExtensionSolver::queueMember(int memberId) {
  (family_.member(memberId).hasRecombination() ? recombinedQueue_ : settledQueue_).push(memberId);
}

// Non-founders the forced phases completed and whose sources already show a
// recombination wait in recombinedQueue_ from the start.
void BlockExtensionSolver::queueRecombinedForcedMembers(const std::vector<ResolvedCount>& counts) {
  for (const ResolvedCount& c : counts) {
    const Member& m = family_.member(c.memberId);
    if (c.resolvedLoci == static_cast<int>(m.genotypes.size()) && !m.isFounder() && m.hasRecombination()) {
      recombinedQueue_.push(c.memberId);
    }
  }
}

bool BlockExtensionSolver::solve(bool recomputeEverything) {
  // A family whose genotypes no parent pair can explain is left as read.
  if (!checkMendelConsistency()) return false;
  fillMissingAlleles();
  queueRecombinedForcedMembers(resolveForcedPhases(family_));
  extendNuclearFamilies();
  extendBlocks(recomputeEverything);
  block_extension::unresolveLociParentsCannotGive(family_);
  family_.countRecombinants();
  return true;
}

bool solveByBlockExtension(Family& family, const AlleleStats& stats) {
  return BlockExtensionSolver(family, stats).solve();
}
