// The program's one random generator. Every random draw of the program goes
// through it, so a run seeded with the same HAPLOTOR_SEED is reproducible on
// every platform: a 32-bit linear congruential state yielding 0..32767.
#pragma once

#include <cstdint>

namespace random_source {

inline constexpr int kMax = 32767;

void seed(std::uint32_t value);
// Next integer in 0..kMax.
int next();

}  // namespace random_source
