// The member-based programme exactly as first stated, kept as the oracle
// for the fast solver: a table of J x L cells with cost and predecessor
// list, every pair of consistent states compared through transitionCost,
// and a trace back that compares each completed path with every path
// written before. Slow (J^2 per locus) and only meant for small families.
// Header-only so the benchmark can time it too.
#pragma once

#include <cmath>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "member_dp/joint_state.h"
#include "member_dp/member_dp_solver.h"
#include "pedigree/family.h"

namespace member_dp_oracle {

struct Cell {
  int cost = -1;
  std::vector<int> predecessors;
};

// Same results and outcome as member_dp::MemberDpSolver::run: writes nothing
// when no configuration is consistent, stops after maxSolutions written
// configurations (0 = no limit).
inline member_dp::MemberDpOutcome solveLiterally(Family& family, TextSink& out, TextSink& dat,
                                                 TextSink& res, std::uint64_t maxSolutions) {
  using member_dp::MemberDpOutcome;
  MemberDpOutcome outcome;
  const int n = family.memberCount;
  const int f = family.founderCount;
  const int stateCount = static_cast<int>(std::pow(2.0, 3.0 * (n - f) + f));
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
  for (int s = 0; s < stateCount; ++s)
    cell(s, 0).cost = member_dp::stateCost(family, static_cast<std::uint32_t>(s), 0);
  for (int l = 1; l < loci; ++l) {
    for (int s = 0; s < stateCount; ++s) {
      Cell& c = cell(s, l);
      c.cost = kCostSentinel;
      if (member_dp::stateCost(family, static_cast<std::uint32_t>(s), l) == kCostSentinel) continue;
      for (int t = 0; t < stateCount; ++t) {
        if (cell(t, l - 1).cost == kCostSentinel) continue;
        const int v =
            cell(t, l - 1).cost + member_dp::transitionCost(family, l, static_cast<std::uint32_t>(t),
                                                            static_cast<std::uint32_t>(s));
        if (v < c.cost) {
          c.cost = v;
          c.predecessors.assign(1, t);
        } else if (v == c.cost) {
          c.predecessors.push_back(t);
        }
      }
    }
  }
  family.statePath.resize(static_cast<std::size_t>(loci));
  member_dp::computeStateMask(family);
  int best = kCostSentinel;
  for (int s = 0; s < stateCount; ++s) best = std::min(best, cell(s, loci - 1).cost);
  outcome.leastCost = best;
  if (best == kCostSentinel) {
    outcome.status = MemberDpOutcome::Status::kNoConsistentConfiguration;
    return outcome;
  }
  std::deque<std::pair<int, int>> stack;
  for (int s = 0; s < stateCount; ++s) {
    if (cell(s, loci - 1).cost == best) stack.emplace_back(s, loci - 1);
  }
  while (!stack.empty()) {
    auto [s, l] = stack.back();
    stack.pop_back();
    while (true) {
      family.statePath[static_cast<std::size_t>(l)] =
          static_cast<int>(static_cast<std::uint32_t>(s) & family.stateMask);
      member_dp::applyState(family, static_cast<std::uint32_t>(s), l);
      if (l == 0) {
        bool seen = false;
        for (const std::vector<int>& path : family.foundPaths) seen = seen || path == family.statePath;
        if (!seen) {
          family.recombinantCount = best;
          family.writePhasedTable(out);
          family.writeGenotypeReport(dat);
          family.writeResultLine(res);
          family.foundPaths.push_back(family.statePath);
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
