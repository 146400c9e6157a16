// The layout of the reduced state space, the allele classes of a locus and
// the emission of every state at once.
#include "inheritance/inheritance_solver.h"

#include <algorithm>
#include <unordered_map>

namespace inheritance {

int reducedBitCount(const Family& family) {
  int bits = 0;
  int foundersWithChildren = 0;
  for (const auto& [id, member] : family.members) {
    if (!member.isFounder()) {
      bits += family.xLinked ? 1 : 2;
    } else if (!member.childIds.empty() && !(family.xLinked && member.isMale())) {
      ++foundersWithChildren;
    }
  }
  return bits - foundersWithChildren;
}

InheritanceSolver::InheritanceSolver(Family& family, const FileModel& model,
                                     const std::vector<int>& knownPhase)
    : family_(family), model_(model), locusCount_(family.locusCount) {
  buildNodes(knownPhase);
}

void InheritanceSolver::buildNodes(const std::vector<int>& knownPhase) {
  std::unordered_map<int, int> nodeOfMember;
  for (int id : family_.memberOrder) {
    if (id < 0) break;
    Node node;
    node.member = &family_.member(id);
    node.founder = node.member->isFounder();
    node.hasChildren = !node.member->childIds.empty();
    node.hemizygous = family_.xLinked && node.member->isMale();
    node.knownPhase = node.founder && std::find(knownPhase.begin(), knownPhase.end(), id) != knownPhase.end();
    nodeOfMember[id] = static_cast<int>(nodes_.size());
    nodes_.push_back(node);
  }
  int founders = 0;
  std::vector<int> groupOfNode(nodes_.size(), -1);
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    Node& node = nodes_[n];
    if (node.founder) {
      node.founderIndex = founders++;
      if (node.hasChildren && !node.hemizygous && !node.knownPhase) {
        groupOfNode[n] = static_cast<int>(groups_.size());
        groups_.push_back({static_cast<int>(n), 0u, 0});
      }
      continue;
    }
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const int parent = nodeOfMember.at(node.member->parentOnSide(side));
      node.parent[side] = parent;
      node.group[side] = groupOfNode[static_cast<std::size_t>(parent)];
    }
  }
  // Bits are laid out group by group, the largest group first, then the
  // meioses of non-founder parents: a group's bits are then contiguous, so
  // its butterfly pairs whole runs of states (reversed runs for the group at
  // bit 0) and vectorises. A founder's first meiosis in memberOrder carries
  // its fixed bit.
  std::vector<std::vector<std::pair<std::size_t, int>>> meiosesOfGroup(groups_.size() + 1);
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    if (nodes_[n].founder) continue;
    for (int side = family_.xLinked ? kMaternal : kPaternal; side <= kMaternal; ++side) {
      const int group = nodes_[n].group[side];
      meiosesOfGroup[group >= 0 ? static_cast<std::size_t>(group) : groups_.size()].push_back({n, side});
    }
  }
  std::vector<std::size_t> groupOrder(groups_.size());
  for (std::size_t g = 0; g < groups_.size(); ++g) groupOrder[g] = g;
  std::stable_sort(groupOrder.begin(), groupOrder.end(), [&meiosesOfGroup](std::size_t a, std::size_t b) {
    return meiosesOfGroup[a].size() > meiosesOfGroup[b].size();
  });
  groupOrder.push_back(groups_.size());
  for (std::size_t g : groupOrder) {
    const bool founderGroup = g < groups_.size();
    for (std::size_t k = 0; k < meiosesOfGroup[g].size(); ++k) {
      const auto [n, side] = meiosesOfGroup[g][k];
      if (founderGroup && k == 0) continue;
      nodes_[n].bit[side] = reducedBits_;
      if (founderGroup) groups_[g].mask |= 1u << reducedBits_;
      ++reducedBits_;
    }
    if (founderGroup) groups_[g].size = static_cast<int>(meiosesOfGroup[g].size());
  }
  stateCount_ = std::size_t{1} << reducedBits_;
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    if (nodes_[n].hasChildren) {
      branchNodes_.push_back(static_cast<int>(n));
    } else if (!nodes_[n].founder) {
      leafNodes_.push_back(static_cast<int>(n));
    } else {
      loneFounders_.push_back(static_cast<int>(n));
    }
  }
  inputOrder_.resize(nodes_.size());
  for (std::size_t n = 0; n < nodes_.size(); ++n) inputOrder_[n] = static_cast<int>(n);
  std::sort(inputOrder_.begin(), inputOrder_.end(), [this](int a, int b) {
    return nodes_[static_cast<std::size_t>(a)].member->seqIndex <
           nodes_[static_cast<std::size_t>(b)].member->seqIndex;
  });
  haplotypeClass_.assign(2 * nodes_.size(), -1);
}

