// The solver of one family over inheritance vectors.
//
// A state is one bit per meiosis: which of the parent's two haplotypes the
// child copied. Exchanging a founder's two haplotypes changes no genotype
// probability, so the first meiosis of every founder with children is fixed
// at 0 and the state is the index of the remaining ("reduced") bits. The
// other meioses of such a founder form its group: a reduced state r stands
// for r and for r with the whole group flipped (fixed bit included).
//
// On X (Family::xLinked) a male is hemizygous: his two haplotypes are both
// the one X he got from his mother (a male founder has one haplotype). A
// son has one meiosis, the maternal one; a daughter copies her father's X
// with no meiosis and has one maternal meiosis. Male founders pass on no
// meiosis and so have no group.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "inheritance/hypercube.h"
#include "inheritance/inheritance_vector.h"
#include "pedigree/family.h"

namespace inheritance {

// A member as the model sees it; nodes are numbered in memberOrder, so
// parents come before their children.
struct Node {
  Member* member = nullptr;
  bool founder = false;
  bool hasChildren = false;
  bool hemizygous = false;  // a male on X: haplotype 1 is haplotype 0
  bool knownPhase = false;  // a founder whose written alleles are its haplotypes
  int parent[2] = {-1, -1};
  // Reduced bit of the meiosis from each parent; -1 when it is a founder's
  // fixed meiosis (always 0 in a reduced state) or, on X, the paternal side
  // (a daughter copies her father's haplotype 0, a son nothing).
  int bit[2] = {-1, -1};
  int group[2] = {-1, -1};  // founder group of the parent on each side, -1 for a non-founder parent
  int founderIndex = -1;    // founders: slots 2 x founderIndex (paternal) and +1 (maternal)
};

struct FounderGroup {
  int founderNode = 0;
  std::uint32_t mask = 0;  // reduced bits of the group (the fixed meiosis excluded)
  int size = 0;            // meioses of the founder, the fixed one included
};

// An allele genotype in class codes: -1 for a missing allele; the two
// codes in no particular order.
struct ClassGenotype {
  int first = -1;
  int second = -1;
  // A known-phase founder at a locus where its row is resolved: first and
  // second are its haplotypes 0 and 1 (paternal, maternal) with this
  // probability, the reverse with 1 - it, and the call is never taken as
  // wrong; -1 otherwise.
  float order = -1.0F;
};

// The allele classes of one locus for this family: its typed alleles in
// the order first seen (input order, allele1 before allele2), then OTHER
// (every allele of the file the family did not type) when it has weight.
struct LocusClasses {
  std::vector<int> alleles;         // class -> allele number (OTHER: see otherAllele)
  std::vector<double> weights;      // emission weight of the class
  std::vector<double> pickWeights;  // weight when one allele is chosen (OTHER: its best allele)
  int otherClass = -1;              // -1 when there is no OTHER class
  int otherAllele = 0;              // the single allele OTHER stands for, 0 when several or none
};

// Two class genotypes agree: the ordered pair (x, y) can be the unordered
// genotype g.
inline bool fitsGenotype(const ClassGenotype& g, int x, int y) {
  if (g.first < 0 && g.second < 0) return true;
  if (g.first < 0) return x == g.second || y == g.second;
  if (g.second < 0) return x == g.first || y == g.first;
  return (x == g.first && y == g.second) || (x == g.second && y == g.first);
}

// The weight of a typed genotype given the true ordered pair of classes,
// for a genotype error rate e. A fully typed genotype is its true genotype
// with probability 1 - e and each of the G - 1 other unordered genotypes
// over the locus's C classes (OTHER included when the locus has it, G =
// C (C + 1) / 2) with e / (G - 1). A half-typed genotype (one allele 0)
// reads one allele: 1 - e when the true pair carries it, and otherwise it
// is one of the C - 1 other classes read by mistake, e / (C - 1); so with
// e = 0 both are the plain fit test. With one class nothing can be misread.
struct ObservationModel {
  double right = 1.0;
  double wrongGenotype = 0.0;
  double wrongAllele = 0.0;

