// Reduction of the equations over GF(2): fixed phases are substituted and
// one-variable equations become fixed phases (propagation), equal equations
// are dropped (duplicates), and equations sharing their pivot are added to
// each other (elimination), in cycles until no new fixed phase appears.
//
// Every equation is kept ascending, so its pivot is its largest variable.
// Then what the reduction leaves determines the solutions completely: the
// fixed variables together with the pivots are exactly the largest
// variables of all sums of the family's equations, and the solutions are
// the assignments satisfying them, whatever order the equations were
// combined in. The solver uses that freedom for speed:
// - fixed values are looked up per variable instead of scanning the lists,
//   and propagation follows the equations that hold a newly fixed variable;
// - an elimination pass visits only equations that share their pivot with a
//   lower one;
// - adding one equation to another is the sum over GF(2) at once: a
//   variable that occurs in both cancels right away. Left until the pass
//   ends, such pairs pile up, and an equation that keeps its pivot through a
//   cancelled pair is added on to others, so sizes can double with every
//   step of a pass (a nuclear family of eight children over 1,000 loci
//   reached equations of millions of entries). With the sum taken at once,
//   every addition lowers the pivot of the equation it changes.
#include <algorithm>
#include <deque>
#include <iterator>
#include <set>
#include <unordered_map>
#include <utility>

#include "constraint/constraint_solver.h"

namespace {

struct VariablesHash {
  std::size_t operator()(const std::vector<int>& vars) const {
    std::size_t hash = vars.size();
    for (int v : vars) hash = hash * 1000003u ^ static_cast<std::size_t>(static_cast<unsigned>(v));
    return hash;
  }
};

// Drops the list entries whose flag is 0, keeping the order of the others.
template <typename T>
void keepFlagged(std::vector<T>& list, const std::vector<char>& keep) {
  std::size_t to = 0;
  for (std::size_t from = 0; from < list.size(); ++from) {
    if (keep[from] != 0) {
      if (to != from) list[to] = std::move(list[from]);
      ++to;
    }
  }
  list.resize(to);
}

// Removes pairs of equal variables of an ascending list: a variable that
// occurs an even number of times cancels out, an odd number leaves one.
void removeCancellingPairs(std::vector<int>& vars) {
  std::size_t to = 0;
  std::size_t from = 0;
  while (from < vars.size()) {
    std::size_t run = from;
    while (run < vars.size() && vars[run] == vars[from]) ++run;
    if ((run - from) % 2 == 1) vars[to++] = vars[from];
    from = run;
  }
  vars.resize(to);
}

// Equations grouped by their pivot, with the equations that share their
// pivot with an earlier equation (the ones an elimination pass acts on).
class PivotIndex {
 public:
  void add(int id, int pivot) {
    std::set<int>& group = groups_[pivot];
    auto [it, inserted] = group.insert(id);
    if (it != group.begin()) {
      eliminators_.insert(id);
    } else if (std::next(it) != group.end()) {
      eliminators_.insert(*std::next(it));  // the former first is no longer first
    }
  }
  void remove(int id, int pivot) {
    auto found = groups_.find(pivot);
    std::set<int>& group = found->second;
    const bool wasFirst = *group.begin() == id;
    group.erase(id);
    eliminators_.erase(id);
    if (group.empty()) {
      groups_.erase(found);
    } else if (wasFirst) {
      eliminators_.erase(*group.begin());
    }
  }
  // The highest equation below `limit` that shares its pivot with a lower
  // one, or -1.
  int nextEliminatorBelow(int limit) const {
    auto it = eliminators_.lower_bound(limit);
    if (it == eliminators_.begin()) return -1;
    return *std::prev(it);
  }
  bool empty() const { return eliminators_.empty(); }
  // The equations below `limit` with the given pivot, highest first.
  void lowerWithPivot(int pivot, int limit, std::vector<int>& ids) const {
    ids.clear();
    const std::set<int>& group = groups_.at(pivot);
    for (auto it = group.lower_bound(limit); it != group.begin();) {
      --it;
      ids.push_back(*it);
    }
  }

 private:
  std::unordered_map<int, std::set<int>> groups_;
  std::set<int> eliminators_;
};

}  // namespace

bool ConstraintSolver::fixUnit(int variable, int value, bool& added) {
  added = false;
  ensureVariable(variable);
  const signed char known = fixedValue_[static_cast<std::size_t>(variable)];
  if (known == value) return true;
  if (known >= 0) return false;
  fixedValue_[static_cast<std::size_t>(variable)] = static_cast<signed char>(value);
  (value == 0 ? fixedZero : fixedOne).push_back(variable);
  added = true;
  return true;
}

bool ConstraintSolver::reduceConstraints() {
  // The fixed values mirror the fixed lists (which a caller may have set).
  for (const std::vector<int>& vars : constraints) {
    for (int v : vars) ensureVariable(v);
  }
  std::fill(fixedValue_.begin(), fixedValue_.end(), static_cast<signed char>(-1));
  for (int v : fixedZero) {
    ensureVariable(v);
    fixedValue_[static_cast<std::size_t>(v)] = 0;
  }
  for (int v : fixedOne) {
    ensureVariable(v);
    fixedValue_[static_cast<std::size_t>(v)] = 1;
  }
  while (true) {
    if (!propagateFixedPhases()) return false;
    if (!removeDuplicateConstraints()) return false;
    bool newUnits = false;
    if (!eliminatePivots(newUnits)) return false;
    if (!newUnits) return true;
  }
}

