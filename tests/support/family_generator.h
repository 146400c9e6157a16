// Generated pedigree files for property tests: founder haplotypes are drawn
// at random and transmitted to children, optionally with recombinations and
// missing alleles, so every generated family has a known true phase.
#pragma once

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct GeneratedFamilyOptions {
  int familyId = 1;
  // 2: a couple and its children; 3: the first `marriedChildren` children
  // also marry a new founder and have children of their own; 4 and more:
  // so do the first `marriedChildren` children of each couple of the
  // generation before.
  int generations = 2;
  int children = 3;           // children of the first couple (and of a second mate)
  int grandchildren = -1;     // children of each later couple (-1: as many as `children`)
  int marriedChildren = 1;    // children of the first couple who marry in generation 3
  bool halfSiblings = false;  // the first father also has children by a second mate
  int loci = 5;
  int alleles = 2;                   // alleles are drawn from 1..alleles
  double recombinationRate = 0.0;    // per interval between loci, per transmission
  double missingRate = 0.0;          // per allele: written as 0
  double missingGenotypeRate = 0.0;  // per genotype: written as 0 0
  bool childrenFirst = false;        // write the lines in reverse (children before parents)
  bool shuffled = false;             // write the lines in random order (overrides childrenFirst)
  // Member ids are a random permutation of 1..n, so a child may have a
  // smaller id than its parents.
  bool shuffledIds = false;
  // Per founder allele: 0, passed on to children as 0 (the family stays
  // consistent).
  double founderMissingRate = 0.0;
  // Per genotype, after transmission: one allele becomes 0 or a random
  // allele (usually breaking consistency at that locus).
  double typingErrorRate = 0.0;
  // The loci are on X: a male has one haplotype, his mother's (written as
  // (a, a)), and passes it to his daughters.
  bool xLinked = false;
};

// Lines "family member father mother sex 0 0 a1 a2 ..." of one family, each
// ended by a line feed. Founders 1 (male) and 2 (female); ids grow with each
// new member; allele order within a genotype is random. With children = 0
// the family holds founders only (two, three with halfSiblings).
// `truth`, when given, receives each member's haplotypes by written id:
// (from the father, from the mother), before alleles are dropped or mistyped.
using TrueHaplotypes = std::map<int, std::pair<std::vector<int>, std::vector<int>>>;
std::string generateFamilyText(const GeneratedFamilyOptions& options, std::mt19937& rng,
                               TrueHaplotypes* truth = nullptr);

}  // namespace test_support
