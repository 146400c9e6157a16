// What the constraint-finding tests share: the reduction over GF(2) written
// the plain way (vectors, linear scans of the fixed lists, every pair of
// equations compared in every elimination pass; slow, but easy to check
// against the method's description, so the solver's faster reduction is
// compared with it), and a family solved from text into memory sinks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "constraint/constraint_finding.h"
#include "constraint/constraint_solver.h"
#include "test_support.h"

namespace constraint_test {

struct EquationSystem {
  std::vector<std::vector<int>> constraints;
  std::vector<int> parities;
  std::vector<int> fixedZero;
  std::vector<int> fixedOne;
};

enum class ReductionOutcome { kReduced, kContradiction, kTooManyPasses };

namespace literal_detail {

inline bool containsValue(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

inline void eraseAt(EquationSystem& s, std::size_t k) {
  s.constraints.erase(s.constraints.begin() + static_cast<std::ptrdiff_t>(k));
  s.parities.erase(s.parities.begin() + static_cast<std::ptrdiff_t>(k));
}

// A one-variable equation: false on a contradiction.
inline bool settleUnit(EquationSystem& s, int x, int parity, bool& appended) {
  appended = false;
  std::vector<int>& same = parity == 1 ? s.fixedOne : s.fixedZero;
  const std::vector<int>& other = parity == 1 ? s.fixedZero : s.fixedOne;
  if (containsValue(other, x)) return false;
  if (!containsValue(same, x)) {
    same.push_back(x);
    appended = true;
  }
  return true;
}

inline bool substitute(EquationSystem& s, int x, bool flips) {
  for (std::size_t k = s.constraints.size(); k-- > 0;) {
    std::vector<int>& vars = s.constraints[k];
    for (std::size_t m = vars.size(); m-- > 0;) {
      if (vars[m] != x) continue;
      vars.erase(vars.begin() + static_cast<std::ptrdiff_t>(m));
      if (flips) s.parities[k] = 1 - s.parities[k];
    }
    if (vars.empty()) {
      if (s.parities[k] != 0) return false;
      eraseAt(s, k);
    }
  }
  return true;
}

}  // namespace literal_detail

inline ReductionOutcome reduceLiterally(EquationSystem& s, int maxPasses = 100000) {
  using namespace literal_detail;
  int passes = 0;
  while (true) {
    // Propagation.
    std::size_t zeroDone = 0;
    std::size_t oneDone = 0;
    while (zeroDone != s.fixedZero.size() || oneDone != s.fixedOne.size()) {
      for (std::size_t p = zeroDone; p < s.fixedZero.size(); ++p) {
        if (!substitute(s, s.fixedZero[p], false)) return ReductionOutcome::kContradiction;
      }
      for (std::size_t p = oneDone; p < s.fixedOne.size(); ++p) {
        if (!substitute(s, s.fixedOne[p], true)) return ReductionOutcome::kContradiction;
      }
      zeroDone = s.fixedZero.size();
      oneDone = s.fixedOne.size();
      for (std::size_t k = s.constraints.size(); k-- > 0;) {
        if (s.constraints[k].size() != 1) continue;
        bool appended = false;
        if (!settleUnit(s, s.constraints[k][0], s.parities[k], appended)) {
          return ReductionOutcome::kContradiction;
        }
        eraseAt(s, k);
      }
    }
    // Duplicates.
    for (std::size_t i = s.constraints.size(); i-- > 1;) {
      for (std::size_t j = i; j-- > 0;) {
        if (s.constraints[j] != s.constraints[i]) continue;
        if (s.parities[j] != s.parities[i]) return ReductionOutcome::kContradiction;
        eraseAt(s, i);
        break;
      }
    }
    // Elimination.
    bool newUnits = false;
    while (s.constraints.size() >= 2) {
      if (++passes > maxPasses) return ReductionOutcome::kTooManyPasses;
      bool eliminated = false;
      for (std::size_t i = s.constraints.size(); i-- > 1;) {
        for (std::size_t j = i; j-- > 0;) {
          if (s.constraints[i].back() != s.constraints[j].back()) continue;
          eliminated = true;
          std::vector<int>& target = s.constraints[j];
          target.pop_back();
          target.insert(target.end(), s.constraints[i].begin(), s.constraints[i].end() - 1);
          if (s.parities[i] == 1) s.parities[j] = 1 - s.parities[j];
          std::sort(target.begin(), target.end());
        }
      }
      if (!eliminated) break;
      for (std::size_t k = s.constraints.size(); k-- > 0;) {
        std::vector<int>& vars = s.constraints[k];
        std::size_t m = vars.size() - 1;
        while (m >= 1 && m < vars.size()) {
          if (vars[m] == vars[m - 1]) {
            vars.erase(vars.begin() + static_cast<std::ptrdiff_t>(m - 1),
                       vars.begin() + static_cast<std::ptrdiff_t>(m + 1));
            if (m < 2) break;
            m -= 2;
          } else {
            m -= 1;
          }
        }
        if (vars.empty()) {
          if (s.parities[k] != 0) return ReductionOutcome::kContradiction;
          eraseAt(s, k);
        } else if (vars.size() == 1) {
          bool appended = false;
          if (!settleUnit(s, vars[0], s.parities[k], appended)) return ReductionOutcome::kContradiction;
          if (appended) newUnits = true;
          eraseAt(s, k);
        }
      }
    }
    if (!newUnits) return ReductionOutcome::kReduced;
  }
}

// Satisfies every fixed value and equation; bit v of `assignment` is the
// value of variable v.
inline bool satisfies(const EquationSystem& s, unsigned assignment) {
  auto value = [assignment](int v) { return static_cast<int>((assignment >> v) & 1u); };
  for (int v : s.fixedZero) {
    if (value(v) != 0) return false;
  }
  for (int v : s.fixedOne) {
    if (value(v) != 1) return false;
  }
  for (std::size_t k = 0; k < s.constraints.size(); ++k) {
    int sum = s.parities[k];
    for (int v : s.constraints[k]) sum ^= value(v);
    if (sum != 0) return false;
  }
  return true;
}

struct Solved {
  SolveResult result;
  std::string dat;
  std::string res;
  std::string out;
  int memberCount = 0;
};

// The first family of the text, prepared and solved by the entry function.
inline Solved solveText(const std::string& text, std::uint64_t maxSolutions) {
  auto family = test_support::preparedFamily(text);
  Solved solved;
  solved.memberCount = family->memberCount;
  TextSink dat;
  TextSink res;
  TextSink out;
  solved.result = solveByConstraintFinding(*family, {dat, res, out}, maxSolutions, "test input");
  solved.dat = dat.text();
  solved.res = res.text();
  solved.out = out.text();
  return solved;
}

}  // namespace constraint_test
