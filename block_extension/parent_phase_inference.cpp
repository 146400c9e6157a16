// Parent phase inference over a block: every child phased at two loci tells
// whether it received the same haplotype of the parent at both, and the
// parent's phase along the block is chosen to need the fewest recombinations
// among all its children. A two-state programme over the block's loci, traced
// back from the end; ties are broken by sources already known and, failing
// those, at random.
#include <algorithm>
#include <array>
#include <vector>

#include "block_extension/block_extension_solver.h"
#include "pedigree/diagnostics.h"

namespace {

using block_extension::isAscending;

// State 0: the parent's allele1 (its paternal haplotype) carries the smaller
// allele value at the locus; state 1: the larger.
void setPhaseState(LocusGenotype& g, int state) {
  const bool swap = state == 0 ? g.allele1 >= g.allele2 : g.allele1 < g.allele2;
  if (swap) std::swap(g.allele1, g.allele2);
  g.resolved = true;
}

int stateOf(const LocusGenotype& g) { return isAscending(g) ? 0 : 1; }

bool hasMissingAllele(const LocusGenotype& g) { return g.allele1 < 1 || g.allele2 < 1; }

// Cost and predecessor of one cell; kCostSentinel in both marks a cell no
// phase sequence reaches.
struct Cell {
  int cost = kCostSentinel;
  int predecessor = kCostSentinel;
};

// The cheaper of arriving from state 0 with cost a and from state 1 with
// cost b; equal costs record predecessor 2.
Cell better(int a, int b) {
  if (a < b) return {a, 0};
  if (b < a) return {b, 1};
  return {a, 2};
}

class ParentPhaseInference {
 public:
  ParentPhaseInference(Family& family, const block_extension::SeedBlock& block, int childId, int parentId)
      : family_(family),
        block_(block),
        child_(family.member(childId)),
        parent_(family.member(parentId)),
        side_(child_.motherId == parentId ? kMaternal : kPaternal) {
    for (int id : parent_.childIds) children_.push_back(&family.member(id));
  }

  // False when the block is too long to infer the parent over.
  bool run() {
    const int start = block_.start;
    const int end = start + block_.length;
    const int loci = static_cast<int>(parent_.genotypes.size());
    k0_ = start;
    while (k0_ < loci && parent_.genotypes[static_cast<std::size_t>(k0_)].isTypedHomozygote()) ++k0_;
    n_ = end - k0_;
    if (n_ > block_extension::kMaxInferenceLoci) {
      diagnostics::console("There are too may markers!\n");
      return false;
    }
    if (n_ > 0) {
      fillTable();
      traceBack(chooseFinalState());
    }
    setChildrenSources(start, std::min(end, loci));
    return true;
  }

 private:
  LocusGenotype& parentLocus(int position) {
    return parent_.genotypes[static_cast<std::size_t>(k0_ + position)];
  }

  // Children phased at both loci, split by whether they stay on one rank of
  // the parent's alleles (the smaller or the larger) from one to the other.
  std::pair<int, int> countRankChanges(int fromPosition, int toPosition) {
    const auto from = static_cast<std::size_t>(k0_ + fromPosition);
    const auto to = static_cast<std::size_t>(k0_ + toPosition);
    const LocusGenotype& pFrom = parent_.genotypes[from];
    const LocusGenotype& pTo = parent_.genotypes[to];
    const bool sameOrder = isAscending(pFrom) == isAscending(pTo);
    int same = 0;
    int change = 0;
    for (const Member* c : children_) {
      const LocusGenotype& cFrom = c->genotypes[from];
      const LocusGenotype& cTo = c->genotypes[to];
      if (!cFrom.resolved || !cTo.resolved) continue;
      const int x = cFrom.alleleOnSide(side_);
      const int y = cTo.alleleOnSide(side_);
      const bool storedHaplotype =
          (x == pFrom.allele1 && y == pTo.allele1) || (x == pFrom.allele2 && y == pTo.allele2);
      const bool oneRank = storedHaplotype ? sameOrder : !sameOrder;
      ++(oneRank ? same : change);
    }
    return {same, change};
  }

