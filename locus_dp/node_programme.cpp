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
#include <optional>
#include <utility>

#include "locus_dp/locus_dp_solver.h"
#include "locus_dp/packed_haplotypes.h"
#include "locus_dp/side_costs.h"

namespace {

// Side-cost tables kept in memory for one node evaluation, in entries;
// larger links have their rows computed when needed.
constexpr std::size_t kCachedEntryBudget = std::size_t{1} << 24;

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
  // Whether the innermost loops run over the states of the inner parent
  // (`innerStates`, read once per child link) rather than over the
  // children's states: the automatic choice takes the longer loop.
  bool loopsOverParentStates(std::size_t innerStates, std::size_t links, std::size_t childStates) const {
    if (innerLoop != LocusDpInnerLoop::automatic) return innerLoop == LocusDpInnerLoop::overParentStates;
    return innerStates * links > childStates;
  }
};

// The children of one couple as the node programme scores them. The outer
// loops run over the states of one parent (the father on the node's parents'
// side, the node itself on its offspring side), the inner ones over the
// states of the other parent (the mother, or the mate) or of the children.
// Side counts are taken in the member's own trio roles.
class Sibship {
 public:
  Sibship(std::vector<const LocusDpNode*> members, const LocusDpNode& innerParent)
      : children(std::move(members)), inner_(innerParent), weights_(children.size()) {}

  // The inner parent's costs are read once per outer state, so they are made
  // first and get the cache first.
  void linkInnerParent(Evaluation& e, int side, SideCosts::Layout layout) {
    for (const LocusDpNode* child : children) fromInner_.push_back(e.sideCosts(inner_, *child, side, layout));
  }
  void linkOuterParent(Evaluation& e, const LocusDpNode& outer, int side) {
    for (const LocusDpNode* child : children) fromOuter_.push_back(e.sideCosts(outer, *child, side));
  }

  std::size_t childStateCount() const {
    std::size_t count = 0;
    for (const LocusDpNode* child : children) count += child->stateCount();
    return count;
  }

  // Every child state's subtree cost plus the outer parent's side count
  // under the outer state.
  void weighOuterState(int outerState) {
    for (std::size_t j = 0; j < children.size(); ++j) {
      const int* row = fromOuter_[j].row(outerState);
      int count = children[j]->stateCount();
      weights_[j].resize(count);
      for (int t = 0; t < count; ++t) weights_[j][t] = children[j]->states[t].cost + row[t];
    }
  }

  // Over every inner state at once: adds each child's least weight plus the
  // inner side count to totals[m]; complete[m] is cleared where a child
  // reaches nothing within the sentinel.
  void addLeastOverInnerStates(std::vector<int>& totals, std::vector<char>& complete) {
    leastOver_.resize(totals.size());
    for (std::size_t j = 0; j < children.size(); ++j) {
      std::fill(leastOver_.begin(), leastOver_.end(), INT_MAX);
      for (int t = 0; t < children[j]->stateCount(); ++t) {
        int weight = weights_[j][t];
        const int* column = fromInner_[j].column(t);
        for (std::size_t m = 0; m < totals.size(); ++m)
          leastOver_[m] = std::min(leastOver_[m], weight + column[m]);
      }
      for (std::size_t m = 0; m < totals.size(); ++m) {
        complete[m] &= static_cast<char>(leastOver_[m] <= kCostSentinel);
        totals[m] += std::min(leastOver_[m], kCostSentinel);
      }
    }
  }

  // One inner state: `total` plus each child's least. Every term is
  // non-negative, so once the total exceeds `bound` it can neither win nor
  // tie, and the remaining children are not scored.
  int addLeastForInnerState(int innerState, int total, int bound, bool& complete) {
    complete = true;
    for (std::size_t j = 0; j < children.size() && total <= bound; ++j) {
      int least = leastSum(weights_[j].data(), fromInner_[j].row(innerState), children[j]->stateCount());
      if (least > kCostSentinel) complete = false;
      total += std::min(least, kCostSentinel);
    }
    return total;
  }

  // The first state of every child reaching its least under the weighed
  // outer state and the inner state.
  void firstReachingStates(int innerState, int* out) {
    for (std::size_t j = 0; j < children.size(); ++j) {
      const int* row = fromInner_[j].row(innerState);
      int count = children[j]->stateCount();
      int least = std::min(leastSum(weights_[j].data(), row, count), kCostSentinel);
      out[j] = firstReaching(weights_[j].data(), row, count, least);
    }
  }

  std::vector<const LocusDpNode*> children;

 private:
  const LocusDpNode& inner_;
  std::vector<SideCosts> fromInner_;
  std::vector<SideCosts> fromOuter_;
  std::vector<std::vector<int>> weights_;
  std::vector<int> leastOver_;
};

// Per-state result of one side of the node: the least cost and the first
// combination of that side's tree-children states reaching it.
struct SideResult {
  std::vector<int> cost;
  std::vector<char> found;
  std::vector<int> combination;  // stateCount * width
  int width = 0;

