// The node programme: for every phase state of a node's member, the least
// number of recombinations in the node's subtree and the first combination of
// tree-children states that reaches it.
//
// A trio's count is the father's side count plus the mother's side count, and
// each depends on one parent and the child only. The programme therefore works
// on per-side cost rows (one parent state against every state of a child),
// computed from packed haplotypes, instead of recounting whole trios.
#include <algorithm>
#include <climits>
#include <map>
#include <utility>

#include "locus_dp/locus_dp_solver.h"
#include "locus_dp/packed_haplotypes.h"

namespace {

// Side-cost tables kept in memory for one node evaluation, in entries;
// larger links have their rows computed when needed.
constexpr std::size_t kCachedEntryBudget = std::size_t{1} << 24;

// Side counts of one parent-child link, read either as a row (one parent
// state against every child state) or as a column (one child state against
// every parent state). One of the two layouts is kept in memory when it fits
// the budget; the other is computed on demand.
class SideCosts {
 public:
  enum class Layout { rows, columns };

  SideCosts(const Member& parent, const PackedStates& parentStates, int parentCount, const Member& child,
            const PackedStates& childStates, int childCount, int side, int locusCount, Layout layout,
            std::size_t& budget)
      : link_(makeSideLink(parent, child, side, locusCount)),
        parentStates_(parentStates),
        childStates_(childStates),
        parentCount_(parentCount),
        childCount_(childCount),
        layout_(layout),
        rowScratch_(childCount),
        columnScratch_(parentCount) {
    std::size_t entries = static_cast<std::size_t>(parentCount) * childCount;
    if (entries > budget) return;
    budget -= entries;
    table_.resize(entries);
    if (layout == Layout::rows) {
      for (int p = 0; p < parentCount; ++p)
        computeRow(p, table_.data() + static_cast<std::size_t>(p) * childCount);
    } else {
      for (int t = 0; t < childCount; ++t)
        computeColumn(t, table_.data() + static_cast<std::size_t>(t) * parentCount);
    }
  }

  // The costs of parent state `p` against every child state; valid until the
  // next call of row.
  const int* row(int p) {
    if (!table_.empty() && layout_ == Layout::rows)
      return table_.data() + static_cast<std::size_t>(p) * childCount_;
    computeRow(p, rowScratch_.data());
    return rowScratch_.data();
  }

  // The costs of every parent state against child state `t`; valid until
  // the next call of column.
  const int* column(int t) {
    if (!table_.empty() && layout_ == Layout::columns)
      return table_.data() + static_cast<std::size_t>(t) * parentCount_;
    computeColumn(t, columnScratch_.data());
    return columnScratch_.data();
  }

 private:
  void computeRow(int p, int* out) const {
    const std::uint64_t* parentMask = parentStates_.of(p);
    for (int t = 0; t < childCount_; ++t) out[t] = sideRecombinations(link_, parentMask, childStates_.of(t));
  }
  void computeColumn(int t, int* out) const {
    const std::uint64_t* childMask = childStates_.of(t);
    for (int p = 0; p < parentCount_; ++p) out[p] = sideRecombinations(link_, parentStates_.of(p), childMask);
  }

  SideLink link_;
  const PackedStates& parentStates_;
  const PackedStates& childStates_;
  int parentCount_;
  int childCount_;
  Layout layout_;
  std::vector<int> table_;
  std::vector<int> rowScratch_;
  std::vector<int> columnScratch_;
};

// Least of weights[t] + row[t], starting from the sentinel as the tie lists
// do: a value equal to the sentinel still counts as reached.
int leastSum(const int* weights, const int* row, int count) {
  int least = INT_MAX;
  for (int t = 0; t < count; ++t) least = std::min(least, weights[t] + row[t]);
  return least;
}

int firstReaching(const int* weights, const int* row, int count, int value) {
  for (int t = 0; t < count; ++t) {
    if (weights[t] + row[t] == value) return t;
  }
  return -1;
}

struct Evaluation {
  Evaluation(LocusDpNode& evaluated, const Family& pedigree, int loci, LocusDpInnerLoop inner)
      : node(evaluated), family(pedigree), locusCount(loci), words(wordsForLoci(loci)), innerLoop(inner) {}