  void fillTable() {
    const LocusGenotype& first = parentLocus(0);
    table_[0][0] = {first.resolved && !isAscending(first) ? kCostSentinel : 0, kCostSentinel};
    table_[1][0] = {first.resolved && isAscending(first) ? kCostSentinel : 0, kCostSentinel};
    int lastInformative = 0;
    for (int i = 1; i < n_; ++i) {
      const LocusGenotype& p = parentLocus(i);
      const auto [same, change] = countRankChanges(lastInformative, i);
      const int c0 = table_[0][static_cast<std::size_t>(i - 1)].cost;
      const int c1 = table_[1][static_cast<std::size_t>(i - 1)].cost;
      Cell& s0 = table_[0][static_cast<std::size_t>(i)];
      Cell& s1 = table_[1][static_cast<std::size_t>(i)];
      if (p.resolved && p.isTypedHomozygote()) {
        s0 = {c0, 0};
        s1 = {c1, 1};
      } else if (p.resolved && isAscending(p)) {
        s0 = better(c0 + change, c1 + same);
        s1 = Cell{};
      } else if (p.resolved) {
        s1 = better(c0 + same, c1 + change);
        s0 = Cell{};
      } else {
        s0 = better(c0 + change, c1 + same);
        s1 = better(c0 + same, c1 + change);
      }
      if (!p.isTypedHomozygote()) lastInformative = i;
    }
  }

  // The state at the last unresolved position j, set on the parent's locus
  // there; returns j and the state.
  std::pair<int, int> chooseFinalState() {
    int j = n_ - 1;
    while (j > 0 && parentLocus(j).resolved) --j;
    const int cost0 = table_[0][static_cast<std::size_t>(j)].cost;
    const int cost1 = table_[1][static_cast<std::size_t>(j)].cost;
    const int locus = k0_ + j;
    if (j == n_ - 1 || cost0 != cost1) {
      if (cost0 == cost1) {
        breakTie(j);
        return {j, stateOf(parentLocus(j))};
      }
      const int state = cost0 > cost1 ? 1 : 0;
      setPhaseState(parentLocus(j), state);
      return {j, state};
    }
    // Every later position is resolved: the first informative one tells.
    int t = j + 1;
    while (t < n_ - 1 && parentLocus(t).isTypedHomozygote()) ++t;
    const LocusGenotype& next = parentLocus(t);
    int state = kSourceUnknown;
    if (hasMissingAllele(next)) {
      state = kSourceUnknown;
    } else if (next.isTypedHomozygote()) {
      state = child_.classifyNeighbourSources(side_, locus);
    } else {
      state = table_[isAscending(next) ? 0 : 1][static_cast<std::size_t>(t)].predecessor;
    }
    if (state == 0 || state == 1) {
      setPhaseState(parentLocus(j), state);
      return {j, state};
    }
    phaseFromOwnParents(locus);
    return {j, stateOf(parentLocus(j))};
  }

  // The first determined source on the parent's side near the block's last
  // position: backwards through the block, then before it, then after it.
  int sourceNear(const Member& m, int j) const {
    const int start = block_.start;
    const int loci = static_cast<int>(m.genotypes.size());
    const auto at = [&](int k) { return m.genotypes[static_cast<std::size_t>(k)].sourceOnSide(side_); };
    for (int k = std::min(start + j, loci - 1); k >= start + 1; --k) {
      if (at(k) != kSourceUnknown) return at(k);
    }
    for (int k = std::min(start, loci - 1); k >= 0; --k) {
      if (at(k) != kSourceUnknown) return at(k);
    }
    for (int k = start + j; k < loci; ++k) {
      if (at(k) != kSourceUnknown) return at(k);
    }
    return kSourceUnknown;
  }

