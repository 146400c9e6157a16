#include "pedigree/random_source.h"

namespace random_source {
namespace {
std::uint32_t state = 1;

}  // namespace

void seed(std::uint32_t value) { state = value; }

int next() {
  state = state * 1103515245u + 12345u;
  return static_cast<int>((state / 65536u) % 32768u);
}

}  // namespace random_source
