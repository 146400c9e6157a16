// Pedigree-file text for property tests: founder haplotypes drawn at random
// and transmitted to the children, so the true configuration is known to
// exist (without recombination when the rate is 0).
#pragma once

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace constraint_test {

struct FamilyOptions {
  int familyId = 1;
  int generations = 2;        // 2: one couple and its children; 3: grandchildren too
  int children = 3;           // children of the first couple
  int grandchildren = -1;     // children of each later couple (-1: as many as `children`)
  bool halfSiblings = false;  // the first father also has children by a second mate
  int loci = 6;
  int alleles = 2;                 // codes 1..alleles
  double recombinationRate = 0.0;  // chance of a switch between consecutive loci
  double missingRate = 0.0;        // chance a genotype is written 0 0
  bool childrenFirst = false;      // lines in reverse order (children before parents)
  bool shuffled = false;           // lines in random order (overrides childrenFirst)
};

namespace detail {

struct Person {
  int id = 0;
  int father = 0;
  int mother = 0;
  int sex = 1;
  std::vector<int> paternal;  // haplotype received from the father
  std::vector<int> maternal;
};

inline std::vector<int> randomHaplotype(const FamilyOptions& options, std::mt19937& random) {
  std::uniform_int_distribution<int> allele(1, options.alleles);
  std::vector<int> haplotype(static_cast<std::size_t>(options.loci));
  for (int& code : haplotype) code = allele(random);
  return haplotype;
}

inline std::vector<int> transmit(const Person& parent, const FamilyOptions& options, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  bool fromPaternal = unit(random) < 0.5;
  std::vector<int> haplotype(static_cast<std::size_t>(options.loci));
  for (std::size_t l = 0; l < haplotype.size(); ++l) {
    if (l > 0 && unit(random) < options.recombinationRate) fromPaternal = !fromPaternal;
    haplotype[l] = fromPaternal ? parent.paternal[l] : parent.maternal[l];
  }
  return haplotype;
}

}  // namespace detail

inline std::string generateFamilyText(const FamilyOptions& options, std::mt19937& random) {
  using detail::Person;
  std::vector<Person> people;
  auto addFounder = [&](int sex) {
    Person founder;
    founder.id = static_cast<int>(people.size()) + 1;
    founder.sex = sex;
    founder.paternal = detail::randomHaplotype(options, random);
    founder.maternal = detail::randomHaplotype(options, random);
    people.push_back(founder);
    return founder.id;
  };
  auto addChildren = [&](int fatherId, int motherId, int count) {
    std::vector<int> ids;
    for (int c = 0; c < count; ++c) {
      Person child;
      child.id = static_cast<int>(people.size()) + 1;
      child.father = fatherId;
      child.mother = motherId;
      child.sex = 1 + static_cast<int>(random() % 2);
      child.paternal = detail::transmit(people[static_cast<std::size_t>(fatherId - 1)], options, random);
      child.maternal = detail::transmit(people[static_cast<std::size_t>(motherId - 1)], options, random);
      people.push_back(child);
      ids.push_back(child.id);
    }
    return ids;
  };

  const int father = addFounder(1);
  const int mother = addFounder(2);
  std::vector<int> children = addChildren(father, mother, options.children);
  if (options.halfSiblings) {
    const int secondMate = addFounder(2);
    addChildren(father, secondMate, std::max(1, options.children / 2));
  }
  if (options.generations >= 3) {
    // Every child of the first couple marries in a founder and has children.
    for (int childId : children) {
      const bool male = people[static_cast<std::size_t>(childId - 1)].sex == 1;
      const int spouse = addFounder(male ? 2 : 1);
      addChildren(male ? childId : spouse, male ? spouse : childId,
                  options.grandchildren >= 0 ? options.grandchildren : options.children);
    }
  }

  std::vector<std::size_t> lineOrder(people.size());
  for (std::size_t i = 0; i < lineOrder.size(); ++i) lineOrder[i] = i;
  if (options.shuffled) {
    std::shuffle(lineOrder.begin(), lineOrder.end(), random);
  } else if (options.childrenFirst) {
    std::reverse(lineOrder.begin(), lineOrder.end());
  }
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::ostringstream text;
  for (std::size_t index : lineOrder) {
    const Person& person = people[index];
    text << options.familyId << ' ' << person.id << ' ' << person.father << ' ' << person.mother << ' '
         << person.sex << " 0 0";
    for (std::size_t l = 0; l < person.paternal.size(); ++l) {
      int a = person.paternal[l];
      int b = person.maternal[l];
      if (random() % 2 == 1) std::swap(a, b);  // genotypes are read unordered
      if (unit(random) < options.missingRate) a = b = 0;
      text << ' ' << a << ' ' << b;
    }
    text << '\n';
  }
  return text.str();
}

}  // namespace constraint_test
