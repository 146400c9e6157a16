// Extension of phases within sibships: a child's known sources are carried
// along its loci; where the parent is not phased, the child's siblings vote,
// by whether they share the child's allele, between keeping the parent's
// haplotype and switching to the other, and the winner phases the child or the
// parent. A second pass fills undetermined sources lying between two agreeing
// ones. The step ends by choosing the first seed and block of block extension.
#include <array>
#include <set>
#include <vector>

#include "block_extension/block_extension_solver.h"

namespace {

// The determined sources of one member, per side.
struct SourceSummary {
  std::array<int, 2> count{0, 0};
  std::array<int, 2> lastIndex{-1, -1};
  std::array<int, 2> lastValue{-1, -1};
  std::array<bool, 2> changes{false, false};

  bool anyChange() const { return changes[0] || changes[1]; }
  // The side worked on first: maternal unless the paternal side has more
  // determined sources.
  int firstSide() const { return count[kPaternal] <= count[kMaternal] ? kMaternal : kPaternal; }
};

SourceSummary summarize(const Member& m) {
  SourceSummary summary;
  for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const int source = m.genotypes[k].sourceOnSide(side);
      if (source == kSourceUnknown) continue;
      if (summary.lastValue[side] != kSourceUnknown && summary.lastValue[side] != source) {
        summary.changes[side] = true;
      }
      ++summary.count[side];
      summary.lastIndex[side] = static_cast<int>(k);
      summary.lastValue[side] = source;
    }
  }
  return summary;
}

int firstDetermined(const Member& m, int side) {
  for (const LocusGenotype& g : m.genotypes) {
    if (g.sourceOnSide(side) != kSourceUnknown) return g.sourceOnSide(side);
  }
  return kSourceUnknown;
}

int lastDetermined(const Member& m, int side) {
  for (auto it = m.genotypes.rbegin(); it != m.genotypes.rend(); ++it) {
    if (it->sourceOnSide(side) != kSourceUnknown) return it->sourceOnSide(side);
  }
  return kSourceUnknown;
}

// The sibling's vote at locus k, given its source t on the side: a sibling
// sharing the child's allele is expected to share its source. `votes` counts
// (keep the running source, switch to the other).
void siblingVote(const Member& child, const Member& sibling, int k, int t, int running, int side,
                 std::pair<int, int>& votes) {
  const auto locus = static_cast<std::size_t>(k);
  const int x = child.genotypes[locus].alleleOnSide(side);
  const int y = sibling.genotypes[locus].alleleOnSide(side);
  if ((x == y && running != t) || (x != y && running == t)) ++votes.first;
  if ((x == y && 1 - running != t) || (x != y && 1 - running == t)) ++votes.second;
}

// The child is not phased at locus k but its parent on the side is: the vote
// phases the child, or (a tie) ends the running source.
void decideChildLocus(Family& family, Member& c, int k, int& running, int side,
                      const std::pair<int, int>& votes) {
  const auto locus = static_cast<std::size_t>(k);
  LocusGenotype& g = c.genotypes[locus];
  const LocusGenotype& parent = family.member(c.parentOnSide(side)).genotypes[locus];
  const auto [keep, change] = votes;
  if (keep != change) {
    if (keep > change) running = 1 - running;
    g.sourceOnSide(side) = running;
    block_extension::orderSideTo(g, side, parent.alleleNumber(running));
  } else {
    running = kSourceUnknown;
  }
  const int other = 1 - side;
  const LocusGenotype& otherParent = family.member(c.parentOnSide(other)).genotypes[locus];
  if (otherParent.resolved) g.sourceOnSide(other) = g.alleleOnSide(other) == otherParent.allele1 ? 0 : 1;
}

// The child is phased at locus k but its parent on the side is not: the vote
// phases the parent, or (a tie) ends the running source.
void decideParentLocus(Family& family, Member& c, int k, int& running, int side,
                       const std::pair<int, int>& votes) {
  const auto locus = static_cast<std::size_t>(k);
  LocusGenotype& g = c.genotypes[locus];
  Member& parent = family.member(c.parentOnSide(side));
  LocusGenotype& p = parent.genotypes[locus];
  const auto [keep, change] = votes;
  if (keep == change) {
    running = kSourceUnknown;
    return;
  }
  if (keep > change) running = 1 - running;
  g.sourceOnSide(side) = running;
  if (p.alleleNumber(running) != g.alleleOnSide(side)) std::swap(p.allele1, p.allele2);
  p.resolved = true;
  block_extension::refreshSourcesFromParents(family, parent, locus);
}

