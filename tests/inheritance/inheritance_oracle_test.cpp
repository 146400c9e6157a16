// Option i against brute force: every full inheritance vector of a small
// family, emissions summed over every allele of every founder slot (with
// genotype errors: weighted by every typed genotype's chance of being read
// as it was), dense forward-backward, summed onto the reduced states the
// solver uses; and from the same sums every typed call's posterior of being
// wrong and of each of its two orders. On X the brute force follows the X
// rules itself: a male founder has one allele, a son copies one of his
// mother's two, a daughter gets her father's one and one of her mother's,
// and a male's heterozygous call without an error rate is missing. A
// founder with known haplotypes is never flipped, and its resolved call
// weighs its written order by its phase probability, never read wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>

#include "family_generator.h"
#include "inheritance/inheritance_solver.h"
#include "pedigree/diagnostics.h"
#include "test_support.h"

namespace {

using Table = std::vector<std::vector<double>>;

void normalise(std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  for (double& x : v) x /= sum;
}

class BruteForce {
 public:
  BruteForce(const Family& family, const inheritance::FileModel& model,
             const inheritance::InheritanceSolver& solver, const std::vector<int>& known = {})
      : family_(family), model_(model), error_(model.genotypeError()), known_(known) {
    for (const auto& [id, member] : family.members) {
      if (member.isFounder()) {
        slot_[id] = slots_;
        slots_ += hemizygous(member) ? 1 : 2;
      } else {
        first_[id] = static_cast<int>(bit_.size());
        bit_.resize(bit_.size() + (family.xLinked ? 1 : 2));
      }
    }
    for (const inheritance::Node& node : solver.nodes()) {
      for (int side : {kPaternal, kMaternal}) {
        if (!node.founder && meiosis(node.member->memberId, side) >= 0)
          bit_[meiosis(node.member->memberId, side)] = node.bit[side];
      }
    }
    // Flipping every meiosis of a founder gives the same reduced state, so
    // a vector whose fixed meiosis is 1 is read with the founder flipped.
    for (const auto& [founder, unused] : slot_) {
      std::pair<std::size_t, int> flip{0, -1};
      for (const auto& [child, unused] : first_) {
        for (int side : {kPaternal, kMaternal}) {
          const int k = meiosis(child, side);
          if (family.member(child).parentOnSide(side) != founder || k < 0) continue;
          flip.first |= std::size_t{1} << k;
          if (bit_[k] < 0) flip.second = k;
        }
      }
      if (flip.second >= 0) flips_.push_back(flip);
      fixed_[founder] = flip.second;
    }
  }

