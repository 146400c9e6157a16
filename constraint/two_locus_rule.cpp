// The two-locus transmission rule: which parity equations one child gives
// between two loci of its parents when nobody recombines between them.
#include "constraint/transmission_rules.h"

namespace {

bool isHeterozygous(const LocusGenotype& g) { return g.allele1 != g.allele2; }

// Code a is at least / at most each of the parent's two codes at the locus.
bool atLeastBoth(int a, const LocusGenotype& parent) { return a >= parent.allele1 && a >= parent.allele2; }
bool atMostBoth(int a, const LocusGenotype& parent) { return a <= parent.allele1 && a <= parent.allele2; }

int phaseVar(int index, int locusCount, int locus) { return index * locusCount + locus; }

// Appends the child's variables at its heterozygous loci among p and q.
void appendChildVars(const LocusGenotype& childP, const LocusGenotype& childQ, int childIndex, int locusCount,
                     int p, int q, std::vector<int>& vars) {
  if (isHeterozygous(childP)) vars.push_back(phaseVar(childIndex, locusCount, p));
  if (isHeterozygous(childQ)) vars.push_back(phaseVar(childIndex, locusCount, q));
}

// Parity of the father's own equation: the child's allele from the father
// (its smaller code with phase 0) is the father's larger code at a locus
// where the child is homozygous for a code at least both of his.
int fatherParity(const LocusGenotype& fatherP, const LocusGenotype& fatherQ, const LocusGenotype& childP,
                 const LocusGenotype& childQ) {
  const bool hetP = isHeterozygous(childP);
  const bool hetQ = isHeterozygous(childQ);
  if (hetP && hetQ) return 0;
  if (hetP) return atLeastBoth(childQ.allele1, fatherQ) ? 1 : 0;
  if (hetQ) return atLeastBoth(childP.allele1, fatherP) ? 1 : 0;
  const int ap = childP.allele1;
  const int aq = childQ.allele1;
  const bool crossed = (atLeastBoth(ap, fatherP) && atMostBoth(aq, fatherQ)) ||
                       (atMostBoth(ap, fatherP) && atLeastBoth(aq, fatherQ));
  return crossed ? 1 : 0;
}

}  // namespace

int twoLocusConstraints(const LocusGenotype& fatherP, const LocusGenotype& fatherQ,
                        const LocusGenotype& motherP, const LocusGenotype& motherQ,
                        const LocusGenotype& childP, const LocusGenotype& childQ, int fatherIndex,
                        int motherIndex, int childIndex, int locusCount, int p, int q,
                        std::vector<int>& firstVars, std::vector<int>& secondVars, int& firstParity,
                        int& secondParity) {
  firstParity = 0;
  secondParity = 0;
  const bool fatherInformative = isHeterozygous(fatherP) && isHeterozygous(fatherQ);
  const bool motherInformative = isHeterozygous(motherP) && isHeterozygous(motherQ);
  if (!fatherInformative && !motherInformative) return 0;

  const bool childHetP = isHeterozygous(childP);
  const bool childHetQ = isHeterozygous(childQ);
  if (fatherInformative && motherInformative) {
    // The sum of both parents' equations: the child's variables cancel, and
    // the parity counts the loci where the child is homozygous.
    const int firstIndex = fatherIndex < motherIndex ? fatherIndex : motherIndex;
    const int secondIndex = fatherIndex < motherIndex ? motherIndex : fatherIndex;
    firstVars.push_back(phaseVar(firstIndex, locusCount, p));
    firstVars.push_back(phaseVar(firstIndex, locusCount, q));
    firstVars.push_back(phaseVar(secondIndex, locusCount, p));
    firstVars.push_back(phaseVar(secondIndex, locusCount, q));
    firstParity = childHetP != childHetQ ? 1 : 0;
    secondVars.push_back(phaseVar(fatherIndex, locusCount, p));
    secondVars.push_back(phaseVar(fatherIndex, locusCount, q));
    appendChildVars(childP, childQ, childIndex, locusCount, p, q, secondVars);
    secondParity = fatherParity(fatherP, fatherQ, childP, childQ);
    return 2;
  }

  const bool fatherIsInformative = fatherInformative;
  const LocusGenotype& informativeP = fatherIsInformative ? fatherP : motherP;
  const LocusGenotype& informativeQ = fatherIsInformative ? fatherQ : motherQ;
  const LocusGenotype& otherP = fatherIsInformative ? motherP : fatherP;
  const LocusGenotype& otherQ = fatherIsInformative ? motherQ : fatherQ;
  const int informativeIndex = fatherIsInformative ? fatherIndex : motherIndex;

  // A homozygous child must carry the homozygous other parent's code.
  if (!isHeterozygous(otherP) && !childHetP && childP.allele1 != otherP.allele1)
    return kTwoLocusContradiction;
  if (!isHeterozygous(otherQ) && !childHetQ && childQ.allele1 != otherQ.allele1)
    return kTwoLocusContradiction;

  firstVars.push_back(phaseVar(informativeIndex, locusCount, p));
  firstVars.push_back(phaseVar(informativeIndex, locusCount, q));
  appendChildVars(childP, childQ, childIndex, locusCount, p, q, firstVars);

  // The comparison is made against the other parent where it is
  // heterozygous, otherwise against the informative parent itself.
  const LocusGenotype& referenceP = isHeterozygous(otherP) ? otherP : informativeP;
  const LocusGenotype& referenceQ = isHeterozygous(otherQ) ? otherQ : informativeQ;
  auto beyond = [fatherIsInformative](int a, const LocusGenotype& reference) {
    return fatherIsInformative ? atLeastBoth(a, reference) : atMostBoth(a, reference);
  };
  if (childHetP && childHetQ) {
    firstParity = 0;
  } else if (childHetP) {
    firstParity = beyond(childQ.allele1, referenceQ) ? 1 : 0;
  } else if (childHetQ) {
    firstParity = beyond(childP.allele1, referenceP) ? 1 : 0;
  } else {
    firstParity = childP.allele1 != childQ.allele1 ? 1 : 0;
  }
  return 1;
}
