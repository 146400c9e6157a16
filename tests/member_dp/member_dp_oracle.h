// The member-based programme exactly as first stated, kept as the oracle for
// the fast solver: every joint state written into the family and judged
// member by member, a table of J x L cells with cost and predecessor list
// filled by comparing every pair of states, and a trace back that compares
// each completed phase path with every path written before. Slow (J^2 per
// locus), only for small families; header-only so the benchmark can time it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "member_dp/member_dp_solver.h"
#include "pedigree/result_sinks.h"

namespace member_dp_oracle {

// Writes joint state s into the members' genotypes at locus l (memberOrder,
// 1 bit per founder, 3 per non-founder); false when s is invalid there: a
// phase 1 on equal alleles, or a founder's phase 1 before its first typed
// heterozygous locus.
inline bool applyState(Family& family, std::uint32_t s, int l) {
  bool valid = true;
  for (int id : family.memberOrder) {
    Member& x = family.member(id);
    LocusGenotype& g = x.genotypes[static_cast<std::size_t>(l)];
    const int phase = static_cast<int>(s & 1u);
    const int smaller = std::min(g.allele1, g.allele2);
    const int larger = std::max(g.allele1, g.allele2);
    g = {phase == 0 ? smaller : larger, phase == 0 ? larger : smaller, 0, 0, true};
    s >>= 1;
    if (!x.isFounder()) {
      g.paternalSource = static_cast<int>(s & 1u);
      g.maternalSource = static_cast<int>((s >> 1) & 1u);
      s >>= 2;
    }
    if (phase == 1 && (smaller == larger || (x.isFounder() && x.hasNoHeterozygousLocus(l)))) valid = false;
  }
  return valid;
}

// Valid, and every child's alleles equal the parental alleles its sources
// choose.
inline bool isConsistent(Family& family, std::uint32_t s, int l) {
  if (!applyState(family, s, l)) return false;
  const auto locus = static_cast<std::size_t>(l);
  for (int id : family.memberOrder) {
    const Member& parent = family.member(id);
    const int side = parent.isMale() ? kPaternal : kMaternal;
    for (int childId : parent.childIds) {
      const LocusGenotype& child = family.member(childId).genotypes[locus];
      if (child.alleleOnSide(side) != parent.genotypes[locus].alleleNumber(child.sourceOnSide(side)))
        return false;
    }
  }
  return true;
}

// Sources that differ between state t at locus l - 1 and state s at locus l.
inline int transitionCost(Family& family, int l, std::uint32_t t, std::uint32_t s) {
  applyState(family, t, l - 1);
  applyState(family, s, l);
  int count = 0;
  for (const auto& [id, x] : family.members) {
    const LocusGenotype& before = x.genotypes[static_cast<std::size_t>(l - 1)];
    const LocusGenotype& now = x.genotypes[static_cast<std::size_t>(l)];
    count += (before.paternalSource != now.paternalSource) + (before.maternalSource != now.maternalSource);
  }
  return count;
}

// Same results and outcome as member_dp::MemberDpSolver::run.
inline member_dp::MemberDpOutcome solveLiterally(Family& family, ConfigurationSink& sink,
                                                 std::uint64_t maxSolutions) {
  using Status = member_dp::MemberDpOutcome::Status;
  member_dp::MemberDpOutcome outcome;
  const int states = 1 << member_dp::stateBitCount(family);
  const int loci = family.locusCount;
  outcome.status = Status::kNoConsistentConfiguration;
  if (loci == 0) return outcome;
  // cost[s][l] and predecessors[s][l]; kCostSentinel is "impossible".
  std::vector<std::vector<int>> cost(states, std::vector<int>(loci, kCostSentinel));
  std::vector<std::vector<std::vector<int>>> predecessors(states, std::vector<std::vector<int>>(loci));
  for (int l = 0; l < loci; ++l) {
    for (int s = 0; s < states; ++s) {
      if (!isConsistent(family, s, l)) continue;
      if (l == 0) cost[s][0] = 0;
      for (int t = 0; l > 0 && t < states; ++t) {
        if (cost[t][l - 1] == kCostSentinel) continue;
        const int v = cost[t][l - 1] + transitionCost(family, l, t, s);
        if (v < cost[s][l]) predecessors[s][l].clear();
        if (v <= cost[s][l]) predecessors[s][l].push_back(t);
        cost[s][l] = std::min(cost[s][l], v);
      }
    }
  }
  std::uint32_t phaseMask = 0;  // the phase bits of a joint state
  for (unsigned bit = 0; int id : family.memberOrder) {
    phaseMask |= 1u << bit;
    bit += family.member(id).isFounder() ? 1 : 3;
  }
  int best = kCostSentinel;
  for (int s = 0; s < states; ++s) best = std::min(best, cost[s][loci - 1]);
  outcome.leastCost = best;
  if (best == kCostSentinel) return outcome;
  outcome.status = Status::kSolved;
  std::vector<std::uint32_t> path(loci);
  std::vector<std::vector<std::uint32_t>> written;
  std::deque<std::pair<int, int>> stack;
  for (int s = 0; s < states; ++s) {
    if (cost[s][loci - 1] == best) stack.emplace_back(s, loci - 1);
  }
  while (!stack.empty()) {
    auto [s, l] = stack.back();
    stack.pop_back();
    for (;; s = predecessors[s][l].front(), --l) {
      path[l] = static_cast<std::uint32_t>(s) & phaseMask;
      applyState(family, s, l);
      if (l == 0) {
        if (std::find(written.begin(), written.end(), path) != written.end()) break;
        family.recombinantCount = best;
        sink.configuration(family);
        written.push_back(path);
        if (++outcome.written == maxSolutions) {
          if (!stack.empty()) outcome.status = Status::kCapped;
          return outcome;
        }
        break;
      }
      if (predecessors[s][l].size() > 1) {
        for (int t : predecessors[s][l]) stack.emplace_back(t, l - 1);
        break;
      }
    }
  }
  return outcome;
}

}  // namespace member_dp_oracle