  Table posteriors(int reducedBits) {
    const std::size_t loci = static_cast<std::size_t>(family_.locusCount), n = std::size_t{1} << bit_.size();
    // step(l, k): moving from locus l - 1 to l with k of the bits changed,
    // at the fraction of that interval.
    auto step = [this](std::size_t l, std::size_t k) {
      const double theta = model_.thetaAfter(static_cast<int>(l) - 1);
      return std::pow(theta, static_cast<double>(k)) *
             std::pow(1 - theta, static_cast<double>(bit_.size() - k));
    };
    Table emission(loci, std::vector<double>(n)), alpha = emission, beta(loci, std::vector<double>(n, 1.0));
    for (std::size_t l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < n; ++v) emission[l][v] = emissionOf(v, static_cast<int>(l));
      if (*std::max_element(emission[l].begin(), emission[l].end()) == 0) emission[l].assign(n, 1.0);
      for (std::size_t y = 0; y < n; ++y) {
        double in = l == 0 ? 1.0 : 0.0;
        for (std::size_t x = 0; l > 0 && x < n; ++x)
          in += alpha[l - 1][x] * step(l, static_cast<std::size_t>(__builtin_popcountll(x ^ y)));
        alpha[l][y] = in * emission[l][y];
      }
      normalise(alpha[l]);
    }
    for (std::size_t l = loci - 1; l > 0; --l) {
      for (std::size_t x = 0; x < n; ++x) {
        beta[l - 1][x] = 0.0;
        for (std::size_t y = 0; y < n; ++y) {
          beta[l - 1][x] +=
              step(l, static_cast<std::size_t>(__builtin_popcountll(x ^ y))) * emission[l][y] * beta[l][y];
        }
      }
      normalise(beta[l - 1]);
    }
    Table reduced(loci, std::vector<double>(std::size_t{1} << reducedBits, 0.0));
    full_ = alpha;
    emission_ = emission;
    for (std::size_t l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < n; ++v) full_[l][v] *= beta[l][v];
      normalise(full_[l]);
      for (std::size_t v = 0; v < n; ++v) reduced[l][reducedIndex(v)] += full_[l][v];
      normalise(reduced[l]);
    }
    return reduced;
  }

  // Per typed member at locus l (after posteriors()): the posterior of its
  // haplotypes 0 and 1 being its (allele1, allele2) as read, the reverse, and
  // of its call being wrong. A founder's haplotype 0 is the one its fixed
  // meiosis passes on.
  std::map<int, std::array<double, 3>> calls(int l) const {
    std::map<int, std::array<double, 3>> masses;
    const auto& posterior = full_[static_cast<std::size_t>(l)];
    for (std::size_t v = 0; v < posterior.size(); ++v) {
      if (posterior[v] > 0)
        emissionOf(v, l, posterior[v] / emission_[static_cast<std::size_t>(l)][v], &masses);
    }
    return masses;
  }

 private:
  std::size_t reducedIndex(std::size_t v) const {
    for (const auto& [mask, fixed] : flips_) v ^= (v >> fixed & 1u) != 0 ? mask : 0;
    std::size_t r = 0;
    for (std::size_t m = 0; m < bit_.size(); ++m) {
      if (bit_[m] >= 0 && (v >> m & 1u) != 0) r |= std::size_t{1} << bit_[m];
    }
    return r;
  }

  bool hemizygous(const Member& member) const { return family_.xLinked && member.isMale(); }
  // The meiosis of a child's side: -1 on X for the paternal side.
  int meiosis(int id, int side) const {
    if (!family_.xLinked) return first_.at(id) + side;
    return side == kMaternal ? first_.at(id) : -1;
  }

  // A male on X has his one haplotype on both sides; a daughter copies her
  // father's.
  int slotOf(int id, int side, std::size_t v) const {
    const Member& member = family_.member(id);
    if (member.isFounder()) return slot_.at(id) + (hemizygous(member) ? 0 : side);
    if (hemizygous(member)) side = kMaternal;
    const int k = meiosis(id, side);
    return slotOf(member.parentOnSide(side), k < 0 ? 0 : static_cast<int>(v >> k & 1u), v);
  }

  int haplotypeSlot(int id, int h, std::size_t v) const {
    const auto fixed = fixed_.find(id);
    if (fixed != fixed_.end() && fixed->second >= 0) h ^= static_cast<int>(v >> fixed->second & 1u);
    return slotOf(id, h, v);
  }

  // Classes: the family's typed alleles at their file frequencies, and one
  // class (-1) for every other allele of the file. A full call is read right
  // with 1 - e, else as one of the other genotypes over the classes; a
  // half-typed one reads a carried allele with 1 - e, else one of the other
  // classes. With `masses`, every assignment adds weight x scale to each
  // typed member's entry for its pair.
  double emissionOf(std::size_t v, int l, double scale = 0,
                    std::map<int, std::array<double, 3>>* masses = nullptr) const {
    std::vector<int> alleles;
    for (const auto& [id, member] : family_.members) {
      for (int a : {member.genotypes[l].allele1, member.genotypes[l].allele2}) {
        if (a != 0 && std::find(alleles.begin(), alleles.end(), a) == alleles.end()) alleles.push_back(a);
      }
    }
    std::vector<double> weights(alleles.size() + 1, 0.0);
    for (const auto& [allele, frequency] : model_.frequencies(l)) {
      weights[static_cast<std::size_t>(std::find(alleles.begin(), alleles.end(), allele) -
                                       alleles.begin())] += frequency;
    }
    if (model_.frequencies(l).empty()) weights.back() = 1.0;
    const double classes = static_cast<double>(alleles.size()) + (weights.back() > 0 ? 1 : 0);
    const double wrongGenotype = classes > 1 ? error_ / (classes * (classes + 1) / 2 - 1) : 0;
    const double wrongAllele = classes > 1 ? error_ / (classes - 1) : 0;
    alleles.push_back(-1);
    std::vector<std::size_t> pick(static_cast<std::size_t>(slots_), 0);
    std::map<int, int> kind;  // typed member: 0 as read, 1 reversed, 2 wrong
    double total = 0.0;
    for (std::size_t k = 0; k < pick.size();) {
      double weight = 1.0;
      for (std::size_t c : pick) weight *= weights[c];
      for (auto it = family_.members.begin(); weight > 0 && it != family_.members.end(); ++it) {
        const int a = it->second.genotypes[l].allele1, b = it->second.genotypes[l].allele2;
        if ((a == 0 && b == 0) || (hemizygous(it->second) && error_ == 0 && a != b && a * b != 0)) continue;
        const int x = alleles[pick[static_cast<std::size_t>(haplotypeSlot(it->first, 0, v))]];
        const int y = alleles[pick[static_cast<std::size_t>(haplotypeSlot(it->first, 1, v))]];
        const LocusGenotype& g = it->second.genotypes[static_cast<std::size_t>(l)];
        if (std::find(known_.begin(), known_.end(), it->first) != known_.end() && g.resolved &&
            !hemizygous(it->second)) {
          const double p = g.phaseProbability >= 0 ? g.phaseProbability : 1.0;
          auto match = [](int written, int z) { return written == 0 || written == z; };
          weight *= (match(a, x) && match(b, y) ? p : 0.0) + (match(b, x) && match(a, y) ? 1 - p : 0.0);
          continue;
        }
        const bool fits =
            a != 0 && b != 0 ? (x == a && y == b) || (x == b && y == a) : x == a + b || y == a + b;
        weight *= fits ? 1 - error_ : a != 0 && b != 0 ? wrongGenotype : wrongAllele;
        kind[it->first] = !fits ? 2 : x == a && y == b ? 0 : 1;
      }
      total += weight;
      for (const auto& [id, k] : kind) {
        if (masses != nullptr && weight > 0) (*masses)[id][static_cast<std::size_t>(k)] += weight * scale;
      }
      for (k = 0; k < pick.size() && ++pick[k] == alleles.size(); ++k) pick[k] = 0;
    }
    return total;
  }

  const Family& family_;
  const inheritance::FileModel& model_;
  double error_;
  std::vector<int> known_;    // founders with known haplotypes
  Table full_, emission_;     // full vectors: posterior, emission
  std::map<int, int> fixed_;  // founder with children: its fixed meiosis
  int slots_ = 0;
  std::map<int, int> slot_, first_;                 // founder: first slot; child: first meiosis
  std::vector<int> bit_;                            // meiosis: reduced bit, -1 when fixed
  std::vector<std::pair<std::size_t, int>> flips_;  // a founder's meioses and its fixed one
};

