// Option c: every configuration of a family without recombinants.
#pragma once

#include <cstdint>
#include <string_view>

#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/result_sinks.h"

// Messages name the input file `inputName` and the family. Writes the family's zero-recombinant
// configurations into the three result files, at most maxSolutions of them (0: no limit). kNoSolution when
// there is none (the caller writes that line); kRefused after an error on standard error; kCapped when some
// were left unwritten. solutionCount is 2 to the power of the free phase variables, saturating at the largest
// 64-bit value.
SolveResult solveByConstraintFinding(Family& family, const ResultSinks& sinks, std::uint64_t maxSolutions,
                                     std::string_view inputName);
