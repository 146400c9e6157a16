// Option m: the member-based dynamic programme over the joint state of a
// whole family, writing every distinct optimal phase configuration.
#pragma once

#include <cstdint>
#include <string_view>

#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/result_sinks.h"

// Solves one prepared family and writes each optimal configuration into the
// three result files, at most maxSolutions of them (0 = no limit). A family
// needing more than 20 state bits gets "Pedigree <id> is to big!" in "out"
// and is refused. Refusals, a family without a consistent configuration, and
// one whose output was capped are reported on standard error as
// "<inputName>: family <id>: ...".
SolveResult solveByMemberDp(Family& family, const ResultSinks& sinks, std::uint64_t maxSolutions,
                            std::string_view inputName);
