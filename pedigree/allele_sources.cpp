// Allele sources and the recombinant count shared by the block-extension,
// constraint-finding and locus-based methods, and the small source queries
// the phasing steps use.
#include "pedigree/allele_sources.h"

#include <algorithm>

namespace {

// Sources of a phased child's side that its parent's phased, informative
// locus determines: 0 when the child's allele is the parent's allele1.
void inferSide(Member& child, const Member& parent, int side, std::size_t first, std::size_t last) {
  const std::size_t end = std::min({last, child.genotypes.size(), parent.genotypes.size()});
  for (std::size_t k = first; k < end; ++k) {
    LocusGenotype& g = child.genotypes[k];
    int& source = g.sourceOnSide(side);
    if (!g.resolved || source >= 0) continue;
    const LocusGenotype& p = parent.genotypes[k];
    if (p.resolved && !p.isTypedHomozygote()) source = g.alleleOnSide(side) == p.allele1 ? 0 : 1;
  }
}

}  // namespace

int sourceMismatches(int previous, int s, int next) {
  return (previous != -1 && previous != s ? 1 : 0) + (next != -1 && next != s ? 1 : 0);
}

void inferSourcesOf(Family& family, Member& member, std::size_t first, std::size_t last) {
  if (member.isFounder()) return;
  if (member.fatherId > 0) inferSide(member, family.member(member.fatherId), kPaternal, first, last);
  if (member.motherId > 0) inferSide(member, family.member(member.motherId), kMaternal, first, last);
}

void Family::inferAlleleSources() {
  for (auto& [id, member] : members) inferSourcesOf(*this, member, 0, member.genotypes.size());
}

void Family::countRecombinants() {
  recombinantCount = 0;
  inferAlleleSources();
  for (auto& [id, member] : members) {
    if (member.isFounder()) continue;
    std::vector<LocusGenotype>& loci = member.genotypes;
    for (int side = kPaternal; side <= kMaternal; ++side) {
      int current = -1;
      for (std::size_t k = 0; k < loci.size(); ++k) {
        int& source = loci[k].sourceOnSide(side);
        if (current == -1) {
          if (source == -1) continue;
          // The leading undetermined run takes the first determined source.
          current = source;
          for (std::size_t j = 0; j < k; ++j) {
            if (loci[j].sourceOnSide(side) == -1 && loci[j].resolved) loci[j].sourceOnSide(side) = current;
          }
        } else if (source == -1) {
          if (loci[k].resolved) source = current;
        } else if (source >= 0 && source != current) {
          ++recombinantCount;
          current = source;
        }
      }
    }
  }
}

int Member::sourcePattern(int side) const {
  bool seenZero = false;
  bool seenOne = false;
  for (const LocusGenotype& g : genotypes) {
    int source = g.sourceOnSide(side);
    if (source == 0) seenZero = true;
    if (source == 1) seenOne = true;
    if (seenZero && seenOne) return 2;
  }
  if (seenZero) return 0;
  if (seenOne) return 1;
  return -1;
}

std::pair<int, int> Member::neighbourSources(int side, int k) const {
  int previous = -1;
  int next = -1;
  for (int j = k - 1; j >= 0; --j) {
    int source = genotypes[static_cast<std::size_t>(j)].sourceOnSide(side);
    if (source != -1) {
      previous = source;
      break;
    }
  }
  for (int j = k + 1; j < static_cast<int>(genotypes.size()); ++j) {
    int source = genotypes[static_cast<std::size_t>(j)].sourceOnSide(side);
    if (source != -1) {
      next = source;
      break;
    }
  }
  return {previous, next};
}

int Member::classifyNeighbourSources(int side, int k) const {
  auto [p, n] = neighbourSources(side, k);
  if (p == 0 && n == 0) return 0;
  if (p == 1 && n == 1) return 1;
  if (p == -1 && n == 0) return 4;
  if (p == -1 && n == 1) return 5;
  if (p == 0 && n == -1) return 6;
  if (p == 0 && n == 1) return 7;
  if (p == 1 && n == -1) return 3;
  if (p == 1 && n == 0) return 2;
  return -1;
}
