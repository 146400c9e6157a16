// What the locus-based tests share: small families under shuffled member ids
// (a child may hold the smallest id and so become the root of the tree), and
// readings of a family's phases.
#pragma once

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pedigree/family.h"

namespace locus_dp_test {

inline int openLoci(const Member& member) {
  return static_cast<int>(std::count_if(member.genotypes.begin(), member.genotypes.end(),
                                        [](const LocusGenotype& g) { return !g.resolved; }));
}

// Every member's genotypes, "a|b" where resolved and "a b" where open.
inline std::string genotypesOf(const Family& family) {
  std::string text;
  for (const auto& [id, member] : family.members) {
    text += std::to_string(id) + ":";
    for (const LocusGenotype& g : member.genotypes) {
      text.append(" ").append(std::to_string(g.allele1)).append(g.resolved ? "|" : " ");
      text.append(std::to_string(g.allele2));
    }
    text += "\n";
  }
  return text;
}

// One member of a generated family: parents by position in the list (-1 for
// a founder) and sex.
struct Shape {
  int father = -1;
  int mother = -1;
  int sex = 1;
};

// A couple (positions 0, 1) with `childCount` children; with `grandchildren`
// the first child marries a new founder and has that many children.
inline std::vector<Shape> familyShape(int childCount, int grandchildren, std::mt19937& rng) {
  std::vector<Shape> shape{{-1, -1, 1}, {-1, -1, 2}};
  for (int c = 0; c < childCount; ++c) shape.push_back({0, 1, 1 + static_cast<int>(rng() % 2)});
  if (grandchildren > 0) {
    int parent = 2;
    int spouse = static_cast<int>(shape.size());
    shape.push_back({-1, -1, shape[parent].sex == 1 ? 2 : 1});
    int father = shape[parent].sex == 1 ? parent : spouse;
    int mother = shape[parent].sex == 1 ? spouse : parent;
    for (int c = 0; c < grandchildren; ++c)
      shape.push_back({father, mother, 1 + static_cast<int>(rng() % 2)});
  }
  return shape;
}

struct GeneratedFamily {
  std::string text;
  std::vector<int> ids;  // member id of each position of the shape
  std::vector<Shape> shape;
};

// The shape under shuffled ids (a child may have the smallest id), with
// genotypes either transmitted from the parents or drawn freely (then
// Mendelian errors occur); alleles 1..3 with an occasional missing one.
inline GeneratedFamily generateFamily(std::mt19937& rng, const std::vector<Shape>& shape, int loci,
                                      bool transmitted) {
  GeneratedFamily generated;
  generated.shape = shape;
  int size = static_cast<int>(shape.size());
  for (int id = 1; id <= size; ++id) generated.ids.push_back(id);
  std::shuffle(generated.ids.begin(), generated.ids.end(), rng);
  std::uniform_int_distribution<int> allele(1, 3);
  std::uniform_int_distribution<int> coin(0, 1);
  std::uniform_int_distribution<int> percent(0, 99);
  auto draw = [&] { return percent(rng) < 5 ? 0 : allele(rng); };
  std::vector<std::vector<std::pair<int, int>>> genotypes(size);
  for (int i = 0; i < size; ++i) {
    for (int k = 0; k < loci; ++k) {
      if (transmitted && shape[i].father >= 0) {
        auto [f1, f2] = genotypes[shape[i].father][k];
        auto [m1, m2] = genotypes[shape[i].mother][k];
        int fromFather = coin(rng) ? f1 : f2;
        int fromMother = coin(rng) ? m1 : m2;
        if (coin(rng)) std::swap(fromFather, fromMother);
        genotypes[i].emplace_back(fromFather, fromMother);
      } else {
        genotypes[i].emplace_back(draw(), draw());
      }
    }
  }
  // Lines in ascending id, so the input order does not give away who is a
  // parent.
  std::ostringstream text;
  for (int id = 1; id <= size; ++id) {
    int i =
        static_cast<int>(std::find(generated.ids.begin(), generated.ids.end(), id) - generated.ids.begin());
    int fatherId = shape[i].father >= 0 ? generated.ids[shape[i].father] : 0;
    int motherId = shape[i].mother >= 0 ? generated.ids[shape[i].mother] : 0;
    text << 1 << ' ' << id << ' ' << fatherId << ' ' << motherId << ' ' << shape[i].sex << " 0 0";
    for (auto [a, b] : genotypes[i]) text << ' ' << a << ' ' << b;
    text << '\n';
  }
  generated.text = text.str();
  return generated;
}

}  // namespace locus_dp_test
