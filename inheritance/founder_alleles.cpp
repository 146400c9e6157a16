// Writing the decoded configuration: founder labels, founder slot alleles,
// the members' phased genotypes and sources, and the recombinant count.
#include "inheritance/founder_alleles.h"

#include <algorithm>

namespace inheritance {

namespace {

// A strictly better weight must beat the best by more than rounding.
constexpr double kWeightTolerance = 1e-12;

}  // namespace

FounderSlotSearch::FounderSlotSearch(const LocusClasses& classes, const std::vector<ClassGenotype>& genotypes,
                                     const std::vector<int>& slotOf, const std::vector<int>& inputOrder,
                                     int slotCount, const ObservationModel& observation)
    : classes_(classes),
      genotypes_(genotypes),
      slotOf_(slotOf),
      inputOrder_(inputOrder),
      observation_(observation),
      slots_(static_cast<std::size_t>(slotCount)),
      typedPaternal_(genotypes.size(), 0),
      wrong_(observation.hasErrors() ? genotypes.size() : 0, 0),
      bestWrong_(wrong_),
      determined_(static_cast<std::size_t>(slotCount), -1) {}

bool FounderSlotSearch::assign(int slot, int value) {
  SlotState& state = slots_[static_cast<std::size_t>(slot)];
  if (state.value >= 0) return state.value == value;
  if (std::find(state.excluded.begin(), state.excluded.end(), value) != state.excluded.end()) return false;
  state.value = value;
  trail_.push_back({slot, true});
  return true;
}

bool FounderSlotSearch::exclude(int slot, int value) {
  SlotState& state = slots_[static_cast<std::size_t>(slot)];
  if (state.value >= 0) return state.value != value;
  if (std::find(state.excluded.begin(), state.excluded.end(), value) != state.excluded.end()) return true;
  state.excluded.push_back(value);
  trail_.push_back({slot, false});
  return true;
}

void FounderSlotSearch::undoTo(std::size_t mark) {
  while (trail_.size() > mark) {
    const TrailEntry entry = trail_.back();
    trail_.pop_back();
    SlotState& state = slots_[static_cast<std::size_t>(entry.slot)];
    if (entry.assigned) {
      state.value = -1;
    } else {
      state.excluded.pop_back();
    }
  }
}

double FounderSlotSearch::bound() const {
  double weight = 1.0;
  for (const SlotState& state : slots_) {
    if (state.value >= 0) {
      weight *= classes_.pickWeights[static_cast<std::size_t>(state.value)];
      continue;
    }
    double best = -1.0;
    for (std::size_t c = 0; c < classes_.pickWeights.size(); ++c) {
      if (std::find(state.excluded.begin(), state.excluded.end(), static_cast<int>(c)) !=
          state.excluded.end()) {
        continue;
      }
      best = std::max(best, classes_.pickWeights[c]);
    }
    if (best <= 0.0) return -1.0;
    weight *= best;
  }
  return weight;
}

void FounderSlotSearch::search(std::size_t position) {
  if (found_ && feasibilityOnly_) return;
  const double weight = bound() * factor_;
  if (weight < 0.0) return;
  if (!feasibilityOnly_ && found_ && weight <= bestWeight_ * (1.0 + kWeightTolerance)) return;
  if (position == inputOrder_.size()) {
    found_ = true;
    if (feasibilityOnly_) return;
    bestWeight_ = weight;
    bestTypedPaternal_ = typedPaternal_;
    if (observation_.hasErrors()) bestWrong_ = wrong_;
    for (std::size_t s = 0; s < slots_.size(); ++s) {
      const SlotState& state = slots_[s];
      int value = state.value;
      if (value < 0) {
        // A free slot is determined only when a single class is left to it.
        int left = 0;
        for (std::size_t c = 0; c < classes_.pickWeights.size(); ++c) {
          if (std::find(state.excluded.begin(), state.excluded.end(), static_cast<int>(c)) ==
              state.excluded.end()) {
            ++left;
            value = static_cast<int>(c);
          }
        }
        if (left != 1) value = -1;
      }
      bestValue_[s] = value;
    }
    return;
  }
  const int node = inputOrder_[position];
  const ClassGenotype& g = genotypes_[static_cast<std::size_t>(node)];
  if ((g.first < 0 && g.second < 0) || (feasibilityOnly_ && takenAsWrong(node))) {
    search(position + 1);
    return;
  }
  const int paternal = slotOf_[2 * static_cast<std::size_t>(node)];
  const int maternal = slotOf_[2 * static_cast<std::size_t>(node) + 1];
  const std::size_t mark = trail_.size();
  if (g.order >= 0.0F) {
    // Known haplotypes are never taken as wrong: the likelier of the two
    // orders first, the other only when it has weight (a missing allele
    // leaves its slot as it is).
    auto tryOrdered = [&](int x, int y) {
      if ((x < 0 || assign(paternal, x)) && (y < 0 || assign(maternal, y))) search(position + 1);
      undoTo(mark);
    };
    const bool reverseFirst = g.order < 0.5F;
    tryOrdered(reverseFirst ? g.second : g.first, reverseFirst ? g.first : g.second);
    if (g.order > 0.0F && g.order < 1.0F)
      tryOrdered(reverseFirst ? g.first : g.second, reverseFirst ? g.second : g.first);
    return;
  }
  const double factor = factor_;
  const bool errors = observation_.hasErrors() && !feasibilityOnly_;
  if (errors) factor_ = factor * observation_.right;
  auto tryPair = [&](int x, int y) {
    if (assign(paternal, x) && assign(maternal, y)) search(position + 1);
    undoTo(mark);
  };
  if (g.first >= 0 && g.second >= 0) {
    const int a = std::min(g.first, g.second);
    const int b = std::max(g.first, g.second);
    tryPair(a, b);
    if (a != b) tryPair(b, a);
  } else {
    const int typed = std::max(g.first, g.second);
    typedPaternal_[static_cast<std::size_t>(node)] = 1;
    if (assign(paternal, typed)) search(position + 1);
    undoTo(mark);
    typedPaternal_[static_cast<std::size_t>(node)] = 0;
    if (exclude(paternal, typed) && assign(maternal, typed)) search(position + 1);
    undoTo(mark);
  }
  if (errors) {
    // Taken as wrong: the slots stay as they are, at the weight of a misread
    // genotype (never more than that of a fitting one).
    factor_ =
        factor * (g.first >= 0 && g.second >= 0 ? observation_.wrongGenotype : observation_.wrongAllele);
    wrong_[static_cast<std::size_t>(node)] = 1;
    search(position + 1);
    wrong_[static_cast<std::size_t>(node)] = 0;
    factor_ = factor;
  }
}

bool FounderSlotSearch::findBest() {
  feasibilityOnly_ = false;
  found_ = false;
  bestWeight_ = -1.0;
  factor_ = 1.0;
  bestValue_.assign(slots_.size(), -1);
  search(0);
  return found_;
}

bool FounderSlotSearch::isDetermined(int slot) {
  int& known = determined_[static_cast<std::size_t>(slot)];
  if (known >= 0) return known != 0;
  const int value = bestValue_[static_cast<std::size_t>(slot)];
  if (value < 0) {
    known = 0;
    return false;
  }
  feasibilityOnly_ = true;
  found_ = false;
  exclude(slot, value);
  search(0);
  undoTo(0);
  known = found_ ? 0 : 1;
  return known != 0;
}

void InheritanceSolver::writeConfiguration() {
  const std::size_t nodeCount = nodes_.size();
  // The meioses of every founder group, and the source each was last written with.
  std::vector<std::vector<std::pair<int, int>>> groupMeioses(groups_.size());
  for (std::size_t n = 0; n < nodeCount; ++n) {
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const int group = nodes_[n].group[side];
      if (group >= 0) groupMeioses[static_cast<std::size_t>(group)].push_back({static_cast<int>(n), side});
    }
  }
  std::vector<int> ownGroup(nodeCount, -1);
  for (std::size_t g = 0; g < groups_.size(); ++g)
    ownGroup[static_cast<std::size_t>(groups_[g].founderNode)] = static_cast<int>(g);
  std::vector<char> flipped(groups_.size(), 0);
  std::vector<int> lastSource(2 * nodeCount, 0);
  std::vector<int> slotOf(2 * nodeCount, 0);
  std::vector<int> canonical(2 * nodeCount, 0);
  LocusClasses classes;
  std::vector<ClassGenotype> genotypes;
  std::vector<ClassGenotype> typedCalls;  // the genotypes before calls taken as wrong are cleared
  const int slotCount = 2 * static_cast<int>(std::count_if(nodes_.begin(), nodes_.end(),
                                                           [](const Node& node) { return node.founder; }));
  std::size_t nextInconsistent = 0;
  errorCalls_.clear();
  hemizygousHeterozygotes_.clear();
  for (int l = 0; l < locusCount_; ++l) {
    const auto locus = static_cast<std::size_t>(l);
    const std::uint32_t state = chosen_[locus];
    for (std::size_t n = 0; n < nodeCount; ++n) {
      const Node& node = nodes_[n];
      if (node.founder) {
        slotOf[2 * n] = 2 * node.founderIndex;
        slotOf[2 * n + 1] = 2 * node.founderIndex + (node.hemizygous ? 0 : 1);
        continue;
      }
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int bit = node.bit[side] >= 0 ? static_cast<int>(state >> node.bit[side] & 1u) : 0;
        canonical[2 * n + static_cast<std::size_t>(side)] = bit;
        slotOf[2 * n + static_cast<std::size_t>(side)] =
            slotOf[2 * static_cast<std::size_t>(node.parent[side]) + static_cast<std::size_t>(bit)];
      }
      // A male on X carries his maternal haplotype twice.
      if (node.hemizygous) slotOf[2 * n] = slotOf[2 * n + 1];
    }
    // A founder's labels follow the previous locus: its group is written
    // flipped when that changes fewer of its meioses.
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      int differing = 0;
      for (const auto& [n, side] : groupMeioses[g]) {
        const std::size_t k = 2 * static_cast<std::size_t>(n) + static_cast<std::size_t>(side);
        differing += canonical[k] != lastSource[k] ? 1 : 0;
      }
      const int size = static_cast<int>(groupMeioses[g].size());
      if (l == 0) {
        flipped[g] = 0;
      } else if (2 * differing > size) {
        flipped[g] = 1;
      } else if (2 * differing < size) {
        flipped[g] = 0;
      }
    }
    for (std::size_t n = 0; n < nodeCount; ++n) {
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int group = nodes_[n].group[side];
        const std::size_t k = 2 * n + static_cast<std::size_t>(side);
        lastSource[k] = canonical[k] ^ (group >= 0 ? flipped[static_cast<std::size_t>(group)] : 0);
      }
    }
    for (int n : inputOrder_) {
      const Member& member = *nodes_[static_cast<std::size_t>(n)].member;
      if (dropsCall(static_cast<std::size_t>(n), member.genotypes[locus], false))
        hemizygousHeterozygotes_.emplace_back(member.memberId, l);
    }
    if (nextInconsistent < inconsistentLoci_.size() && inconsistentLoci_[nextInconsistent] == l) {
      ++nextInconsistent;
      continue;  // written as read
    }
    buildClasses(l, false, classes, genotypes);
    // A call more likely wrong than right is written as read and constrains
    // nothing; so is one the best founder alleles of the vector take as wrong.
    typedCalls = genotypes;
    const std::uint8_t* likelyError = likelyError_.data() + locus * nodeCount;
    for (std::size_t n = 0; n < nodeCount; ++n) {
      if (likelyError[n] != 0) genotypes[n] = ClassGenotype{};
    }
    const ObservationModel observation =
        model_.genotypeError() > 0.0 ? ObservationModel(model_.genotypeError(), classes.alleles.size())
                                     : ObservationModel();
    FounderSlotSearch search(classes, genotypes, slotOf, inputOrder_, slotCount, observation);
    if (!search.findBest()) continue;
    auto asRead = [&](int n) {
      return likelyError[static_cast<std::size_t>(n)] != 0 || search.takenAsWrong(n);
    };
    for (int n : inputOrder_) {
      if (asRead(n)) errorCalls_.emplace_back(nodes_[static_cast<std::size_t>(n)].member->memberId, l);
    }
    auto alleleOf = [&classes](int value) {
      if (value < 0) return 0;
      return value == classes.otherClass ? classes.otherAllele
                                         : classes.alleles[static_cast<std::size_t>(value)];
    };
    for (std::size_t n = 0; n < nodeCount; ++n) {
      const Node& node = nodes_[n];
      if (asRead(static_cast<int>(n)) || dropsCall(n, node.member->genotypes[locus], false)) continue;
      const ClassGenotype& g = genotypes[n];
      int written[2] = {0, 0};
      for (int side = kPaternal; side <= kMaternal; ++side) {
        bool typed = g.first >= 0 && g.second >= 0;
        if ((g.first >= 0) != (g.second >= 0))
          typed = search.typedOnPaternal(static_cast<int>(n)) == (side == kPaternal);
        const int slot = slotOf[2 * n + static_cast<std::size_t>(side)];
        if (typed || search.isDetermined(slot)) written[side] = alleleOf(search.bestClass(slot));
      }
      LocusGenotype& out = node.member->genotypes[locus];
      out.resolved = true;
      // The order's posterior is that of haplotype 0 (paternal; for a
      // founder, the one its fixed meiosis passes on) against haplotype 1,
      // given that the call is right. Under the founder-symmetry reduction a
      // founder's haplotype 0 is defined at every locus by what its first
      // child received, and its written order is haplotype 0 first unless
      // its labels are flipped to follow the previous locus; so a founder's
      // value is the probability of its written order relative to what it
      // passes to its first child here, taken with the decoded labels (the
      // same relation its written sources use) rather than over the
      // uncertainty of the flip itself. A founder without children has
      // nothing to be relative to: 1/2.
      const float forward = forwardOrder_[locus * nodeCount + n];
      const ClassGenotype& call = typedCalls[n];
      if (forward >= 0.0F && call.first >= 0 && call.second >= 0 && call.first != call.second)
        out.phaseProbability = written[0] == alleleOf(call.first) ? forward : 1.0F - forward;
      if (node.founder) {
        const int group = ownGroup[n];
        const bool swap = group >= 0 && flipped[static_cast<std::size_t>(group)] != 0;
        out.allele1 = written[swap ? 1 : 0];
        out.allele2 = written[swap ? 0 : 1];
        out.paternalSource = 0;
        out.maternalSource = 0;
      } else {
        out.allele1 = written[kPaternal];
        out.allele2 = written[kMaternal];
        out.paternalSource = node.hemizygous ? kSourceUnknown : lastSource[2 * n];
        out.maternalSource = lastSource[2 * n + 1];
      }
    }
  }
  int recombinants = 0;
  for (const Node& node : nodes_) {
    if (node.founder) continue;
    // On X only the maternal side is a meiosis.
    for (int side = family_.xLinked ? kMaternal : kPaternal; side <= kMaternal; ++side) {
      int current = kSourceUnknown;
      for (const LocusGenotype& g : node.member->genotypes) {
        const int source = g.sourceOnSide(side);
        if (source < 0) continue;
        if (current >= 0 && source != current) ++recombinants;
        current = source;
      }
    }
  }
  family_.recombinantCount = recombinants;
}

}  // namespace inheritance
