// The vectorised transitions against their definition, on cubes large
// enough for the cache-blocked low bits, the paired high bits and runs of
// founder groups to all take part (in single precision also the columns of
// high bits, and groups cut by the block boundary).
#include "inheritance/hypercube.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Probability of moving from reduced state x to y: each non-group bit
// flips on its own; a group also moves as a whole with its fixed meiosis.
double transition(std::uint32_t x, std::uint32_t y, int bits, const std::vector<std::uint32_t>& groups,
                  double theta) {
  auto flips = [theta](std::uint32_t from, std::uint32_t to, std::uint32_t mask) {
    const int changes = __builtin_popcount((from ^ to) & mask);
    return std::pow(theta, changes) * std::pow(1 - theta, __builtin_popcount(mask) - changes);
  };
  std::uint32_t free = (1u << bits) - 1;
  double p = 1.0;
  for (std::uint32_t mask : groups) {
    free &= ~mask;
    p *= (1 - theta) * flips(x, y, mask) + theta * flips(x ^ mask, y, mask);
  }
  return p * flips(x, y, free);
}

int distance(std::uint32_t x, std::uint32_t y, int bits, const std::vector<std::uint32_t>& groups) {
  std::uint32_t free = (1u << bits) - 1;
  int d = 0;
  for (std::uint32_t mask : groups) {
    free &= ~mask;
    const int changes = __builtin_popcount((x ^ y) & mask);
    d += std::min(changes, __builtin_popcount(mask) + 1 - changes);
  }
  return d + __builtin_popcount((x ^ y) & free);
}

TEST(Hypercube, SpreadAndDistanceEqualTheirDefinitions) {
  std::mt19937 rng(7);
  for (int bits : {1, 2, 3, 6, 9, 13, 14, 17}) {
    // Disjoint groups over a random part of the bits; for even sizes, the
    // contiguous layout the solver uses (largest group from bit 0).
    std::vector<std::uint32_t> groups(3, 0u);
    for (int b = 0; b < bits; ++b) {
      const auto pick = static_cast<int>(bits % 2 == 0 ? 3 * b / bits : rng() % 5);
      if (pick < 3) groups[static_cast<std::size_t>(pick)] |= 1u << b;
    }
    const inheritance::Hypercube cube(bits, groups);
    const std::size_t n = cube.size();
    for (int trial = 0; trial < 3; ++trial) {
      const std::uint32_t x = static_cast<std::uint32_t>(rng() % n);
      std::vector<double> v(n, 0.0);
      v[x] = 1.0;
      cube.spread(v.data(), 0.03);
      // Single precision: the transition over (1 - theta) per operator.
      std::vector<float> f(n, 0.0F);
      f[x] = 1.0F;
      cube.spread(f.data(), 0.03);
      const auto operators =
          bits + std::count_if(groups.begin(), groups.end(), [](std::uint32_t m) { return m != 0; });
      const double factor = std::pow(1 - 0.03, static_cast<double>(operators));
      std::vector<std::int32_t> d(n, 1000);
      d[x] = 0;
      cube.distance(d.data(), 1000);
      for (std::uint32_t y = 0; y < n; ++y) {
        const double expected = transition(x, y, bits, groups, 0.03);
        ASSERT_NEAR(v[y], expected, 1e-15) << bits << " bits, " << x << " to " << y;
        ASSERT_NEAR(f[y] * factor, expected, 1e-5 * expected) << bits << " bits, " << x << " to " << y;
        ASSERT_EQ(d[y], distance(x, y, bits, groups)) << bits << " bits, " << x << " to " << y;
      }
    }
  }
}

}  // namespace