  LocusDpNode& node;
  const Family& family;
  int locusCount;
  int words;
  LocusDpInnerLoop innerLoop;
  std::size_t budget = kCachedEntryBudget;
  std::map<const LocusDpNode*, PackedStates> packed;

  const PackedStates& statesOf(const LocusDpNode& n) {
    auto found = packed.find(&n);
    if (found != packed.end()) return found->second;
    return packed.emplace(&n, packStates(family.member(n.memberId), n.openLocusCount, words)).first->second;
  }
  SideCosts sideCosts(const LocusDpNode& parent, const LocusDpNode& child, int side,
                      SideCosts::Layout layout = SideCosts::Layout::rows) {
    return SideCosts(family.member(parent.memberId), statesOf(parent), parent.stateCount(),
                     family.member(child.memberId), statesOf(child), child.stateCount(), side, locusCount,
                     layout, budget);
  }
};

// Per-state result of one side of the node: the least cost and the first
// combination of that side's tree-children states reaching it.
struct SideResult {
  std::vector<int> cost;
  std::vector<char> found;
  std::vector<int> combination;  // stateCount * width
  int width = 0;
};

SideResult evaluateParentsSide(Evaluation& e) {
  LocusDpNode& node = e.node;
  const LocusDpNode& father = *node.parentSide[0];
  const LocusDpNode& mother = *node.parentSide[1];
  std::vector<const LocusDpNode*> siblings(node.parentSide.begin() + 2, node.parentSide.end());
  // The roles inside a trio follow the sex of the parent named first.
  bool firstIsFather = e.family.member(father.memberId).sex == 1;
  int fatherSide = firstIsFather ? kPaternal : kMaternal;
  int motherSide = firstIsFather ? kMaternal : kPaternal;
  int nF = father.stateCount();
  int nM = mother.stateCount();
  int nN = node.stateCount();

  // Innermost loops over the mother's states when they outnumber the states
  // of the siblings and the node, else over those.
  bool overMother = e.innerLoop == LocusDpInnerLoop::overParentStates;
  if (e.innerLoop == LocusDpInnerLoop::automatic) {
    std::size_t childStates = static_cast<std::size_t>(nN);
    for (const LocusDpNode* sibling : siblings) childStates += sibling->stateCount();
    overMother = static_cast<std::size_t>(nM) * (siblings.size() + 1) > childStates;
  }
  SideCosts::Layout motherLayout = overMother ? SideCosts::Layout::columns : SideCosts::Layout::rows;

  // The mother's costs are read once per father state, so they get the
  // cache first.
  std::vector<SideCosts> fromFather, fromMother;
  for (const LocusDpNode* sibling : siblings)
    fromMother.push_back(e.sideCosts(mother, *sibling, motherSide, motherLayout));
  SideCosts motherToNode = e.sideCosts(mother, node, motherSide, motherLayout);
  for (const LocusDpNode* sibling : siblings) fromFather.push_back(e.sideCosts(father, *sibling, fatherSide));
  SideCosts fatherToNode = e.sideCosts(father, node, fatherSide);

  std::vector<int> best(nN, kCostSentinel);
  std::vector<int> chosenFather(nN, -1), chosenMother(nN, -1);
  std::vector<std::vector<int>> siblingWeights(siblings.size());

  auto fillSiblingWeights = [&](int f) {
    for (std::size_t j = 0; j < siblings.size(); ++j) {
      const int* row = fromFather[j].row(f);
      int count = siblings[j]->stateCount();
      siblingWeights[j].resize(count);
      for (int t = 0; t < count; ++t) siblingWeights[j][t] = siblings[j]->states[t].cost + row[t];
    }
  };

  std::vector<int> fatherCosts(nN);
  // Over the mother's states: the pair costs of one father state against
  // every mother state, then for each state of the node the least pair. The
  // first pair reaching the least value (with a combination) is the one the
  // pair-by-pair scan would keep.
  std::vector<int> pairCosts(overMother ? nM : 0), leastOver(overMother ? nM : 0);
  std::vector<char> pairHas(overMother ? nM : 0);
  for (int f = 0; f < nF && overMother; ++f) {
    fillSiblingWeights(f);
    const int* fatherRow = fatherToNode.row(f);
    std::copy(fatherRow, fatherRow + nN, fatherCosts.begin());
    for (int m = 0; m < nM; ++m) {
      pairCosts[m] = father.states[f].cost + mother.states[m].cost;
      pairHas[m] = 1;
    }
    for (std::size_t j = 0; j < siblings.size(); ++j) {
      std::fill(leastOver.begin(), leastOver.end(), INT_MAX);
      for (int t = 0; t < siblings[j]->stateCount(); ++t) {
        int weight = siblingWeights[j][t];
        const int* column = fromMother[j].column(t);
        for (int m = 0; m < nM; ++m) leastOver[m] = std::min(leastOver[m], weight + column[m]);
      }
      for (int m = 0; m < nM; ++m) {
        pairHas[m] &= static_cast<char>(leastOver[m] <= kCostSentinel);
        pairCosts[m] += std::min(leastOver[m], kCostSentinel);
      }
    }
    for (int x = 0; x < nN; ++x) {
      const int* column = motherToNode.column(x);
      int v = INT_MAX;
      for (int m = 0; m < nM; ++m) v = std::min(v, column[m] + pairCosts[m]);
      v += fatherCosts[x];
      bool smaller = v < best[x];
      if (!smaller && !(v == best[x] && chosenFather[x] < 0)) continue;
      int first = -1;
      for (int m = 0; m < nM && first < 0; ++m) {
        if (pairHas[m] && fatherCosts[x] + column[m] + pairCosts[m] == v) first = m;
      }
      if (smaller) best[x] = v;
      if (smaller || first >= 0) {
        chosenFather[x] = first >= 0 ? f : -1;
        chosenMother[x] = first;
      }
    }
  }

  // Over the states of the siblings and the node, pair by pair. Every term
  // of a state's value is non-negative, so a pair whose cost (even in part)
  // exceeds the largest best value so far can neither win nor tie for any
  // state, and is dropped.
  int largestBest = kCostSentinel;
  for (int f = 0; f < nF && !overMother; ++f) {
    fillSiblingWeights(f);
    const int* fatherRow = fatherToNode.row(f);
    std::copy(fatherRow, fatherRow + nN, fatherCosts.begin());
    for (int m = 0; m < nM; ++m) {
      // The pair's cost before the node itself is placed.
      int pairCost = father.states[f].cost + mother.states[m].cost;
      bool pairHasCombination = true;
      for (std::size_t j = 0; j < siblings.size() && pairCost <= largestBest; ++j) {
        int least = leastSum(siblingWeights[j].data(), fromMother[j].row(m), siblings[j]->stateCount());
        if (least > kCostSentinel) pairHasCombination = false;
        pairCost += std::min(least, kCostSentinel);
      }
      if (pairCost > largestBest) continue;
      const int* motherRow = motherToNode.row(m);
      bool lowered = false;
      for (int x = 0; x < nN; ++x) {
        int v = fatherCosts[x] + motherRow[x] + pairCost;
        if (v < best[x]) {
          best[x] = v;
          chosenFather[x] = pairHasCombination ? f : -1;
          chosenMother[x] = m;
          lowered = true;
        } else if (v == best[x] && chosenFather[x] < 0 && pairHasCombination) {
          chosenFather[x] = f;
          chosenMother[x] = m;
        }
      }
      if (lowered) largestBest = *std::max_element(best.begin(), best.end());
    }
  }

  SideResult result;
  result.width = static_cast<int>(node.parentSide.size());
  result.cost = best;
  result.found.assign(nN, 0);
  result.combination.assign(static_cast<std::size_t>(nN) * result.width, -1);
  // The first tie of every sibling for a chosen pair; pairs recur across
  // states, so each is worked out once.
  std::map<std::pair<int, int>, std::vector<int>> siblingChoices;
  for (int x = 0; x < nN; ++x) {
    if (chosenFather[x] < 0) continue;
    std::pair<int, int> pair{chosenFather[x], chosenMother[x]};
    auto known = siblingChoices.find(pair);
    if (known == siblingChoices.end()) {
      fillSiblingWeights(pair.first);
      std::vector<int> choice;
      for (std::size_t j = 0; j < siblings.size(); ++j) {
        const int* row = fromMother[j].row(pair.second);
        int count = siblings[j]->stateCount();
        int least = std::min(leastSum(siblingWeights[j].data(), row, count), kCostSentinel);
        choice.push_back(firstReaching(siblingWeights[j].data(), row, count, least));
      }
      known = siblingChoices.emplace(pair, std::move(choice)).first;
    }
    int* out = result.combination.data() + static_cast<std::size_t>(x) * result.width;
    out[0] = pair.first;
    out[1] = pair.second;
    std::copy(known->second.begin(), known->second.end(), out + 2);
    result.found[x] = 1;
  }
  return result;
}

SideResult evaluateOffspringSide(Evaluation& e) {
  LocusDpNode& node = e.node;
  const LocusDpNode& mate = *node.offspringSide[0];
  std::vector<const LocusDpNode*> children(node.offspringSide.begin() + 1, node.offspringSide.end());
  // The node's member is named first in these trios: it is the father when
  // its sex is 1, otherwise the mate is.
  bool nodeIsFather = e.family.member(node.memberId).sex == 1;
  int nodeSide = nodeIsFather ? kPaternal : kMaternal;
  int mateSide = nodeIsFather ? kMaternal : kPaternal;
  int nN = node.stateCount();
  int nP = mate.stateCount();

  // Innermost loops over the mate's states when they outnumber the states
  // of the children, else over those.
  bool overMate = e.innerLoop == LocusDpInnerLoop::overParentStates;
  if (e.innerLoop == LocusDpInnerLoop::automatic) {
    std::size_t childStates = 0;
    for (const LocusDpNode* child : children) childStates += child->stateCount();
    overMate = static_cast<std::size_t>(nP) * children.size() > childStates;
  }
  SideCosts::Layout mateLayout = overMate ? SideCosts::Layout::columns : SideCosts::Layout::rows;

  // The mate's costs are read once per state of the node, so they get the
  // cache first.
  std::vector<SideCosts> fromNode, fromMate;
  for (const LocusDpNode* child : children)
    fromMate.push_back(e.sideCosts(mate, *child, mateSide, mateLayout));
  for (const LocusDpNode* child : children) fromNode.push_back(e.sideCosts(node, *child, nodeSide));

  SideResult result;
  result.width = static_cast<int>(node.offspringSide.size());
  result.cost.assign(nN, kCostSentinel);
  result.found.assign(nN, 0);
  result.combination.assign(static_cast<std::size_t>(nN) * result.width, -1);
  std::vector<std::vector<int>> childWeights(children.size());
  std::vector<int> mateTotals(overMate ? nP : 0), leastOver(overMate ? nP : 0);
  std::vector<char> mateHas(overMate ? nP : 0);

  for (int x = 0; x < nN; ++x) {
    for (std::size_t j = 0; j < children.size(); ++j) {
      const int* row = fromNode[j].row(x);
      int count = children[j]->stateCount();
      childWeights[j].resize(count);
      for (int t = 0; t < count; ++t) childWeights[j][t] = children[j]->states[t].cost + row[t];
    }
    int best = kCostSentinel;
    int chosenMate = -1;
    if (overMate) {
      // The totals of every mate state at once; the first mate state
      // reaching the least total (with a combination) is the one the
      // state-by-state scan would keep.
      for (int p = 0; p < nP; ++p) {
        mateTotals[p] = mate.states[p].cost;
        mateHas[p] = 1;
      }
      for (std::size_t j = 0; j < children.size(); ++j) {
        std::fill(leastOver.begin(), leastOver.end(), INT_MAX);
        for (int t = 0; t < children[j]->stateCount(); ++t) {
          int weight = childWeights[j][t];
          const int* column = fromMate[j].column(t);
          for (int p = 0; p < nP; ++p) leastOver[p] = std::min(leastOver[p], weight + column[p]);
        }
        for (int p = 0; p < nP; ++p) {
          mateHas[p] &= static_cast<char>(leastOver[p] <= kCostSentinel);
          mateTotals[p] += std::min(leastOver[p], kCostSentinel);
        }
      }
      best = std::min(kCostSentinel, *std::min_element(mateTotals.begin(), mateTotals.end()));
      for (int p = 0; p < nP && chosenMate < 0; ++p) {
        if (mateHas[p] && mateTotals[p] == best) chosenMate = p;
      }
    }
    for (int p = 0; p < nP && !overMate; ++p) {
      int total = mate.states[p].cost;
      bool mateHasCombination = true;
      for (std::size_t j = 0; j < children.size() && total <= best; ++j) {
        int least = leastSum(childWeights[j].data(), fromMate[j].row(p), children[j]->stateCount());
        if (least > kCostSentinel) mateHasCombination = false;
        total += std::min(least, kCostSentinel);
      }
      // Every term is non-negative, so a partial total above the best can
      // neither win nor tie, and the remaining children need not be scored.
      if (total < best) {
        best = total;
        chosenMate = mateHasCombination ? p : -1;
      } else if (total == best && chosenMate < 0 && mateHasCombination) {
        chosenMate = p;
      }
    }
    result.cost[x] = best;
    if (chosenMate < 0) continue;
    int* out = result.combination.data() + static_cast<std::size_t>(x) * result.width;
    out[0] = chosenMate;
    for (std::size_t j = 0; j < children.size(); ++j) {
      const int* row = fromMate[j].row(chosenMate);
      int count = children[j]->stateCount();
      int least = std::min(leastSum(childWeights[j].data(), row, count), kCostSentinel);
      out[j + 1] = firstReaching(childWeights[j].data(), row, count, least);
    }
    result.found[x] = 1;
  }
  return result;
}

}  // namespace

