// The forward pass of the member-based programme: the least cost reaching
// every source value at every locus (see member_dp_solver.h).
#include <algorithm>

#include "member_dp/member_dp_solver.h"

namespace member_dp {

namespace {

// Larger than any reachable cost, small enough that adding the source bits
// of a transition cannot overflow.
constexpr std::int32_t kInfinity = 1 << 28;

}  // namespace

bool MemberDpSolver::forwardPass(int& failingLocus) {
  const auto loci = static_cast<std::size_t>(locusCount_);
  building_ = "the cost tables of the forward pass";
  consistentKeys_.assign(loci, {});
  arrival_.assign(loci * sourceCount_, kInfinity);
  reach_.assign(loci * sourceCount_, kInfinity);
  for (int l = 0; l < locusCount_; ++l) {
    building_ = "the consistent joint states of a locus";
    std::vector<std::uint32_t>& keys = consistentKeys_[static_cast<std::size_t>(l)];
    enumerateConsistentStates(l, keys);
    if (keys.empty()) {
      failingLocus = l;
      return false;
    }
    std::int32_t* arrival = &arrival_[static_cast<std::size_t>(l) * sourceCount_];
    if (l == 0) {
      std::fill(arrival, arrival + sourceCount_, 0);
    } else {
      relaxOverSourceBits(l);
    }
    // A cost of kCostSentinel means "impossible", as in a cell that was never
    // improved.
    std::int32_t* reach = &reach_[static_cast<std::size_t>(l) * sourceCount_];
    for (std::uint32_t key : keys) {
      const std::uint32_t source = key >> stateBits_;
      if (arrival[source] < kCostSentinel) reach[source] = arrival[source];
    }
  }
  return true;
}

// The arrival cost of source value y at locus l: the least, over the previous
// locus's source values x, of reach(x) + (source bits in which x and y
// differ), one pass per bit.
void MemberDpSolver::relaxOverSourceBits(int l) {
  std::int32_t* arrival = &arrival_[static_cast<std::size_t>(l) * sourceCount_];
  const std::int32_t* previous = &reach_[static_cast<std::size_t>(l - 1) * sourceCount_];
  std::copy(previous, previous + sourceCount_, arrival);
  for (int bit = 0; bit < sourceBits_; ++bit) {
    const std::size_t flip = std::size_t{1} << bit;
    for (std::size_t x = 0; x < sourceCount_; ++x) {
      if ((x & flip) != 0) continue;
      const std::int32_t low = arrival[x];
      const std::int32_t high = arrival[x | flip];
      arrival[x] = std::min(low, high + 1);
      arrival[x | flip] = std::min(high, low + 1);
    }
  }
  for (std::size_t x = 0; x < sourceCount_; ++x) arrival[x] = std::min(arrival[x], kInfinity);
}

}  // namespace member_dp