// The working values of the vote pass over one maternal sibship.
class SibshipVoting {
 public:
  SibshipVoting(Family& family, std::vector<int> sibship)
      : family_(family),
        sibship_(std::move(sibship)),
        siblingSource_(sibship_.size()),
        siblingChanges_(sibship_.size(), false) {}

  void run() {
    for (std::size_t i = 0; i < sibship_.size(); ++i) {
      const Member& s = family_.member(sibship_[i]);
      siblingSource_[i] = {lastDetermined(s, kPaternal), lastDetermined(s, kMaternal)};
      siblingChanges_[i] = s.hasRecombination();
    }
    for (int childId : sibship_) extendChild(childId);
  }

 private:
  void extendChild(int childId) {
    Member& c = family_.member(childId);
    SourceSummary summary = summarize(c);
    if (summary.anyChange() || (summary.count[kPaternal] == 0 && summary.count[kMaternal] == 0)) return;
    const int first = summary.firstSide();
    extendSide(c, first, summary);
    refreshChangeFlag(childId);
    summary = summarize(c);
    if (summary.anyChange()) return;
    const int second = 1 - first;
    if (summary.count[second] == 0) return;
    extendSide(c, second, summary);
    refreshChangeFlag(childId);
  }

  void extendSide(Member& c, int side, const SourceSummary& summary) {
    const int last = summary.lastIndex[side];
    const int loci = static_cast<int>(c.genotypes.size());
    int running = summary.lastValue[side];
    for (int k = last + 1; k < loci; ++k) {
      if (!applyLocusRule(c, side, k, running)) break;
    }
    for (std::size_t i = 0; i < sibship_.size(); ++i) {
      const Member& s = family_.member(sibship_[i]);
      siblingSource_[i] = {firstDetermined(s, kPaternal), firstDetermined(s, kMaternal)};
    }
    running = c.genotypes[static_cast<std::size_t>(last)].sourceOnSide(side);
    for (int k = last - 1; k >= 0; --k) {
      const int source = c.genotypes[static_cast<std::size_t>(k)].sourceOnSide(side);
      if (source != kSourceUnknown) {
        running = source;
      } else if (!applyLocusRule(c, side, k, running)) {
        break;
      }
    }
  }

  // False when the walk stops (neither the child nor its parent is phased).
  bool applyLocusRule(Member& c, int side, int k, int& running) {
    const auto locus = static_cast<std::size_t>(k);
    LocusGenotype& g = c.genotypes[locus];
    const int parentId = c.parentOnSide(side);
    const LocusGenotype& parent = family_.member(parentId).genotypes[locus];
    if (g.resolved && parent.resolved) {
      g.sourceOnSide(side) = running;
    } else if (g.resolved) {
      if (g.isTypedHomozygote()) {
        running = kSourceUnknown;
      } else {
        decideParentLocus(family_, c, k, running, side, collectVotes(c, side, k, running));
        refreshChangeFlag(parentId);
      }
    } else if (!parent.resolved) {
      return false;
    } else {
      decideChildLocus(family_, c, k, running, side, collectVotes(c, side, k, running));
    }
    return true;
  }

  std::pair<int, int> collectVotes(const Member& c, int side, int k, int running) {
    std::pair<int, int> votes{0, 0};
    if (running == kSourceUnknown) return votes;
    for (std::size_t i = 0; i < sibship_.size(); ++i) {
      const int siblingId = sibship_[i];
      if (siblingId == c.memberId || siblingSource_[i][side] == kSourceUnknown) continue;
      // Only a sibling that shares the parent of this side can tell about it,
      // and a sibling whose own sources change cannot.
      const Member& sibling = family_.member(siblingId);
      if (sibling.parentOnSide(side) != c.parentOnSide(side) || siblingChanges_[i]) continue;
      siblingVote(c, sibling, k, siblingSource_[i][side], running, side, votes);
    }
    return votes;
  }

  // Only the walked child and its parent change during the walks, so their
  // flags are refreshed when they change and the others' stay as computed.
  // (A parent can itself belong to the sibship: a child of its own mother's
  // son.)
  void refreshChangeFlag(int memberId) {
    for (std::size_t i = 0; i < sibship_.size(); ++i) {
      if (sibship_[i] == memberId) siblingChanges_[i] = family_.member(memberId).hasRecombination();
    }
  }

  Family& family_;
  std::vector<int> sibship_;
  std::vector<std::array<int, 2>> siblingSource_;
  std::vector<bool> siblingChanges_;
};