void evaluateLocusDpNode(LocusDpNode& node, const Family& family, LocusDpInnerLoop innerLoop) {
  int stateCount = node.stateCount();
  node.states.assign(stateCount, NodeState{});
  node.alternatives.assign(static_cast<std::size_t>(stateCount) * node.childCount, -1);
  for (int x = 0; x < stateCount; ++x) node.states[x].stateIndex = x;
  if (node.childCount == 0) return;

  int locusCount = family.locusCount;
  for (const auto& [id, member] : family.members) {
    locusCount = std::max(locusCount, static_cast<int>(member.genotypes.size()));
  }
  Evaluation e(node, family, locusCount, innerLoop);

  bool hasParentsSide = !node.parentSide.empty();
  if (hasParentsSide) {
    SideResult parents = evaluateParentsSide(e);
    for (int x = 0; x < stateCount; ++x) {
      node.states[x].cost = parents.cost[x];
      if (!parents.found[x]) continue;
      node.states[x].hasAlternative = true;
      std::copy_n(parents.combination.begin() + static_cast<std::ptrdiff_t>(x) * parents.width, parents.width,
                  node.alternatives.begin() + static_cast<std::ptrdiff_t>(x) * node.childCount);
    }
  }
  if (node.offspringSide.empty()) return;
  SideResult offspring = evaluateOffspringSide(e);
  int offset = static_cast<int>(node.parentSide.size());
  for (int x = 0; x < stateCount; ++x) {
    node.states[x].cost += offspring.cost[x];
    // A state whose parents' side recorded no combination stays without
    // one: a row must cover both sides for the trace back to read it.
    bool parentsPart = !hasParentsSide || node.states[x].hasAlternative;
    node.states[x].hasAlternative = parentsPart && offspring.found[x];
    if (!node.states[x].hasAlternative) continue;
    std::copy_n(offspring.combination.begin() + static_cast<std::ptrdiff_t>(x) * offspring.width,
                offspring.width,
                node.alternatives.begin() + static_cast<std::ptrdiff_t>(x) * node.childCount + offset);
  }
}
