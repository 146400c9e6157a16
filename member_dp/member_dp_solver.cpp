// The member-based dynamic programme: forward pass over the source
// hypercube, depth-first trace back, one written result per distinct optimal
// phase path (see member_dp_solver.h).
#include "member_dp/member_dp_solver.h"

#include <algorithm>
#include <string>

#include "member_dp/joint_state.h"
#include "pedigree/diagnostics.h"
#include "pedigree/run_settings.h"

namespace member_dp {

namespace {

// Larger than any reachable cost, small enough that adding the source bits
// of a transition cannot overflow.
constexpr std::int32_t kInfinity = 1 << 28;

}  // namespace

MemberDpSolver::MemberDpSolver(Family& family, std::uint64_t maxSolutions)
    : family_(family), maxSolutions_(maxSolutions), locusCount_(family.locusCount) {
  buildSlots();
}

void MemberDpSolver::buildSlots() {
  std::unordered_map<int, int> slotOfMember;
  int stateBit = 0;
  int sourceBit = 0;
  for (int id : family_.memberOrder) {
    if (id < 0) break;
    Slot slot;
    slot.member = &family_.member(id);
    slot.founder = slot.member->isFounder();
    slot.stateBit = stateBit;
    if (slot.founder) {
      stateBit += 1;
      slot.firstHetLocus = locusCount_;
      for (int l = 0; l < locusCount_; ++l) {
        if (slot.member->genotypes[static_cast<std::size_t>(l)].isTypedHeterozygote()) {
          slot.firstHetLocus = l;
          break;
        }
      }
    } else {
      slot.fatherSlot = slotOfMember.at(slot.member->fatherId);
      slot.motherSlot = slotOfMember.at(slot.member->motherId);
      slot.sourceBit = sourceBit;
      stateBit += 3;
      sourceBit += 2;
    }
    slotOfMember[id] = static_cast<int>(slots_.size());
    slots_.push_back(slot);
  }
  stateBits_ = stateBit;
  sourceBits_ = sourceBit;
  sourceCount_ = std::size_t{1} << sourceBits_;
  paternalAllele_.assign(slots_.size(), 0);
  maternalAllele_.assign(slots_.size(), 0);
}

std::uint32_t MemberDpSolver::sourceOf(std::uint32_t state) const {
  std::uint32_t source = 0;
  for (const Slot& slot : slots_) {
    if (slot.founder) continue;
    source |= ((state >> (slot.stateBit + 1)) & 3u) << slot.sourceBit;
  }
  return source;
}

// Consistent states are built member by member in memberOrder; a child's
// choices are checked against its parents', which are already set, so an
// inconsistent prefix is never extended.
void MemberDpSolver::enumerateConsistentStates(int l, std::vector<std::uint32_t>& keys) {
  keys.clear();
  if (!slots_.empty()) extendState(l, 0, 0, 0, keys);
  std::sort(keys.begin(), keys.end());
}

void MemberDpSolver::extendState(int l, int slotIndex, std::uint32_t state, std::uint32_t source,
                                 std::vector<std::uint32_t>& keys) {
  if (slotIndex == static_cast<int>(slots_.size())) {
    keys.push_back((source << stateBits_) | state);
    return;
  }
  const Slot& slot = slots_[static_cast<std::size_t>(slotIndex)];
  const LocusGenotype& g = slot.member->genotypes[static_cast<std::size_t>(l)];
  const int smaller = std::min(g.allele1, g.allele2);
  const int larger = std::max(g.allele1, g.allele2);
  int phaseCount = smaller == larger ? 1 : 2;
  if (slot.founder && l <= slot.firstHetLocus) phaseCount = 1;
  const auto k = static_cast<std::size_t>(slotIndex);
  for (int phase = 0; phase < phaseCount; ++phase) {
    const int fromFather = phase == 0 ? smaller : larger;
    const int fromMother = phase == 0 ? larger : smaller;
    paternalAllele_[k] = fromFather;
    maternalAllele_[k] = fromMother;
    const std::uint32_t phased = state | (static_cast<std::uint32_t>(phase) << slot.stateBit);
    if (slot.founder) {
      extendState(l, slotIndex + 1, phased, source, keys);
      continue;
    }
    const auto father = static_cast<std::size_t>(slot.fatherSlot);
    const auto mother = static_cast<std::size_t>(slot.motherSlot);
    for (std::uint32_t paternal = 0; paternal < 2; ++paternal) {
      const int fatherAllele = paternal == 0 ? paternalAllele_[father] : maternalAllele_[father];
      if (fatherAllele != fromFather) continue;
      for (std::uint32_t maternal = 0; maternal < 2; ++maternal) {
        const int motherAllele = maternal == 0 ? paternalAllele_[mother] : maternalAllele_[mother];
        if (motherAllele != fromMother) continue;
        const std::uint32_t sourcePair = paternal | (maternal << 1);
        extendState(l, slotIndex + 1, phased | (sourcePair << (slot.stateBit + 1)),
                    source | (sourcePair << slot.sourceBit), keys);
      }
    }
  }
}

bool MemberDpSolver::forwardPass(int& failingLocus) {
  const auto loci = static_cast<std::size_t>(locusCount_);
  consistentKeys_.assign(loci, {});
  arrival_.assign(loci * sourceCount_, kInfinity);
  reach_.assign(loci * sourceCount_, kInfinity);
  for (int l = 0; l < locusCount_; ++l) {
    std::vector<std::uint32_t>& keys = consistentKeys_[static_cast<std::size_t>(l)];
    enumerateConsistentStates(l, keys);
    if (keys.empty()) {
      failingLocus = l;
      return false;
    }
    std::int32_t* arrival = &arrival_[static_cast<std::size_t>(l) * sourceCount_];
    if (l == 0) {
      std::fill(arrival, arrival + sourceCount_, 0);
    } else {
      // Least cost over the previous locus's source values x of
      // reach(x) + (source bits in which x and y differ), one pass per bit.
      const std::int32_t* previous = &reach_[static_cast<std::size_t>(l - 1) * sourceCount_];
      std::copy(previous, previous + sourceCount_, arrival);
      for (int bit = 0; bit < sourceBits_; ++bit) {
        const std::size_t flip = std::size_t{1} << bit;
        for (std::size_t x = 0; x < sourceCount_; ++x) {
          if ((x & flip) != 0) continue;
          const std::int32_t low = arrival[x];
          const std::int32_t high = arrival[x | flip];
          arrival[x] = std::min(low, high + 1);
          arrival[x | flip] = std::min(high, low + 1);
        }
      }
      for (std::size_t x = 0; x < sourceCount_; ++x) arrival[x] = std::min(arrival[x], kInfinity);
    }
    // A cost of kCostSentinel means "impossible", as in a cell that was never
    // improved.
    std::int32_t* reach = &reach_[static_cast<std::size_t>(l) * sourceCount_];
    for (std::uint32_t key : keys) {
      const std::uint32_t source = key >> stateBits_;
      if (arrival[source] < kCostSentinel) reach[source] = arrival[source];
    }
  }
  return true;
}

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

// Paths written by an earlier run on this family stay excluded.
void MemberDpSolver::seedWithFoundPaths(std::unordered_set<std::uint64_t>& writtenLeaves) {
  for (const std::vector<int>& path : family_.foundPaths) {
    if (static_cast<int>(path.size()) != locusCount_) continue;
    std::uint64_t node = 0;
    for (int l = locusCount_ - 1; l >= 0; --l) {
      node = childNode(node, static_cast<std::uint32_t>(path[static_cast<std::size_t>(l)]));
    }
    writtenLeaves.insert(node);
  }
}

MemberDpOutcome MemberDpSolver::run(TextSink& out, TextSink& dat, TextSink& res) {
  MemberDpOutcome outcome;
  const bool chained = locusCount_ > 0 && forwardPass(outcome.failingLocus);
  family_.statePath.resize(static_cast<std::size_t>(locusCount_));
  computeStateMask(family_);
  if (!chained) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  const std::uint32_t mask = family_.stateMask;

  const int last = locusCount_ - 1;
  std::int32_t best = kCostSentinel;
  for (std::uint32_t key : consistentKeys_[static_cast<std::size_t>(last)]) {
    best = std::min(best, reachCost(last, key >> stateBits_));
  }
  outcome.leastCost = best;
  if (best == kCostSentinel) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }

