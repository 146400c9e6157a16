// Helpers of the block-extension tests: families from compact text, loci set
// up by hand, and the generator's sequence for counting draws.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pedigree/family.h"
#include "pedigree/random_source.h"
#include "test_support.h"

namespace block_test {

// A prepared family from pedigree-file text; fails the test when there is none.
inline std::unique_ptr<Family> family(const std::string& text) {
  auto f = test_support::preparedFamily(text);
  EXPECT_NE(f, nullptr);
  return f;
}

inline LocusGenotype& locus(Family& f, int memberId, int k) {
  return f.member(memberId).genotypes.at(static_cast<std::size_t>(k));
}

// Sets a locus to the given ordered alleles, resolved flag and sources.
inline void setLocus(Family& f, int memberId, int k, int a1, int a2, bool resolved, int paternal = -1,
                     int maternal = -1) {
  LocusGenotype& g = locus(f, memberId, k);
  g.allele1 = a1;
  g.allele2 = a2;
  g.resolved = resolved;
  g.paternalSource = paternal;
  g.maternalSource = maternal;
}

inline std::vector<int> sources(const Family& f, int memberId, int side) {
  std::vector<int> values;
  for (const LocusGenotype& g : f.member(memberId).genotypes) values.push_back(g.sourceOnSide(side));
  return values;
}

// The generator's next `count` integers after seeding with `seed`.
inline std::vector<int> sequenceFrom(std::uint32_t seed, int skip, int count) {
  random_source::seed(seed);
  for (int i = 0; i < skip; ++i) random_source::next();
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(random_source::next());
  return values;
}

// Checks that exactly `expectedDraws` integers were taken from a generator
// seeded with `seed` before this call.
inline void expectDrawsTaken(std::uint32_t seed, int expectedDraws) {
  std::vector<int> after;
  for (int i = 0; i < 4; ++i) after.push_back(random_source::next());
  EXPECT_EQ(after, sequenceFrom(seed, expectedDraws, 4)) << "expected " << expectedDraws << " draws";
}

}  // namespace block_test
