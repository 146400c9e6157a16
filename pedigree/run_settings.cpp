#include "pedigree/run_settings.h"

#include <cstdlib>
#include <string>

#include "pedigree/diagnostics.h"

namespace {

bool parseCap(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text == '\0') return false;
  value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  return true;
}

}  // namespace

std::uint64_t maxSolutionsPerFamily() {
  std::uint64_t value = 0;
  return parseCap(std::getenv("HAPLOTOR_MAX_SOLUTIONS"), value) ? value : kDefaultMaxSolutions;
}

void reportInvalidSolutionCap() {
  const char* text = std::getenv("HAPLOTOR_MAX_SOLUTIONS");
  std::uint64_t value = 0;
  if (text == nullptr || parseCap(text, value)) return;
  diagnostics::warning("HAPLOTOR_MAX_SOLUTIONS='" + std::string(text) +
                       "' is not a non-negative decimal integer; using " +
                       std::to_string(kDefaultMaxSolutions));
}
