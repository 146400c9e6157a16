#include "vcf/genetic_distance.h"

#include <cmath>

std::vector<double> haldaneFractions(const std::vector<std::int64_t>& positions, double cmPerMb) {
  std::vector<double> fractions;
  if (positions.size() < 2) return fractions;
  fractions.reserve(positions.size() - 1);
  for (std::size_t i = 0; i + 1 < positions.size(); ++i) {
    const double morgans = static_cast<double>(positions[i + 1] - positions[i]) * cmPerMb / 1e8;
    fractions.push_back(0.5 * (1.0 - std::exp(-2.0 * morgans)));
  }
  return fractions;
}
