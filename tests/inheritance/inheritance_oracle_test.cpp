// Option i against the brute-force model: on small generated families of
// every shape, with and without missing alleles, the posteriors of the
// reduced forward-backward equal the summed full-vector posteriors, and the
// decoded vectors equal the oracle's choice.
#include "inheritance_oracle.h"

#include <gtest/gtest.h>

#include <random>

#include "family_generator.h"

namespace {

using inheritance_test::BruteForceModel;

struct Shape {
  const char* name;
  test_support::GeneratedFamilyOptions options;
};

std::vector<Shape> smallShapes() {
  std::vector<Shape> shapes;
  test_support::GeneratedFamilyOptions trio;
  trio.children = 1;
  shapes.push_back({"trio", trio});
  test_support::GeneratedFamilyOptions nuclear;
  nuclear.children = 4;
  shapes.push_back({"nuclear", nuclear});
  test_support::GeneratedFamilyOptions threeGenerations;
  threeGenerations.generations = 3;
  threeGenerations.children = 2;
  threeGenerations.grandchildren = 2;
  shapes.push_back({"three generations", threeGenerations});
  test_support::GeneratedFamilyOptions halfSibs;
  halfSibs.children = 2;
  halfSibs.halfSiblings = true;
  shapes.push_back({"half-sibs", halfSibs});
  return shapes;
}

TEST(InheritanceOracle, PosteriorsAndDecodedVectorsEqualTheBruteForceModel) {
  std::mt19937 rng(2024);
  int compared = 0;
  for (const Shape& shape : smallShapes()) {
    for (int round = 0; round < 12; ++round) {
      test_support::GeneratedFamilyOptions options = shape.options;
      options.loci = 2 + round % 5;
      options.alleles = 2 + round % 2;
      options.recombinationRate = 0.2;
      options.missingRate = 0.1 * (round % 3);
      options.missingGenotypeRate = round % 4 == 3 ? 0.2 : 0.0;
      options.shuffled = round % 2 == 1;
      const std::string text = test_support::generateFamilyText(options, rng);
      SCOPED_TRACE(std::string(shape.name) + "\n" + text);
      auto solved = inheritance_test::setUpFamily(text);
      inheritance::InheritanceSolver solver(*solved->family, solved->model);
      ASSERT_LE(solver.reducedBits(), 10);
      std::vector<std::vector<double>> posteriors;
      solver.decode([&](int, const std::vector<double>& posterior) { posteriors.push_back(posterior); });
      BruteForceModel oracle(*solved->family, solved->model, solver.nodes());
      ASSERT_LE(oracle.meiosisCount(), 10);
      const auto expected = oracle.reducedPosteriors(solver.reducedBits());
      ASSERT_EQ(posteriors.size(), expected.size());
      for (std::size_t l = 0; l < expected.size(); ++l) {
        for (std::size_t r = 0; r < expected[l].size(); ++r) {
          ASSERT_NEAR(posteriors[l][r], expected[l][r], 1e-9) << "locus " << l << " state " << r;
        }
      }
      EXPECT_EQ(solver.chosenStates(), inheritance_test::chooseStates(expected));
      ++compared;
    }
  }
  EXPECT_EQ(compared, 48);
}

TEST(InheritanceOracle, MendelInconsistentLocusFitsEveryStateAndIsListed) {
  // Locus 1: the child carries allele 3, which neither parent has.
  auto solved = inheritance_test::setUpFamily(
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1 2 2\n"
      "1 3 1 2 1 0 0 1 1 3 3 1 2\n"
      "1 4 1 2 2 0 0 2 1 1 2 2 2\n");
  inheritance::InheritanceSolver solver(*solved->family, solved->model);
  std::vector<std::vector<double>> posteriors;
  solver.decode([&](int, const std::vector<double>& posterior) { posteriors.push_back(posterior); });
  EXPECT_EQ(solver.inconsistentLoci(), std::vector<int>{1});
  BruteForceModel oracle(*solved->family, solved->model, solver.nodes());
  const auto expected = oracle.reducedPosteriors(solver.reducedBits());
  for (std::size_t l = 0; l < expected.size(); ++l) {
    for (std::size_t r = 0; r < expected[l].size(); ++r) EXPECT_NEAR(posteriors[l][r], expected[l][r], 1e-9);
  }
}

}  // namespace
