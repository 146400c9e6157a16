// The transition between adjacent loci on the reduced hypercube. Every
// meiosis flips independently with probability theta; on reduced states
// that is a butterfly (1 - theta, theta) on every bit, followed for every
// founder group by a butterfly pairing r with r XOR (the group's bits):
// the class of r also holds the vector with the founder's fixed meiosis
// flipped. All these operators commute, so their order is free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace inheritance {

class Hypercube {
 public:
  Hypercube(int bits, std::vector<std::uint32_t> groupMasks);

  int bits() const { return bits_; }
  std::size_t size() const { return std::size_t{1} << bits_; }

  // v <- T v with T the transition matrix for recombination fraction theta
  // (T is symmetric, so the same call serves the backward pass).
  void spread(double* v, double theta) const;
  // The same up to a positive factor, in single precision (for vectors that
  // are rescaled anyway; theta < 1).
  void spread(float* v, double theta) const;
  // The min-plus counterpart: v[y] <- min over x of v[x] + (meioses that
  // differ between the classes of x and y), values capped at `infinity`.
  void distance(std::int32_t* v, std::int32_t infinity) const;

 private:
  int bits_;
  std::vector<std::uint32_t> groupMasks_;  // groups with at least one reduced bit
};

}  // namespace inheritance
