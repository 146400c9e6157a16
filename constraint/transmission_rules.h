// The two genetic rules from which the constraint-finding method builds its
// equations: the phase a trio forces on a child at one locus, and the parity
// equations one child gives between two loci of its parents.
#pragma once

#include <vector>

#include "pedigree/family.h"

// Results of childPhaseFromParents.
inline constexpr int kChildPhaseImpossible = -2;  // the parents cannot give the child's genotype
inline constexpr int kChildPhaseOpen = -1;        // both orders are possible

// Result of twoLocusConstraints for a child homozygous where the
// non-informative parent is homozygous for another code.
inline constexpr int kTwoLocusContradiction = -1;

// Phase a child's genotype must take given its parents' genotypes at one
// locus: 0 when the smaller code c1 is the paternal allele, 1 when the larger
// code c2 is, kChildPhaseOpen when either order fits and
// kChildPhaseImpossible when neither does. Requires c1 <= c2. Code 0 (a
// missing allele) is compared like any other code.
int childPhaseFromParents(int f1, int f2, int m1, int m2, int c1, int c2);

// The parity equations a child gives between loci p < q of its parents: a
// parent heterozygous at both loci passes one haplotype without
// recombination exactly when the sum modulo 2 of its two phase variables,
// the child's phase variables at its heterozygous loci among p and q, and
// the parity is 0. Genotypes are passed as stored (unsorted); indices are the
// members' seqIndex, locusCount the number of loci. The variables of the
// first and second equation are appended to firstVars and secondVars (which
// the caller hands over empty) and their parities set. Returns the number of
// equations (0, 1 or 2) or kTwoLocusContradiction. The order of the
// variables inside an equation is the one the rule defines.
int twoLocusConstraints(const LocusGenotype& fatherP, const LocusGenotype& fatherQ,
                        const LocusGenotype& motherP, const LocusGenotype& motherQ,
                        const LocusGenotype& childP, const LocusGenotype& childQ, int fatherIndex,
                        int motherIndex, int childIndex, int locusCount, int p, int q,
                        std::vector<int>& firstVars, std::vector<int>& secondVars, int& firstParity,
                        int& secondParity);
