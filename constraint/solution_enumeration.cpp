// Enumeration of the configurations without recombinants: every assignment
// of the free phase variables, completed by back substitution, written into
// the members' genotypes and out to the three result files.
#include <algorithm>
#include <cstdint>
#include <string>

#include "constraint/constraint_solver.h"
#include "pedigree/diagnostics.h"

namespace {

std::string solutionsText(std::size_t freeCount) {
  std::string text = "2^" + std::to_string(freeCount);
  if (freeCount < 64) text += " = " + std::to_string(std::uint64_t{1} << freeCount);
  return text + " zero-recombinant solutions (" + std::to_string(freeCount) + " free phase variables)";
}

}  // namespace

void ConstraintSolver::writeBack(const std::vector<std::uint8_t>& values) {
  for (int memberId : family_.memberOrder) {
    auto found = family_.members.find(memberId);
    if (found == family_.members.end()) continue;
    Member& member = found->second;
    // Founders pass nothing on from parents; a child's sources are worked
    // out again by the recombinant count for every solution.
    const int source = member.isFounder() ? 0 : kSourceUnknown;
    for (int l = 0; l < locusCount_; ++l) {
      LocusGenotype& g = member.genotypes[static_cast<std::size_t>(l)];
      const std::uint8_t value = values[static_cast<std::size_t>(phaseVar(member.seqIndex, l))];
      g.resolved = true;
      // Phase 0: the smaller code is the paternal allele; phase 1: the larger.
      if ((value == 0 && g.allele2 < g.allele1) || (value == 1 && g.allele1 < g.allele2)) g.swapAndResolve();
      g.paternalSource = source;
      g.maternalSource = source;
    }
  }
}

void ConstraintSolver::findPivotsAndFreeVariables() {
  for (const std::vector<int>& vars : constraints) {
    for (int v : vars) ensureVariable(v);
  }
  std::vector<char> determined(fixedValue_.size(), 0);
  pivotVars.clear();
  for (const std::vector<int>& vars : constraints) {
    pivotVars.push_back(vars.back());
    determined[static_cast<std::size_t>(vars.back())] = 1;
  }
  for (int v : fixedZero) determined[static_cast<std::size_t>(v)] = 1;
  for (int v : fixedOne) determined[static_cast<std::size_t>(v)] = 1;

  // The family's variables: those of its members, 0 .. memberCount * loci - 1
  // (families with a repeated member id never get here).
  freeVars.clear();
  for (const auto& [id, member] : family_.members) {
    for (int l = 0; l < locusCount_; ++l) {
      const int v = phaseVar(member.seqIndex, l);
      if (determined[static_cast<std::size_t>(v)] == 0) freeVars.push_back(v);
    }
  }
  std::sort(freeVars.begin(), freeVars.end());
}

std::uint64_t configurationsWithinBudget(std::uint64_t cellsPerConfiguration, std::uint64_t cellBudget) {
  if (cellsPerConfiguration == 0) return UINT64_MAX;
  return std::max<std::uint64_t>(1, cellBudget / cellsPerConfiguration);
}

std::uint64_t ConstraintSolver::solutionsToWrite(std::uint64_t total) const {
  // total saturates at 2^64 - 1 from 64 free variables on.
  const std::uint64_t members = static_cast<std::uint64_t>(std::max(family_.memberCount, 0));
  const std::uint64_t loci = static_cast<std::uint64_t>(std::max(locusCount_, 0));
  const std::uint64_t cap = maxSolutions_ == 0 ? UINT64_MAX : maxSolutions_;
  const std::uint64_t budget = configurationsWithinBudget(members * loci, outputCellBudget_);
  const std::uint64_t toWrite = std::min({total, cap, budget});
  if (toWrite == total) return toWrite;
  const std::string found = familyName() + ": " + solutionsText(freeVars.size()) + "; only the first " +
                            std::to_string(toWrite) + " were written";
  if (budget < cap) {
    diagnostics::note(found + ", as " + std::to_string(members) + " members x " + std::to_string(loci) +
                      " loci per configuration reach the output budget of " +
                      std::to_string(outputCellBudget_) +
                      " allele cells (the other limit, HAPLOTOR_MAX_SOLUTIONS, is " +
                      (maxSolutions_ == 0 ? std::string("0, none") : std::to_string(maxSolutions_)) + ")");
  } else {
    diagnostics::note(found + " (HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 for none)");
  }
  return toWrite;
}

SolveResult ConstraintSolver::enumerateSolutions(ConfigurationSink& sink) {
  findPivotsAndFreeVariables();
  std::vector<std::uint8_t> values(fixedValue_.size(), 0);
  for (int v : fixedOne) values[static_cast<std::size_t>(v)] = 1;

  // Back substitution in ascending pivot order: every other variable of an
  // equation is smaller than its pivot, so it is free, fixed, or the pivot
  // of an equation already done.
  std::vector<std::size_t> byPivot(constraints.size());
  for (std::size_t k = 0; k < byPivot.size(); ++k) byPivot[k] = k;
  std::sort(byPivot.begin(), byPivot.end(),
            [this](std::size_t a, std::size_t b) { return pivotVars[a] < pivotVars[b]; });

  const std::size_t freeCount = freeVars.size();
  SolveResult result;
  result.solutionCount = freeCount < 64 ? std::uint64_t{1} << freeCount : UINT64_MAX;
  const std::uint64_t toWrite = solutionsToWrite(result.solutionCount);
  if (toWrite < result.solutionCount) result.outcome = FamilyOutcome::kCapped;

  for (std::uint64_t s = 0; s < toWrite; ++s) {
    // Free variable k takes bit k of s.
    for (std::size_t k = 0; k < freeCount; ++k) {
      values[static_cast<std::size_t>(freeVars[k])] = k < 64 ? static_cast<std::uint8_t>((s >> k) & 1u) : 0;
    }
    for (std::size_t k : byPivot) {
      const std::vector<int>& vars = constraints[k];
      int value = parities[k];
      for (std::size_t t = 0; t + 1 < vars.size(); ++t) value ^= values[static_cast<std::size_t>(vars[t])];
      values[static_cast<std::size_t>(vars.back())] = static_cast<std::uint8_t>(value);
    }
    writeBack(values);
    family_.countRecombinants();
    sink.configuration(family_);
  }
  return result;
}
