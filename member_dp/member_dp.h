// Option m: the member-based dynamic programme over the joint state of a
// whole family, writing every distinct optimal phase configuration.
#pragma once

#include <cstdint>
#include <string_view>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/settings.h"

// Solves one prepared family and hands each optimal configuration to `sink`,
// at most settings.maxSolutions of them (0 = no limit). A family needing more
// than 20 state bits is refused (the sink is told it is too big). Refusals, a family without a consistent
// configuration, and one whose output was capped are reported on standard error as
// "<inputName>: family <id>: ...".
SolveResult solveByMemberDp(Family& family, const Settings& settings, std::string_view inputName,
                            ConfigurationSink& sink);
