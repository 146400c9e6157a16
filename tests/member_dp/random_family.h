// Random families for the member-based tests and benchmark, made by
// transmission: founders get random haplotypes, every child copies one
// haplotype of each parent with recombination, then alleles are dropped or
// mistyped at random. Members get shuffled ids and lines, so children may
// have smaller ids than their parents. Header-only so the benchmark uses the
// same families.
#pragma once

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace member_dp_test {

struct FamilyShape {
  // Per member, the indices of the father and mother (-1 for a founder) and
  // the sex (1 male, 2 female). Parents come before their children.
  std::vector<int> father;
  std::vector<int> mother;
  std::vector<int> sex;
};

// Two founders and `children` children.
inline FamilyShape nuclearShape(int children) {
  FamilyShape shape{{-1, -1}, {-1, -1}, {1, 2}};
  for (int c = 0; c < children; ++c) {
    shape.father.push_back(0);
    shape.mother.push_back(1);
    shape.sex.push_back(c % 2 == 0 ? 1 : 2);
  }
  return shape;
}

// Grandparents 0 and 1, their son 2 married to founder 3, and `grandchildren`
// children of 2 and 3.
inline FamilyShape threeGenerationShape(int grandchildren) {
  FamilyShape shape{{-1, -1, 0, -1}, {-1, -1, 1, -1}, {1, 2, 1, 2}};
  for (int c = 0; c < grandchildren; ++c) {
    shape.father.push_back(2);
    shape.mother.push_back(3);
    shape.sex.push_back(c % 2 == 0 ? 2 : 1);
  }
  return shape;
}

// Father 0 with mothers 1 and 2; children alternate between the mothers.
inline FamilyShape halfSibShape(int children) {
  FamilyShape shape{{-1, -1, -1}, {-1, -1, -1}, {1, 2, 2}};
  for (int c = 0; c < children; ++c) {
    shape.father.push_back(0);
    shape.mother.push_back(c % 2 == 0 ? 1 : 2);
    shape.sex.push_back(1);
  }
  return shape;
}

inline FamilyShape foundersOnlyShape(int founders) {
  FamilyShape shape;
  for (int i = 0; i < founders; ++i) {
    shape.father.push_back(-1);
    shape.mother.push_back(-1);
    shape.sex.push_back(i % 2 + 1);
  }
  return shape;
}

struct GenotypeOptions {
  int loci = 4;
  int alleles = 2;
  double recombination = 0.1;
  // A founder allele is 0 (and is passed on as 0).
  double missingFounderAllele = 0.0;
  // After transmission, one allele of a member at a locus is set to 0 or to
  // a random value (usually breaking consistency at that locus).
  double typingError = 0.0;
  // Member ids are a random permutation instead of 1..n in shape order.
  bool shuffleIds = true;
};

// Family-file text of one family.
inline std::string familyText(int familyId, const FamilyShape& shape, const GenotypeOptions& options,
                              std::mt19937& random) {
  const int n = static_cast<int>(shape.father.size());
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random) < p; };
  auto allele = [&] { return std::uniform_int_distribution<int>(1, options.alleles)(random); };
  // haplotypes[member][side][locus]
  std::vector<std::vector<std::vector<int>>> haplotypes(
      static_cast<std::size_t>(n),
      std::vector<std::vector<int>>(2, std::vector<int>(static_cast<std::size_t>(options.loci))));
  for (int m = 0; m < n; ++m) {
    auto& own = haplotypes[static_cast<std::size_t>(m)];
    for (int side = 0; side < 2; ++side) {
      const int parent =
          side == 0 ? shape.father[static_cast<std::size_t>(m)] : shape.mother[static_cast<std::size_t>(m)];
      int copied = std::uniform_int_distribution<int>(0, 1)(random);
      for (int l = 0; l < options.loci; ++l) {
        int value = 0;
        if (parent < 0) {
          value = chance(options.missingFounderAllele) ? 0 : allele();
        } else {
          if (l > 0 && chance(options.recombination)) copied = 1 - copied;
          value = haplotypes[static_cast<std::size_t>(parent)][static_cast<std::size_t>(copied)]
                            [static_cast<std::size_t>(l)];
        }
        own[static_cast<std::size_t>(side)][static_cast<std::size_t>(l)] = value;
      }
    }
  }
  std::vector<int> ids(static_cast<std::size_t>(n));
  std::iota(ids.begin(), ids.end(), 1);
  if (options.shuffleIds) std::shuffle(ids.begin(), ids.end(), random);
  std::vector<int> lineOrder(static_cast<std::size_t>(n));
  std::iota(lineOrder.begin(), lineOrder.end(), 0);
  std::shuffle(lineOrder.begin(), lineOrder.end(), random);
  std::string text;
  for (int m : lineOrder) {
    const auto k = static_cast<std::size_t>(m);
    const int father = shape.father[k] < 0 ? 0 : ids[static_cast<std::size_t>(shape.father[k])];
    const int mother = shape.mother[k] < 0 ? 0 : ids[static_cast<std::size_t>(shape.mother[k])];
    for (int field : {familyId, ids[k], father, mother, shape.sex[k], 0})
      text.append(std::to_string(field)).append(" ");
    text.append("0");
    for (int l = 0; l < options.loci; ++l) {
      int a = haplotypes[k][0][static_cast<std::size_t>(l)];
      int b = haplotypes[k][1][static_cast<std::size_t>(l)];
      if (chance(options.typingError)) (chance(0.5) ? a : b) = chance(0.5) ? 0 : allele();
      if (chance(0.5)) std::swap(a, b);
      text.append(" ").append(std::to_string(a)).append(" ").append(std::to_string(b));
    }
    text += "\n";
  }
  return text;
}

}  // namespace member_dp_test
