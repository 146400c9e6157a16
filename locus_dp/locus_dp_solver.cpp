// Solver entry of the locus-based method: the pedigree tree, the size guard,
// bottom-up evaluation, selection of the cheapest root state and the trace
// back that writes the phases into the members.
#include "locus_dp/locus_dp_solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "locus_dp/locus_dp.h"
#include "pedigree/diagnostics.h"

LocusDpSolver::LocusDpSolver(Family& family, int rootId) : pedigree(family) {
  root = createNode(rootId, nullptr);
  build();
}

LocusDpNode* LocusDpSolver::createNode(int memberId, LocusDpNode* treeParent) {
  auto node = std::make_unique<LocusDpNode>();
  node->memberId = memberId;
  node->treeParent = treeParent;
  const Member& member = pedigree.member(memberId);
  node->openLocusCount = static_cast<int>(std::count_if(member.genotypes.begin(), member.genotypes.end(),
                                                        [](const LocusGenotype& g) { return !g.resolved; }));
  LocusDpNode* created = node.get();
  ownedNodes_.push_back(std::move(node));
  placedIds.push_back(memberId);
  placedSet_.insert(memberId);
  nodes.push_back(created);
  ++nodeCount;
  return created;
}

bool LocusDpSolver::isPlaced(int memberId) const { return placedSet_.count(memberId) != 0; }

void LocusDpSolver::build() {
  // Depth-first: a node's tree children are created when it is visited, and
  // each child's whole subtree is visited before the next child. An explicit
  // stack keeps deep pedigrees off the call stack.
  std::vector<LocusDpNode*> pending{root};
  while (!pending.empty()) {
    LocusDpNode* node = pending.back();
    pending.pop_back();
    placeRelatives(node);
    for (auto it = node->offspringSide.rbegin(); it != node->offspringSide.rend(); ++it)
      pending.push_back(*it);
    for (auto it = node->parentSide.rbegin(); it != node->parentSide.rend(); ++it) pending.push_back(*it);
  }
}

void LocusDpSolver::placeRelatives(LocusDpNode* node) {
  const Member& member = pedigree.member(node->memberId);
  auto addChild = [&](std::vector<LocusDpNode*>& side, int id) {
    side.push_back(createNode(id, node));
    ++node->childCount;
  };

  int fatherId = member.fatherId;
  if (fatherId >= 1 && !isPlaced(fatherId)) {
    int motherId = member.motherId;
    addChild(node->parentSide, fatherId);
    // The mother is placed with the father whether or not she already has a
    // node; a member reached twice gets two nodes, and the trace back phases
    // it at its first visit.
    addChild(node->parentSide, motherId);
    for (int sibling : pedigree.member(fatherId).childIds) {
      if (pedigree.member(sibling).motherId == motherId && !isPlaced(sibling))
        addChild(node->parentSide, sibling);
    }
  }

  for (int child : member.childIds) {
    if (isPlaced(child)) continue;
    const Member& childMember = pedigree.member(child);
    int mate = childMember.fatherId == member.memberId ? childMember.motherId : childMember.fatherId;
    if (!isPlaced(mate)) addChild(node->offspringSide, mate);
    addChild(node->offspringSide, child);
  }
}

double LocusDpSolver::workEstimate() const {
  auto states = [](const LocusDpNode* node) { return std::ldexp(1.0, node->openLocusCount); };
  double work = 0;
  for (const LocusDpNode* node : nodes) {
    double own = states(node);
    if (!node->parentSide.empty()) {
      double siblingsAndNode = own;
      for (std::size_t j = 2; j < node->parentSide.size(); ++j)
        siblingsAndNode += states(node->parentSide[j]);
      work += states(node->parentSide[0]) * states(node->parentSide[1]) * siblingsAndNode;
    }
    if (!node->offspringSide.empty()) {
      double children = 0;
      for (std::size_t j = 1; j < node->offspringSide.size(); ++j) children += states(node->offspringSide[j]);
      work += own * states(node->offspringSide[0]) * children;
    }
  }
  return work;
}

namespace {

// log2(2^a + 2^b) without leaving the logarithms.
double log2Sum(double a, double b) {
  if (std::isinf(a) && a < 0) return b;
  double high = std::max(a, b);
  return high + std::log2(1.0 + std::exp2(std::min(a, b) - high));
}

// 2^log2Value as a plain real number, "%.4g" style, also far beyond the range
// of a double ("1.234e+2257534").
std::string realFromLog2(double log2Value) {
  char text[64];
  if (log2Value < 1000) {
    std::snprintf(text, sizeof text, "%.4g", std::exp2(log2Value));
    return text;
  }
  double log10Value = log2Value * std::log10(2.0);
  double exponent = std::floor(log10Value);
  double mantissa = std::pow(10.0, log10Value - exponent);
  if (mantissa >= 9.9995) {  // would print as 10 at four digits
    mantissa /= 10;
    exponent += 1;
  }
  std::snprintf(text, sizeof text, "%.4ge+%.0f", mantissa, exponent);
  return text;
}

}  // namespace

