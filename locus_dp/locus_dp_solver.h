// The locus-based dynamic programme: a tree of members spans the family, each
// member's states are the phase assignments of its open loci, and a bottom-up
// programme over the tree finds the configuration with fewest recombinations.
// Internal to this folder; the entry is locus_dp/locus_dp.h.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "pedigree/family.h"

// Limits beyond which a family is refused instead of solved: the number of
// trio evaluations the programme would make, and the states of one node.
inline constexpr double kMaxTrioEvaluations = 4294967296.0;  // 2^32
inline constexpr int kMaxOpenLociPerNode = 20;               // 2^20 states

// Number of recombinations between a father, a mother and a child under the
// given phase states. The parent named first is the father when its sex is 1,
// otherwise the parent named second is. Members are looked up by id.
int trioRecombinations(const Family& family, int firstParentId, int firstParentState, int secondParentId,
                       int secondParentState, int childId, int childState);

// Which states the innermost loops of the node programme run over: those of
// the children (siblings and the node itself on the parents' side) or those
// of the second parent (mother or mate). Both give the same results; the
// automatic choice takes the longer loop.
enum class LocusDpInnerLoop { automatic, overChildStates, overParentStates };

struct NodeState {
  int stateIndex = -1;
  // Least number of recombinations in the node's subtree under this state.
  int cost = 0;
  // Whether a combination of tree-children states reaching `cost` was
  // recorded (the node's `alternatives` row of this state is then valid).
  bool hasAlternative = false;
};

struct LocusDpNode {
  int memberId = 0;
  LocusDpNode* treeParent = nullptr;
  int childCount = 0;
  // Tree children reached through the member's children: the mate first,
  // then children (a further mate just before its first child).
  std::vector<LocusDpNode*> offspringSide;
  // Tree children reached through the member's parents: father, mother, then
  // full siblings.
  std::vector<LocusDpNode*> parentSide;
  int openLocusCount = 0;
  std::vector<NodeState> states;
  // Only the first optimal combination of tree-children states is kept per
  // state: the trace back phases a member at its first visit, so later
  // combinations never change what is written. Row s (childCount entries:
  // parentSide first, then offspringSide) belongs to state s.
  std::vector<int> alternatives;

  int stateCount() const { return 1 << openLocusCount; }
  const int* alternativeOf(int state) const {
    return alternatives.data() + static_cast<std::size_t>(state) * childCount;
  }
};

class LocusDpSolver {
 public:
  // Builds the tree of the family from `rootId` (states are not yet sized).
  LocusDpSolver(Family& family, int rootId);
  LocusDpSolver(const LocusDpSolver&) = delete;
  LocusDpSolver& operator=(const LocusDpSolver&) = delete;

  // Trio evaluations the node programme would make, summed over the nodes
  // (what the size guard limits; infinite for very large families).
  double workEstimate() const;
  // Base-2 logarithm of the trio evaluations plus one evaluation per state
  // of every node: finite, and at least 0 for any tree.
  double log2Evaluations() const;
  // Largest open-locus count of any node, and the member holding it.
  int largestOpenLocusCount(int* memberId = nullptr) const;
  bool withinSizeLimits() const;

  // Sizes the state tables and runs the node programme on every node in
  // reverse creation order. Only for a tree within the size limits.
  void evaluate();
  // Sets bestCost, writes the phases of the first optimal configuration into
  // the members, and returns bestCost.
  int selectAndTraceBack();

  Family& pedigree;
  LocusDpNode* root = nullptr;
  int nodeCount = 0;
  std::vector<int> placedIds;
  std::vector<LocusDpNode*> nodes;  // creation order; the root first
  int bestCost = kCostSentinel;
  LocusDpInnerLoop innerLoop = LocusDpInnerLoop::automatic;

 private:
  LocusDpNode* createNode(int memberId, LocusDpNode* treeParent);
  bool isPlaced(int memberId) const;
  void build();
  void placeRelatives(LocusDpNode* node);
  void writePhases(const LocusDpNode& node, int state);

  std::vector<std::unique_ptr<LocusDpNode>> ownedNodes_;
  std::set<int> placedSet_;  // the ids of placedIds, for fast membership tests
};

// Runs the node programme on one node whose tree children are all evaluated.
void evaluateLocusDpNode(LocusDpNode& node, const Family& family,
                         LocusDpInnerLoop innerLoop = LocusDpInnerLoop::automatic);
