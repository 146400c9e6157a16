// Option l: the configuration of a family with fewest recombinations, by a
// dynamic programme over a tree of its members.
#pragma once

#include <string_view>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/settings.h"

// Phases every member of a prepared family, counts the recombinants and hands
// the configuration to `sink` (kSolved; an empty family is solved as it is).
// A family too large for the programme is reported on standard error, the
// sink is told it is too big, and the family is left untouched (kRefused).
// solutionCount is 1 when solved. Messages name the input file `inputName`
// and the family.
SolveResult solveByLocusDp(Family& family, const Settings& settings, std::string_view inputName,
                           ConfigurationSink& sink);
