// The trace back of the member-based programme: depth-first from the highest
// optimal final state, one written result per distinct optimal phase path
// (see member_dp_solver.h).
#include <algorithm>
#include <new>

#include "member_dp/member_dp_solver.h"

namespace member_dp {

void MemberDpSolver::collectPredecessors(std::uint32_t state, int l,
                                         std::vector<std::uint32_t>& predecessors) {
  predecessors.clear();
  const std::uint32_t target = sourceOf(state);
  const std::int32_t cost = arrivalCost(l, target);
  // The previous source values x with reach(x) + distance(x, target) = cost,
  // found by flipping bits of the target in ascending bit order. A point z
  // on the way to such an x lies on a shortest route, so its own arrival
  // cost plus its distance from the target equals cost: anything else is
  // cut off.
  struct Flip {
    std::uint32_t source;
    int nextBit;
    std::int32_t distance;
  };
  std::vector<Flip> pending{{target, 0, 0}};
  std::vector<std::uint32_t> optimalSources;
  while (!pending.empty()) {
    const Flip flip = pending.back();
    pending.pop_back();
    if (reachCost(l - 1, flip.source) + flip.distance == cost) optimalSources.push_back(flip.source);
    for (int bit = flip.nextBit; bit < sourceBits_; ++bit) {
      const std::uint32_t next = flip.source ^ (1u << bit);
      if (arrivalCost(l, next) + flip.distance + 1 == cost)
        pending.push_back({next, bit + 1, flip.distance + 1});
    }
  }
  const std::vector<std::uint32_t>& keys = consistentKeys_[static_cast<std::size_t>(l - 1)];
  const std::uint32_t stateField = (std::uint32_t{1} << stateBits_) - 1u;
  for (std::uint32_t source : optimalSources) {
    const std::uint32_t first = source << stateBits_;
    auto it = std::lower_bound(keys.begin(), keys.end(), first);
    for (; it != keys.end() && (*it >> stateBits_) == source; ++it) predecessors.push_back(*it & stateField);
  }
  std::sort(predecessors.begin(), predecessors.end());
}

void MemberDpSolver::writeStateIntoFamily(std::uint32_t state, int l) {
  for (const Slot& slot : slots_) {
    LocusGenotype& g = slot.member->genotypes[static_cast<std::size_t>(l)];
    const int smaller = std::min(g.allele1, g.allele2);
    const int larger = std::max(g.allele1, g.allele2);
    const bool phase = ((state >> slot.stateBit) & 1u) != 0;
    g.allele1 = phase ? larger : smaller;
    g.allele2 = phase ? smaller : larger;
    g.resolved = true;
    if (slot.founder) {
      g.paternalSource = 0;
      g.maternalSource = 0;
    } else {
      g.paternalSource = static_cast<int>((state >> (slot.stateBit + 1)) & 1u);
      g.maternalSource = static_cast<int>((state >> (slot.stateBit + 2)) & 1u);
    }
  }
}

std::uint64_t MemberDpSolver::childNode(std::uint64_t node, std::uint32_t maskedState) {
  const std::uint64_t key = (node << kMaxStateBits) | maskedState;
  auto [it, inserted] = trieChildren_.try_emplace(key, nextNode_);
  if (inserted) ++nextNode_;
  return it->second;
}

MemberDpOutcome MemberDpSolver::run(ConfigurationSink& sink) {
  try {
    return solve(sink);
  } catch (const std::bad_alloc&) {
    releaseTables();
    MemberDpOutcome outcome;
    outcome.status = MemberDpOutcome::Status::kOutOfMemory;
    outcome.building = building_;
    return outcome;
  }
}

void MemberDpSolver::releaseTables() {
  std::vector<std::vector<std::uint32_t>>().swap(consistentKeys_);
  std::vector<std::int32_t>().swap(arrival_);
  std::vector<std::int32_t>().swap(reach_);
  std::unordered_map<std::uint64_t, std::uint64_t>().swap(trieChildren_);
}

bool MemberDpSolver::budgetAllows(std::uint64_t k) const {
  const std::uint64_t cellsPerConfiguration =
      std::max<std::uint64_t>(1, slots_.size() * static_cast<std::uint64_t>(locusCount_));
  return k <= limits_.alleleCells / cellsPerConfiguration;
}

MemberDpOutcome MemberDpSolver::solve(ConfigurationSink& sink) {
  MemberDpOutcome outcome;
  if (locusCount_ == 0 || !forwardPass(outcome.failingLocus)) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  outcome.leastCost = leastFinalCost();
  if (outcome.leastCost == kCostSentinel) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  traceBack(optimalFinalPoints(outcome.leastCost), outcome.leastCost, sink, outcome);
  return outcome;
}

std::int32_t MemberDpSolver::leastFinalCost() const {
  const int last = locusCount_ - 1;
  std::int32_t best = kCostSentinel;
  for (std::uint32_t key : consistentKeys_[static_cast<std::size_t>(last)]) {
    best = std::min(best, reachCost(last, key >> stateBits_));
  }
  return best;
}

// Pushed ascending, so the highest final state is traced first.
std::vector<MemberDpSolver::TracePoint> MemberDpSolver::optimalFinalPoints(std::int32_t best) const {
  std::vector<TracePoint> points;
  const int last = locusCount_ - 1;
  const std::uint32_t stateField = (std::uint32_t{1} << stateBits_) - 1u;
  for (std::uint32_t key : consistentKeys_[static_cast<std::size_t>(last)]) {
    if (reachCost(last, key >> stateBits_) == best) points.push_back({key & stateField, last, 0});
  }
  std::sort(points.begin(), points.end(),
            [](const TracePoint& a, const TracePoint& b) { return a.state < b.state; });
  return points;
}

// The configuration the trace back has written into the family's genotypes.
void MemberDpSolver::writeConfiguration(std::int32_t best, ConfigurationSink& sink) {
  family_.recombinantCount = best;
  sink.configuration(family_);
}

void MemberDpSolver::traceBack(std::vector<TracePoint> stack, std::int32_t best, ConfigurationSink& sink,
                               MemberDpOutcome& outcome) {
  building_ = "the trace back of optimal configurations";
  std::unordered_set<std::uint64_t> writtenLeaves;
  // Members x traced states so far; bounds the trie and the sets below.
  std::uint64_t tracedCells = 0;
  // (trie node of the traced prefix, state) pairs already continued from:
  // a second continuation can only complete masked paths already met.
  std::unordered_set<std::uint64_t> continued;
  std::vector<std::uint32_t> predecessors;
  while (!stack.empty()) {
    TracePoint point = stack.back();
    stack.pop_back();
    while (true) {
      if (outcome.written >= 1 && tracedCells > limits_.alleleCells) {
        outcome.status = MemberDpOutcome::Status::kBudgetReached;
        return;
      }
      if (!continued.insert((point.prefixNode << kMaxStateBits) | point.state).second) break;
      tracedCells += slots_.size();
      writeStateIntoFamily(point.state, point.locus);
      const std::uint64_t node = childNode(point.prefixNode, point.state & phaseMask_);
      if (point.locus == 0) {
        if (writtenLeaves.insert(node).second) {
          if (outcome.written >= 1 && !budgetAllows(outcome.written + 1)) {
            outcome.status = MemberDpOutcome::Status::kBudgetReached;
            return;
          }
          writeConfiguration(best, sink);
          ++outcome.written;
          if (limits_.maxSolutions != 0 && outcome.written == limits_.maxSolutions) {
            if (!stack.empty()) outcome.status = MemberDpOutcome::Status::kCapped;
            return;
          }
        }
        break;
      }
      collectPredecessors(point.state, point.locus, predecessors);
      if (predecessors.size() == 1) {
        point = {predecessors.front(), point.locus - 1, node};
        continue;
      }
      for (std::uint32_t t : predecessors) stack.push_back({t, point.locus - 1, node});
      break;
    }
  }
}

}  // namespace member_dp