void InheritanceSolver::buildClasses(int l, bool unitWeights, LocusClasses& classes,
                                     std::vector<ClassGenotype>& genotypes) const {
  classes.alleles.clear();
  classes.weights.clear();
  classes.pickWeights.clear();
  classes.otherClass = -1;
  classes.otherAllele = 0;
  genotypes.assign(nodes_.size(), ClassGenotype{});
  const auto locus = static_cast<std::size_t>(l);
  auto classOf = [&classes](int allele) {
    if (allele == 0) return -1;
    for (std::size_t c = 0; c < classes.alleles.size(); ++c) {
      if (classes.alleles[c] == allele) return static_cast<int>(c);
    }
    classes.alleles.push_back(allele);
    return static_cast<int>(classes.alleles.size()) - 1;
  };
  for (int n : inputOrder_) {
    const LocusGenotype& g = nodes_[static_cast<std::size_t>(n)].member->genotypes[locus];
    if (dropsCall(static_cast<std::size_t>(n), g, unitWeights)) continue;
    ClassGenotype& coded = genotypes[static_cast<std::size_t>(n)];
    coded.first = classOf(g.allele1);
    coded.second = classOf(g.allele2);
    // A resolved call of a known-phase founder is taken as written (a
    // homozygote too, so it is never read as a genotype error); a male on X
    // has one haplotype, nothing to order.
    if (nodes_[static_cast<std::size_t>(n)].knownPhase && g.resolved &&
        !nodes_[static_cast<std::size_t>(n)].hemizygous)
      coded.order = g.phaseProbability >= 0.0F && g.phaseProbability <= 1.0F ? g.phaseProbability : 1.0F;
  }
  const LocusFrequencies& frequencies = model_.frequencies(l);
  // An allele the first reading never saw (impossible for a validated file)
  // still gets a positive weight.
  double smallest = 1.0;
  for (const auto& [allele, frequency] : frequencies) smallest = std::min(smallest, frequency);
  for (int allele : classes.alleles) {
    double weight = smallest;
    for (const auto& [fileAllele, frequency] : frequencies) {
      if (fileAllele == allele) weight = frequency;
    }
    classes.weights.push_back(weight);
  }
  classes.pickWeights = classes.weights;
  double otherWeight = 0.0;
  double otherBest = 0.0;
  int otherAlleles = 0;
  int otherAllele = 0;
  for (const auto& [allele, frequency] : frequencies) {
    if (std::find(classes.alleles.begin(), classes.alleles.end(), allele) != classes.alleles.end()) continue;
    otherWeight += frequency;
    ++otherAlleles;
    if (frequency > otherBest) {
      otherBest = frequency;
      otherAllele = allele;
    }
  }
  if (frequencies.empty()) {
    // Nobody in the file typed the locus: one class that stands for no allele.
    otherWeight = otherBest = 1.0;
  }
  if (otherWeight > 0.0) {
    classes.otherClass = static_cast<int>(classes.alleles.size());
    classes.otherAllele = otherAlleles == 1 ? otherAllele : 0;
    classes.alleles.push_back(otherAllele);
    classes.weights.push_back(otherWeight);
    classes.pickWeights.push_back(otherBest);
  }
  if (unitWeights) std::fill(classes.weights.begin(), classes.weights.end(), 1.0);
}