  ObservationModel() = default;
  ObservationModel(double error, std::size_t classCount) : right(1.0 - error) {
    const double c = static_cast<double>(classCount);
    if (classCount > 1) {
      wrongGenotype = error / (c * (c + 1.0) / 2.0 - 1.0);
      wrongAllele = error / (c - 1.0);
    }
  }
  bool hasErrors() const { return wrongGenotype > 0.0; }
  double weight(const ClassGenotype& g, int x, int y) const {
    if (g.first < 0 && g.second < 0) return 1.0;
    if (fitsGenotype(g, x, y)) return right;
    return g.first < 0 || g.second < 0 ? wrongAllele : wrongGenotype;
  }
};

// From this many reduced bits up, decode keeps its state vectors (forward,
// backward, their products) in single precision with per-locus rescaling:
// a vector of 2^16 doubles no longer fits the level-2 cache, and the
// transitions are bound by memory traffic, which floats halve (and twice as
// many states fit a vector register). Below it the vectors stay double.
// Emissions, sums and posteriors are double either way.
constexpr int kSinglePrecisionBits = 16;

class InheritanceSolver {
 public:
  // The family must be validated and prepared. `model` must outlive the solver.
  // `knownPhase`: ids of founders whose written rows are their haplotypes
  // (paternal|maternal) where resolved, the order weighed by the call's
  // phase probability when it has one; unresolved calls are read as usual.
  InheritanceSolver(Family& family, const FileModel& model, const std::vector<int>& knownPhase = {});

  int reducedBits() const { return reducedBits_; }
  int locusCount() const { return locusCount_; }
  const std::vector<Node>& nodes() const { return nodes_; }
  const std::vector<FounderGroup>& groups() const { return groups_; }

  // The classes and class genotypes of locus l (class weights from the
  // model's frequencies, or all 1 when `unitWeights`).
  void buildClasses(int l, bool unitWeights, LocusClasses& classes,
                    std::vector<ClassGenotype>& genotypes) const;

  // Least number of recombinations over all vector paths (loci where no
  // state fits count as fitting every state).
  std::int64_t minimumRecombinants();

  // Forward-backward and decoding: fills chosenStates(). `observer`, when
  // given, sees the normalised posterior of every locus in ascending order.
  using PosteriorObserver = std::function<void(int locus, const std::vector<double>& posterior)>;
  void decode(const PosteriorObserver& observer = {});
  const std::vector<std::uint32_t>& chosenStates() const { return chosen_; }
  // The most bytes of whole backward vectors decode keeps for the loci whose
  // emission is neither sparse nor uniform; beyond it they are kept at about
  // sqrt(such loci) of them and recomputed in between.
  void setStoredVectorBytes(double bytes) { storedVectorBytes_ = bytes; }
  // Families of at least this many reduced bits keep their state vectors in
  // single precision (kSinglePrecisionBits unless set); lower it to run a
  // small family that way.
  void setSinglePrecisionBits(int bits) { singlePrecisionBits_ = bits; }
  const std::vector<int>& inconsistentLoci() const { return inconsistentLoci_; }
  // Typed calls written as read because they are taken as genotype errors
  // (only with an error rate): (member id, locus), by locus, then input order.
  const std::vector<std::pair<int, int>>& errorCalls() const { return errorCalls_; }
  // On X without an error rate: males' heterozygous calls, which the model
  // takes as missing and writeConfiguration writes as read (member id,
  // locus), by locus, then input order.
  const std::vector<std::pair<int, int>>& hemizygousHeterozygotes() const { return hemizygousHeterozygotes_; }

  // Writes the configuration of the decoded vectors into the family's
  // genotypes and sets its recombinant count.
  void writeConfiguration();

