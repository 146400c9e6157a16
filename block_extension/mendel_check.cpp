// The Mendelian check that opens the block-extension pass: every child's
// genotype must be explainable by its two parents at every locus.
#include <algorithm>
#include <set>
#include <string>

#include "block_extension/block_extension_solver.h"
#include "pedigree/diagnostics.h"

namespace {

// A parent with a missing allele can give any allele.
bool canGive(int a, int b, int allele) { return a < 1 || b < 1 || allele == a || allele == b; }

void reportViolation(int parent1, int parent2, int child, std::size_t locus, const LocusGenotype& g1,
                     const LocusGenotype& g2, const LocusGenotype& gc) {
  std::string text = "Mendel Error: parent 1: " + std::to_string(parent1) +
                     "\tparent2:" + std::to_string(parent2) + "\tand child:" + std::to_string(child) + "\n";
  text += "at Locus: " + std::to_string(locus) + " with genotyes: (" + std::to_string(g1.allele1) + "," +
          std::to_string(g1.allele2) + ")\t(" + std::to_string(g2.allele1) + "," +
          std::to_string(g2.allele2) + ")\t(" + std::to_string(gc.allele1) + "," +
          std::to_string(gc.allele2) + ")\n";
  diagnostics::console(text);
}

}  // namespace

bool block_extension::isTrioConsistent(int p1a, int p1b, int p2a, int p2b, int ca, int cb) {
  const bool aMissing = ca < 1;
  const bool bMissing = cb < 1;
  if (aMissing && bMissing) return true;
  if (aMissing || bMissing) {
    const int typed = aMissing ? cb : ca;
    return canGive(p1a, p1b, typed) || canGive(p2a, p2b, typed);
  }
  return (canGive(p1a, p1b, ca) && canGive(p2a, p2b, cb)) || (canGive(p1a, p1b, cb) && canGive(p2a, p2b, ca));
}

bool BlockExtensionSolver::checkMendelConsistency() {
  // A child is reached through both parents but tested once, through the
  // parent that comes first in the processing order.
  std::set<int> testedChildren;
  bool failed = false;
  const auto& members = family_.members;
  for (int id : family_.memberOrder) {
    auto first = members.find(id);
    if (first == members.end()) continue;  // a member that could not be placed
    const Member& parent1 = first->second;
    for (int childId : parent1.childIds) {
      if (!testedChildren.insert(childId).second) continue;
      const Member& child = family_.member(childId);
      const int otherId = child.fatherId == id ? child.motherId : child.fatherId;
      auto second = members.find(otherId);
      if (second == members.end()) continue;
      const Member& parent2 = second->second;
      const std::size_t loci =
          std::min({parent1.genotypes.size(), parent2.genotypes.size(), child.genotypes.size()});
      for (std::size_t k = 0; k < loci; ++k) {
        const LocusGenotype& g1 = parent1.genotypes[k];
        const LocusGenotype& g2 = parent2.genotypes[k];
        const LocusGenotype& gc = child.genotypes[k];
        if (block_extension::isTrioConsistent(g1.allele1, g1.allele2, g2.allele1, g2.allele2, gc.allele1,
                                              gc.allele2))
          continue;
        reportViolation(id, otherId, childId, k, g1, g2, gc);
        failed = true;
      }
    }
  }
  return !failed;
}
