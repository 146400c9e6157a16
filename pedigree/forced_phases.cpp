// Phases every locus that needs no search: typed homozygotes, children whose
// parents' genotypes order their alleles, and one free locus per founder;
// records the sources this reveals.
#include "pedigree/forced_phases.h"

namespace {

// A founder's two haplotypes may be exchanged freely, so one of its
// non-homozygous loci keeps its stored order: the first one after its first
// typed homozygote, or locus 0 when there is none.
int resolveFounder(Member& founder) {
  int count = 0;
  bool seenHomozygote = false;
  bool freePhaseOpen = true;
  for (LocusGenotype& g : founder.genotypes) {
    if (g.isTypedHomozygote()) {
      g.resolved = true;
      ++count;
      seenHomozygote = true;
    } else if (freePhaseOpen && seenHomozygote) {
      g.resolved = true;
      ++count;
      freePhaseOpen = false;
    }
  }
  if (freePhaseOpen && !founder.genotypes.empty() && !founder.genotypes[0].isTypedHomozygote()) {
    founder.genotypes[0].resolved = true;
    ++count;
  }
  return count;
}

// Orders a child's locus when one of its alleles can come from one parent
// only; false when both alleles could come from either parent.
bool orderByParents(LocusGenotype& g, const LocusGenotype& father, const LocusGenotype& mother) {
  bool swap = false;
  if (!father.carries(g.allele1)) {
    swap = true;
  } else if (!mother.carries(g.allele1)) {
    swap = false;
  } else if (!mother.carries(g.allele2)) {
    swap = true;
  } else if (!father.carries(g.allele2)) {
    swap = false;
  } else {
    return false;
  }
  if (swap) std::swap(g.allele1, g.allele2);
  g.resolved = true;
  return true;
}

// Running source of one side of a child while its loci are walked.
struct SideRun {
  int last = -1;
  bool first = true;
};

void recordSource(Member& child, const Member& parent, std::size_t k, int side, SideRun& run) {
  const LocusGenotype& p = parent.genotypes[k];
  LocusGenotype& g = child.genotypes[k];
  if (!p.resolved) {
    run.last = -1;
    return;
  }
  if (p.isTypedHomozygote()) {
    // The current run continues through an uninformative parent locus.
    if (run.last >= 0) g.sourceOnSide(side) = run.last;
    return;
  }
  const int allele = g.alleleOnSide(side);
  if (allele == p.allele1 && allele != p.allele2) {
    g.sourceOnSide(side) = run.last = 0;
  } else if (allele == p.allele2 && allele != p.allele1) {
    g.sourceOnSide(side) = run.last = 1;
  }
  if (!run.first) return;
  run.first = false;
  for (std::size_t j = k; j-- > 0;) {
    if (!child.genotypes[j].resolved || !parent.genotypes[j].resolved) break;
    child.genotypes[j].sourceOnSide(side) = run.last;
  }
}

int resolveNonFounder(Member& child, const Member& father, const Member& mother) {
  int count = 0;
  SideRun paternal;
  SideRun maternal;
  for (std::size_t k = 0; k < child.genotypes.size(); ++k) {
    LocusGenotype& g = child.genotypes[k];
    if (g.isTypedHomozygote() || g.resolved) {
      g.resolved = true;
      ++count;
    } else if (orderByParents(g, father.genotypes[k], mother.genotypes[k])) {
      ++count;
    }
    if (!g.resolved) {
      paternal.last = -1;
      maternal.last = -1;
      continue;
    }
    recordSource(child, father, k, kPaternal, paternal);
    recordSource(child, mother, k, kMaternal, maternal);
  }
  return count;
}

}  // namespace

std::vector<ResolvedCount> resolveForcedPhases(Family& family) {
  std::vector<ResolvedCount> counts;
  counts.reserve(family.members.size());
  for (auto& [id, member] : family.members) {
    const int count = member.isFounder() ? resolveFounder(member)
                                         : resolveNonFounder(member, family.member(member.fatherId),
                                                             family.member(member.motherId));
    counts.push_back({id, count});
  }
  return counts;
}