bool ConstraintSolver::propagateFixedPhases() {
  // Every fixed variable is removed from every equation (a variable fixed to
  // 1 flips the parity); an emptied equation must have parity 0 and goes; a
  // one-variable equation fixes its variable and goes. The equations left
  // and the fixed variables found do not depend on the order of the
  // substitutions, so the ones holding a newly fixed variable are visited
  // directly.
  const std::size_t count = constraints.size();
  const std::size_t variableCount = fixedValue_.size();
  std::vector<int> start(variableCount + 1, 0);
  for (const std::vector<int>& vars : constraints) {
    for (int v : vars) ++start[static_cast<std::size_t>(v) + 1];
  }
  for (std::size_t v = 0; v < variableCount; ++v) start[v + 1] += start[v];
  std::vector<int> holders(static_cast<std::size_t>(start[variableCount]));
  {
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < count; ++k) {
      for (int v : constraints[k])
        holders[static_cast<std::size_t>(fill[static_cast<std::size_t>(v)]++)] = static_cast<int>(k);
    }
  }

  std::vector<char> alive(count, 1);
  std::deque<int> pending(fixedZero.begin(), fixedZero.end());
  pending.insert(pending.end(), fixedOne.begin(), fixedOne.end());

  auto settle = [&](std::size_t k) {
    std::vector<int>& vars = constraints[k];
    if (vars.empty()) {
      if (parities[k] != 0) return false;
      alive[k] = 0;
    } else if (vars.size() == 1) {
      bool added = false;
      if (!fixUnit(vars[0], parities[k], added)) return false;
      if (added) pending.push_back(vars[0]);
      alive[k] = 0;
    }
    return true;
  };
  // One-variable equations present from the start.
  for (std::size_t k = count; k-- > 0;) {
    if (constraints[k].size() == 1 && !settle(k)) return false;
  }
  while (!pending.empty()) {
    const int x = pending.front();
    pending.pop_front();
    const auto ux = static_cast<std::size_t>(x);
    const int value = fixedValue_[ux];
    for (int h = start[ux]; h < start[ux + 1]; ++h) {
      const auto k = static_cast<std::size_t>(holders[static_cast<std::size_t>(h)]);
      if (alive[k] == 0) continue;
      std::vector<int>& vars = constraints[k];
      const auto removed = static_cast<int>(std::erase(vars, x));
      if (removed == 0) continue;
      if (value == 1 && removed % 2 == 1) parities[k] = 1 - parities[k];
      if (!settle(k)) return false;
    }
  }
  keepFlagged(constraints, alive);
  keepFlagged(parities, alive);
  return true;
}

bool ConstraintSolver::removeDuplicateConstraints() {
  // Of equal equations (same variables in the same order) the first stays;
  // equal equations with different parities contradict each other.
  std::unordered_map<std::vector<int>, std::size_t, VariablesHash> first;
  std::vector<char> keep(constraints.size(), 1);
  for (std::size_t k = 0; k < constraints.size(); ++k) {
    auto [it, inserted] = first.try_emplace(constraints[k], k);
    if (inserted) continue;
    if (parities[it->second] != parities[k]) return false;
    keep[k] = 0;
  }
  keepFlagged(constraints, keep);
  keepFlagged(parities, keep);
  return true;
}

bool ConstraintSolver::eliminatePivots(bool& newUnits) {
  // A pass visits the equations from the last to the first; an equation
  // whose pivot is also the pivot of lower equations is added to each of
  // them (their pivot cancels, and so does every other variable the two
  // share). The equations are numbered by position for the whole step;
  // removed ones keep their number until the list is compacted.
  newUnits = false;
  const std::size_t count = constraints.size();
  std::vector<char> alive(count, 1);
  std::size_t aliveCount = count;
  PivotIndex index;
  for (std::size_t k = 0; k < count; ++k) {
    if (!constraints[k].empty()) index.add(static_cast<int>(k), constraints[k].back());
  }

  std::vector<int> lower;
  std::vector<int> changed;
  std::vector<char> isChanged(count, 0);
  while (aliveCount >= 2 && !index.empty()) {
    // Elimination pass.
    changed.clear();
    for (int i = index.nextEliminatorBelow(static_cast<int>(count)); i >= 0;
         i = index.nextEliminatorBelow(i)) {
      const std::vector<int>& eliminator = constraints[static_cast<std::size_t>(i)];
      const int pivot = eliminator.back();
      index.lowerWithPivot(pivot, i, lower);
      for (int j : lower) {
        const auto uj = static_cast<std::size_t>(j);
        index.remove(j, pivot);
        std::vector<int>& vars = constraints[uj];
        vars.pop_back();
        vars.insert(vars.end(), eliminator.begin(), eliminator.end() - 1);
        std::sort(vars.begin(), vars.end());
        removeCancellingPairs(vars);
        if (parities[static_cast<std::size_t>(i)] == 1) parities[uj] = 1 - parities[uj];
        if (!vars.empty()) index.add(j, vars.back());
        if (isChanged[uj] == 0) {
          isChanged[uj] = 1;
          changed.push_back(j);
        }
      }
    }
    // Clean-up pass, from the last equation to the first: emptied equations
    // must have parity 0, one-variable equations become fixed phases (only
    // changed equations can have fewer than two variables).
    std::sort(changed.begin(), changed.end(), [](int a, int b) { return a > b; });
    for (int k : changed) {
      const auto uk = static_cast<std::size_t>(k);
      isChanged[uk] = 0;
      std::vector<int>& vars = constraints[uk];
      if (vars.size() >= 2) continue;
      if (!vars.empty()) index.remove(k, vars.back());
      if (vars.empty()) {
        if (parities[uk] != 0) return false;
      } else {
        bool added = false;
        if (!fixUnit(vars[0], parities[uk], added)) return false;
        if (added) newUnits = true;
      }
      alive[uk] = 0;
      --aliveCount;
    }
  }
  keepFlagged(constraints, alive);
  keepFlagged(parities, alive);
  return true;
}
