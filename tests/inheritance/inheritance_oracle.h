// The brute-force model of option i, for small families: every full
// inheritance vector (one bit per meiosis, no founder bit fixed), its
// emission by summing over every allele of every founder slot, a dense
// transition matrix, and plain forward-backward. Posteriors are then summed
// over the vectors a reduced state stands for.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "inheritance/inheritance_solver.h"
#include "test_support.h"

namespace inheritance_test {

// A prepared family with a model gathered from the family alone.
struct SolvedFamily {
  std::unique_ptr<Family> family;
  inheritance::FileModel model;
};

inline std::unique_ptr<SolvedFamily> setUpFamily(const std::string& text) {
  auto solved = std::make_unique<SolvedFamily>();
  solved->family = test_support::preparedFamily(text);
  solved->model.addFamily(*solved->family);
  solved->model.finish();
  return solved;
}

class BruteForceModel {
 public:
  BruteForceModel(const Family& family, const inheritance::FileModel& model,
                  const std::vector<inheritance::Node>& nodes)
      : family_(family), model_(model) {
    for (const auto& [id, member] : family.members) {
      if (member.isFounder()) {
        founderSlot_[id] = 2 * founders_++;
      } else {
        meiosisOf_[id] = static_cast<int>(meioses_.size());
        meioses_.push_back({id, kPaternal});
        meioses_.push_back({id, kMaternal});
      }
    }
    // Where the solver puts each meiosis, and which one it fixes.
    for (const inheritance::Node& node : nodes) {
      if (node.founder) continue;
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int meiosis = meiosisOf_.at(node.member->memberId) + side;
        reducedBitOf_[meiosis] = node.bit[side];
      }
    }
  }

  int meiosisCount() const { return static_cast<int>(meioses_.size()); }

