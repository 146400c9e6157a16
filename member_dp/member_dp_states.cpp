// The layout of the joint state over the members of one family, and the
// consistent joint states of one locus (see member_dp_solver.h).
#include <algorithm>

#include "member_dp/member_dp_solver.h"

namespace member_dp {

MemberDpSolver::MemberDpSolver(Family& family, const MemberDpLimits& limits)
    : family_(family), limits_(limits), locusCount_(family.locusCount) {
  buildSlots();
}

void MemberDpSolver::buildSlots() {
  std::unordered_map<int, int> slotOfMember;
  int stateBit = 0;
  int sourceBit = 0;
  for (int id : family_.memberOrder) {
    if (id < 0) break;
    Slot slot;
    slot.member = &family_.member(id);
    slot.founder = slot.member->isFounder();
    slot.stateBit = stateBit;
    phaseMask_ |= 1u << stateBit;
    if (slot.founder) {
      stateBit += 1;
      slot.firstHetLocus = locusCount_;
      for (int l = 0; l < locusCount_; ++l) {
        if (slot.member->genotypes[static_cast<std::size_t>(l)].isTypedHeterozygote()) {
          slot.firstHetLocus = l;
          break;
        }
      }
    } else {
      slot.fatherSlot = slotOfMember.at(slot.member->fatherId);
      slot.motherSlot = slotOfMember.at(slot.member->motherId);
      slot.sourceBit = sourceBit;
      stateBit += 3;
      sourceBit += 2;
    }
    slotOfMember[id] = static_cast<int>(slots_.size());
    slots_.push_back(slot);
  }
  stateBits_ = stateBit;
  sourceBits_ = sourceBit;
  sourceCount_ = std::size_t{1} << sourceBits_;
  paternalAllele_.assign(slots_.size(), 0);
  maternalAllele_.assign(slots_.size(), 0);
}

std::uint32_t MemberDpSolver::sourceOf(std::uint32_t state) const {
  std::uint32_t source = 0;
  for (const Slot& slot : slots_) {
    if (slot.founder) continue;
    source |= ((state >> (slot.stateBit + 1)) & 3u) << slot.sourceBit;
  }
  return source;
}

// Consistent states are built member by member in memberOrder; a child's
// choices are checked against its parents', which are already set, so an
// inconsistent prefix is never extended.
void MemberDpSolver::enumerateConsistentStates(int l, std::vector<std::uint32_t>& keys) {
  keys.clear();
  if (!slots_.empty()) extendState(l, 0, 0, 0, keys);
  std::sort(keys.begin(), keys.end());
}

void MemberDpSolver::extendState(int l, int slotIndex, std::uint32_t state, std::uint32_t source,
                                 std::vector<std::uint32_t>& keys) {
  if (slotIndex == static_cast<int>(slots_.size())) {
    keys.push_back((source << stateBits_) | state);
    return;
  }
  const Slot& slot = slots_[static_cast<std::size_t>(slotIndex)];
  const LocusGenotype& g = slot.member->genotypes[static_cast<std::size_t>(l)];
  const int smaller = std::min(g.allele1, g.allele2);
  const int larger = std::max(g.allele1, g.allele2);
  int phaseCount = smaller == larger ? 1 : 2;
  if (slot.founder && l <= slot.firstHetLocus) phaseCount = 1;
  const auto k = static_cast<std::size_t>(slotIndex);
  for (int phase = 0; phase < phaseCount; ++phase) {
    const int fromFather = phase == 0 ? smaller : larger;
    const int fromMother = phase == 0 ? larger : smaller;
    paternalAllele_[k] = fromFather;
    maternalAllele_[k] = fromMother;
    const std::uint32_t phased = state | (static_cast<std::uint32_t>(phase) << slot.stateBit);
    if (slot.founder) {
      extendState(l, slotIndex + 1, phased, source, keys);
      continue;
    }
    const auto father = static_cast<std::size_t>(slot.fatherSlot);
    const auto mother = static_cast<std::size_t>(slot.motherSlot);
    for (std::uint32_t paternal = 0; paternal < 2; ++paternal) {
      const int fatherAllele = paternal == 0 ? paternalAllele_[father] : maternalAllele_[father];
      if (fatherAllele != fromFather) continue;
      for (std::uint32_t maternal = 0; maternal < 2; ++maternal) {
        const int motherAllele = maternal == 0 ? paternalAllele_[mother] : maternalAllele_[mother];
        if (motherAllele != fromMother) continue;
        const std::uint32_t sourcePair = paternal | (maternal << 1);
        extendState(l, slotIndex + 1, phased | (sourcePair << (slot.stateBit + 1)),
                    source | (sourcePair << slot.sourceBit), keys);
      }
    }
  }
}

}  // namespace member_dp
