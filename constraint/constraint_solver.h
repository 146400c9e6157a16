// The constraint-finding method: every member and locus carries one phase
// bit (0: the smaller allele code is the paternal one, 1: the larger is);
// the pedigree yields linear equations over GF(2) between these bits, and
// every assignment satisfying them is a configuration without recombinants.
// A ConstraintSolver holds the working lists of one solver call; it is
// internal to this folder (the entry is constraint/constraint_finding.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"

// Allele cells (members x loci per configuration) written for one family at
// most: the k-th configuration (k >= 2) is written only while k times its
// cells stay within this budget; the first is always written.
inline constexpr std::uint64_t kOutputCellBudget = std::uint64_t{1} << 28;

// How many configurations of the given size the budget lets through (at
// least 1; no limit for empty configurations).
std::uint64_t configurationsWithinBudget(std::uint64_t cellsPerConfiguration, std::uint64_t cellBudget);

class ConstraintSolver {
 public:
  // maxSolutions: the most solutions written for the family (0: no limit).
  // inputName: the input file, named in messages.
  ConstraintSolver(Family& family, std::uint64_t maxSolutions, std::string_view inputName = {},
                   std::uint64_t outputCellBudget = kOutputCellBudget);

  // The whole method (see solveByConstraintFinding).
  SolveResult solve(ConfigurationSink& sink);
  // Where the solver names what it is building, for a report when memory
  // runs out (null: not named).
  const char** stepSeen = nullptr;

  // Fixed phases and parity equations from every couple and its children;
  // also the family's Mendelian check. False on a contradiction.
  bool buildConstraints();
  // Propagation of fixed phases, removal of duplicate equations and
  // elimination until every equation has its own pivot (its last, largest
  // variable). False on a contradiction.
  bool reduceConstraints();
  // Writes the solutions (every assignment of the free variables, up to the
  // output limit) into the family and the three result files; the count is 2
  // to the power of the number of free variables, saturating.
  SolveResult enumerateSolutions(ConfigurationSink& sink);

  // Phase variable of the member with the given seqIndex at a locus.
  int phaseVar(int seqIndex, int locus) const { return seqIndex * locusCount_ + locus; }

  // The working lists. Each equation lists variables whose sum modulo 2 is
  // the parity at the same position; its last variable is its pivot.
  std::vector<std::vector<int>> constraints;
  std::vector<int> parities;
  std::vector<int> fixedZero;  // variables known to be 0, in the order found
  std::vector<int> fixedOne;   // variables known to be 1, in the order found

  // Filled by enumerateSolutions.
  std::vector<int> pivotVars;  // the last variable of each equation, in list order
  std::vector<int> freeVars;   // the family's variables that are neither fixed nor pivots, ascending

 private:
  // Steps of reduceConstraints (constraint/constraint_reduction.cpp).
  bool propagateFixedPhases();
  bool removeDuplicateConstraints();
  bool eliminatePivots(bool& newUnits);
  // Records a variable found fixed by a one-variable equation; false when it
  // is already fixed to the other value.
  bool fixUnit(int variable, int value, bool& added);
  void ensureVariable(int variable);

  void appendConstraint(std::vector<int>& vars, int parity);
  bool handleCouple(const Member& father, const Member& mother, const std::vector<int>& coupleChildren);
  bool walkParentLoci(const Member& walked, const Member& father, const Member& mother,
                      const std::vector<int>& coupleChildren);
  // Steps of enumerateSolutions (constraint/solution_enumeration.cpp).
  void findPivotsAndFreeVariables();
  std::uint64_t solutionsToWrite(std::uint64_t total) const;
  void writeBack(const std::vector<std::uint8_t>& values);

  bool variablesFit() const;
  void enterStep(const char* step) {
    if (stepSeen != nullptr) *stepSeen = step;
  }
  // "<file>: family <id>", the start of every message about the family.
  std::string familyName() const;

  Family& family_;
  std::uint64_t maxSolutions_;
  std::string_view inputName_;
  std::uint64_t outputCellBudget_;
  int locusCount_ = 0;
  long long recordCount_ = 0;  // highest seqIndex + 1
  // Per variable: -1 not fixed, 0 or 1 the value it is fixed to (mirrors
  // fixedZero and fixedOne, so membership needs no scan).
  std::vector<signed char> fixedValue_;
  // Scratch lists for the two-locus rule.
  std::vector<int> firstVars_;
  std::vector<int> secondVars_;
};