double LocusDpSolver::log2Evaluations() const {
  double total = -INFINITY;
  for (const LocusDpNode* node : nodes) {
    double own = node->openLocusCount;
    total = log2Sum(total, own);
    if (!node->parentSide.empty()) {
      double siblingsAndNode = own;
      for (std::size_t j = 2; j < node->parentSide.size(); ++j)
        siblingsAndNode = log2Sum(siblingsAndNode, node->parentSide[j]->openLocusCount);
      total = log2Sum(
          total, node->parentSide[0]->openLocusCount + node->parentSide[1]->openLocusCount + siblingsAndNode);
    }
    if (node->offspringSide.size() >= 2) {
      double children = node->offspringSide[1]->openLocusCount;
      for (std::size_t j = 2; j < node->offspringSide.size(); ++j)
        children = log2Sum(children, node->offspringSide[j]->openLocusCount);
      total = log2Sum(total, own + node->offspringSide[0]->openLocusCount + children);
    }
  }
  return total;
}

int LocusDpSolver::largestOpenLocusCount(int* memberId) const {
  int largest = 0;
  int holder = root->memberId;
  for (const LocusDpNode* node : nodes) {
    if (node->openLocusCount > largest) {
      largest = node->openLocusCount;
      holder = node->memberId;
    }
  }
  if (memberId != nullptr) *memberId = holder;
  return largest;
}

bool LocusDpSolver::withinSizeLimits() const {
  return largestOpenLocusCount() <= kMaxOpenLociPerNode && workEstimate() <= kMaxTrioEvaluations;
}

void LocusDpSolver::evaluate() {
  // Every node is created after its tree parent, so walking the creation
  // order backwards evaluates all tree children first.
  for (int i = nodeCount - 1; i >= 0; --i) evaluateLocusDpNode(*nodes[i], pedigree, innerLoop);
}

void LocusDpSolver::writePhases(const LocusDpNode& node, int state) {
  for (LocusGenotype& locus : pedigree.member(node.memberId).genotypes) {
    if (locus.resolved) continue;
    int smaller = std::min(locus.allele1, locus.allele2);
    int larger = std::max(locus.allele1, locus.allele2);
    bool largerFirst = (state & 1) != 0;
    locus.allele1 = largerFirst ? larger : smaller;
    locus.allele2 = largerFirst ? smaller : larger;
    locus.resolved = true;
    state >>= 1;
  }
}

int LocusDpSolver::selectAndTraceBack() {
  bestCost = kCostSentinel;
  for (const NodeState& state : root->states) bestCost = std::min(bestCost, state.cost);
  auto first = std::find_if(root->states.begin(), root->states.end(),
                            [&](const NodeState& state) { return state.cost == bestCost; });
  if (first == root->states.end()) return bestCost;

  // Depth-first in the tree's own order (parents' side, then offspring
  // side), without recursion: deep pedigrees must not exhaust the stack.
  std::vector<std::pair<const LocusDpNode*, int>> pending{{root, first->stateIndex}};
  while (!pending.empty()) {
    auto [node, state] = pending.back();
    pending.pop_back();
    writePhases(*node, state);
    if (!node->states[state].hasAlternative) continue;
    const int* choice = node->alternativeOf(state);
    std::vector<const LocusDpNode*> children(node->parentSide.begin(), node->parentSide.end());
    children.insert(children.end(), node->offspringSide.begin(), node->offspringSide.end());
    for (int i = node->childCount - 1; i >= 0; --i) pending.emplace_back(children[i], choice[i]);
  }
  return bestCost;
}

SolveResult solveByLocusDp(Family& family, const Settings&, std::string_view inputName,
                           ConfigurationSink& sink) {
  if (family.members.empty()) {
    sink.configuration(family);
    return {FamilyOutcome::kSolved, 1};
  }
  LocusDpSolver solver(family, family.members.begin()->first);
  if (!solver.withinSizeLimits()) {
    int widestMember = 0;
    int widest = solver.largestOpenLocusCount(&widestMember);
    diagnostics::error(
        std::string(inputName) + ": family " + std::to_string(family.familyId) +
        ": too large for the locus-based method (about " + realFromLog2(solver.log2Evaluations()) +
        " trio and state evaluations, trio limit 4294967296; member " + std::to_string(widestMember) +
        " has " + std::to_string(widest) + " open loci, limit " + std::to_string(kMaxOpenLociPerNode) +
        "); it is skipped, option b can phase it");
    sink.tooBig(family);
    return {FamilyOutcome::kRefused, 0};
  }
  solver.evaluate();
  solver.selectAndTraceBack();
  family.countRecombinants();
  sink.configuration(family);
  return {FamilyOutcome::kSolved, 1};
}