// Pass 2 on one side of one child: an undetermined source whose nearest
// determined neighbours on both sides agree takes their value.
void fillSideBetweenAgreeingSources(Family& family, Member& c, int side, int last) {
  if (last < 1) return;
  const auto lastLocus = static_cast<std::size_t>(last);
  // The nearest determined source before each locus; the walk goes downwards
  // and changes only loci above the current one, so these stay valid.
  std::vector<int> previous(lastLocus + 1, kSourceUnknown);
  int seen = kSourceUnknown;
  for (std::size_t k = 0; k <= lastLocus; ++k) {
    previous[k] = seen;
    if (c.genotypes[k].sourceOnSide(side) != kSourceUnknown) seen = c.genotypes[k].sourceOnSide(side);
  }
  Member& parent = family.member(c.parentOnSide(side));
  int next = c.genotypes[lastLocus].sourceOnSide(side);
  for (std::size_t k = lastLocus; k-- > 0;) {
    LocusGenotype& g = c.genotypes[k];
    if (g.sourceOnSide(side) != kSourceUnknown) {
      next = g.sourceOnSide(side);
      continue;
    }
    if (previous[k] != next || next == kSourceUnknown) continue;
    const int agreed = next;
    LocusGenotype& p = parent.genotypes[k];
    if (!g.resolved) {
      if (p.resolved) block_extension::orderSideTo(g, side, p.alleleNumber(agreed));
      continue;
    }
    g.sourceOnSide(side) = agreed;
    next = agreed;
    if (p.alleleNumber(agreed) != g.alleleOnSide(side)) std::swap(p.allele1, p.allele2);
    p.resolved = true;
    block_extension::refreshSourcesFromParents(family, parent, k);
  }
}

}  // namespace

void BlockExtensionSolver::extendSibshipByVotes(int memberId) {
  SibshipVoting(family_, family_.member(family_.member(memberId).motherId).childIds).run();
}

void BlockExtensionSolver::fillSibshipSources(int memberId) {
  const std::vector<int> sibship = family_.member(family_.member(memberId).fatherId).childIds;
  for (int childId : sibship) {
    Member& c = family_.member(childId);
    SourceSummary summary = summarize(c);
    if (summary.count[kPaternal] == 0 && summary.count[kMaternal] == 0) continue;
    const int first = summary.firstSide();
    fillSideBetweenAgreeingSources(family_, c, first, summary.lastIndex[first]);
    summary = summarize(c);
    const int second = 1 - first;
    if (summary.count[second] != 0)
      fillSideBetweenAgreeingSources(family_, c, second, summary.lastIndex[second]);
  }
}

void BlockExtensionSolver::extendNuclearFamilies() {
  // Each pass handles every sibship once, from the bottom of the pedigree up:
  // the votes through each member's mother, the fill through its father.
  const auto everySibship = [this](bool votes) {
    std::set<int> handled;
    while (handled.size() < family_.members.size()) {
      const int id = block_extension::nextBottomUpMember(family_, handled);
      if (id == 0) break;
      const Member& m = family_.member(id);
      if (m.isFounder()) {
        handled.insert(id);
        continue;
      }
      if (votes) {
        extendSibshipByVotes(id);
      } else {
        fillSibshipSources(id);
      }
      const Member& parent = family_.member(votes ? m.motherId : m.fatherId);
      handled.insert(parent.childIds.begin(), parent.childIds.end());
    }
  };
  everySibship(true);
  everySibship(false);

  reachedIds_.clear();
  settledQueue_ = {};
  seed_ = {};
  // The first seed: the last member in id order, among those without a
  // recombination, with the longest run of phased loci.
  for (auto& [id, m] : family_.members) {
    int bestLength = 0;
    int bestStart = 0;
    if (!m.isFounder()) {
      int runStart = 0;
      int runLength = 0;
      const int loci = static_cast<int>(m.genotypes.size());
      for (int k = 0; k <= loci; ++k) {
        if (k < loci && m.genotypes[static_cast<std::size_t>(k)].resolved) {
          if (runLength == 0) runStart = k;
          ++runLength;
          continue;
        }
        if (runLength > bestLength) {
          bestLength = runLength;
          bestStart = runStart;
        }
        runLength = 0;
      }
      if (bestLength == loci) reachedIds_.insert(id);
    }
    if (m.hasRecombination()) {
      recombinedQueue_.push(id);
    } else if (bestLength >= seed_.length) {
      seed_ = {id, bestStart, bestLength};
    }
  }
  for (auto it = family_.members.rbegin(); it != family_.members.rend(); ++it) {
    const Member& m = it->second;
    if (m.isFounder()) continue;
    bool complete = true;
    for (const LocusGenotype& g : m.genotypes) {
      if (!g.resolved) {
        complete = false;
        break;
      }
    }
    if (complete) queueMember(it->first);
  }
}