  // The stack: final states pushed ascending, so the highest is traced first.
  std::vector<TracePoint> stack;
  const std::uint32_t stateField = (std::uint32_t{1} << stateBits_) - 1u;
  for (std::uint32_t key : consistentKeys_[static_cast<std::size_t>(last)]) {
    if (reachCost(last, key >> stateBits_) == best) stack.push_back({key & stateField, last, 0});
  }
  std::sort(stack.begin(), stack.end(),
            [](const TracePoint& a, const TracePoint& b) { return a.state < b.state; });

  std::unordered_set<std::uint64_t> writtenLeaves;
  seedWithFoundPaths(writtenLeaves);
  // (trie node of the traced prefix, state) pairs already continued from:
  // a second continuation can only complete masked paths already met.
  std::unordered_set<std::uint64_t> continued;
  std::vector<std::uint32_t> predecessors;
  while (!stack.empty()) {
    TracePoint point = stack.back();
    stack.pop_back();
    while (true) {
      if (!continued.insert((point.prefixNode << kMaxStateBits) | point.state).second) break;
      const std::uint32_t masked = point.state & mask;
      family_.statePath[static_cast<std::size_t>(point.locus)] = static_cast<int>(masked);
      writeStateIntoFamily(point.state, point.locus);
      const std::uint64_t node = childNode(point.prefixNode, masked);
      if (point.locus == 0) {
        if (writtenLeaves.insert(node).second) {
          family_.recombinantCount = best;
          family_.writePhasedTable(out);
          family_.writeGenotypeReport(dat);
          family_.writeResultLine(res);
          family_.foundPaths.push_back(family_.statePath);
          ++outcome.written;
          if (maxSolutions_ != 0 && outcome.written == maxSolutions_) {
            if (!stack.empty()) outcome.status = MemberDpOutcome::Status::kCapped;
            return outcome;
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
  return outcome;
}

void solveFamilyByMemberDp(Family& family, TextSink& out, TextSink& dat, TextSink& res,
                           std::uint64_t maxSolutions) {
  if (stateBitCount(family) > kMaxStateBits) {
    out.put("Pedigree ").put(family.familyId).put(" is to big!\n");
    return;
  }
  const std::string name = "family " + std::to_string(family.familyId);
  // The run loop only hands over families whose members all follow their
  // parents in memberOrder; anything else cannot be laid out as a joint state.
  const bool placed =
      static_cast<int>(family.memberOrder.size()) == family.memberCount &&
      std::find(family.memberOrder.begin(), family.memberOrder.end(), -1) == family.memberOrder.end();
  if (!placed || family.founderCount < 1) {
    diagnostics::error(name +
                       " cannot be solved by the member-based method: some member is not placed after "
                       "both of its parents");
    return;
  }
  MemberDpSolver solver(family, maxSolutions);
  const MemberDpOutcome outcome = solver.run(out, dat, res);
  switch (outcome.status) {
    case MemberDpOutcome::Status::kSolved: break;
    case MemberDpOutcome::Status::kNoConsistentConfiguration:
      if (family.locusCount == 0) {
        diagnostics::error(name + " has no locus; nothing is written for it");
      } else if (outcome.failingLocus < 0) {
        diagnostics::error(name +
                           " has no configuration consistent with Mendelian inheritance; nothing is "
                           "written for it");
      } else {
        diagnostics::error(
            name + " has no configuration consistent with Mendelian inheritance (none at locus " +
            std::to_string(outcome.failingLocus) + ", loci counted from 0); nothing is written for it");
      }
      break;
    case MemberDpOutcome::Status::kCapped:
      diagnostics::error(name + " has more optimal configurations; the first " +
                         std::to_string(outcome.written) +
                         " were written (HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 = no limit)");
      break;
  }
}

}  // namespace member_dp

void Family::solveByMemberDp(TextSink& out, TextSink& dat, TextSink& res) {
  member_dp::solveFamilyByMemberDp(*this, out, dat, res, maxSolutionsPerFamily());
}
