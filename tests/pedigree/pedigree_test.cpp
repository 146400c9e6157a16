// Preparation, the random generator, forced phases and allele sources, on
// small families whose results are checked on the members' loci.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <set>

#include "app/settings.h"
#include "family_generator.h"
#include "pedigree/family.h"
#include "pedigree/forced_phases.h"
#include "pedigree/random_source.h"
#include "test_support.h"

namespace {

using test_support::preparedFamily;

// One field of each locus of the member, in locus order.
template <typename Field>
std::vector<Field> column(const Member& m, std::function<Field(const LocusGenotype&)> field) {
  std::vector<Field> values;
  for (const LocusGenotype& g : m.genotypes) values.push_back(field(g));
  return values;
}
std::vector<int> paternal(const Member& m) {
  return column<int>(m, [](const LocusGenotype& g) { return g.paternalSource; });
}
std::vector<bool> resolved(const Member& m) {
  return column<bool>(m, [](const LocusGenotype& g) { return g.resolved; });
}

// The plain definition of the order: again and again, the first member in
// ascending id that is not placed yet and is a founder or has both parents
// placed (-1 once none is).
std::vector<int> referenceOrder(const Family& family) {
  std::set<int> placed;
  std::vector<int> order;
  for (int i = 0; i < family.memberCount; ++i) {
    int next = -1;
    for (const auto& [id, member] : family.members) {
      if (placed.count(id) != 0) continue;
      if (member.isFounder() || (placed.count(member.fatherId) != 0 && placed.count(member.motherId) != 0)) {
        next = id;
        break;
      }
    }
    if (next != -1) placed.insert(next);
    order.push_back(next);
  }
  return order;
}

}  // namespace

TEST(Preparation, OrderEqualsThePlainDefinition) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.generations = 2 + round % 2;
    options.halfSiblings = round % 3 == 0;
    options.children = 1 + round % 4;
    options.shuffled = round % 2 == 0;
    options.shuffledIds = round % 4 < 2;
    options.loci = 1;
    auto family = preparedFamily(test_support::generateFamilyText(options, rng));
    EXPECT_EQ(family->memberOrder, referenceOrder(*family)) << "round " << round;
  }
  // Ids and generations disagree; members 2 and 3 can never be placed.
  auto shuffled =
      preparedFamily("1 9 0 0 1 0 0\n1 8 0 0 2 0 0\n1 3 9 8 1 0 0\n1 1 0 0 2 0 0\n1 2 3 1 2 0 0\n");
  EXPECT_EQ(shuffled->memberOrder, (std::vector<int>{1, 8, 9, 3, 2}));
  auto unplaceable = preparedFamily("1 1 0 0 1 0 0\n1 2 1 0 1 0 0\n1 3 2 1 1 0 0\n");
  EXPECT_EQ(unplaceable->memberOrder, (std::vector<int>{1, -1, -1}));
  EXPECT_EQ(unplaceable->founderCount, 1);
}

TEST(Preparation, FatherWithTwoMatesKeepsTheMateOfHisHighestChild) {
  auto family = preparedFamily("1 1 0 0 1 0 0\n1 2 0 0 2 0 0\n1 5 0 0 2 0 0\n1 7 1 5 1 0 0\n1 4 1 2 1 0 0\n");
  EXPECT_EQ(family->member(1).childIds, (std::vector<int>{4, 7}));
  EXPECT_EQ(family->member(1).mateId, 5);
  EXPECT_EQ(family->member(2).mateId, 1);
}

TEST(RandomSource, TheEnvironmentSeedIsTakenModulo2To32) {
  for (const char* value : {"1", "4294967297", "-4294967295"}) {  // all 1 modulo 2^32
    setenv("HAPLOTOR_SEED", value, 1);
    Settings settings;
    std::string problem;
    ASSERT_TRUE(readSettings(settings, problem)) << value;
    random_source::seed(*settings.seed);
    EXPECT_EQ(random_source::next(), 16838) << value;
  }
  unsetenv("HAPLOTOR_SEED");
}