// Largest posterior; ties (relative 1e-9) to the fewest changed bits from
// the previous choice, then the lowest index.
std::vector<std::uint32_t> choose(const Table& posteriors) {
  std::vector<std::uint32_t> chosen;
  for (const std::vector<double>& p : posteriors) {
    const double largest = *std::max_element(p.begin(), p.end());
    std::uint32_t best = 0;
    int fewest = 1 << 30;
    for (std::uint32_t r = 0; r < p.size(); ++r) {
      const int changes = chosen.empty() ? 0 : __builtin_popcount(r ^ chosen.back());
      if (p[r] < largest * (1 - 1e-9) || changes >= fewest) continue;
      best = r;
      fewest = changes;
    }
    chosen.push_back(best);
  }
  return chosen;
}

// Returns the loci the solver found inconsistent in the first family of
// `text`, with genotype error rate `error`. Also checks every call the
// solver writes: none the brute force finds more likely wrong than right,
// and each typed heterozygote's stored order probability against the brute
// force's for the written order and the other.
// `fractions`: each interval's own recombination fraction (as a genetic
// map gives them); empty: the one estimate of the file.
// `known`: founders taken as having known haplotypes, their calls as read:
// resolved except at every fifth locus, a typed heterozygote with phase
// probability none, 0.3, 0.6 and 0.9 in turn. `keepNoDenseVectors`: the
// solver keeps no whole backward vector beyond its sqrt checkpoints.
// `single`: its state vectors are single precision, as in large families;
// posteriors and call probabilities then agree to 1e-4, the decoded vectors
// and the calls exactly.
std::vector<int> expectSolverEqualsBruteForce(const std::string& text, double error = 0,
                                              const std::vector<double>& fractions = {}, bool xLinked = false,
                                              const std::vector<int>& known = {},
                                              bool keepNoDenseVectors = false, bool single = false) {
  SCOPED_TRACE(text + "error " + std::to_string(error) + " fractions " + std::to_string(fractions.size()) +
               (xLinked ? " X" : "") + " known " + std::to_string(known.size()) + (single ? " single" : ""));
  auto family = test_support::preparedFamily(text);
  family->xLinked = xLinked;
  for (int id : known) {
    for (std::size_t l = 0; l < family->member(id).genotypes.size(); ++l) {
      LocusGenotype& g = family->member(id).genotypes[l];
      g.resolved = l % 5 != 4;
      if (g.isTypedHeterozygote() && l % 4 != 0) g.phaseProbability = 0.3F * static_cast<float>(l % 4);
    }
  }
  const Family read = *family;
  Settings settings;
  settings.genotypeError = error;
  inheritance::FileModel model(settings);
  model.addFamily(*family);
  model.finish();
  if (!fractions.empty()) model.setIntervalFractions(fractions);
  inheritance::InheritanceSolver solver(*family, model, known);
  if (keepNoDenseVectors) solver.setStoredVectorBytes(0.0);
  if (single) solver.setSinglePrecisionBits(0);
  const double tolerance = single ? 1e-4 : 1e-9;
  Table posteriors;
  solver.decode([&](int, const std::vector<double>& posterior) { posteriors.push_back(posterior); });
  BruteForce brute(read, model, solver, known);
  const Table expected = brute.posteriors(solver.reducedBits());
  EXPECT_EQ(posteriors.size(), expected.size());
  for (std::size_t l = 0; l < std::min(posteriors.size(), expected.size()); ++l) {
    for (std::size_t r = 0; r < expected[l].size(); ++r) {
      EXPECT_NEAR(posteriors[l][r], expected[l][r], tolerance) << "locus " << l << " state " << r;
    }
  }
  EXPECT_EQ(solver.chosenStates(), choose(expected));
  solver.writeConfiguration();
  for (int l = 0; l < family->locusCount; ++l) {
    const auto calls = brute.calls(l);
    for (const inheritance::Node& node : solver.nodes()) {
      const int id = node.member->memberId;
      const LocusGenotype& in = read.member(id).genotypes[static_cast<std::size_t>(l)];
      const LocusGenotype& out = node.member->genotypes[static_cast<std::size_t>(l)];
      SCOPED_TRACE("member " + std::to_string(id) + " locus " + std::to_string(l));
      if (!calls.contains(id) || !out.resolved) continue;
      const auto& [asRead, reversed, wrong] = calls.at(id);
      EXPECT_LE(wrong, 0.5 + 1e-9);
      if (!in.isTypedHeterozygote()) {
        EXPECT_EQ(out.phaseProbability, -1.0F);
        continue;
      }
      // Haplotype 0 is written first unless a founder's labels are flipped,
      // which the child of its fixed meiosis shows as source 1 (unknown
      // when that child is written as read).
      int flipped = 0;
      for (const inheritance::Node& child : solver.nodes()) {
        for (int side : {kPaternal, kMaternal}) {
          if (child.bit[side] >= 0 || child.parent[side] < 0 ||
              solver.nodes()[static_cast<std::size_t>(child.parent[side])].member != node.member)
            continue;
          flipped = child.member->genotypes[static_cast<std::size_t>(l)].sourceOnSide(side);
        }
      }
      if (flipped < 0) continue;
      const int first = flipped == 1 ? out.allele2 : out.allele1;
      const double written = (first == in.allele1 ? asRead : reversed) / (asRead + reversed);
      const double other = (first == in.allele1 ? reversed : asRead) / (asRead + reversed);
      EXPECT_NEAR(out.phaseProbability, written, single ? 1e-4 : 1e-6);
      EXPECT_NEAR(1 - out.phaseProbability, other, single ? 1e-4 : 1e-6);
    }
  }
  return solver.inconsistentLoci();
}

