#include <gtest/gtest.h>

#include "pedigree/family.h"
#include "test_support.h"

namespace {

// A trio whose child's paternal sources are set by hand; the father is
// homozygous everywhere so inference adds nothing on that side.
std::unique_ptr<Family> trioWithChildSources(const std::vector<int>& sources,
                                             const std::vector<bool>& resolved) {
  std::string father = "1 1 0 0 1 0 0";
  std::string mother = "1 2 0 0 2 0 0";
  std::string child = "1 3 1 2 1 0 0";
  for (std::size_t k = 0; k < sources.size(); ++k) {
    father += " 1 1";
    mother += " 2 2";
    child += " 1 2";
  }
  auto family = test_support::preparedFamily(father + "\n" + mother + "\n" + child + "\n");
  auto& loci = family->member(3).genotypes;
  for (std::size_t k = 0; k < sources.size(); ++k) {
    loci[k].paternalSource = sources[k];
    loci[k].resolved = resolved[k];
  }
  return family;
}

std::vector<int> paternalSources(const Member& m) {
  std::vector<int> sources;
  for (const auto& g : m.genotypes) sources.push_back(g.paternalSource);
  return sources;
}

}  // namespace

TEST(RecombinantCount, UndeterminedLociNeitherBreakNorCreateChanges) {
  auto a = trioWithChildSources({0, -1, 1}, {true, true, true});
  a->countRecombinants();
  EXPECT_EQ(a->recombinantCount, 1);
  EXPECT_EQ(paternalSources(a->member(3)), (std::vector<int>{0, 0, 1}));

  auto b = trioWithChildSources({-1, -1, 1}, {true, false, true});
  b->countRecombinants();
  EXPECT_EQ(b->recombinantCount, 0);
  EXPECT_EQ(paternalSources(b->member(3)), (std::vector<int>{1, -1, 1}));

  auto c = trioWithChildSources({1, -1, -1, 1}, {true, true, true, true});
  c->countRecombinants();
  EXPECT_EQ(c->recombinantCount, 0);

  auto d = trioWithChildSources({0, 1, 0}, {true, true, true});
  d->countRecombinants();
  EXPECT_EQ(d->recombinantCount, 2);
}

TEST(RecombinantCount, FoundersOnlyCountNothing) {
  auto family = test_support::preparedFamily("1 1 0 0 1 0 0 1 2 3 4\n1 2 0 0 2 0 0 1 2 3 4\n");
  family->member(1).genotypes[0].paternalSource = 1;  // founders are never counted
  family->countRecombinants();
  EXPECT_EQ(family->recombinantCount, 0);
  EXPECT_EQ(family->member(1).genotypes[0].paternalSource, 1);
}

TEST(AlleleSources, InferredFromPhasedInformativeParentsOnly) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 3 3 5 6\n"
      "1 2 0 0 2 0 0 7 8 7 8 7 8\n"
      "1 3 1 2 1 0 0 2 8 3 7 5 8\n");
  for (auto& [id, m] : family->members) {
    for (auto& g : m.genotypes) g.resolved = true;
  }
  family->member(2).genotypes[2].resolved = false;  // mother unphased at locus 2
  family->inferAlleleSources();
  const auto& child = family->member(3).genotypes;
  EXPECT_EQ(child[0].paternalSource, 1);   // 2 is the father's allele2
  EXPECT_EQ(child[1].paternalSource, -1);  // father homozygous: no information
  EXPECT_EQ(child[2].paternalSource, 0);
  EXPECT_EQ(child[0].maternalSource, 1);
  EXPECT_EQ(child[1].maternalSource, 0);
  EXPECT_EQ(child[2].maternalSource, -1);
  // The count then fills the homozygous-father locus from its neighbours.
  family->countRecombinants();
  EXPECT_EQ(child[1].paternalSource, 1);
  EXPECT_EQ(family->recombinantCount, 2);  // one switch on each side
}

TEST(SourceQueries, PatternNeighboursAndClassification) {
  auto family = trioWithChildSources({0, -1, -1, 1}, {true, true, true, true});
  const Member& child = family->member(3);
  EXPECT_EQ(child.sourcePattern(kPaternal), 2);
  EXPECT_EQ(child.sourcePattern(kMaternal), -1);
  EXPECT_EQ(child.neighbourSources(kPaternal, 1), std::make_pair(0, 1));
  EXPECT_EQ(child.neighbourSources(kPaternal, 0), std::make_pair(-1, 1));
  EXPECT_EQ(child.classifyNeighbourSources(kPaternal, 1), 7);
  EXPECT_EQ(child.classifyNeighbourSources(kPaternal, 0), 5);
  EXPECT_EQ(child.classifyNeighbourSources(kPaternal, 3), 6);
  EXPECT_EQ(child.classifyNeighbourSources(kMaternal, 1), -1);

  auto ones = trioWithChildSources({1, -1, 1}, {true, true, true});
  EXPECT_EQ(ones->member(3).sourcePattern(kPaternal), 1);
  EXPECT_EQ(ones->member(3).classifyNeighbourSources(kPaternal, 1), 1);
  auto mixed = trioWithChildSources({1, -1, 0}, {true, true, true});
  EXPECT_EQ(mixed->member(3).classifyNeighbourSources(kPaternal, 1), 2);
  EXPECT_EQ(mixed->member(3).classifyNeighbourSources(kPaternal, 2), 3);
}

TEST(SourceQueries, SourceMismatches) {
  EXPECT_EQ(sourceMismatches(-1, 0, -1), 0);
  EXPECT_EQ(sourceMismatches(1, 0, -1), 1);
  EXPECT_EQ(sourceMismatches(1, 0, 1), 2);
  EXPECT_EQ(sourceMismatches(0, 0, 1), 1);
}