  SideResult(int stateCount, int combinationWidth)
      : cost(stateCount, kCostSentinel),
        found(stateCount, 0),
        combination(static_cast<std::size_t>(stateCount) * combinationWidth, -1),
        width(combinationWidth) {}
  int* combinationOf(int state) { return combination.data() + static_cast<std::size_t>(state) * width; }
};

// The node's parents' side: father, mother and full siblings. For every
// state of the node, the best pair of parent states with its siblings.
class ParentsSide {
 public:
  explicit ParentsSide(Evaluation& e)
      : node_(e.node),
        father_(*node_.parentSide[0]),
        mother_(*node_.parentSide[1]),
        siblings_({node_.parentSide.begin() + 2, node_.parentSide.end()}, mother_),
        nodeStates_(node_.stateCount()),
        motherStates_(mother_.stateCount()),
        best_(nodeStates_, kCostSentinel),
        chosenFather_(nodeStates_, -1),
        chosenMother_(nodeStates_, -1),
        fatherCosts_(nodeStates_) {
    // The roles inside a trio follow the sex of the parent named first.
    bool firstIsFather = e.family.member(father_.memberId).sex == 1;
    int fatherSide = firstIsFather ? kPaternal : kMaternal;
    int motherSide = firstIsFather ? kMaternal : kPaternal;
    // The node is one more child of the couple.
    overMother_ =
        e.loopsOverParentStates(static_cast<std::size_t>(motherStates_), siblings_.children.size() + 1,
                                siblings_.childStateCount() + static_cast<std::size_t>(nodeStates_));
    auto motherLayout = overMother_ ? SideCosts::Layout::columns : SideCosts::Layout::rows;
    siblings_.linkInnerParent(e, motherSide, motherLayout);
    motherToNode_.emplace(e.sideCosts(mother_, node_, motherSide, motherLayout));
    siblings_.linkOuterParent(e, father_, fatherSide);
    fatherToNode_.emplace(e.sideCosts(father_, node_, fatherSide));
  }

  SideResult evaluate() {
    for (int f = 0; f < father_.stateCount(); ++f) {
      siblings_.weighOuterState(f);
      const int* fatherRow = fatherToNode_->row(f);
      std::copy(fatherRow, fatherRow + nodeStates_, fatherCosts_.begin());
      if (overMother_) {
        scanOverMotherStates(f);
      } else {
        scanOverChildStates(f);
      }
    }
    return combinations();
  }

 private:
  // The pair costs of one father state against every mother state, then for
  // each state of the node the least pair. The first pair reaching the least
  // value (with a combination) is the one the pair-by-pair scan would keep.
  void scanOverMotherStates(int f) {
    pairCosts_.resize(motherStates_);
    pairComplete_.assign(motherStates_, 1);
    for (int m = 0; m < motherStates_; ++m) pairCosts_[m] = father_.states[f].cost + mother_.states[m].cost;
    siblings_.addLeastOverInnerStates(pairCosts_, pairComplete_);
    for (int x = 0; x < nodeStates_; ++x) {
      const int* column = motherToNode_->column(x);
      int v = INT_MAX;
      for (int m = 0; m < motherStates_; ++m) v = std::min(v, column[m] + pairCosts_[m]);
      v += fatherCosts_[x];
      bool smaller = v < best_[x];
      if (!smaller && !(v == best_[x] && chosenFather_[x] < 0)) continue;
      int first = -1;
      for (int m = 0; m < motherStates_ && first < 0; ++m) {
        if (pairComplete_[m] && fatherCosts_[x] + column[m] + pairCosts_[m] == v) first = m;
      }
      if (smaller) best_[x] = v;
      if (smaller || first >= 0) {
        chosenFather_[x] = first >= 0 ? f : -1;
        chosenMother_[x] = first;
      }
    }
  }

  // Pair by pair. A pair whose cost (even in part) exceeds the largest best
  // value so far can neither win nor tie for any state, and is dropped.
  void scanOverChildStates(int f) {
    for (int m = 0; m < motherStates_; ++m) {
      // The pair's cost before the node itself is placed.
      bool complete = true;
      int pairCost = siblings_.addLeastForInnerState(m, father_.states[f].cost + mother_.states[m].cost,
                                                     largestBest_, complete);
      if (pairCost > largestBest_) continue;
      const int* motherRow = motherToNode_->row(m);
      bool lowered = false;
      for (int x = 0; x < nodeStates_; ++x) {
        int v = fatherCosts_[x] + motherRow[x] + pairCost;
        if (v < best_[x]) {
          best_[x] = v;
          chosenFather_[x] = complete ? f : -1;
          chosenMother_[x] = m;
          lowered = true;
        } else if (v == best_[x] && chosenFather_[x] < 0 && complete) {
          chosenFather_[x] = f;
          chosenMother_[x] = m;
        }
      }
      if (lowered) largestBest_ = *std::max_element(best_.begin(), best_.end());
    }
  }

