// Recombinations of one trio under given phase states: the plain definition
// over haplotype pairs, and the packed form the node programme uses.
#include <algorithm>
#include <bit>

#include "locus_dp/locus_dp_solver.h"
#include "locus_dp/packed_haplotypes.h"

namespace {

struct HaplotypePair {
  int paternal = 0;
  int maternal = 0;
};

// An open locus takes the next bit of the state: 0 puts the smaller allele on
// the paternal haplotype, 1 the larger.
HaplotypePair phasedAlleles(const LocusGenotype& locus, bool bit) {
  if (locus.resolved) return {locus.allele1, locus.allele2};
  int smaller = std::min(locus.allele1, locus.allele2);
  int larger = std::max(locus.allele1, locus.allele2);
  return bit ? HaplotypePair{larger, smaller} : HaplotypePair{smaller, larger};
}

std::vector<HaplotypePair> haplotypesUnder(const Member& member, int state) {
  std::vector<HaplotypePair> pairs;
  pairs.reserve(member.genotypes.size());
  for (const LocusGenotype& locus : member.genotypes) {
    bool bit = false;
    if (!locus.resolved) {
      bit = (state & 1) != 0;
      state >>= 1;
    }
    pairs.push_back(phasedAlleles(locus, bit));
  }
  return pairs;
}

int countSide(const std::vector<HaplotypePair>& parent, const std::vector<HaplotypePair>& child, int side,
              std::size_t loci) {
  int count = 0;
  int previous = kSourceUnknown;
  for (std::size_t k = 0; k < loci; ++k) {
    int allele = side == kPaternal ? child[k].paternal : child[k].maternal;
    int source;
    if (allele != parent[k].paternal) {
      source = 1;
    } else if (allele != parent[k].maternal) {
      source = 0;
    } else {
      continue;  // homozygous parent carrying the child's allele: no information
    }
    if (previous != kSourceUnknown && previous != source) ++count;
    previous = source;
  }
  return count;
}

}  // namespace

int trioRecombinations(const Family& family, int firstParentId, int firstParentState, int secondParentId,
                       int secondParentState, int childId, int childState) {
  const Member& first = family.member(firstParentId);
  const Member& second = family.member(secondParentId);
  bool firstIsFather = first.sex == 1;
  const Member& father = firstIsFather ? first : second;
  const Member& mother = firstIsFather ? second : first;
  int fatherState = firstIsFather ? firstParentState : secondParentState;
  int motherState = firstIsFather ? secondParentState : firstParentState;
  const Member& child = family.member(childId);

  std::vector<HaplotypePair> fatherPairs = haplotypesUnder(father, fatherState);
  std::vector<HaplotypePair> motherPairs = haplotypesUnder(mother, motherState);
  std::vector<HaplotypePair> childPairs = haplotypesUnder(child, childState);
  // The father's locus count governs; a shorter member (which validation
  // keeps out) must not be read past its end.
  std::size_t loci = std::min({fatherPairs.size(), motherPairs.size(), childPairs.size()});
  return countSide(fatherPairs, childPairs, kPaternal, loci) +
         countSide(motherPairs, childPairs, kMaternal, loci);
}

PackedStates packStates(const Member& member, int openLocusCount, int words) {
  PackedStates packed;
  packed.words = words;
  std::vector<int> openLoci;
  for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
    if (!member.genotypes[k].resolved) openLoci.push_back(static_cast<int>(k));
  }
  openLoci.resize(std::min<std::size_t>(openLoci.size(), static_cast<std::size_t>(openLocusCount)));
  std::size_t stateCount = std::size_t{1} << openLocusCount;
  packed.masks.assign(stateCount * words, 0);
  for (std::size_t state = 0; state < stateCount; ++state) {
    std::uint64_t* mask = packed.masks.data() + state * words;
    for (std::size_t i = 0; i < openLoci.size(); ++i) {
      if ((state >> i) & 1) mask[openLoci[i] / 64] |= std::uint64_t{1} << (openLoci[i] % 64);
    }
  }
  return packed;
}

SideLink makeSideLink(const Member& parent, const Member& child, int side, int locusCount) {
  SideLink link;
  link.words.assign(wordsForLoci(locusCount), SideLink::Word{});
  int loci = std::min(
      {locusCount, static_cast<int>(parent.genotypes.size()), static_cast<int>(child.genotypes.size())});
  for (int k = 0; k < loci; ++k) {
    SideLink::Word& word = link.words[k / 64];
    std::uint64_t bit = std::uint64_t{1} << (k % 64);
    for (int parentBit = 0; parentBit < 2; ++parentBit) {
      HaplotypePair parentPair = phasedAlleles(parent.genotypes[k], parentBit != 0);
      for (int childBit = 0; childBit < 2; ++childBit) {
        HaplotypePair childPair = phasedAlleles(child.genotypes[k], childBit != 0);
        int allele = side == kPaternal ? childPair.paternal : childPair.maternal;
        bool differsFromFirst = allele != parentPair.paternal;
        bool informative = differsFromFirst || allele != parentPair.maternal;
        int combination = parentBit * 2 + childBit;
        if (differsFromFirst) word.differsFromFirst[combination] |= bit;
        if (informative) word.informative[combination] |= bit;
      }
    }
  }
  return link;
}

int sideRecombinations(const SideLink& link, const std::uint64_t* parentMask,
                       const std::uint64_t* childMask) {
  int count = 0;
  // Source of the last informative locus of the words already done.
  std::uint64_t carryKnown = 0;
  std::uint64_t carrySource = 0;
  for (std::size_t w = 0; w < link.words.size(); ++w) {
    const SideLink::Word& word = link.words[w];
    std::uint64_t p = parentMask[w];
    std::uint64_t c = childMask[w];
    std::uint64_t select[4] = {~p & ~c, ~p & c, p & ~c, p & c};
    std::uint64_t source = 0;
    std::uint64_t informative = 0;
    for (int i = 0; i < 4; ++i) {
      source |= word.differsFromFirst[i] & select[i];
      informative |= word.informative[i] & select[i];
    }
    // Carry each informative source forward over the uninformative loci
    // after it, doubling the reach at every step.
    std::uint64_t filled = source;
    std::uint64_t known = informative;
    for (int shift = 1; shift < 64; shift <<= 1) {
      filled |= (filled << shift) & ~known;
      known |= known << shift;
    }
    if (carryKnown != 0) {
      filled |= ~known & (carrySource != 0 ? ~std::uint64_t{0} : 0);
      known = ~std::uint64_t{0};
    }
    std::uint64_t previousSource = (filled << 1) | carrySource;
    std::uint64_t previousKnown = (known << 1) | carryKnown;
    count += std::popcount((filled ^ previousSource) & informative & previousKnown);
    carryKnown = known >> 63;
    carrySource = filled >> 63;
  }
  return count;
}
