#include "pedigree/run_settings.h"

#include <cstdlib>
#include <string>

#include "pedigree/diagnostics.h"

std::uint64_t maxSolutionsPerFamily() {
  const char* text = std::getenv("HAPLOTOR_MAX_SOLUTIONS");
  if (text == nullptr || *text == '\0') return kDefaultMaxSolutions;
  std::uint64_t value = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value > (UINT64_MAX - 9) / 10) break;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  if (*p != '\0') {
    diagnostics::error("HAPLOTOR_MAX_SOLUTIONS='" + std::string(text) +
                       "' is not a non-negative decimal integer; using " +
                       std::to_string(kDefaultMaxSolutions));
    return kDefaultMaxSolutions;
  }
  return value;
}