// Three generations on X: son 3 passes his one X to daughters 6 and 7 (7
// with a maternal recombination); son 8's (1, 2) at locus 1 is a typing
// error, son 3's (1, 0) at locus 2 half-typed; male founder 9 without
// children has a heterozygote at locus 0.
const std::string kXFamily =
    "1 1 0 0 1 0 0 1 1 2 2 1 1\n1 2 0 0 2 0 0 1 2 2 1 2 1\n1 3 1 2 1 0 0 2 2 1 1 1 0\n"
    "1 4 1 2 2 0 0 1 1 2 2 1 2\n1 5 0 0 2 0 0 1 2 1 2 2 1\n1 6 3 5 2 0 0 2 1 1 1 1 2\n"
    "1 7 3 5 2 0 0 2 2 1 2 1 2\n1 8 3 5 1 0 0 2 2 1 2 1 1\n"
    "1 9 0 0 1 0 0 1 2 1 1 2 2\n";

// Autosomal families, and on X (with a father of several daughters and sons,
// a son's X passing to his daughters).
TEST(InheritanceOracle, PosteriorsDecodedVectorsAndCallsEqualBruteForce) {
  using Options = test_support::GeneratedFamilyOptions;
  const Options shapes[] = {{.children = 1},
                            {.children = 4},
                            {.generations = 3, .children = 2, .grandchildren = 2},
                            {.children = 2, .halfSiblings = true},
                            {.children = 4, .xLinked = true},
                            {.generations = 3, .children = 2, .grandchildren = 3, .xLinked = true}};
  std::mt19937 rng(2024);
  for (const Options& shape : shapes) {
    for (int round = 0; round < 12; ++round) {
      Options options = shape;
      options.loci = 2 + round % 5;
      options.alleles = 2 + round % 2;
      options.recombinationRate = 0.2;
      options.missingRate = 0.1 * (round % 3);
      options.missingGenotypeRate = round % 4 == 3 ? 0.2 : 0.0;
      options.shuffled = round % 2 == 1;
      options.typingErrorRate = round % 3 == 2 ? 0.15 : 0.0;
      const std::string text = test_support::generateFamilyText(options, rng);
      for (double error : {0.0, round % 2 == 0 ? 0.1 : 0.01})
        expectSolverEqualsBruteForce(text, error, {}, shape.xLinked);
      // Intervals of their own fractions, from nearly linked to unlinked,
      // several of them combined across loci of uniform emission; backward
      // vectors of dense emissions recomputed from checkpoints.
      std::vector<double> fractions;
      for (int l = 0; l + 1 < 8; ++l) fractions.push_back(l % 3 == 0 ? 1e-4 : l % 3 == 1 ? 0.05 : 0.5);
      expectSolverEqualsBruteForce(text, round % 2 == 0 ? 0.0 : 0.01, fractions, shape.xLinked, {}, true);
      // Single-precision state vectors (rescaled floats, their own spread).
      expectSolverEqualsBruteForce(text, round % 2 == 0 ? 0.0 : 0.01,
                                   round % 3 == 0 ? fractions : std::vector<double>{}, shape.xLinked, {},
                                   round % 2 == 1, true);
    }
  }
  // Locus 1: the child carries allele 3, which neither parent has; without
  // errors it is listed and fits every state, with errors it is a call
  // more likely wrong than right.
  const std::string inconsistent =
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1 2 2\n1 3 1 2 1 0 0 1 1 3 3 1 2\n1 4 1 2 2 0 0 2 1 1 "
      "2 2 2\n";
  EXPECT_EQ(expectSolverEqualsBruteForce(inconsistent), std::vector<int>{1});
  for (double error : {0.01, 0.1})
    EXPECT_EQ(expectSolverEqualsBruteForce(inconsistent, error), std::vector<int>{});
  for (double error : {0.0, 0.01, 0.2}) {
    EXPECT_EQ(expectSolverEqualsBruteForce(kXFamily, error, {}, true), std::vector<int>{});
    expectSolverEqualsBruteForce(kXFamily, error, {1e-4, 0.5}, true);
  }
}

