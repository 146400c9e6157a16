// Recombination fractions between consecutive sites of one chromosome, from
// their physical positions.
#pragma once

#include <cstdint>
#include <vector>

// Haldane's map function over a uniform rate: interval i (between sites i and
// i + 1) has d = (position[i+1] - position[i]) * cmPerMb / 1e8 Morgans and
// fraction (1 - exp(-2d)) / 2. One entry fewer than there are sites.
std::vector<double> haldaneFractions(const std::vector<std::int64_t>& positions, double cmPerMb);
