// Large generated pedigree files for benchmarks: founder alleles drawn with
// the program's generator and transmitted to children, with optional
// recombination and missing alleles.
#pragma once

#include <string>
#include <vector>

#include "pedigree/random_source.h"
#include "pedigree/text_sink.h"

struct GeneratorSettings {
  int families = 2000;
  int members = 10;
  int loci = 1000;
  int alleles = 2;
  int generations = 2;             // 2: one couple and children; 3: children marry founders
  int children = 4;                // children per couple in three-generation families
  double missingRate = 0.0;        // per allele
  double recombinationRate = 0.0;  // per interval per transmission
  unsigned seed = 1;
};

namespace bench_generator {

inline double uniform() { return random_source::next() / 32768.0; }

struct Person {
  int id, father, mother, sex;
  std::vector<int> paternal, maternal;
};

inline std::vector<int> transmit(const Person& parent, const GeneratorSettings& s) {
  std::vector<int> haplotype(static_cast<std::size_t>(s.loci));
  bool fromPaternal = uniform() < 0.5;
  for (std::size_t l = 0; l < haplotype.size(); ++l) {
    if (l > 0 && uniform() < s.recombinationRate) fromPaternal = !fromPaternal;
    haplotype[l] = fromPaternal ? parent.paternal[l] : parent.maternal[l];
  }
  return haplotype;
}

// The members of one family: a founder couple and its children, or (three
// generations) a couple whose children marry new founders and have children.
inline std::vector<Person> makeFamily(const GeneratorSettings& s) {
  std::vector<Person> people;
  auto founder = [&](int sex) {
    Person p{static_cast<int>(people.size()) + 1, 0, 0, sex, {}, {}};
    for (int l = 0; l < s.loci; ++l) {
      p.paternal.push_back(1 + static_cast<int>(uniform() * s.alleles));
      p.maternal.push_back(1 + static_cast<int>(uniform() * s.alleles));
    }
    people.push_back(p);
    return p.id;
  };
  auto child = [&](int father, int mother) {
    Person p{static_cast<int>(people.size()) + 1, father, mother, uniform() < 0.5 ? 1 : 2, {}, {}};
    p.paternal = transmit(people[static_cast<std::size_t>(father - 1)], s);
    p.maternal = transmit(people[static_cast<std::size_t>(mother - 1)], s);
    people.push_back(p);
    return p.id;
  };
  std::vector<std::pair<int, int>> couples{{founder(1), founder(2)}};
  const int perCouple = s.generations >= 3 ? s.children : s.members;
  for (std::size_t c = 0; c < couples.size(); ++c) {
    std::vector<int> kids;
    for (int k = 0; k < perCouple && static_cast<int>(people.size()) < s.members; ++k) {
      kids.push_back(child(couples[c].first, couples[c].second));
    }
    if (s.generations < 3 || c > 0) continue;
    for (int kid : kids) {
      if (static_cast<int>(people.size()) + 2 > s.members) break;
      int sex = people[static_cast<std::size_t>(kid - 1)].sex;
      int spouse = founder(sex == 1 ? 2 : 1);
      couples.push_back(sex == 1 ? std::make_pair(kid, spouse) : std::make_pair(spouse, kid));
    }
  }
  return people;
}

inline void writeFamilies(const GeneratorSettings& s, TextSink& sink) {
  random_source::seed(s.seed);
  for (int f = 1; f <= s.families; ++f) {
    for (const Person& p : makeFamily(s)) {
      sink.put(f).put(' ').put(p.id).put(' ').put(p.father).put(' ').put(p.mother).put(' ').put(p.sex).put(
          " 0 0");
      for (std::size_t l = 0; l < p.paternal.size(); ++l) {
        int a = p.paternal[l];
        int b = p.maternal[l];
        if (uniform() < 0.5) std::swap(a, b);
        if (uniform() < s.missingRate) a = 0;
        if (uniform() < s.missingRate) b = 0;
        sink.put(' ').put(a).put(' ').put(b);
      }
      sink.put('\n');
    }
  }
}

}  // namespace bench_generator
