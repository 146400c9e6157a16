// The member-based programme exactly as first stated, kept as the oracle
// for the fast solver: every joint state written into the family and judged
// member by member, a table of J x L cells with cost and predecessor list,
// every pair of consistent states compared, and a trace back that compares
// each completed phase path with every path written before. Slow (J^2 per
// locus) and only meant for small families. Header-only so the benchmark can
// time it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "member_dp/member_dp_solver.h"
#include "pedigree/family.h"
#include "pedigree/result_sinks.h"

namespace member_dp_oracle {

// Writes joint state s into every member's genotype at locus l, in
// memberOrder. kCostSentinel at the first member for which s is invalid
// (phase 1 on equal alleles, or a founder's phase 1 before its first typed
// heterozygous locus); 0 otherwise.
inline int applyState(Family& family, std::uint32_t s, int l) {
  for (int id : family.memberOrder) {
    Member& x = family.member(id);
    LocusGenotype& g = x.genotypes[static_cast<std::size_t>(l)];
    const int phase = static_cast<int>(s & 1u);
    s >>= 1;
    g.resolved = true;
    const int smaller = std::min(g.allele1, g.allele2);
    const int larger = std::max(g.allele1, g.allele2);
    g.allele1 = phase == 0 ? smaller : larger;
    g.allele2 = phase == 0 ? larger : smaller;
    g.paternalSource = 0;
    g.maternalSource = 0;
    if (!x.isFounder()) {
      g.paternalSource = static_cast<int>(s & 1u);
      g.maternalSource = static_cast<int>((s >> 1) & 1u);
      s >>= 2;
    }
    if (phase == 1 && smaller == larger) return kCostSentinel;
    if (phase == 1 && x.isFounder() && x.hasNoHeterozygousLocus(l)) return kCostSentinel;
  }
  return 0;
}

// 0 when s is valid at locus l and every child's alleles equal the parental
// alleles its source bits choose; kCostSentinel otherwise.
inline int stateCost(Family& family, std::uint32_t s, int l) {
  if (applyState(family, s, l) == kCostSentinel) return kCostSentinel;
  const auto locus = static_cast<std::size_t>(l);
  for (int id : family.memberOrder) {
    const Member& parent = family.member(id);
    const int side = parent.isMale() ? kPaternal : kMaternal;
    const LocusGenotype& pg = parent.genotypes[locus];
    for (int childId : parent.childIds) {
      const LocusGenotype& cg = family.member(childId).genotypes[locus];
      if (cg.alleleOnSide(side) != pg.alleleNumber(cg.sourceOnSide(side))) return kCostSentinel;
    }
  }
  return 0;
}

// Number of non-founder sources that differ between state t at locus l - 1
// and state s at locus l.
inline int transitionCost(Family& family, int l, std::uint32_t t, std::uint32_t s) {
  applyState(family, t, l - 1);
  applyState(family, s, l);
  int count = 0;
  for (int id : family.memberOrder) {
    const Member& x = family.member(id);
    const LocusGenotype& before = x.genotypes[static_cast<std::size_t>(l - 1)];
    const LocusGenotype& now = x.genotypes[static_cast<std::size_t>(l)];
    count += (before.paternalSource != now.paternalSource) + (before.maternalSource != now.maternalSource);
  }
  return count;
}

struct Cell {
  int cost = -1;
  std::vector<int> predecessors;
};

// Same results and outcome as member_dp::MemberDpSolver::run.
inline member_dp::MemberDpOutcome solveLiterally(Family& family, const ResultSinks& sinks,
                                                 std::uint64_t maxSolutions) {
  using member_dp::MemberDpOutcome;
  MemberDpOutcome outcome;
  const int stateCount = 1 << member_dp::stateBitCount(family);
  const int loci = family.locusCount;
  if (loci == 0) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  std::vector<std::vector<Cell>> table(static_cast<std::size_t>(stateCount),
                                       std::vector<Cell>(static_cast<std::size_t>(loci)));
  auto cell = [&](int s, int l) -> Cell& {
    return table[static_cast<std::size_t>(s)][static_cast<std::size_t>(l)];
  };
  for (int s = 0; s < stateCount; ++s) cell(s, 0).cost = stateCost(family, static_cast<std::uint32_t>(s), 0);
  for (int l = 1; l < loci; ++l) {
    for (int s = 0; s < stateCount; ++s) {
      Cell& c = cell(s, l);
      c.cost = kCostSentinel;
      if (stateCost(family, static_cast<std::uint32_t>(s), l) == kCostSentinel) continue;
      for (int t = 0; t < stateCount; ++t) {
        if (cell(t, l - 1).cost == kCostSentinel) continue;
        const int v = cell(t, l - 1).cost +
                      transitionCost(family, l, static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(s));
        if (v < c.cost) {
          c.cost = v;
          c.predecessors.assign(1, t);
        } else if (v == c.cost) {
          c.predecessors.push_back(t);
        }
      }
    }
  }
  // The phase bits of a joint state.
  std::uint32_t phaseMask = 0;
  unsigned position = 0;
  for (int id : family.memberOrder) {
    phaseMask |= 1u << position;
    position += family.member(id).isFounder() ? 1u : 3u;
  }
  int best = kCostSentinel;
  for (int s = 0; s < stateCount; ++s) best = std::min(best, cell(s, loci - 1).cost);
  outcome.leastCost = best;
  if (best == kCostSentinel) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  std::vector<std::uint32_t> path(static_cast<std::size_t>(loci));
  std::vector<std::vector<std::uint32_t>> foundPaths;
  std::deque<std::pair<int, int>> stack;
  for (int s = 0; s < stateCount; ++s) {
    if (cell(s, loci - 1).cost == best) stack.emplace_back(s, loci - 1);
  }
  while (!stack.empty()) {
    auto [s, l] = stack.back();
    stack.pop_back();
    while (true) {
      path[static_cast<std::size_t>(l)] = static_cast<std::uint32_t>(s) & phaseMask;
      applyState(family, static_cast<std::uint32_t>(s), l);
      if (l == 0) {
        if (std::find(foundPaths.begin(), foundPaths.end(), path) == foundPaths.end()) {
          family.recombinantCount = best;
          family.writePhasedTable(sinks.out);
          family.writeGenotypeReport(sinks.dat);
          family.writeResultLine(sinks.res);
          foundPaths.push_back(path);
          ++outcome.written;
          if (maxSolutions != 0 && outcome.written == maxSolutions) {
            if (!stack.empty()) outcome.status = MemberDpOutcome::Status::kCapped;
            return outcome;
          }
        }
        break;
      }
      const std::vector<int>& predecessors = cell(s, l).predecessors;
      if (predecessors.size() == 1) {
        s = predecessors.front();
        --l;
        continue;
      }
      for (int t : predecessors) stack.emplace_back(t, l - 1);
      break;
    }
  }
  return outcome;
}

}  // namespace member_dp_oracle
