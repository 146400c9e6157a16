// The hypercube transitions. They are the hot loop of the method: every
// locus of the forward and backward passes applies one, over every state.
// Low bits are done block by block while the block sits in cache; higher
// bits two at a time (four states per step), so a large vector crosses
// memory about bits / 2 times instead of bits times.
#include "inheritance/hypercube.h"

#include <algorithm>
#include <utility>

namespace inheritance {

namespace {

// 2^12 doubles: 32 KiB, one level-1 data cache.
constexpr int kBlockBits = 12;

struct SpreadPair {
  double stay;
  double flip;
  void operator()(double& a, double& b) const {
    const double x = a;
    const double y = b;
    a = stay * x + flip * y;
    b = flip * x + stay * y;
  }
};

struct DistancePair {
  void operator()(std::int32_t& a, std::int32_t& b) const {
    const std::int32_t x = a;
    const std::int32_t y = b;
    a = std::min(x, y + 1);
    b = std::min(y, x + 1);
  }
};

// The column passes: strides are multiples of `row`, and only the states
// at [start, start + width) within every row take part. With row = the
// lowest stride, start 0 and width = row, every state does.
// One bit of stride s over n states.
template <typename T, typename Pair>
[[gnu::always_inline]] inline void passOneBitColumns(T* v, std::size_t n, std::size_t s, std::size_t row,
                                                     std::size_t start, std::size_t width, Pair pair) {
  for (std::size_t base = 0; base < n; base += 2 * s) {
    for (std::size_t low = start; low < s; low += row) {
      T* __restrict a = v + base + low;
      T* __restrict b = a + s;
      for (std::size_t j = 0; j < width; ++j) pair(a[j], b[j]);
    }
  }
}

// Two bits of strides s1 < s2 in one sweep.
template <typename T, typename Pair>
[[gnu::always_inline]] inline void passTwoBitsColumns(T* v, std::size_t n, std::size_t s1, std::size_t s2,
                                                      std::size_t row, std::size_t start, std::size_t width,
                                                      Pair pair) {
  for (std::size_t high = 0; high < n; high += 2 * s2) {
    for (std::size_t mid = 0; mid < s2; mid += 2 * s1) {
      for (std::size_t low = start; low < s1; low += row) {
        T* __restrict a = v + high + mid + low;
        T* __restrict b = a + s1;
        T* __restrict c = a + s2;
        T* __restrict d = c + s1;
        for (std::size_t j = 0; j < width; ++j) {
          pair(a[j], b[j]);
          pair(c[j], d[j]);
          pair(a[j], c[j]);
          pair(b[j], d[j]);
        }
      }
    }
  }
}

template <typename T, typename Pair>
[[gnu::always_inline]] inline void passOneBit(T* v, std::size_t n, std::size_t s, Pair pair) {
  passOneBitColumns(v, n, s, s, 0, s, pair);
}

template <typename T, typename Pair>
[[gnu::always_inline]] inline void passTwoBits(T* v, std::size_t n, std::size_t s1, std::size_t s2,
                                               Pair pair) {
  passTwoBitsColumns(v, n, s1, s2, s1, 0, s1, pair);
}

// Bits 0 and 1 together: four neighbouring states.
template <typename T, typename Pair>
[[gnu::always_inline]] inline void passLowestTwo(T* v, std::size_t n, Pair pair) {
  for (std::size_t i = 0; i < n; i += 4) {
    pair(v[i], v[i + 1]);
    pair(v[i + 2], v[i + 3]);
    pair(v[i], v[i + 2]);
    pair(v[i + 1], v[i + 3]);
  }
}

// Pairs r with r ^ mask for every r (each pair once). Runs of states below
// the mask's lowest bit move together, so they are contiguous; the column
// form takes only [start, start + width) of every `row` of each run.
template <typename T, typename Pair>
[[gnu::always_inline]] inline void passGroupColumns(T* v, std::size_t n, std::uint32_t mask, std::size_t row,
                                                    std::size_t start, std::size_t width, Pair pair) {
  const std::size_t run = std::size_t{1} << __builtin_ctz(mask);
  const std::size_t top = std::size_t{1} << (31 - __builtin_clz(mask));
  for (std::size_t r = 0; r < n; r += run) {
    if ((r & top) != 0) continue;
    for (std::size_t low = start; low < run; low += row) {
      T* __restrict a = v + r + low;
      T* __restrict b = v + (r ^ mask) + low;
      for (std::size_t j = 0; j < width; ++j) pair(a[j], b[j]);
    }
  }
}

template <typename T, typename Pair>
[[gnu::always_inline]] inline void passGroup(T* v, std::size_t n, std::uint32_t mask, Pair pair) {
  if ((mask & (mask + 1)) == 0) {
    // Bits 0..m-1: every block of 2^m states is paired with itself reversed.
    const std::size_t size = std::size_t{mask} + 1;
    for (std::size_t base = 0; base < n; base += size) {
      T* __restrict a = v + base;
      T* __restrict b = v + base + size / 2;
      for (std::size_t j = 0; j < size / 2; ++j) pair(a[j], b[size / 2 - 1 - j]);
    }
    return;
  }
  const std::size_t run = std::size_t{1} << __builtin_ctz(mask);
  passGroupColumns(v, n, mask, run, 0, run, pair);
}

template <typename T, typename Pair>
[[gnu::always_inline]] inline void passAll(T* v, int bits, const std::vector<std::uint32_t>& groups,
                                           Pair pair) {
  const std::size_t n = std::size_t{1} << bits;
  const int lowBits = std::min(bits, kBlockBits);
  const std::size_t block = std::size_t{1} << lowBits;
  for (std::size_t start = 0; start < n; start += block) {
    T* b = v + start;
    int bit = 0;
    if (lowBits >= 2) {
      passLowestTwo(b, block, pair);
      bit = 2;
    }
    for (; bit + 1 < lowBits; bit += 2) {
      passTwoBits(b, block, std::size_t{1} << bit, std::size_t{1} << (bit + 1), pair);
    }
    if (bit < lowBits) passOneBit(b, block, std::size_t{1} << bit, pair);
  }
  int bit = lowBits;
  for (; bit + 1 < bits; bit += 2)
    passTwoBits(v, n, std::size_t{1} << bit, std::size_t{1} << (bit + 1), pair);
  if (bit < bits) passOneBit(v, n, std::size_t{1} << bit, pair);
  for (std::uint32_t mask : groups) passGroup(v, n, mask, pair);
}

// The single-precision spread: each butterfly is (1, rho) with rho = theta /
// (1 - theta), the transition over (1 - theta) per operator, so it is one
// fused multiply-add per state and operator; the constant factor is left to
// the caller's rescaling.
struct ScaledSpreadPair {
  float rho;
  void operator()(float& a, float& b) const {
    const float x = a;
    const float y = b;
    a = x + rho * y;
    b = y + rho * x;
  }
};

// 2^13 floats: 32 KiB, one level-1 data cache.
constexpr int kFloatBlockBits = 13;
// The high bits are swept in columns: every state whose low bits are in
// [start, start + width), about 2^16 floats (256 KiB, within the level-2
// cache), so all high bits cross memory once.
constexpr int kColumnStateBits = 16;

// The low bits' block size for the single-precision sweep: at most
// kFloatBlockBits, and not cutting a group in two, so every group is done
// within one of the two sweeps (a group that must be cut is a pass of its own).
int floatLowBits(int bits, const std::vector<std::uint32_t>& groups) {
  int low = std::min(bits, kFloatBlockBits);
  for (;;) {
    const std::uint32_t below = low >= 32 ? ~0u : (1u << low) - 1;
    bool cut = false;
    for (std::uint32_t mask : groups) cut = cut || ((mask & below) != 0 && (mask & ~below) != 0);
    if (!cut || low == 0) break;
    --low;
  }
  // Too few low bits leave columns of a few states: keep the block and give
  // the cut group its own pass.
  return low >= kFloatBlockBits - 4 || low == bits ? low : std::min(bits, kFloatBlockBits);
}

// Bits 0, 1 and 2 of the single-precision sweep: eight neighbouring states,
// each bit a shuffle within the vector and one multiply-add.
using Float8 = float __attribute__((vector_size(32)));
[[gnu::always_inline]] inline void passLowestThreeScaled(float* v, std::size_t n, float rho) {
  for (std::size_t i = 0; i < n; i += 8) {
    Float8 x;
    __builtin_memcpy(&x, v + i, sizeof x);
    x += rho * __builtin_shufflevector(x, x, 1, 0, 3, 2, 5, 4, 7, 6);
    x += rho * __builtin_shufflevector(x, x, 2, 3, 0, 1, 6, 7, 4, 5);
    x += rho * __builtin_shufflevector(x, x, 4, 5, 6, 7, 0, 1, 2, 3);
    __builtin_memcpy(v + i, &x, sizeof x);
  }
}

// Two sweeps over memory: blocks of the low bits with the groups inside
// them, then columns over the high bits with the groups inside those; a
// group across the boundary is a pass of its own.
[[gnu::target_clones("arch=x86-64-v3", "default")]] void spreadAllScaled(
    float* v, int bits, const std::vector<std::uint32_t>& groups, float rho) {
  const ScaledSpreadPair pair{rho};
  const std::size_t n = std::size_t{1} << bits;
  const int lowBits = floatLowBits(bits, groups);
  const std::size_t block = std::size_t{1} << lowBits;
  const std::uint32_t below = static_cast<std::uint32_t>(block - 1);
  for (std::size_t start = 0; start < n; start += block) {
    float* b = v + start;
    int bit = 0;
    if (lowBits >= 3) {
      passLowestThreeScaled(b, block, rho);
      bit = 3;
    } else if (lowBits == 2) {
      passLowestTwo(b, block, pair);
      bit = 2;
    }
    for (; bit + 1 < lowBits; bit += 2) {
      passTwoBits(b, block, std::size_t{1} << bit, std::size_t{1} << (bit + 1), pair);
    }
    if (bit < lowBits) passOneBit(b, block, std::size_t{1} << bit, pair);
    for (std::uint32_t mask : groups) {
      if ((mask & ~below) == 0) passGroup(b, block, mask, pair);
    }
  }
  if (lowBits < bits) {
    const int highBits = bits - lowBits;
    const std::size_t width = std::min(block, std::size_t{1} << std::max(0, kColumnStateBits - highBits));
    for (std::size_t start = 0; start < block; start += width) {
      int bit = lowBits;
      for (; bit + 1 < bits; bit += 2)
        passTwoBitsColumns(v, n, std::size_t{1} << bit, std::size_t{1} << (bit + 1), block, start, width,
                           pair);
      if (bit < bits) passOneBitColumns(v, n, std::size_t{1} << bit, block, start, width, pair);
      for (std::uint32_t mask : groups) {
        if ((mask & below) == 0) passGroupColumns(v, n, mask, block, start, width, pair);
      }
    }
  }
  for (std::uint32_t mask : groups) {
    if ((mask & below) != 0 && (mask & ~below) != 0) passGroup(v, n, mask, pair);
  }
}

[[gnu::target_clones("avx2", "default")]] void spreadAll(double* v, int bits,
                                                         const std::vector<std::uint32_t>& groups,
                                                         double theta) {
  passAll(v, bits, groups, SpreadPair{1.0 - theta, theta});
}

[[gnu::target_clones("avx2", "default")]] void distanceAll(std::int32_t* v, int bits,
                                                           const std::vector<std::uint32_t>& groups) {
  passAll(v, bits, groups, DistancePair{});
}

}  // namespace

Hypercube::Hypercube(int bits, std::vector<std::uint32_t> groupMasks) : bits_(bits) {
  for (std::uint32_t mask : groupMasks) {
    if (mask != 0) groupMasks_.push_back(mask);
  }
}

void Hypercube::spread(double* v, double theta) const { spreadAll(v, bits_, groupMasks_, theta); }

void Hypercube::spread(float* v, double theta) const {
  spreadAllScaled(v, bits_, groupMasks_, static_cast<float>(theta / (1.0 - theta)));
}

void Hypercube::distance(std::int32_t* v, std::int32_t infinity) const {
  distanceAll(v, bits_, groupMasks_);
  const std::size_t n = size();
  for (std::size_t i = 0; i < n; ++i) v[i] = std::min(v[i], infinity);
}

}  // namespace inheritance