// The emission of a state sums, over the alleles of the founder slots, the
// product of their weights times the indicator that every typed genotype
// fits (with genotype errors: times every typed genotype's observation
// weight). The sum is built for all states together: the members with
// children are branched on in memberOrder (founders over their slot alleles,
// others over their own meiosis bits), and at the end of a branch every
// child without children independently allows a set of its (paternal,
// maternal) bits, so the branch adds its weight to a product set of states.
// Children untyped at the locus allow everything; their bits are filled in
// at the end by copying. The least recombinant count (unit weights) always
// takes genotypes as they are.
void InheritanceSolver::prepareEmission(int l, bool unitWeights) {
  buildClasses(l, unitWeights, classes_, genotypes_);
  const bool errors = !unitWeights && model_.genotypeError() > 0.0;
  observation_ =
      errors ? ObservationModel(model_.genotypeError(), classes_.alleles.size()) : ObservationModel();
  weighted_ = errors;
  typedLeaves_.clear();
  std::uint32_t untypedLeafBits = 0;
  for (int n : leafNodes_) {
    const ClassGenotype& g = genotypes_[static_cast<std::size_t>(n)];
    const Node& node = nodes_[static_cast<std::size_t>(n)];
    if (g.first < 0 && g.second < 0) {
      for (int side = kPaternal; side <= kMaternal; ++side) {
        if (node.bit[side] >= 0) untypedLeafBits |= 1u << node.bit[side];
      }
    } else {
      typedLeaves_.push_back(n);
    }
  }
  untypedLeafBits_ = untypedLeafBits;
  leafOffsets_.assign(4 * typedLeaves_.size(), 0);
  leafOffsetCount_.assign(typedLeaves_.size(), 0);
}

bool InheritanceSolver::computeEmission(int l, bool unitWeights, std::vector<double>& emission) {
  prepareEmission(l, unitWeights);
  emission.assign(stateCount_, 0.0);
  table_ = emission.data();
  const std::uint32_t untypedLeafBits = untypedLeafBits_;
  if (weighted_) {
    leafWeights_.assign(4 * typedLeaves_.size(), 0.0);
    emitAll<Mode::kWeighted>();
  } else {
    emitAll<Mode::kFit>();
  }
  bool fits = false;
  for (double e : emission) {
    if (e > 0.0) {
      fits = true;
      break;
    }
  }
  if (!fits) {
    std::fill(emission.begin(), emission.end(), 1.0);
    return false;
  }
  for (int bit = 0; bit < reducedBits_; ++bit) {
    if ((untypedLeafBits >> bit & 1u) == 0) continue;
    const std::size_t stride = std::size_t{1} << bit;
    for (std::size_t base = 0; base < stateCount_; base += 2 * stride) {
      std::copy(emission.begin() + static_cast<std::ptrdiff_t>(base),
                emission.begin() + static_cast<std::ptrdiff_t>(base + stride),
                emission.begin() + static_cast<std::ptrdiff_t>(base + stride));
    }
  }
  return true;
}

