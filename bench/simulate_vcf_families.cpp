// Simulated families over a phased reference panel, for the VCF benchmarks.
// Founders take two random haplotypes of the panel; children receive one
// recombined haplotype from each parent, crossovers placed by a genetic map.
// Writes the unphased family genotypes as VCF on standard output and the
// pedigree as PED (fathers sex 1, mothers 2, children drawn at random).
// With --x the panel stands in for chromosome X: a male founder takes one
// haplotype, a female founder two; a son receives one recombined X from his
// mother and nothing from his father, a daughter her father's X unchanged and
// a recombined maternal one.
//
// usage: simulate_vcf_families PANEL_GT.txt MAP.gmap FAMILIES OUT.ped SEED [options] < header.txt
//   PANEL_GT.txt: "CHROM\tPOS\tID\tREF\tALT\tGT GT ..." (bcftools query -f
//   '%CHROM\t%POS\t%ID\t%REF\t%ALT[\t%GT]\n') MAP.gmap: "pos chr cM" with a header line header.txt: the
//   panel's header lines up to ##contig (the #CHROM line is written here)
// options (without any, the families are those vcf_option_b.sh has always timed):
//   --shape SHAPE                mixed (default): odd families nuclear with 2-4 children, even ones
//                                three generations; nuclear: a couple with 3 children; three: a couple,
//                                3 children, two of them with a spouse and 2 children each (11 members);
//                                the large pedigrees below
//   --thin K                     keep every K-th site of the panel (the first, the K+1-th, ...)
//   --missing R                  each call missing (./.) with probability R
//   --errors R                   each typed call replaced with probability R by another genotype drawn
//                                uniformly from the site's alleles
//   --distinct                   founders' haplotypes drawn from the panel without replacement (the
//                                pool is reshuffled when used up), so no two founders share one
//   --truth FILE                 the true phased genotypes of every member as VCF: paternal|maternal
//                                for children, the two panel haplotypes for founders; with --x a
//                                male's one allele, haploid
//   --x haploid|diploid          X-linked families (above), written as chromosome X (records and one
//                                ##contig line without a length, so no pseudo-autosomal region
//                                applies); males' calls haploid (0, 1, missing .) or diploid
//                                homozygous (0/0, 1/1, missing ./.). An error on a male is another
//                                allele (haploid) or another unordered genotype, heterozygous ones
//                                included (diploid)
// Missing calls and errors come from a generator of their own, so they change no family.
//
// Large pedigrees, for option i's bit limit. Option i needs 2 x non-founders - founders with
// children inheritance bits (after fixing one phase per founder); each shape is a top couple whose
// children, and their descendants, are listed generation by generation: every couple of a
// generation has the given number of children, and the children marked as married (counted in
// birth order through the generation) take a spouse from outside, a founder of the other sex,
// and form the couples of the next generation. No marriage loops.
//   sibship:N  2 founders, N children                              2N-2 bits (N=9: 16)
//   three16    3 generations, 16 members: the couple's 4 children, the first two married,
//              4 children each; 4 founders, 12 non-founders        20 bits
//   three18    3 generations, 18 members: as three16 with 5 children per married child;
//              4 founders, 14 non-founders                         24 bits
//   four28     4 generations, 28 members: 4 children, the first three married; 3 children each,
//              the first of each family married; 3, 2 and 2 children; 8 founders, 20 non-founders
//                                                                  32 bits
//   five60     5 generations, 60 members: 4 children, the first three married; 3 children each,
//              the first two of the first family and the first of the others married; 3 children
//              each, the first of each family and the second of the last married; 4, 4, 4, 4 and 5
//              children; 14 founders, 46 non-founders              78 bits
// Founders' haplotypes are drawn as for the other shapes (with --distinct, five60 uses 28 of the
// panel's 600 haplotypes per family).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// One generation of a large pedigree: children per couple of the previous generation, and which
// of this generation's children (0-based, in birth order) marry.
struct Generation {
  std::vector<int> children;
  std::vector<int> married;
};

