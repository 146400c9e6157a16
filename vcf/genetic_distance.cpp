#include "vcf/genetic_distance.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "pedigree/diagnostics.h"

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

double cmPerMbFromEnvironment() {
  const char* text = std::getenv("HAPLOTOR_CM_PER_MB");
  if (text == nullptr) return kDefaultCmPerMb;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value > 0) || !std::isfinite(value)) {
    diagnostics::warning("HAPLOTOR_CM_PER_MB='" + std::string(text) +
                         "' is not a positive number; using 1 cM per Mb");
    return kDefaultCmPerMb;
  }
  return value;
}