// On X a hemizygous member's pair is (y, y), y from his mother; a male
// founder takes one allele at the weight of one.
template <InheritanceSolver::Mode kMode, bool kX>
void InheritanceSolver::emissionBranch(std::size_t level, std::uint32_t index, double weight) {
  constexpr bool kWeights = kMode != Mode::kFit;
  if (level == branchNodes_.size()) {
    // The sets of the typed leaves, given their parents' haplotypes.
    for (std::size_t t = 0; t < typedLeaves_.size(); ++t) {
      const Node& node = nodes_[static_cast<std::size_t>(typedLeaves_[t])];
      const ClassGenotype& g = genotypes_[static_cast<std::size_t>(typedLeaves_[t])];
      int count = 0;
      for (int p = 0; p < (node.bit[kPaternal] >= 0 ? 2 : 1); ++p) {
        const int paternal = haplotypeClass_[2 * static_cast<std::size_t>(node.parent[kPaternal]) +
                                             static_cast<std::size_t>(p)];
        for (int m = 0; m < (node.bit[kMaternal] >= 0 ? 2 : 1); ++m) {
          const int y = haplotypeClass_[2 * static_cast<std::size_t>(node.parent[kMaternal]) +
                                        static_cast<std::size_t>(m)];
          const int x = kX && node.hemizygous ? y : paternal;
          const std::size_t k = 4 * t + static_cast<std::size_t>(count);
          const double w = pairWeight<kWeights>(g, x, y);
          if (w == 0.0) continue;
          if constexpr (kWeights) leafWeights_[k] = w;
          if constexpr (kMode == Mode::kGather) {
            leafClasses_[2 * k] = x;
            leafClasses_[2 * k + 1] = y;
          }
          std::uint32_t offset = 0;
          if (p != 0) offset |= 1u << node.bit[kPaternal];
          if (m != 0) offset |= 1u << node.bit[kMaternal];
          leafOffsets_[k] = offset;
          ++count;
        }
      }
      if (count == 0) return;
      leafOffsetCount_[t] = count;
    }
    if constexpr (kMode == Mode::kGather) {
      gatherLeaves(index, weight);
    } else {
      spreadLeaves<kWeights>(index, weight);
    }
    return;
  }
  const int n = branchNodes_[level];
  const Node& node = nodes_[static_cast<std::size_t>(n)];
  const ClassGenotype& g = genotypes_[static_cast<std::size_t>(n)];
  int* haplotypes = &haplotypeClass_[2 * static_cast<std::size_t>(n)];
  if (node.founder) {
    const int classCount = static_cast<int>(classes_.alleles.size());
    if (kX && node.hemizygous) {
      for (int x = 0; x < classCount; ++x) {
        const double w = pairWeight<kWeights>(g, x, x);
        if (w == 0.0) continue;
        haplotypes[0] = haplotypes[1] = x;
        emissionBranch<kMode, kX>(level + 1, index,
                                  weight * w * classes_.weights[static_cast<std::size_t>(x)]);
      }
      return;
    }
    for (int x = 0; x < classCount; ++x) {
      for (int y = 0; y < classCount; ++y) {
        const double w = g.order >= 0.0F ? knownPairWeight(g, x, y) : pairWeight<kWeights>(g, x, y);
        if (w == 0.0) continue;
        haplotypes[0] = x;
        haplotypes[1] = y;
        // Without errors w is 1: the product is the fitting branch's as is.
        emissionBranch<kMode, kX>(level + 1, index,
                                  weight * w * classes_.weights[static_cast<std::size_t>(x)] *
                                      classes_.weights[static_cast<std::size_t>(y)]);
      }
    }
    return;
  }
  for (int p = 0; p < (node.bit[kPaternal] >= 0 ? 2 : 1); ++p) {
    const int paternal =
        haplotypeClass_[2 * static_cast<std::size_t>(node.parent[kPaternal]) + static_cast<std::size_t>(p)];
    for (int m = 0; m < (node.bit[kMaternal] >= 0 ? 2 : 1); ++m) {
      const int y =
          haplotypeClass_[2 * static_cast<std::size_t>(node.parent[kMaternal]) + static_cast<std::size_t>(m)];
      const int x = kX && node.hemizygous ? y : paternal;
      const double w = pairWeight<kWeights>(g, x, y);
      if (w == 0.0) continue;
      std::uint32_t next = index;
      if (p != 0) next |= 1u << node.bit[kPaternal];
      if (m != 0) next |= 1u << node.bit[kMaternal];
      haplotypes[0] = x;
      haplotypes[1] = y;
      emissionBranch<kMode, kX>(level + 1, next, weight * w);
    }
  }
}

template <bool kWeights>
void InheritanceSolver::spreadLeaves(std::uint32_t index, double weight) {
  if constexpr (kWeights) {
    buildWeightedTargets(index, weight);
    for (std::size_t i = 0; i < spreadTargets_.size(); ++i) table_[spreadTargets_[i]] += spreadWeights_[i];
    return;
  }
  // The product set, grown one leaf at a time.
  spreadTargets_.assign(1, index);
  for (std::size_t t = 0; t < typedLeaves_.size(); ++t) {
    const std::uint32_t* offsets = &leafOffsets_[4 * t];
    const std::size_t size = spreadTargets_.size();
    for (int k = 1; k < leafOffsetCount_[t]; ++k) {
      for (std::size_t i = 0; i < size; ++i) spreadTargets_.push_back(spreadTargets_[i] | offsets[k]);
    }
    for (std::size_t i = 0; i < size; ++i) spreadTargets_[i] |= offsets[0];
  }
  for (std::uint32_t target : spreadTargets_) table_[target] += weight;
}