// Founders with known haplotypes (members phased by an earlier piece):
// their meioses are all bits, and their written orders weigh the states.
TEST(InheritanceOracle, KnownPhaseFoundersEqualBruteForce) {
  using Options = test_support::GeneratedFamilyOptions;
  const Options shapes[] = {{.children = 3},
                            {.generations = 3, .children = 2, .grandchildren = 2},
                            {.children = 2, .halfSiblings = true},
                            {.generations = 3, .children = 2, .grandchildren = 2, .xLinked = true}};
  std::mt19937 rng(77);
  for (const Options& shape : shapes) {
    for (int round = 0; round < 4; ++round) {
      Options options = shape;
      options.loci = 4 + round % 3;
      options.alleles = 2 + round % 2;
      options.recombinationRate = 0.2;
      options.missingRate = 0.1 * (round % 3);
      options.typingErrorRate = round % 3 == 2 ? 0.15 : 0.0;
      const std::string text = test_support::generateFamilyText(options, rng);
      // The mother, or the father with the spouse of a child in three
      // generations or the second mate with half-siblings (member 5).
      const int other = shape.halfSiblings || shape.generations == 3 ? 5 : 2;
      const std::vector<int> known = round % 2 == 0 ? std::vector<int>{2} : std::vector<int>{1, other};
      for (double error : {0.0, 0.05}) expectSolverEqualsBruteForce(text, error, {}, shape.xLinked, known);
    }
  }
}