// The generations below the top couple, or nothing for a shape that is not a large pedigree.
std::vector<Generation> largePedigree(const std::string& shape) {
  if (shape.starts_with("sibship:")) {
    const int n = std::stoi(shape.substr(8));
    return {{{n}, {}}};
  }
  if (shape == "three16") return {{{4}, {0, 1}}, {{4, 4}, {}}};
  if (shape == "three18") return {{{4}, {0, 1}}, {{5, 5}, {}}};
  if (shape == "four28") return {{{4}, {0, 1, 2}}, {{3, 3, 3}, {0, 3, 6}}, {{3, 2, 2}, {}}};
  if (shape == "five60") {
    return {
        {{4}, {0, 1, 2}}, {{3, 3, 3}, {0, 1, 3, 6}}, {{3, 3, 3, 3}, {0, 3, 6, 9, 10}}, {{4, 4, 4, 4, 5}, {}}};
  }
  return {};
}

struct Person {
  std::string id, father, mother;
  int sex = 1;
  std::string hap[2];  // one character per site: the allele index; an X-linked male has hap[0] only
};

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: simulate_vcf_families PANEL_GT.txt MAP.gmap FAMILIES OUT.ped SEED"
      " [--shape mixed|nuclear|three|sibship:N|three16|three18|four28|five60]"
      " [--thin K] [--missing R] [--errors R] [--distinct] [--truth FILE] [--x haploid|diploid] < header\n";
  if (argc < 6) {
    std::cerr << usage;
    return 2;
  }
  std::string shape = "mixed", truthPath, xCoding;
  std::size_t thin = 1;
  double missingRate = 0, errorRate = 0;
  bool distinct = false;
  for (int a = 6; a < argc; ++a) {
    const std::string option = argv[a];
    if (option == "--distinct") {
      distinct = true;
      continue;
    }
    if (a + 1 == argc) {
      std::cerr << usage;
      return 2;
    }
    const std::string value = argv[++a];
    const bool sibship = value.starts_with("sibship:") && value.size() > 8 && value.size() <= 11 &&
                         value.find_first_not_of("0123456789", 8) == std::string::npos &&
                         std::stoi(value.substr(8)) >= 1;
    const bool large = sibship || (!value.starts_with("sibship:") && !largePedigree(value).empty());
    if (option == "--shape" && (value == "mixed" || value == "nuclear" || value == "three" || large)) {
      shape = value;
    } else if (option == "--thin" && std::stol(value) >= 1) {
      thin = std::stoul(value);
    } else if (option == "--missing") {
      missingRate = std::stod(value);
    } else if (option == "--errors") {
      errorRate = std::stod(value);
    } else if (option == "--truth") {
      truthPath = value;
    } else if (option == "--x" && (value == "haploid" || value == "diploid")) {
      xCoding = value;
    } else {
      std::cerr << usage;
      return 2;
    }
  }
  const bool x = !xCoding.empty();
  auto haploid = [&](const Person& person) { return x && person.sex == 1; };
  std::ifstream panel(argv[1]);
  std::vector<std::string> sites;  // CHROM..ALT
  std::vector<long> positions;
  std::vector<std::string> haplotypes;
  std::string line;
  for (std::size_t row = 0; std::getline(panel, line); ++row) {
    if (row % thin != 0) continue;
    std::size_t tab = 0;
    for (int i = 0; i < 5; ++i) tab = line.find('\t', tab) + 1;
    const std::size_t chromEnd = x ? line.find('\t') : 0;  // with --x the chromosome becomes X
    sites.push_back((x ? "X" : "") + line.substr(chromEnd, tab - 1 - chromEnd));
    positions.push_back(std::stol(line.substr(line.find('\t') + 1)));
    std::size_t h = 0;
    for (std::size_t i = tab; i < line.size(); ++i) {
      char c = line[i];
      if (c == '\t' || c == '|' || c == '/') continue;
      if (haplotypes.size() <= h) haplotypes.emplace_back();
      haplotypes[h++].push_back(c);
    }
  }
  const std::size_t n = positions.size();
  std::vector<std::pair<long, double>> map;
  std::ifstream gmap(argv[2]);
  std::getline(gmap, line);
  long p = 0;
  std::string chr;
  double cm = 0;
  while (gmap >> p >> chr >> cm) map.emplace_back(p, cm);
  std::vector<double> morgans(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    auto it = std::lower_bound(map.begin(), map.end(), std::make_pair(positions[i], -1.0));
    if (it == map.begin()) {
      morgans[i] = map.front().second / 100;
    } else if (it == map.end()) {
      morgans[i] = map.back().second / 100;
    } else {
      auto prev = it - 1;
      double f = double(positions[i] - prev->first) / double(it->first - prev->first);
      morgans[i] = (prev->second + f * (it->second - prev->second)) / 100;
    }
  }
  const int familyCount = std::stoi(argv[3]);
  std::mt19937_64 rng(std::stoull(argv[5]));
  std::uniform_int_distribution<std::size_t> pickHap(0, haplotypes.size() - 1);
  std::vector<std::size_t> pool;  // --distinct: haplotypes not yet given to a founder
  auto drawHaplotype = [&]() -> const std::string& {
    if (!distinct) return haplotypes[pickHap(rng)];
    if (pool.empty()) {
      for (std::size_t h = 0; h < haplotypes.size(); ++h) pool.push_back(h);
      std::shuffle(pool.begin(), pool.end(), rng);
    }
    const std::size_t h = pool.back();
    pool.pop_back();
    return haplotypes[h];
  };
  const double length = morgans.back() - morgans.front();
  auto transmit = [&](const Person& parent) {
    std::poisson_distribution<int> crossovers(length);
    std::uniform_real_distribution<double> where(morgans.front(), morgans.back());
    std::vector<std::size_t> cuts;
    for (int k = crossovers(rng); k > 0; --k) {
      cuts.push_back(std::lower_bound(morgans.begin(), morgans.end(), where(rng)) - morgans.begin());
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(n);
    int side = static_cast<int>(rng() & 1);
    std::string hap;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      hap.append(parent.hap[side], from, cut - from);
      from = cut;
      side ^= 1;
    }
    return hap;
  };
  std::vector<Person> people;
  std::ofstream ped(argv[4]);
  for (int f = 1; f <= familyCount; ++f) {
    const std::size_t start = people.size();
    auto founder = [&](int sex) {
      Person person;
      person.id = "F" + std::to_string(f) + "_" + std::to_string(people.size() - start + 1);
      person.sex = sex;
      person.hap[0] = drawHaplotype();
      if (!haploid(person)) person.hap[1] = drawHaplotype();
      people.push_back(person);
      return people.size() - 1;
    };
    auto child = [&](std::size_t father, std::size_t mother) {
      Person person;
      person.id = "F" + std::to_string(f) + "_" + std::to_string(people.size() - start + 1);
      person.father = people[father].id;
      person.mother = people[mother].id;
      person.sex = 1 + static_cast<int>(rng() & 1);
      if (!x) {
        person.hap[0] = transmit(people[father]);
        person.hap[1] = transmit(people[mother]);
      } else if (haploid(person)) {
        person.hap[0] = transmit(people[mother]);
      } else {
        person.hap[0] = people[father].hap[0];
        person.hap[1] = transmit(people[mother]);
      }
      people.push_back(person);
      return people.size() - 1;
    };
    const std::size_t dad = founder(1);
    const std::size_t mum = founder(2);
    const std::vector<Generation> generations = largePedigree(shape);
    if (!generations.empty()) {
      std::vector<std::pair<std::size_t, std::size_t>> couples = {{dad, mum}};  // (father, mother)
      for (const Generation& generation : generations) {
        std::vector<std::size_t> born;
        for (std::size_t c = 0; c < couples.size(); ++c) {
          for (int k = 0; k < generation.children[c]; ++k)
            born.push_back(child(couples[c].first, couples[c].second));
        }
        couples.clear();
        for (int k : generation.married) {
          const std::size_t kid = born[static_cast<std::size_t>(k)];
          const std::size_t spouse = founder(people[kid].sex == 1 ? 2 : 1);
          couples.emplace_back(people[kid].sex == 1 ? kid : spouse, people[kid].sex == 1 ? spouse : kid);
        }
      }
    }
    const bool threeGenerations = shape == "three" || (shape == "mixed" && f % 2 == 0);
    std::vector<std::size_t> kids;
    const int kidCount = !generations.empty()                     ? 0
                         : threeGenerations || shape == "nuclear" ? 3
                                                                  : 2 + static_cast<int>(rng() % 3);
    for (int k = 0; k < kidCount; ++k) {
      kids.push_back(child(dad, mum));
    }
    if (threeGenerations) {
      for (int k = 0; k < 2; ++k) {
        const std::size_t kid = kids[static_cast<std::size_t>(k)];
        const std::size_t spouse = founder(people[kid].sex == 1 ? 2 : 1);
        const std::size_t father = people[kid].sex == 1 ? kid : spouse;
        const std::size_t mother = people[kid].sex == 1 ? spouse : kid;
        for (int g = 0; g < 2; ++g) child(father, mother);
      }
    }
    for (std::size_t i = start; i < people.size(); ++i) {
      const Person& person = people[i];
      ped << f << ' ' << person.id << ' ' << (person.father.empty() ? "0" : person.father) << ' '
          << (person.mother.empty() ? "0" : person.mother) << ' ' << person.sex << " 0\n";
    }
  }
  std::string header;
  while (std::getline(std::cin, line)) {
    if (x && line.starts_with("##contig")) {
      if (header.find("##contig") == std::string::npos) header += "##contig=<ID=X>\n";
      continue;
    }
    header += line + "\n";
  }
  header += "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const Person& person : people) header += "\t" + person.id;
  header += "\n";
  std::fwrite(header.data(), 1, header.size(), stdout);
  std::FILE* truth = nullptr;
  if (!truthPath.empty()) {
    truth = std::fopen(truthPath.c_str(), "w");
    if (truth == nullptr) {
      std::cerr << "cannot write " << truthPath << "\n";
      return 1;
    }
    std::fwrite(header.data(), 1, header.size(), truth);
  }
  std::mt19937_64 noise(std::stoull(argv[5]) ^ 0x9e3779b97f4a7c15ULL);
  std::uniform_real_distribution<double> chance(0, 1);
  std::string text, truthText;
  for (std::size_t i = 0; i < n; ++i) {
    text = sites[i] + "\t.\tPASS\t.\tGT";
    truthText = text;
    const std::string alt = sites[i].substr(sites[i].rfind('\t') + 1);
    const int alleles = alt == "." ? 1 : 2 + static_cast<int>(std::count(alt.begin(), alt.end(), ','));
    for (const Person& person : people) {
      if (haploid(person)) {
        char a = person.hap[0][i];
        truthText += {'\t', a};
        const bool diploidCoding = xCoding == "diploid";
        if (missingRate > 0 && chance(noise) < missingRate) {
          text += diploidCoding ? "\t./." : "\t.";
          continue;
        }
        char b = a;
        if (errorRate > 0 && chance(noise) < errorRate && alleles > 1) {
          // another allele, or with diploid coding another unordered genotype, uniformly
          std::vector<std::pair<char, char>> others;
          for (char u = '0'; u < '0' + alleles; ++u) {
            for (char v = u; v < '0' + alleles; ++v) {
              if ((u != a || v != a) && (diploidCoding || u == v)) others.emplace_back(u, v);
            }
          }
          std::tie(a, b) = others[std::uniform_int_distribution<std::size_t>(0, others.size() - 1)(noise)];
        }
        if (diploidCoding) {
          text += {'\t', a, '/', b};
        } else {
          text += {'\t', a};
        }
        continue;
      }
      char a = person.hap[0][i], b = person.hap[1][i];
      truthText += {'\t', a, '|', b};
      if (a > b) std::swap(a, b);  // unphased: the order tells nothing
      if (missingRate > 0 && chance(noise) < missingRate) {
        text += "\t./.";
        continue;
      }
      if (errorRate > 0 && chance(noise) < errorRate && alleles > 1) {
        // another unordered genotype of the site's alleles, uniformly
        std::vector<std::pair<char, char>> others;
        for (char x = '0'; x < '0' + alleles; ++x) {
          for (char y = x; y < '0' + alleles; ++y) {
            if (x != a || y != b) others.emplace_back(x, y);
          }
        }
        std::tie(a, b) = others[std::uniform_int_distribution<std::size_t>(0, others.size() - 1)(noise)];
      }
      text += {'\t', a, '/', b};
    }
    text.push_back('\n');
    truthText.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (truth != nullptr) std::fwrite(truthText.data(), 1, truthText.size(), truth);
  }
  if (truth != nullptr && std::fclose(truth) != 0) {
    std::cerr << "cannot write " << truthPath << "\n";
    return 1;
  }
  return 0;
}
