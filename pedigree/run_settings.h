// Settings a user gives through the environment.
#pragma once

#include <cstdint>

// Largest number of solutions written per family by the methods that write
// every optimal configuration: HAPLOTOR_MAX_SOLUTIONS (a non-negative decimal
// integer; 0 = no limit), 4096 when unset. An invalid value is reported on every
// call and the default is used, so a run reads it once, before its families.
std::uint64_t maxSolutionsPerFamily();

inline constexpr std::uint64_t kDefaultMaxSolutions = 4096;
