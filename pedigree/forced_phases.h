// The phases a family's genotypes force before any search: typed
// homozygotes, children whose parents' genotypes order their alleles, and one
// free locus per founder (a founder's haplotypes may be exchanged freely).
#pragma once

#include <vector>

#include "pedigree/family.h"

struct ResolvedCount {
  int memberId = 0;
  int resolvedLoci = 0;  // loci of the member phased after the step
};

// Resolves the forced phases and the sources they reveal, member by member
// in ascending id (a child is handled after or before its parents as the ids
// fall); returns each member's count of resolved loci in that order.
std::vector<ResolvedCount> resolveForcedPhases(Family& family);