  // Normalised posterior of every reduced state at every locus.
  std::vector<std::vector<double>> reducedPosteriors(int reducedBits) {
    const int loci = family_.locusCount;
    const std::size_t states = std::size_t{1} << meioses_.size();
    std::vector<std::vector<double>> emission(static_cast<std::size_t>(loci), std::vector<double>(states));
    std::vector<bool> fits(static_cast<std::size_t>(loci), false);
    for (int l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < states; ++v) {
        emission[static_cast<std::size_t>(l)][v] = emissionOf(v, l);
        if (emission[static_cast<std::size_t>(l)][v] > 0) fits[static_cast<std::size_t>(l)] = true;
      }
      if (!fits[static_cast<std::size_t>(l)]) std::fill(emission[l].begin(), emission[l].end(), 1.0);
    }
    const double theta = model_.theta();
    auto transition = [&](std::size_t x, std::size_t y) {
      const int changes = __builtin_popcountll(x ^ y);
      return std::pow(theta, changes) * std::pow(1.0 - theta, static_cast<double>(meioses_.size()) - changes);
    };
    std::vector<std::vector<double>> alpha(static_cast<std::size_t>(loci), std::vector<double>(states, 0.0));
    std::vector<std::vector<double>> beta(static_cast<std::size_t>(loci), std::vector<double>(states, 1.0));
    for (int l = 0; l < loci; ++l) {
      for (std::size_t y = 0; y < states; ++y) {
        double arriving = 0.0;
        if (l == 0) {
          arriving = 1.0;
        } else {
          for (std::size_t x = 0; x < states; ++x) arriving += alpha[l - 1][x] * transition(x, y);
        }
        alpha[l][y] = arriving * emission[l][y];
      }
      normalise(alpha[l]);
    }
    for (int l = loci - 2; l >= 0; --l) {
      for (std::size_t x = 0; x < states; ++x) {
        double leaving = 0.0;
        for (std::size_t y = 0; y < states; ++y)
          leaving += transition(x, y) * emission[l + 1][y] * beta[l + 1][y];
        beta[l][x] = leaving;
      }
      normalise(beta[l]);
    }
    std::vector<std::vector<double>> reduced(static_cast<std::size_t>(loci),
                                             std::vector<double>(std::size_t{1} << reducedBits, 0.0));
    for (int l = 0; l < loci; ++l) {
      for (std::size_t v = 0; v < states; ++v) reduced[l][reducedIndex(v)] += alpha[l][v] * beta[l][v];
      normalise(reduced[l]);
    }
    return reduced;
  }

 private:
  struct Meiosis {
    int child;
    int side;
  };

  static void normalise(std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += x;
    for (double& x : v) x /= sum;
  }

  // The founder slot a member's haplotype on `side` copies under vector v.
  int slotOf(int id, int side, std::size_t v) const {
    const Member& member = family_.member(id);
    if (member.isFounder()) return founderSlot_.at(id) + side;
    const int bit = static_cast<int>(v >> (meiosisOf_.at(id) + side) & 1u);
    return slotOf(member.parentOnSide(side), bit, v);
  }

  std::size_t reducedIndex(std::size_t v) const {
    // Flip every founder whose fixed meiosis is 1, then read the reduced bits.
    for (const auto& [id, member] : family_.members) {
      if (!member.isFounder()) continue;
      int fixed = -1;
      for (std::size_t m = 0; m < meioses_.size(); ++m) {
        if (family_.member(meioses_[m].child).parentOnSide(meioses_[m].side) == id &&
            reducedBitOf_.at(static_cast<int>(m)) < 0) {
          fixed = static_cast<int>(m);
        }
      }
      if (fixed < 0 || (v >> fixed & 1u) == 0) continue;
      for (std::size_t m = 0; m < meioses_.size(); ++m) {
        if (family_.member(meioses_[m].child).parentOnSide(meioses_[m].side) == id) v ^= std::size_t{1} << m;
      }
    }
    std::size_t r = 0;
    for (std::size_t m = 0; m < meioses_.size(); ++m) {
      const int bit = reducedBitOf_.at(static_cast<int>(m));
      if (bit >= 0 && (v >> m & 1u) != 0) r |= std::size_t{1} << bit;
    }
    return r;
  }

  // Sum over every allele of every founder slot: the family's typed alleles
  // with their file frequencies, and one lumped class for the file's others.
  double emissionOf(std::size_t v, int l) const {
    std::vector<int> alleles;
    for (const auto& [id, member] : family_.members) {
      for (int a : {member.genotypes[l].allele1, member.genotypes[l].allele2}) {
        if (a != 0 && std::find(alleles.begin(), alleles.end(), a) == alleles.end()) alleles.push_back(a);
      }
    }
    std::vector<double> weights;
    double other = 0.0;
    weights.assign(alleles.size(), 0.0);
    for (const auto& [allele, frequency] : model_.frequencies(l)) {
      auto it = std::find(alleles.begin(), alleles.end(), allele);
      if (it == alleles.end()) {
        other += frequency;
      } else {
        weights[static_cast<std::size_t>(it - alleles.begin())] = frequency;
      }
    }
    if (model_.frequencies(l).empty()) other = 1.0;
    alleles.push_back(-1);  // OTHER: equal to no typed allele
    weights.push_back(other);
    const std::size_t classes = alleles.size();
    const int slots = 2 * founders_;
    double total = 0.0;
    std::vector<int> assignment(static_cast<std::size_t>(slots), 0);
    while (true) {
      double weight = 1.0;
      for (int c : assignment) weight *= weights[static_cast<std::size_t>(c)];
      bool every = weight > 0.0;
      for (auto it = family_.members.begin(); every && it != family_.members.end(); ++it) {
        const LocusGenotype& g = it->second.genotypes[l];
        const int x = alleles[static_cast<std::size_t>(
            assignment[static_cast<std::size_t>(slotOf(it->first, kPaternal, v))])];
        const int y = alleles[static_cast<std::size_t>(
            assignment[static_cast<std::size_t>(slotOf(it->first, kMaternal, v))])];
        if (g.allele1 != 0 && g.allele2 != 0) {
          every = (x == g.allele1 && y == g.allele2) || (x == g.allele2 && y == g.allele1);
        } else if (g.allele1 != 0 || g.allele2 != 0) {
          const int typed = g.allele1 != 0 ? g.allele1 : g.allele2;
          every = x == typed || y == typed;
        }
      }
      if (every) total += weight;
      int k = 0;
      while (k < slots && ++assignment[static_cast<std::size_t>(k)] == static_cast<int>(classes)) {
        assignment[static_cast<std::size_t>(k++)] = 0;
      }
      if (k == slots) break;
    }
    return total;
  }

  const Family& family_;
  const inheritance::FileModel& model_;
  int founders_ = 0;
  std::map<int, int> founderSlot_;
  std::map<int, int> meiosisOf_;
  std::vector<Meiosis> meioses_;
  std::map<int, int> reducedBitOf_;
};

// The choice rule on posteriors: largest, ties within a relative 1e-9 to
// the fewest changed bits from the previous choice, then the lowest index.
inline std::vector<std::uint32_t> chooseStates(const std::vector<std::vector<double>>& posteriors) {
  std::vector<std::uint32_t> chosen;
  for (std::size_t l = 0; l < posteriors.size(); ++l) {
    const double largest = *std::max_element(posteriors[l].begin(), posteriors[l].end());
    std::uint32_t best = 0;
    int bestChanges = 1 << 30;
    for (std::uint32_t r = 0; r < posteriors[l].size(); ++r) {
      if (posteriors[l][r] < largest * (1 - 1e-9)) continue;
      const int changes = l == 0 ? 0 : __builtin_popcount(r ^ chosen.back());
      if (changes < bestChanges) {
        bestChanges = changes;
        best = r;
      }
    }
    chosen.push_back(best);
  }
  return chosen;
}

}  // namespace inheritance_test
