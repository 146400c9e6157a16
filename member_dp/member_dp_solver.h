// The member-based dynamic programme over the loci of one family, on joint
// states: one integer describing the whole family at one locus. Members are
// taken in memberOrder, position 0 owning the lowest bits; a founder has one
// bit (its phase), a non-founder three (phase, paternal source, maternal
// source). A phase bit 0 puts the smaller allele first, 1 the larger.
//
// The solver finds the least number of recombinations over all joint states
// and writes every distinct optimal phase configuration, in the order of a
// depth-first trace back from the highest optimal final state.
//
// The forward pass never compares joint states pairwise. A transition costs
// the number of differing source bits, whatever the phase bits, and every
// consistent state with the same source bits at a locus has the same cost.
// So the programme runs on the 2 x (non-founder count) source bits: the
// best cost reaching each source value is a min-plus distance transform of
// the previous locus's costs over the source hypercube. Predecessor lists
// are rebuilt on demand in the trace back from the stored costs; they equal
// the lists a pairwise pass would keep (all previous states reaching the
// least cost, ascending).
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"

namespace member_dp {

// Families needing more state bits are refused.
inline constexpr int kMaxStateBits = 20;

// 3 x memberCount - 2 x founderCount: 1 bit per founder, 3 per non-founder.
inline int stateBitCount(const Family& family) { return 3 * family.memberCount - 2 * family.founderCount; }

// Allele cells (configurations x members x loci) a family's configurations
// may fill beyond its first: the k-th configuration (k >= 2) is written only
// while k x members x loci stays within it. The trace back is held to the
// same number of cells, a traced state counting as its members' cells; as a
// traced state adds at most one entry to each set that tells written
// configurations apart, those sets stay below budget / members entries.
inline constexpr std::uint64_t kAlleleCellBudget = std::uint64_t{1} << 28;

struct MemberDpLimits {
  std::uint64_t maxSolutions = 0;  // configurations written at most (0 = no limit)
  std::uint64_t alleleCells = kAlleleCellBudget;
};

struct MemberDpOutcome {
  enum class Status {
    kSolved,                     // every distinct optimal configuration was written
    kNoConsistentConfiguration,  // nothing written
    kCapped,                     // the output cap stopped the trace back with branches left
    kBudgetReached,              // the allele-cell budget stopped the trace back first
    kOutOfMemory,                // an allocation failed; see `building`
  };
  Status status = Status::kSolved;
  int leastCost = kCostSentinel;
  std::uint64_t written = 0;
  // With kNoConsistentConfiguration: the first locus where no joint state is
  // consistent (-1 when the family has no locus).
  int failingLocus = -1;
  // With kOutOfMemory: what was being built.
  std::string_view building;
};

class MemberDpSolver {
 public:
  // The family must be prepared, fit in kMaxStateBits, have every member
  // placed in memberOrder and at least one founder.
  MemberDpSolver(Family& family, const MemberDpLimits& limits);

  // Runs the programme and writes each configuration through
  // writePhasedTable(out), writeGenotypeReport(dat), writeResultLine(res).
  // An allocation failure ends the run with kOutOfMemory and the solver's
  // tables released.
  MemberDpOutcome run(ConfigurationSink& sink);

 private:
  // One member at its place in memberOrder.
  struct Slot {
    Member* member = nullptr;
    bool founder = false;
    int fatherSlot = -1;
    int motherSlot = -1;
    int stateBit = 0;       // the phase bit; the source bits follow it
    int sourceBit = 0;      // non-founder: paternal source bit in the source value
    int firstHetLocus = 0;  // founder: first typed heterozygous locus (locusCount if none)
  };
  // A point of the trace back: joint state at a locus, and the trie node of
  // the masked states already traced above it.
  struct TracePoint {
    std::uint32_t state = 0;
    int locus = 0;
    std::uint64_t prefixNode = 0;
  };

  // --- Layout and consistent states (member_dp_states.cpp) ---
  void buildSlots();
  void enumerateConsistentStates(int l, std::vector<std::uint32_t>& keys);
  void extendState(int l, int slot, std::uint32_t state, std::uint32_t source,
                   std::vector<std::uint32_t>& keys);
  std::uint32_t sourceOf(std::uint32_t state) const;

  // --- Forward pass (member_dp_forward.cpp) ---
  // False when some locus has no consistent state.
  bool forwardPass(int& failingLocus);
  void relaxOverSourceBits(int l);
  std::int32_t reachCost(int l, std::uint32_t source) const {
    return reach_[static_cast<std::size_t>(l) * sourceCount_ + source];
  }
  std::int32_t arrivalCost(int l, std::uint32_t source) const {
    return arrival_[static_cast<std::size_t>(l) * sourceCount_ + source];
  }

  // --- Trace back and writing (member_dp_trace.cpp) ---
  MemberDpOutcome solve(ConfigurationSink& sink);
  void releaseTables();
  // The k-th configuration (k >= 2) fits in the allele-cell budget.
  bool budgetAllows(std::uint64_t k) const;
  std::int32_t leastFinalCost() const;
  std::vector<TracePoint> optimalFinalPoints(std::int32_t best) const;
  void traceBack(std::vector<TracePoint> stack, std::int32_t best, ConfigurationSink& sink,
                 MemberDpOutcome& outcome);
  void collectPredecessors(std::uint32_t state, int l, std::vector<std::uint32_t>& predecessors);
  void writeStateIntoFamily(std::uint32_t state, int l);
  void writeConfiguration(std::int32_t best, ConfigurationSink& sink);
  std::uint64_t childNode(std::uint64_t node, std::uint32_t maskedState);

  Family& family_;
  MemberDpLimits limits_;
  std::string_view building_ = "the joint-state layout";
  int locusCount_ = 0;
  int stateBits_ = 0;
  int sourceBits_ = 0;
  std::size_t sourceCount_ = 1;
  std::uint32_t phaseMask_ = 0;  // the phase bits of a joint state
  std::vector<Slot> slots_;
  // Per locus, the consistent joint states as (source << stateBits_ | state),
  // ascending: grouped by source value, ascending state within a group.
  std::vector<std::vector<std::uint32_t>> consistentKeys_;
  // Per locus and source value: arrival_ is the least cost of a path ending
  // in any state with that source value (the distance transform of the
  // previous locus's reach_); reach_ is the same restricted to source values
  // held by a consistent state, kInfinity elsewhere.
  std::vector<std::int32_t> arrival_;
  std::vector<std::int32_t> reach_;
  // Scratch of the consistency enumeration: the ordered alleles per slot.
  std::vector<int> paternalAllele_;
  std::vector<int> maternalAllele_;
  // Trie of masked states traced from the last locus downwards: two
  // configurations are the same when they reach the same node at locus 0.
  std::unordered_map<std::uint64_t, std::uint64_t> trieChildren_;
  std::uint64_t nextNode_ = 1;  // 0 is the root (nothing traced yet)
};

// Solves one family under the given limits and reports its outcome as
// "<inputName>: family <id>: ..." (member_dp.cpp; solveByMemberDp calls it
// with kAlleleCellBudget).
SolveResult solveWithLimits(Family& family, ConfigurationSink& sink, const MemberDpLimits& limits,
                            std::string_view inputName);

}  // namespace member_dp
