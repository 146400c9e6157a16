// Option c: every configuration of a family without recombinants.
#pragma once

#include <cstdint>
#include <string_view>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/settings.h"

// Messages name the input file `inputName` and the family. Hands the prepared family's zero-recombinant
// configurations to `sink`, at most settings.maxSolutions of them (0: no limit). kNoSolution when there is
// none (the sink is told); kRefused after an error on standard error; kCapped when some were left out.
// solutionCount is 2 to the power of the free phase variables, saturating at the largest 64-bit value.
SolveResult solveByConstraintFinding(Family& family, const Settings& settings, std::string_view inputName,
                                     ConfigurationSink& sink);