  // Equal costs at the last position: a source already known decides which
  // of the parent's alleles the child carries.
  void breakTie(int j) {
    const int locus = k0_ + j;
    int source = sourceNear(child_, j);
    for (std::size_t i = 0; i < children_.size() && source == kSourceUnknown; ++i) {
      source = sourceNear(*children_[i], j);
    }
    const int agreed = child_.classifyNeighbourSources(side_, locus);
    if (agreed == 0 || agreed == 1) source = agreed;
    if (source == kSourceUnknown) {
      phaseFromOwnParents(locus);
      return;
    }
    LocusGenotype& p = parentLocus(j);
    if (p.alleleNumber(source) != child_.genotypes[static_cast<std::size_t>(locus)].alleleOnSide(side_)) {
      std::swap(p.allele1, p.allele2);
    }
    p.resolved = true;
  }

  // The parent's own sources, where both neighbours agree, order its locus;
  // a founder's locus, or one no source decides, is ordered by a coin.
  void phaseFromOwnParents(int locus) {
    LocusGenotype& p = parent_.genotypes[static_cast<std::size_t>(locus)];
    const bool founder = parent_.fatherId <= 0 && parent_.motherId <= 0;
    if (!founder) {
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int grandparentId = parent_.parentOnSide(side);
        if (grandparentId <= 0) continue;
        const int source = parent_.classifyNeighbourSources(side, locus);
        if (source != 0 && source != 1) continue;
        const int allele =
            family_.member(grandparentId).genotypes[static_cast<std::size_t>(locus)].alleleNumber(source);
        block_extension::orderSideTo(p, side, allele);
        return;
      }
    }
    if (block_extension::coin()) std::swap(p.allele1, p.allele2);
    p.resolved = true;
  }

  void traceBack(std::pair<int, int> last) {
    auto [j, state] = last;
    for (int i = j; i >= 1; --i) {
      LocusGenotype& previous = parentLocus(i - 1);
      const int p = table_[static_cast<std::size_t>(state)][static_cast<std::size_t>(i)].predecessor;
      if (previous.resolved) {
        if (p == 2) {
          state = stateOf(previous);
        } else if (p == 0 || p == 1) {
          state = p;
        }
      } else if (p == 0 || p == 1) {
        setPhaseState(previous, p);
        state = p;
      } else if (p == 2) {
        if (block_extension::coin()) std::swap(previous.allele1, previous.allele2);
        previous.resolved = true;
        state = stateOf(previous);
      } else {
        diagnostics::console("M[pama][i][1] == RAND_MAX\n");
      }
      block_extension::refreshSourcesFromParents(family_, parent_, static_cast<std::size_t>(k0_ + i));
    }
  }

  void setChildrenSources(int start, int end) {
    for (Member* c : children_) {
      for (int k = start; k < end; ++k) {
        const auto locus = static_cast<std::size_t>(k);
        LocusGenotype& g = c->genotypes[locus];
        if (!g.resolved || g.sourceOnSide(side_) >= 0) continue;
        const LocusGenotype& p = parent_.genotypes[locus];
        const int a = g.alleleOnSide(side_);
        if (a == p.allele1 && a != p.allele2) g.sourceOnSide(side_) = 0;
        if (a == p.allele2 && a != p.allele1) g.sourceOnSide(side_) = 1;
      }
    }
  }

  Family& family_;
  const block_extension::SeedBlock block_;
  const Member& child_;
  Member& parent_;
  const int side_;
  std::vector<Member*> children_;
  int k0_ = 0;
  int n_ = 0;
  std::array<std::array<Cell, block_extension::kMaxInferenceLoci>, 2> table_{};
};

}  // namespace

bool BlockExtensionSolver::inferParentPhase(const SeedBlock& block, int childId, int parentId) {
  return ParentPhaseInference(family_, block, childId, parentId).run();
}