  // The chosen pair and the first tie of every sibling for it; pairs recur
  // across states, so each is worked out once.
  SideResult combinations() {
    SideResult result(nodeStates_, static_cast<int>(node_.parentSide.size()));
    result.cost = best_;
    std::map<std::pair<int, int>, std::vector<int>> siblingChoices;
    for (int x = 0; x < nodeStates_; ++x) {
      if (chosenFather_[x] < 0) continue;
      std::pair<int, int> pair{chosenFather_[x], chosenMother_[x]};
      auto known = siblingChoices.find(pair);
      if (known == siblingChoices.end()) {
        siblings_.weighOuterState(pair.first);
        std::vector<int> choice(siblings_.children.size());
        siblings_.firstReachingStates(pair.second, choice.data());
        known = siblingChoices.emplace(pair, std::move(choice)).first;
      }
      int* out = result.combinationOf(x);
      out[0] = pair.first;
      out[1] = pair.second;
      std::copy(known->second.begin(), known->second.end(), out + 2);
      result.found[x] = 1;
    }
    return result;
  }

  LocusDpNode& node_;
  const LocusDpNode& father_;
  const LocusDpNode& mother_;
  Sibship siblings_;
  int nodeStates_;
  int motherStates_;
  bool overMother_ = false;
  std::optional<SideCosts> motherToNode_;
  std::optional<SideCosts> fatherToNode_;
  std::vector<int> best_;
  std::vector<int> chosenFather_;
  std::vector<int> chosenMother_;
  std::vector<int> fatherCosts_;  // the father's side counts to the node under the current father state
  std::vector<int> pairCosts_;
  std::vector<char> pairComplete_;
  int largestBest_ = kCostSentinel;
};

// The node's offspring side: its mate and their children. For every state
// of the node, the best mate state with the children's states.
class OffspringSide {
 public:
  explicit OffspringSide(Evaluation& e)
      : node_(e.node),
        mate_(*node_.offspringSide[0]),
        children_({node_.offspringSide.begin() + 1, node_.offspringSide.end()}, mate_),
        mateStates_(mate_.stateCount()) {
    // The node's member is named first in these trios: it is the father when
    // its sex is 1, otherwise the mate is.
    bool nodeIsFather = e.family.member(node_.memberId).sex == 1;
    int nodeSide = nodeIsFather ? kPaternal : kMaternal;
    int mateSide = nodeIsFather ? kMaternal : kPaternal;
    overMate_ = e.loopsOverParentStates(static_cast<std::size_t>(mateStates_), children_.children.size(),
                                        children_.childStateCount());
    children_.linkInnerParent(e, mateSide, overMate_ ? SideCosts::Layout::columns : SideCosts::Layout::rows);
    children_.linkOuterParent(e, node_, nodeSide);
  }

  SideResult evaluate() {
    SideResult result(node_.stateCount(), static_cast<int>(node_.offspringSide.size()));
    for (int x = 0; x < node_.stateCount(); ++x) {
      children_.weighOuterState(x);
      int chosenMate = -1;
      result.cost[x] = overMate_ ? bestOverMateStates(chosenMate) : bestOverChildStates(chosenMate);
      if (chosenMate < 0) continue;
      int* out = result.combinationOf(x);
      out[0] = chosenMate;
      children_.firstReachingStates(chosenMate, out + 1);
      result.found[x] = 1;
    }
    return result;
  }

 private:
  // The totals of every mate state at once; the first mate state reaching
  // the least total (with a combination) is the one the state-by-state scan
  // would keep.
  int bestOverMateStates(int& chosenMate) {
    mateTotals_.resize(mateStates_);
    mateComplete_.assign(mateStates_, 1);
    for (int p = 0; p < mateStates_; ++p) mateTotals_[p] = mate_.states[p].cost;
    children_.addLeastOverInnerStates(mateTotals_, mateComplete_);
    int best = std::min(kCostSentinel, *std::min_element(mateTotals_.begin(), mateTotals_.end()));
    for (int p = 0; p < mateStates_ && chosenMate < 0; ++p) {
      if (mateComplete_[p] && mateTotals_[p] == best) chosenMate = p;
    }
    return best;
  }

  int bestOverChildStates(int& chosenMate) {
    int best = kCostSentinel;
    for (int p = 0; p < mateStates_; ++p) {
      bool complete = true;
      int total = children_.addLeastForInnerState(p, mate_.states[p].cost, best, complete);
      if (total < best) {
        best = total;
        chosenMate = complete ? p : -1;
      } else if (total == best && chosenMate < 0 && complete) {
        chosenMate = p;
      }
    }
    return best;
  }

  LocusDpNode& node_;
  const LocusDpNode& mate_;
  Sibship children_;
  int mateStates_;
  bool overMate_ = false;
  std::vector<int> mateTotals_;
  std::vector<char> mateComplete_;
};

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
    SideResult parents = ParentsSide(e).evaluate();
    for (int x = 0; x < stateCount; ++x) {
      node.states[x].cost = parents.cost[x];
      if (!parents.found[x]) continue;
      node.states[x].hasAlternative = true;
      std::copy_n(parents.combination.begin() + static_cast<std::ptrdiff_t>(x) * parents.width, parents.width,
                  node.alternatives.begin() + static_cast<std::ptrdiff_t>(x) * node.childCount);
    }
  }
  if (node.offspringSide.empty()) return;
  SideResult offspring = OffspringSide(e).evaluate();
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