class NoSink : public ConfigurationSink {
 public:
  void configuration(Family&) override {}
  void tooBig(const Family&) override {}
  void noSolution(const Family&) override {}
};

// Solves the families of `texts` on X as one file; returns standard error.
std::string solveOnX(std::vector<std::unique_ptr<Family>>& families, const std::vector<std::string>& texts,
                     double error = 0) {
  Settings settings;
  settings.genotypeError = error;
  inheritance::FileModel model(settings);
  for (const std::string& text : texts) {
    families.push_back(test_support::preparedFamily(text));
    families.back()->xLinked = true;
    model.addFamily(*families.back());
  }
  model.finish();
  diagnostics::Capture capture;
  NoSink sink;
  for (auto& family : families) inheritance::solveFamily(*family, model, "x.txt", sink);
  return capture.take().standardError;
}

// Generated X families, typed with missing alleles and genotypes: every
// written allele of a child is one its parent can give along the written
// source (a son's both his mother's, a daughter's first her father's one),
// males are written with one allele, and the count is the maternal changes.
TEST(InheritanceOracle, XLinkedChildrenGetOnlyAllelesTheirParentsCanGive) {
  using Options = test_support::GeneratedFamilyOptions;
  std::mt19937 rng(5);
  std::vector<std::string> texts;
  for (int family = 1; family <= 12; ++family) {
    Options options = {.familyId = family,
                       .generations = 2 + family % 2,
                       .children = 2 + family % 4,
                       .grandchildren = 1 + family % 3,
                       .marriedChildren = 1 + family % 2};
    options.halfSiblings = family % 3 == 0;
    options.loci = 25;
    options.alleles = 2 + family % 3;
    options.recombinationRate = 0.05;
    options.missingRate = 0.05 * (family % 4);
    options.missingGenotypeRate = family % 2 == 0 ? 0.1 : 0.0;
    options.shuffled = family % 2 == 1;
    options.xLinked = true;
    texts.push_back(test_support::generateFamilyText(options, rng));
  }
  std::vector<std::unique_ptr<Family>> families;
  EXPECT_EQ(solveOnX(families, texts), "");
  for (const auto& family : families) {
    const auto typed = test_support::preparedFamily(texts[static_cast<std::size_t>(family->familyId - 1)]);
    int recombinants = 0;
    for (const auto& [id, member] : family->members) {
      SCOPED_TRACE("family " + std::to_string(family->familyId) + " member " + std::to_string(id));
      for (std::size_t l = 0; l < member.genotypes.size(); ++l) {
        const LocusGenotype& g = member.genotypes[l];
        const LocusGenotype& read = typed->member(id).genotypes[l];
        EXPECT_TRUE(g.resolved);
        for (int a : {read.allele1, read.allele2}) {
          EXPECT_TRUE(a == 0 || g.carries(a)) << "locus " << l;
        }
        EXPECT_TRUE(!member.isMale() || g.allele1 == g.allele2) << "locus " << l;
        if (member.isFounder()) continue;
        const LocusGenotype& father = family->member(member.fatherId).genotypes[l];
        const LocusGenotype& mother = family->member(member.motherId).genotypes[l];
        ASSERT_GE(g.maternalSource, 0);
        EXPECT_EQ(g.paternalSource, member.isMale() ? kSourceUnknown : 0);
        const int passed = mother.alleleNumber(g.maternalSource);
        EXPECT_TRUE(g.allele2 == 0 || passed == 0 || g.allele2 == passed) << "locus " << l;
        const int paternal = member.isMale() ? g.allele1 : father.allele1;
        EXPECT_TRUE(g.allele1 == 0 || paternal == 0 || g.allele1 == paternal) << "locus " << l;
        if (l > 0) recombinants += g.maternalSource != member.genotypes[l - 1].maternalSource ? 1 : 0;
      }
    }
    EXPECT_EQ(family->recombinantCount, recombinants);
  }
  // The fraction estimate and the allele counts take a male once: 5
  // maternal meioses x 2 intervals and 1 least recombination give 2 / 12,
  // clamped to 0.1 (paternal meioses would give 2 / 22); locus 0 has 7 of
  // allele 1 among 15 typed alleles.
  auto family = test_support::preparedFamily(kXFamily);
  family->xLinked = true;
  inheritance::FileModel model;
  model.addFamily(*family);
  model.finish();
  EXPECT_DOUBLE_EQ(model.theta(), 0.1);
  EXPECT_DOUBLE_EQ(model.frequencies(0).front().second, 7.5 / 16);
  EXPECT_EQ(inheritance::reducedBitCount(*family), 3);  // 5 meioses, 2 fixed
  // Without an error rate the males' heterozygotes are missing to the
  // model and written as read; with one they are unlikely calls, taken as
  // errors.
  for (double error : {0.0, 0.01}) {
    std::vector<std::unique_ptr<Family>> hand;
    const std::string reported = solveOnX(hand, {kXFamily}, error);
    EXPECT_EQ(reported,
              error == 0
                  ? "Haplotor: x.txt: family 1: 2 calls of males are heterozygous on X (member 9 locus 0, "
                    "member 8 locus 1, loci counted from 0); taken as missing, written as read, unphased "
                    "(HAPLOTOR_ERROR weighs them as genotype errors instead)\n"
                  : "Haplotor: x.txt: family 1: 2 calls are taken as genotype errors (member 9 locus 0, "
                    "member 8 locus 1, loci counted from 0); written as read, unphased\n");
    const LocusGenotype& son = hand.front()->member(8).genotypes[1];
    EXPECT_FALSE(son.resolved);
    EXPECT_EQ(std::make_pair(son.allele1, son.allele2), std::make_pair(1, 2));
    EXPECT_EQ(hand.front()->member(3).genotypes[2].allele2, 1);  // (1, 0) written (1, 1)
  }
}

}  // namespace
