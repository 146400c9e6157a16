// Phase states as bit masks over the loci, and the recombination count of one
// side of a parent-child pair computed word by word over those masks. This is
// the inner work of the node programme; trioRecombinations is the plain
// locus-by-locus definition it must agree with.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/family.h"

// The phase states of a member: state s puts bit i of s at the locus of the
// member's i-th open locus; resolved loci hold 0. Built once per state.
struct PackedStates {
  int words = 0;
  std::vector<std::uint64_t> masks;  // stateCount * words

  const std::uint64_t* of(int state) const { return masks.data() + static_cast<std::size_t>(state) * words; }
};

PackedStates packStates(const Member& member, int openLocusCount, int words);

// Words needed for `locusCount` loci.
inline int wordsForLoci(int locusCount) { return (locusCount + 63) / 64; }

// One side of a parent-child pair: for each locus and each combination of the
// parent's and the child's phase bit there, whether the child's allele on the
// side differs from the parent's allele1 (source 1) and whether the locus is
// informative (the child's allele differs from at least one parental allele).
struct SideLink {
  struct Word {
    std::uint64_t differsFromFirst[4];  // index parentBit * 2 + childBit
    std::uint64_t informative[4];
  };
  std::vector<Word> words;
};

// `side` is the child's side the parent stands on (kPaternal: the child's
// allele1 is compared, kMaternal: its allele2). Loci beyond either member's
// genotypes are treated as uninformative.
SideLink makeSideLink(const Member& parent, const Member& child, int side, int locusCount);

// Changes of source between consecutive informative loci of the side.
int sideRecombinations(const SideLink& link, const std::uint64_t* parentMask, const std::uint64_t* childMask);