void InheritanceSolver::buildWeightedTargets(std::uint32_t index, double weight) {
  spreadTargets_.assign(1, index);
  spreadWeights_.assign(1, weight);
  for (std::size_t t = 0; t < typedLeaves_.size(); ++t) {
    const std::uint32_t* offsets = &leafOffsets_[4 * t];
    const double* weights = &leafWeights_[4 * t];
    const std::size_t size = spreadTargets_.size();
    for (int k = 1; k < leafOffsetCount_[t]; ++k) {
      for (std::size_t i = 0; i < size; ++i) {
        spreadTargets_.push_back(spreadTargets_[i] | offsets[k]);
        spreadWeights_.push_back(spreadWeights_[i] * weights[k]);
      }
    }
    for (std::size_t i = 0; i < size; ++i) {
      spreadTargets_[i] |= offsets[0];
      spreadWeights_[i] *= weights[0];
    }
  }
}

// The posterior mass of every member's pair of classes at a locus: a state
// r with posterior P(r) and emission E(r) gives each of its branches (its
// founder alleles and leaf offsets, with their product weight w) the mass
// w P(r) / E(r), and a branch fixes every member's ordered pair of classes.
void InheritanceSolver::tally(int node, int x, int y, double mass) {
  const ClassGenotype& g = genotypes_[static_cast<std::size_t>(node)];
  if (g.first < 0 && g.second < 0) return;
  double* sums = &tally_[3 * static_cast<std::size_t>(node)];
  if (!fitsGenotype(g, x, y)) {
    sums[2] += mass;
  } else if (g.first >= 0 && g.second >= 0) {
    sums[x == g.first && y == g.second ? 0 : 1] += mass;
  }
}

void InheritanceSolver::gatherLeaves(std::uint32_t index, double weight) {
  buildWeightedTargets(index, weight);
  double total = 0.0;
  for (std::size_t i = 0; i < spreadTargets_.size(); ++i) {
    const std::uint32_t r = spreadTargets_[i];
    const double e = gatherEmission_[r];
    spreadWeights_[i] = e > 0.0 ? spreadWeights_[i] * gatherPosterior_[r] / e : 0.0;
    total += spreadWeights_[i];
  }
  gatherTotal_ += total;
  for (int n : branchNodes_) {
    const int* haplotypes = &haplotypeClass_[2 * static_cast<std::size_t>(n)];
    tally(n, haplotypes[0], haplotypes[1], total);
  }
  // Leaf t's choice k covers the runs of `stride` entries at k x stride
  // within every block of stride x count.
  std::size_t stride = 1;
  for (std::size_t t = 0; t < typedLeaves_.size(); ++t) {
    const auto count = static_cast<std::size_t>(leafOffsetCount_[t]);
    const int* classes = &leafClasses_[8 * t];
    if (count == 1) {
      tally(typedLeaves_[t], classes[0], classes[1], total);
      continue;
    }
    marginal_.assign(count, 0.0);
    for (std::size_t base = 0; base < spreadWeights_.size(); base += stride * count) {
      for (std::size_t k = 0; k < count; ++k) {
        const double* v = &spreadWeights_[base + k * stride];
        for (std::size_t j = 0; j < stride; ++j) marginal_[k] += v[j];
      }
    }
    for (std::size_t k = 0; k < count; ++k)
      tally(typedLeaves_[t], classes[2 * k], classes[2 * k + 1], marginal_[k]);
    stride *= count;
  }
}

bool InheritanceSolver::gatherReads() const {
  // Without errors no call is wrong: only a typed heterozygote needs the
  // gather, and only for its phase probability.
  if (observation_.hasErrors()) return true;
  return model_.phaseProbabilities() &&
         std::any_of(genotypes_.begin(), genotypes_.end(), [](const ClassGenotype& g) {
           return g.first >= 0 && g.second >= 0 && g.first != g.second;
         });
}

