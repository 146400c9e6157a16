#include "pedigree/random_source.h"

#include <cstdlib>
#include <ctime>

namespace random_source {
namespace {
std::uint32_t state = 1;

// Parses an optionally signed decimal integer, reduced modulo 2^32.
bool parseSeed(const char* text, std::uint32_t& value) {
  if (text == nullptr) return false;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  std::uint32_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<std::uint32_t>(*p - '0');
  if (*p != '\0') return false;
  value = negative ? 0u - v : v;
  return true;
}
}  // namespace

void seed(std::uint32_t value) { state = value; }

void seedFromEnvironment() {
  std::uint32_t value = 0;
  if (parseSeed(std::getenv("HAPLOTOR_SEED"), value)) {
    seed(value);
  } else {
    seed(static_cast<std::uint32_t>(std::time(nullptr)));
  }
}

int next() {
  state = state * 1103515245u + 12345u;
  return static_cast<int>((state / 65536u) % 32768u);
}

}  // namespace random_source
