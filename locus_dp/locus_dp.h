// Option l: the configuration of a family with fewest recombinations, by a
// dynamic programme over a tree of its members.
#pragma once

#include <string_view>

#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/text_sink.h"

// Phases every member and counts the recombinants (kSolved; an empty family
// is solved as it is). A family too large for the programme is reported on
// standard error, gets the "too big" line in `out` and is left untouched
// (kRefused). solutionCount is 1 when solved: one configuration is written.
// Messages name the input file `inputName` and the family.
SolveResult solveByLocusDp(Family& family, TextSink& out, std::string_view inputName);
