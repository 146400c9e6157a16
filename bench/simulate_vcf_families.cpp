// Simulated families over a phased reference panel, for the VCF benchmark.
// Founders take two random haplotypes of the panel; children receive one
// recombined haplotype from each parent, crossovers placed by a genetic map.
// Writes the unphased family genotypes as VCF on standard output and the
// pedigree as PED.
//
// usage: simulate_vcf_families PANEL_GT.txt MAP.gmap FAMILIES OUT.ped SEED < header.txt
//   PANEL_GT.txt: "CHROM\tPOS\tID\tREF\tALT\tGT GT ..." (bcftools query -f
//   '%CHROM\t%POS\t%ID\t%REF\t%ALT[\t%GT]\n') MAP.gmap: "pos chr cM" with a header line header.txt: the
//   panel's header lines up to ##contig (the #CHROM line is written here)
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Person {
  std::string id, father, mother;
  int sex = 1;
  std::string hap[2];  // one character per site: the allele index
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: simulate_vcf_families PANEL_GT.txt MAP.gmap FAMILIES OUT.ped SEED < header\n";
    return 2;
  }
  std::ifstream panel(argv[1]);
  std::vector<std::string> sites;  // CHROM..ALT
  std::vector<long> positions;
  std::vector<std::string> haplotypes;
  std::string line;
  while (std::getline(panel, line)) {
    std::size_t tab = 0;
    for (int i = 0; i < 5; ++i) tab = line.find('\t', tab) + 1;
    sites.push_back(line.substr(0, tab - 1));
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
      person.hap[0] = haplotypes[pickHap(rng)];
      person.hap[1] = haplotypes[pickHap(rng)];
      people.push_back(person);
      return people.size() - 1;
    };
    auto child = [&](std::size_t father, std::size_t mother) {
      Person person;
      person.id = "F" + std::to_string(f) + "_" + std::to_string(people.size() - start + 1);
      person.father = people[father].id;
      person.mother = people[mother].id;
      person.sex = 1 + static_cast<int>(rng() & 1);
      person.hap[0] = transmit(people[father]);
      person.hap[1] = transmit(people[mother]);
      people.push_back(person);
      return people.size() - 1;
    };
    const std::size_t dad = founder(1);
    const std::size_t mum = founder(2);
    const bool threeGenerations = f % 2 == 0;
    std::vector<std::size_t> kids;
    for (int k = 0, count = threeGenerations ? 3 : 2 + static_cast<int>(rng() % 3); k < count; ++k) {
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
  std::string text;
  while (std::getline(std::cin, line)) text += line + "\n";
  text += "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const Person& person : people) text += "\t" + person.id;
  text += "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  for (std::size_t i = 0; i < n; ++i) {
    text = sites[i] + "\t.\tPASS\t.\tGT";
    for (const Person& person : people) {
      char a = person.hap[0][i], b = person.hap[1][i];
      if (a > b) std::swap(a, b);  // unphased: the order tells nothing
      text.push_back('\t');
      text.push_back(a);
      text.push_back('/');
      text.push_back(b);
    }
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}
