// Small pieces shared by the steps of the block-extension solver: the trio
// test of the Mendelian check, the random draws, the queue choice and the
// ways a locus is put into a given order.
#pragma once

#include "pedigree/family.h"
#include "pedigree/allele_sources.h"

// True when a child with alleles (ca, cb) can have one allele from each of two
// parents (p1a, p1b) and (p2a, p2b). A missing allele (below 1) in a parent
// lets that parent give any allele; a missing child allele asks nothing. The
// test does not care which parent is the father.
bool isTrioConsistent(int p1a, int p1b, int p2a, int p2b, int ca, int cb);

namespace block_extension {

// The largest number of loci over which a parent's phase is inferred in one
// programme.
inline constexpr int kMaxInferenceLoci = 100;
// A coin of the generator: heads (true) when its next integer is at least this.
inline constexpr int kCoinThreshold = 16383;

// Uniform draw in [0, 1]: the generator's next integer over its largest value.
double uniformDraw();
// True for heads: the generator's next integer is at least kCoinThreshold.
bool coin();

inline bool isAscending(const LocusGenotype& g) { return g.allele1 < g.allele2; }

// Appends the member to recombinedQueue when its sources show a
// recombination, to settledQueue otherwise.
void queueMember(Family& family, int memberId);

// Orders the locus so that its allele on `side` is `allele`: swaps the two
// alleles when that side does not already hold it, and marks the locus
// resolved either way.
void orderSideTo(LocusGenotype& g, int side, int allele);

// Recomputes the member's sources at locus k from its parents where the
// parent's locus is resolved and informative (not a typed homozygote).
void refreshSourcesFromParents(Family& family, Member& member, std::size_t k);

}  // namespace block_extension
