// The alleles of the founder slots once the vector of a locus is chosen:
// every member's two haplotypes are then copies of known founder slots, and
// the typed genotypes constrain the slots' allele classes.
#pragma once

#include <vector>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

class FounderSlotSearch {
 public:
  // `slotOf`: two founder slots per node; `inputOrder`: the nodes in the
  // order their members were read; `observation`: with genotype errors, a
  // typed genotype may also be taken as wrong.
  FounderSlotSearch(const LocusClasses& classes, const std::vector<ClassGenotype>& genotypes,
                    const std::vector<int>& slotOf, const std::vector<int>& inputOrder, int slotCount,
                    const ObservationModel& observation = ObservationModel());

  // The highest-weight assignment (weight = product of the slots' allele
  // weights, a free slot counting its best allowed class, times the
  // observation weights of the typed genotypes), members branched in input
  // order; a heterozygote tries (first class, second class) before the
  // reverse; a half-typed genotype tries "paternal haplotype carries the
  // typed allele" first; with errors, a genotype taken as wrong (its slots
  // unconstrained) comes last; ties go to the first found. False when
  // nothing fits.
  bool findBest();
  // Whether the best assignment takes the node's typed genotype as wrong.
  bool takenAsWrong(int node) const {
    return !bestWrong_.empty() && bestWrong_[static_cast<std::size_t>(node)] != 0;
  }
  // The class of a slot in the best assignment: its assigned class, the only
  // class it may take, or -1 when it stays free.
  int bestClass(int slot) const { return bestValue_[static_cast<std::size_t>(slot)]; }
  // Whether the typed allele of a half-typed node sits on its paternal
  // haplotype in the best assignment.
  bool typedOnPaternal(int node) const { return bestTypedPaternal_[static_cast<std::size_t>(node)] != 0; }
  // True when every assignment that fits gives the slot its best class
  // (genotypes the best assignment takes as wrong constrain nothing).
  bool isDetermined(int slot);

 private:
  struct SlotState {
    int value = -1;
    std::vector<int> excluded;
  };
  struct TrailEntry {
    int slot;
    bool assigned;  // otherwise an exclusion was added
  };

  bool assign(int slot, int value);
  bool exclude(int slot, int value);
  void undoTo(std::size_t mark);
  // Weight of the best completion of the current partial assignment; -1
  // when some slot has no class left.
  double bound() const;
  void search(std::size_t position);

  const LocusClasses& classes_;
  const std::vector<ClassGenotype>& genotypes_;
  const std::vector<int>& slotOf_;
  const std::vector<int>& inputOrder_;
  ObservationModel observation_;
  std::vector<SlotState> slots_;
  std::vector<TrailEntry> trail_;
  std::vector<char> typedPaternal_;
  std::vector<char> wrong_;
  double factor_ = 1.0;  // observation weights of the members branched on
  bool feasibilityOnly_ = false;
  bool found_ = false;
  double bestWeight_ = -1.0;
  std::vector<int> bestValue_;
  std::vector<char> bestTypedPaternal_;
  std::vector<char> bestWrong_;
  std::vector<int> determined_;  // per slot: -1 unknown, 0 no, 1 yes
};

}  // namespace inheritance
