// How a solver's work on one family ended, apart from what it wrote.
#pragma once

#include <cstdint>

enum class FamilyOutcome {
  kSolved,      // at least one configuration found and written
  kRefused,     // the family is outside what the method takes (size, repeated ids)
  kNoSolution,  // the method proved that no configuration of its kind exists
  kCapped,      // configurations were found, but not all of them were written
};

struct SolveResult {
  FamilyOutcome outcome = FamilyOutcome::kSolved;
  std::uint64_t solutionCount = 0;  // configurations found (not only those written)
};
