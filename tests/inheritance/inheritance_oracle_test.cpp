// Option i against brute force: every full inheritance vector of a small
// family, emissions summed over every allele of every founder slot, dense
// forward-backward, summed onto the reduced states the solver uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "family_generator.h"
#include "inheritance/inheritance_solver.h"
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
             const inheritance::InheritanceSolver& solver)
      : family_(family), model_(model) {
    for (const auto& [id, member] : family.members) {
      if (member.isFounder()) {
        slot_[id] = 2 * founders_++;
      } else {
        first_[id] = static_cast<int>(bit_.size());
        bit_.resize(bit_.size() + 2);
      }
    }
    for (const inheritance::Node& node : solver.nodes()) {
      if (!node.founder) {
        for (int side : {kPaternal, kMaternal})
          bit_[first_.at(node.member->memberId) + side] = node.bit[side];
      }
    }
    // Flipping every meiosis of a founder gives the same reduced state, so
    // a vector whose fixed meiosis is 1 is read with the founder flipped.
    for (const auto& [founder, unused] : slot_) {
      std::pair<std::size_t, int> flip{0, -1};
      for (const auto& [child, m] : first_) {
        for (int side : {kPaternal, kMaternal}) {
          if (family.member(child).parentOnSide(side) != founder) continue;
          flip.first |= std::size_t{1} << (m + side);
          if (bit_[m + side] < 0) flip.second = m + side;
        }
      }
      if (flip.second >= 0) flips_.push_back(flip);
    }
  }

  Table posteriors(int reducedBits) const {
    const std::size_t loci = static_cast<std::size_t>(family_.locusCount), n = std::size_t{1} << bit_.size();
    std::vector<double> step(bit_.size() + 1);
    for (std::size_t k = 0; k < step.size(); ++k) {
      step[k] = std::pow(model_.theta(), k) * std::pow(1 - model_.theta(), bit_.size() - k);
    }
    Table emission(loci, std::vector<double>(n)), alpha = emission, beta(loci, std::vector<double>(n, 1.0));
    for (std::size_t l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < n; ++v) emission[l][v] = emissionOf(v, static_cast<int>(l));
      if (*std::max_element(emission[l].begin(), emission[l].end()) == 0) emission[l].assign(n, 1.0);
      for (std::size_t y = 0; y < n; ++y) {
        double in = l == 0 ? 1.0 : 0.0;
        for (std::size_t x = 0; l > 0 && x < n; ++x)
          in += alpha[l - 1][x] * step[__builtin_popcountll(x ^ y)];
        alpha[l][y] = in * emission[l][y];
      }
      normalise(alpha[l]);
    }
    for (std::size_t l = loci - 1; l > 0; --l) {
      for (std::size_t x = 0; x < n; ++x) {
        beta[l - 1][x] = 0.0;
        for (std::size_t y = 0; y < n; ++y) {
          beta[l - 1][x] += step[__builtin_popcountll(x ^ y)] * emission[l][y] * beta[l][y];
        }
      }
      normalise(beta[l - 1]);
    }
    Table reduced(loci, std::vector<double>(std::size_t{1} << reducedBits, 0.0));
    for (std::size_t l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < n; ++v) reduced[l][reducedIndex(v)] += alpha[l][v] * beta[l][v];
      normalise(reduced[l]);
    }
    return reduced;
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

  int slotOf(int id, int side, std::size_t v) const {
    const Member& member = family_.member(id);
    if (member.isFounder()) return slot_.at(id) + side;
    return slotOf(member.parentOnSide(side), static_cast<int>(v >> (first_.at(id) + side) & 1u), v);
  }

  // Classes: the family's typed alleles at their file frequencies, and one
  // class (-1) for every other allele of the file.
  double emissionOf(std::size_t v, int l) const {
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
    alleles.push_back(-1);
    std::vector<std::size_t> pick(static_cast<std::size_t>(2 * founders_), 0);
    double total = 0.0;
    for (std::size_t k = 0; k < pick.size();) {
      double weight = 1.0;
      for (std::size_t c : pick) weight *= weights[c];
      for (auto it = family_.members.begin(); weight > 0 && it != family_.members.end(); ++it) {
        const int a = it->second.genotypes[l].allele1, b = it->second.genotypes[l].allele2;
        const int x = alleles[pick[static_cast<std::size_t>(slotOf(it->first, kPaternal, v))]];
        const int y = alleles[pick[static_cast<std::size_t>(slotOf(it->first, kMaternal, v))]];
        const bool fits = a != 0 && b != 0   ? (x == a && y == b) || (x == b && y == a)
                          : a != 0 || b != 0 ? x == a + b || y == a + b
                                             : true;
        if (!fits) weight = 0;
      }
      total += weight;
      for (k = 0; k < pick.size() && ++pick[k] == alleles.size(); ++k) pick[k] = 0;
    }
    return total;
  }

  const Family& family_;
  const inheritance::FileModel& model_;
  int founders_ = 0;
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

// Returns the loci the solver found inconsistent in the first family of `text`.
std::vector<int> expectSolverEqualsBruteForce(const std::string& text) {
  SCOPED_TRACE(text);
  auto family = test_support::preparedFamily(text);
  inheritance::FileModel model;
  model.addFamily(*family);
  model.finish();
  inheritance::InheritanceSolver solver(*family, model);
  Table posteriors;
  solver.decode([&](int, const std::vector<double>& posterior) { posteriors.push_back(posterior); });
  const Table expected = BruteForce(*family, model, solver).posteriors(solver.reducedBits());
  EXPECT_EQ(posteriors.size(), expected.size());
  for (std::size_t l = 0; l < std::min(posteriors.size(), expected.size()); ++l) {
    for (std::size_t r = 0; r < expected[l].size(); ++r) {
      EXPECT_NEAR(posteriors[l][r], expected[l][r], 1e-9) << "locus " << l << " state " << r;
    }
  }
  EXPECT_EQ(solver.chosenStates(), choose(expected));
  return solver.inconsistentLoci();
}

TEST(InheritanceOracle, PosteriorsAndDecodedVectorsEqualBruteForce) {
  using Options = test_support::GeneratedFamilyOptions;
  const Options shapes[] = {{.children = 1},
                            {.children = 4},
                            {.generations = 3, .children = 2, .grandchildren = 2},
                            {.children = 2, .halfSiblings = true}};
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
      expectSolverEqualsBruteForce(test_support::generateFamilyText(options, rng));
    }
  }
  // Locus 1: the child carries allele 3, which neither parent has; it is
  // listed and fits every state.
  EXPECT_EQ(expectSolverEqualsBruteForce("1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1 2 2\n"
                                         "1 3 1 2 1 0 0 1 1 3 3 1 2\n1 4 1 2 2 0 0 2 1 1 2 2 2\n"),
            std::vector<int>{1});
}

}  // namespace