TEST(ForcedPhases, FoundersArePhasedAtHomozygotesAndAtOneFreeLocus) {
  // Founder 1's free phase goes to the locus after his first homozygote;
  // founder 2, without one, is phased at locus 0 only; founder 3 is complete.
  auto family = preparedFamily(
      "1 1 0 0 1 0 0 1 2 3 3 4 5 6 7\n1 2 0 0 2 0 0 1 2 4 5 1 2 4 5\n"
      "1 3 0 0 1 0 0 1 1 2 2 3 3 4 4\n");
  std::vector<int> counts;
  for (const ResolvedCount& c : resolveForcedPhases(*family)) counts.push_back(c.resolvedLoci);
  EXPECT_EQ(counts, (std::vector<int>{2, 1, 4}));
  EXPECT_EQ(resolved(family->member(1)), (std::vector<bool>{false, true, true, false}));
  EXPECT_EQ(resolved(family->member(2)), (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(resolved(family->member(3)), (std::vector<bool>(4, true)));
}

TEST(ForcedPhases, SourcesFillBackwardsUntilAParentOrTheChildIsOpen) {
  // The father's free phase goes to locus 2, after his homozygote at locus 1;
  // the mother is homozygous everywhere.
  auto family =
      preparedFamily("1 1 0 0 1 0 0 1 2 3 3 5 6\n1 2 0 0 2 0 0 7 7 7 7 7 7\n1 3 1 2 1 0 0 7 2 3 7 7 6\n");
  resolveForcedPhases(*family);
  const Member& child = family->member(3);
  EXPECT_EQ(column<int>(child, [](const LocusGenotype& g) { return g.allele1; }),
            (std::vector<int>{2, 3, 6}));
  EXPECT_EQ(paternal(child), (std::vector<int>{-1, 1, 1}));
  EXPECT_EQ(child.genotypes[0].maternalSource, -1);

  // A child locus left open stops the running source.
  auto open =
      preparedFamily("1 1 0 0 1 0 0 1 2 1 2 1 1\n1 2 0 0 2 0 0 3 3 1 2 3 3\n1 3 1 2 1 0 0 1 3 1 2 1 3\n");
  open->member(1).genotypes[1].resolved = true;
  resolveForcedPhases(*open);
  EXPECT_EQ(paternal(open->member(3)), (std::vector<int>{0, -1, -1}));
  EXPECT_FALSE(open->member(3).genotypes[1].resolved);
}

TEST(AlleleSources, InferredFromPhasedInformativeParentsThenFilledAndCounted) {
  auto family =
      preparedFamily("1 1 0 0 1 0 0 1 2 3 3 5 6\n1 2 0 0 2 0 0 7 8 7 8 7 8\n1 3 1 2 1 0 0 2 8 3 7 5 8\n");
  for (auto& [id, m] : family->members) {
    for (auto& g : m.genotypes) g.resolved = true;
  }
  family->member(2).genotypes[2].resolved = false;
  family->inferAlleleSources();
  const Member& child = family->member(3);
  EXPECT_EQ(paternal(child), (std::vector<int>{1, -1, 0}));  // father homozygous at locus 1
  EXPECT_EQ(column<int>(child, [](const LocusGenotype& g) { return g.maternalSource; }),
            (std::vector<int>{1, 0, -1}));  // mother unphased at locus 2
  family->countRecombinants();
  EXPECT_EQ(paternal(child), (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(family->recombinantCount, 2);
}

TEST(AlleleSources, UndeterminedLociNeitherBreakNorCreateChanges) {
  const struct {
    std::vector<int> sources;
    int openLocus;  // unresolved child locus, or -1
    int count;
    std::vector<int> after;
  } cases[] = {{{0, -1, 1}, -1, 1, {0, 0, 1}},
               {{-1, -1, 1}, 1, 0, {1, -1, 1}},
               {{1, -1, -1, 1}, -1, 0, {1, 1, 1, 1}},
               {{0, 1, 0}, -1, 2, {0, 1, 0}}};
  for (const auto& c : cases) {
    std::string text = "1 1 0 0 1 0 0", mother = "\n1 2 0 0 2 0 0", child = "\n1 3 1 2 1 0 0";
    for (std::size_t k = 0; k < c.sources.size(); ++k) {
      text += " 1 1";
      mother += " 2 2";
      child += " 1 2";
    }
    auto family = preparedFamily(text + mother + child + "\n");
    for (std::size_t k = 0; k < c.sources.size(); ++k) {
      family->member(3).genotypes[k] = {1, 2, c.sources[k], -1, static_cast<int>(k) != c.openLocus};
    }
    family->countRecombinants();
    EXPECT_EQ(family->recombinantCount, c.count) << ::testing::PrintToString(c.sources);
    EXPECT_EQ(paternal(family->member(3)), c.after) << ::testing::PrintToString(c.sources);
  }
}
