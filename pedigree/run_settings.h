// Settings a user gives through the environment.
#pragma once

#include <cstdint>

inline constexpr std::uint64_t kDefaultMaxSolutions = 4096;

// Largest number of solutions written per family by the methods that write
// every optimal configuration: HAPLOTOR_MAX_SOLUTIONS (a non-negative decimal
// integer; 0 = no limit), kDefaultMaxSolutions when unset or invalid.
std::uint64_t maxSolutionsPerFamily();

// Reports an invalid HAPLOTOR_MAX_SOLUTIONS on standard error; a run that
// uses the setting calls this once, before its first family.
void reportInvalidSolutionCap();