 private:
  void buildNodes(const std::vector<int>& knownPhase);
  // The call of node n at a locus is a male's heterozygote on X that the
  // model takes as missing: with unit weights or no error rate.
  bool dropsCall(std::size_t n, const LocusGenotype& g, bool unitWeights) const {
    return nodes_[n].hemizygous && g.isTypedHeterozygote() && (unitWeights || model_.genotypeError() <= 0.0);
  }
  // How the branches of an emission are used: kFit adds the weights of the
  // fitting founder alleles (no genotype errors), kWeighted also weighs every
  // member's genotype by the observation model, kGather reads the posterior
  // of the states instead of writing the table (see gatherCalls).
  enum class Mode { kFit, kWeighted, kGather };
  // The scratch of locus l's emission (classes, genotypes, typed leaves,
  // observation model) without the table; what gatherCalls reads.
  void prepareEmission(int l, bool unitWeights);
  // Emission of every state at locus l into `emission`; false when no state
  // fits (every state then weighs 1).
  bool computeEmission(int l, bool unitWeights, std::vector<double>& emission);
  // How much reading `g` from the ordered pair (x, y) weighs: the
  // observation model's weight with genotype errors, otherwise 1 when the
  // pair fits and 0 when it does not.
  template <bool kWeights>
  double pairWeight(const ClassGenotype& g, int x, int y) const {
    if constexpr (kWeights) {
      return observation_.weight(g, x, y);
    } else {
      return fitsGenotype(g, x, y) ? 1.0 : 0.0;
    }
  }
  // kX: the family is on X (its hemizygous members take one haplotype);
  // the autosomal instantiation has no such branch.
  // A known-phase founder's haplotypes (g.order >= 0): the written pair (a
  // missing allele matching any class) weighs its phase probability, the
  // reverse the rest; both are taken as read.
  static double knownPairWeight(const ClassGenotype& g, int x, int y) {
    const auto matches = [](int c, int z) { return c < 0 || c == z; };
    return (matches(g.first, x) && matches(g.second, y) ? g.order : 0.0) +
           (matches(g.second, x) && matches(g.first, y) ? 1.0 - g.order : 0.0);
  }
  template <Mode kMode, bool kX>
  void emissionBranch(std::size_t level, std::uint32_t index, double weight);
  template <Mode kMode>
  void emitAll() {
    if (family_.xLinked) {
      emissionBranch<kMode, true>(0, 0, 1.0);
    } else {
      emissionBranch<kMode, false>(0, 0, 1.0);
    }
  }
  template <bool kWeights>
  void spreadLeaves(std::uint32_t index, double weight);
  // The product set of the typed leaves' offsets with their weights, in
  // mixed radix: leaf t's choice at entry i is (i / stride) % count, the
  // stride being the product of the counts of the leaves before it.
  void buildWeightedTargets(std::uint32_t index, double weight);
  void gatherLeaves(std::uint32_t index, double weight);
  void tally(int node, int x, int y, double mass);
  // After the forward step of locus l (its emission still in the scratch):
  // every typed call's posterior of being wrong and of its two orders,
  // into likelyError_ and forwardOrder_.
  void gatherCalls(int l, const std::vector<double>& posterior, const std::vector<double>& emission);
  // The vector of largest posterior, ties (within `tolerance`) to the
  // fewest changes from `previous`, then the lowest; `states`: the only
  // states of nonzero posterior, when known.
  std::uint32_t chooseState(const std::vector<double>& posterior, double largest, std::uint32_t previous,
                            bool first, double tolerance, const std::vector<std::uint32_t>* states) const;
  // decode with state vectors of type T (double or float).
  template <typename T>
  void decodeStates(const PosteriorObserver& observer);
  // After prepareEmission: gatherCalls has calls to read at this locus.
  bool gatherReads() const;

  Family& family_;
  const FileModel& model_;
  int locusCount_ = 0;
  int reducedBits_ = 0;
  std::size_t stateCount_ = 1;
  std::vector<Node> nodes_;
  std::vector<int> inputOrder_;  // node indices in input order
  std::vector<FounderGroup> groups_;
  std::vector<int> branchNodes_;  // members with children, in memberOrder
  std::vector<int> leafNodes_;    // non-founders without children
  std::vector<std::uint8_t> consistent_;
  std::vector<int> inconsistentLoci_;
  std::vector<std::uint32_t> chosen_;
  std::vector<int> loneFounders_;  // founders without children
  // Per locus x node: the posterior probability that the node's haplotypes
  // are (first class, second class) of its typed heterozygote given that the
  // call is right (-1 when not computed), and whether the call is more
  // likely wrong than right.
  std::vector<float> forwardOrder_;
  std::vector<std::uint8_t> likelyError_;
  std::vector<std::pair<int, int>> errorCalls_;
  std::vector<std::pair<int, int>> hemizygousHeterozygotes_;
  double storedVectorBytes_ = 16.0 * 1024.0 * 1024.0;
  int singlePrecisionBits_ = kSinglePrecisionBits;

  // Scratch of one emission: classes and genotypes of the locus, the
  // haplotype classes of the branch nodes, the fitting bit offsets of the
  // typed leaves, and the table being filled.
  LocusClasses classes_;
  std::vector<ClassGenotype> genotypes_;
  std::vector<int> haplotypeClass_;  // 2 per node
  std::vector<int> typedLeaves_;
  std::vector<std::uint32_t> leafOffsets_;  // 4 per typed leaf
  std::vector<int> leafOffsetCount_;
  std::vector<std::uint32_t> spreadTargets_;
  double* table_ = nullptr;
  std::uint32_t untypedLeafBits_ = 0;
  // With weights: the observation model of the locus, each typed leaf's
  // offset weights and classes (x, y per offset), the weights of the
  // product set; in a gather, the posterior per state over its emission
  // (untyped leaf bits summed out) and forward, reverse, error mass per node.
  ObservationModel observation_;
  bool weighted_ = false;  // the locus's emission weighs genotypes by observation_
  std::vector<double> leafWeights_;
  std::vector<int> leafClasses_;
  std::vector<double> spreadWeights_;
  std::vector<double> folded_;
  const double* gatherPosterior_ = nullptr;
  const double* gatherEmission_ = nullptr;
  std::vector<double> tally_;
  std::vector<double> marginal_;
  double gatherTotal_ = 0.0;
};

// Counts the reduced bits a prepared family needs (2 x non-founders minus
// founders with children; on X 1 x non-founders minus female founders with
// children).
int reducedBitCount(const Family& family);

}  // namespace inheritance