void InheritanceSolver::gatherCalls(int l, const std::vector<double>& posterior,
                                    const std::vector<double>& emission) {
  const std::size_t nodeCount = nodes_.size();
  const std::size_t first = static_cast<std::size_t>(l) * nodeCount;
  if (!gatherReads()) return;
  // A state and its copies over the untyped leaves' bits share one
  // emission and all their branches.
  const double* source = posterior.data();
  if (untypedLeafBits_ != 0) {
    folded_ = posterior;
    for (int bit = 0; bit < reducedBits_; ++bit) {
      if ((untypedLeafBits_ >> bit & 1u) == 0) continue;
      const std::size_t stride = std::size_t{1} << bit;
      for (std::size_t base = 0; base < stateCount_; base += 2 * stride) {
        for (std::size_t j = base; j < base + stride; ++j) folded_[j] += folded_[j + stride];
      }
    }
    source = folded_.data();
  }
  gatherPosterior_ = source;
  gatherEmission_ = emission.data();
  gatherTotal_ = 0.0;
  tally_.assign(3 * nodeCount, 0.0);
  leafWeights_.resize(4 * typedLeaves_.size());
  leafClasses_.resize(8 * typedLeaves_.size());
  emitAll<Mode::kGather>();
  // A founder without children is outside every emission: its two orders
  // are equally likely, and whether its call is wrong depends on its own
  // genotype and the class weights alone.
  for (int n : loneFounders_) {
    const ClassGenotype& g = genotypes_[static_cast<std::size_t>(n)];
    if (g.first < 0 && g.second < 0) continue;
    double right = 0.0;
    double wrong = 0.0;
    const bool hemizygous = nodes_[static_cast<std::size_t>(n)].hemizygous;
    for (std::size_t x = 0; x < classes_.weights.size(); ++x) {
      for (std::size_t y = hemizygous ? x : 0; y < (hemizygous ? x + 1 : classes_.weights.size()); ++y) {
        const double pair = hemizygous ? 1.0 : classes_.weights[y];
        const int cx = static_cast<int>(x);
        const int cy = static_cast<int>(y);
        const double mass = classes_.weights[x] * pair * observation_.weight(g, cx, cy);
        (fitsGenotype(g, cx, cy) ? right : wrong) += mass;
      }
    }
    double* sums = &tally_[3 * static_cast<std::size_t>(n)];
    sums[0] = sums[1] = 0.5 * right * gatherTotal_;
    sums[2] = right + wrong > 0.0 ? wrong / (right + wrong) * gatherTotal_ : 0.0;
  }
  if (gatherTotal_ <= 0.0) return;
  for (std::size_t n = 0; n < nodeCount; ++n) {
    const ClassGenotype& g = genotypes_[n];
    const double* sums = &tally_[3 * n];
    likelyError_[first + n] = sums[2] > 0.5 * gatherTotal_ ? 1 : 0;
    if (g.first >= 0 && g.second >= 0 && g.first != g.second && sums[0] + sums[1] > 0.0)
      forwardOrder_[first + n] = static_cast<float>(sums[0] / (sums[0] + sums[1]));
  }
}

std::int64_t InheritanceSolver::minimumRecombinants() {
  if (locusCount_ == 0) return 0;
  constexpr std::int32_t kInfinity = 1 << 28;
  const Hypercube cube(reducedBits_, [this] {
    std::vector<std::uint32_t> masks;
    for (const FounderGroup& group : groups_) masks.push_back(group.mask);
    return masks;
  }());
  std::vector<std::int32_t> cost(stateCount_, 0);
  std::vector<double> emission;
  for (int l = 0; l < locusCount_; ++l) {
    if (l > 0) cube.distance(cost.data(), kInfinity);
    if (!computeEmission(l, true, emission)) continue;
    for (std::size_t r = 0; r < stateCount_; ++r) {
      if (emission[r] == 0.0) cost[r] = kInfinity;
    }
  }
  return *std::min_element(cost.begin(), cost.end());
}

}  // namespace inheritance
