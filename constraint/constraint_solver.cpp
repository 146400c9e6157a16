// The constraint-finding solver: build the equations, reduce them, write
// every configuration without recombinants.
#include "constraint/constraint_solver.h"

#include <climits>
#include <new>
#include <string>

#include "constraint/constraint_finding.h"
#include "pedigree/diagnostics.h"

SolveResult solveByConstraintFinding(Family& family, const Settings& settings, std::string_view inputName,
                                     ConfigurationSink& sink) {
  const char* step = "the phase variables";
  try {
    ConstraintSolver solver(family, settings.maxSolutions, inputName);
    solver.stepSeen = &step;
    const SolveResult result = solver.solve(sink);
    if (result.outcome == FamilyOutcome::kNoSolution) sink.noSolution(family);
    return result;
  } catch (const std::bad_alloc&) {
    // The solver's lists are released on the way out; the run goes on with
    // the next family.
    diagnostics::error(std::string(inputName) + ": family " + std::to_string(family.familyId) +
                       ": out of memory while building " + step +
                       " for the constraint-finding method; the family is skipped (configurations already "
                       "written stay in the result files)");
    return {FamilyOutcome::kRefused, 0};
  }
}

ConstraintSolver::ConstraintSolver(Family& family, std::uint64_t maxSolutions, std::string_view inputName,
                                   std::uint64_t outputCellBudget)
    : family_(family),
      maxSolutions_(maxSolutions),
      inputName_(inputName),
      outputCellBudget_(outputCellBudget),
      locusCount_(family.locusCount) {
  // Phase variables are 32-bit numbers seqIndex * locusCount + locus.
  long long highestIndex = 0;
  for (const auto& [id, member] : family_.members) {
    if (member.seqIndex > highestIndex) highestIndex = member.seqIndex;
  }
  recordCount_ = highestIndex + 1;
  if (variablesFit()) fixedValue_.assign(static_cast<std::size_t>(recordCount_ * locusCount_), -1);
}

bool ConstraintSolver::variablesFit() const { return recordCount_ * locusCount_ <= INT_MAX; }

SolveResult ConstraintSolver::solve(ConfigurationSink& sink) {
  const SolveResult refused{FamilyOutcome::kRefused, 0};
  const SolveResult noSolution{FamilyOutcome::kNoSolution, 0};
  // Phase variables are numbered by line position. A member id given on two
  // lines leaves a replaced record's variables in the numbered range and puts
  // the live member's variables outside it, where they are never free: the
  // solutions would repeat and miss that member's phases. Such a family is
  // refused instead.
  for (const auto& [id, member] : family_.members) {
    if (member.seqIndex >= family_.memberCount) {
      diagnostics::error(familyName() + ": member " + std::to_string(id) +
                         " is given on more than one line, and the constraint-finding method numbers its "
                         "phase variables by line; nothing was written for this family");
      return refused;
    }
  }
  if (!variablesFit()) {
    diagnostics::error(familyName() + ": too many members times loci (" + std::to_string(recordCount_) +
                       " x " + std::to_string(locusCount_) +
                       ") for the constraint-finding method; nothing was written for it");
    return refused;
  }
  enterStep("the equations");
  if (!buildConstraints()) return noSolution;
  enterStep("the reduced equations");
  if (!reduceConstraints()) return noSolution;
  enterStep("the configurations");
  return enumerateSolutions(sink);
}

std::string ConstraintSolver::familyName() const {
  return std::string(inputName_) + ": family " + std::to_string(family_.familyId);
}

void ConstraintSolver::ensureVariable(int variable) {
  if (static_cast<std::size_t>(variable) >= fixedValue_.size()) {
    fixedValue_.resize(static_cast<std::size_t>(variable) + 1, -1);
  }
}
