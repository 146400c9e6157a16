// The setup of the block-extension tests: a prepared family from compact
// text with its run statistics and solver, loci set up by hand, and the
// generator's sequence for counting draws.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "block_extension/block_extension_solver.h"
#include "pedigree/family.h"
#include "pedigree/random_source.h"
#include "test_support.h"

namespace block_test {

// One family from pedigree-file text, prepared, with an empty set of run
// statistics (tests fill it in as they need) and a solver over both.
struct Case {
  explicit Case(const std::string& text) : family(test_support::preparedFamily(text)), f(*family) {}

  std::unique_ptr<Family> family;
  Family& f;
  AlleleStats stats;
  BlockExtensionSolver solver{f, stats};

  LocusGenotype& locus(int memberId, int k) {
    return f.member(memberId).genotypes.at(static_cast<std::size_t>(k));
  }
  // Sets a locus to the given ordered alleles, resolved flag and sources.
  void set(int memberId, int k, int a1, int a2, bool resolved, int paternal = -1, int maternal = -1) {
    locus(memberId, k) = {a1, a2, paternal, maternal, resolved};
  }
  std::vector<int> sources(int memberId, int side) const {
    std::vector<int> values;
    for (const LocusGenotype& g : f.member(memberId).genotypes) values.push_back(g.sourceOnSide(side));
    return values;
  }
  // Statistics in which every missing founder allele can only be drawn as
  // `allele`: one founder carrying it once beside a missing value.
  void onlyFounderAllele(int allele) {
    stats.founderCount = 1;
    stats.alleleCounts.assign(static_cast<std::size_t>(f.locusCount), {{0, 1}, {allele, 1}});
  }
};

// The generator's next `count` integers after seeding with `seed` and
// skipping `skip`.
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
