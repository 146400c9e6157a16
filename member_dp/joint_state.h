// The joint state of the member-based programme: one integer describing a
// whole family at one locus. Members are taken in memberOrder, position 0
// owning the lowest bits; a founder has one bit (its phase), a non-founder
// three (phase, paternal source, maternal source). A phase bit 0 puts the
// smaller allele first, 1 the larger.
//
// These are the plain per-state operations: they write the state into the
// members' genotypes and read the verdict back. The solver uses applyState
// to write the configurations it traces; its forward pass works on the
// layout directly (member_dp_solver.cpp).
#pragma once

#include <cstdint>

#include "pedigree/family.h"

namespace member_dp {

// Families needing more state bits are refused.
inline constexpr int kMaxStateBits = 20;

// 3 x memberCount - 2 x founderCount: 1 bit per founder, 3 per non-founder.
int stateBitCount(const Family& family);

// Writes joint state s into every member's genotype at locus l, in
// memberOrder. Returns kCostSentinel, without touching the members after it,
// at the first member for which s is invalid (phase 1 on equal alleles, or a
// founder's phase 1 before its first typed heterozygous locus); 0 otherwise.
int applyState(Family& family, std::uint32_t s, int l);

// 0 when s is valid at locus l and every child's alleles equal the parental
// alleles its source bits choose; kCostSentinel otherwise.
int stateCost(Family& family, std::uint32_t s, int l);

// Number of non-founder sources that differ between state t at locus l - 1
// and state s at locus l (applies both states).
int transitionCost(Family& family, int l, std::uint32_t t, std::uint32_t s);

// Sets family.stateMask to the phase bits of a joint state.
void computeStateMask(Family& family);

}  // namespace member_dp
