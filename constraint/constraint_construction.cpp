// Construction of the equations: fixed phases of founders and of children
// whose parents force the order, and parity equations between consecutive
// heterozygous loci of each parent, couple by couple.
#include <algorithm>
#include <set>

#include "constraint/constraint_solver.h"
#include "constraint/transmission_rules.h"

namespace {

bool fromParent(int allele, int parentAllele1, int parentAllele2) {
  return allele == parentAllele1 || allele == parentAllele2;
}

}  // namespace

int childPhaseFromParents(int f1, int f2, int m1, int m2, int c1, int c2) {
  // Way (a): c1 from the father, c2 from the mother; way (b): the reverse.
  const bool wayA = fromParent(c1, f1, f2) && fromParent(c2, m1, m2);
  const bool wayB = fromParent(c2, f1, f2) && fromParent(c1, m1, m2);
  if (!wayA && !wayB) return kChildPhaseImpossible;
  if (c1 == c2) return 0;
  if (wayA && !wayB) return 0;
  if (wayB && !wayA) return 1;
  return kChildPhaseOpen;
}

void ConstraintSolver::appendConstraint(std::vector<int>& vars, int parity) {
  // Kept ascending, so that the pivot (the last variable) is the largest:
  // then equal equations are recognised as duplicates, the elimination
  // always ends, and back substitution in ascending pivot order only reads
  // values already computed.
  std::sort(vars.begin(), vars.end());
  constraints.push_back(vars);
  parities.push_back(parity);
}

bool ConstraintSolver::walkParentLoci(const Member& walked, const Member& father, const Member& mother,
                                      const std::vector<int>& coupleChildren) {
  const int loci = locusCount_;
  int p = 0;
  while (p < loci && !walked.genotypes[static_cast<std::size_t>(p)].isTypedHeterozygote()) ++p;
  if (p >= loci) return true;
  for (int q = p + 1; q < loci; ++q) {
    const auto uq = static_cast<std::size_t>(q);
    if (!walked.genotypes[uq].isTypedHeterozygote()) continue;
    const auto up = static_cast<std::size_t>(p);
    for (int childId : coupleChildren) {
      const Member& child = family_.member(childId);
      firstVars_.clear();
      secondVars_.clear();
      int firstParity = 0;
      int secondParity = 0;
      const int count = twoLocusConstraints(father.genotypes[up], father.genotypes[uq], mother.genotypes[up],
                                            mother.genotypes[uq], child.genotypes[up], child.genotypes[uq],
                                            father.seqIndex, mother.seqIndex, child.seqIndex, loci, p, q,
                                            firstVars_, secondVars_, firstParity, secondParity);
      if (count == kTwoLocusContradiction) return false;
      if (count >= 1) appendConstraint(firstVars_, firstParity);
      if (count == 2) appendConstraint(secondVars_, secondParity);
    }
    p = q;
  }
  return true;
}

bool ConstraintSolver::handleCouple(const Member& father, const Member& mother,
                                    const std::vector<int>& coupleChildren) {
  // Trio phases: the order a child's alleles must take given its parents.
  for (int childId : coupleChildren) {
    const Member& child = family_.member(childId);
    for (int l = 0; l < locusCount_; ++l) {
      const auto ul = static_cast<std::size_t>(l);
      const LocusGenotype& f = father.genotypes[ul];
      const LocusGenotype& m = mother.genotypes[ul];
      const LocusGenotype& c = child.genotypes[ul];
      const int r = childPhaseFromParents(f.allele1, f.allele2, m.allele1, m.allele2,
                                          std::min(c.allele1, c.allele2), std::max(c.allele1, c.allele2));
      if (r == kChildPhaseImpossible) return false;
      const int variable = phaseVar(child.seqIndex, l);
      if (r == 0) {
        fixedZero.push_back(variable);
        fixedValue_[static_cast<std::size_t>(variable)] = 0;
      } else if (r == 1) {
        fixedOne.push_back(variable);
        fixedValue_[static_cast<std::size_t>(variable)] = 1;
      }
    }
  }
  // Parity equations: the father's heterozygous loci, then the mother's.
  if (!walkParentLoci(father, father, mother, coupleChildren)) return false;
  return walkParentLoci(mother, father, mother, coupleChildren);
}

bool ConstraintSolver::buildConstraints() {
  std::set<int> processedParents;
  std::set<int> handledChildren;
  std::vector<int> coupleChildren;
  for (int i = 0; i < family_.memberCount && i < static_cast<int>(family_.memberOrder.size()); ++i) {
    const int memberId = family_.memberOrder[static_cast<std::size_t>(i)];
    auto found = family_.members.find(memberId);
    if (found == family_.members.end()) continue;  // a member preparation could not place
    const Member& m = found->second;
    if (processedParents.count(memberId) != 0) continue;

    if (m.isFounder()) {
      // A founder's two haplotypes may be exchanged freely, so its first
      // locus that is not a typed homozygote fixes the orientation; typed
      // homozygous loci look the same either way.
      bool firstLocus = true;
      for (int l = 0; l < locusCount_; ++l) {
        const bool homozygous = m.genotypes[static_cast<std::size_t>(l)].isTypedHomozygote();
        if (homozygous || firstLocus) {
          if (!homozygous) firstLocus = false;
          const int variable = phaseVar(m.seqIndex, l);
          fixedZero.push_back(variable);
          fixedValue_[static_cast<std::size_t>(variable)] = 0;
        }
      }
    }

    handledChildren.clear();
    for (std::size_t ci = 0; ci < m.childIds.size(); ++ci) {
      const int childId = m.childIds[ci];
      if (handledChildren.count(childId) != 0) continue;
      const Member& child = family_.member(childId);
      const bool isFather = m.memberId == child.fatherId;
      const int spouseId = isFather ? child.motherId : child.fatherId;
      // The couple was handled with the spouse.
      if (processedParents.count(spouseId) != 0) continue;
      coupleChildren.assign(1, childId);
      handledChildren.insert(childId);
      for (std::size_t k = ci + 1; k < m.childIds.size(); ++k) {
        const int otherId = m.childIds[k];
        const Member& other = family_.member(otherId);
        if ((isFather ? other.motherId : other.fatherId) == spouseId) {
          coupleChildren.push_back(otherId);
          handledChildren.insert(otherId);
        }
      }
      const Member& father = isFather ? m : family_.member(child.fatherId);
      const Member& mother = isFather ? family_.member(child.motherId) : m;
      if (!handleCouple(father, mother, coupleChildren)) return false;
    }
    processedParents.insert(memberId);
  }
  return true;
}
