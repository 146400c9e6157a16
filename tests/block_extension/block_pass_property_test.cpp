// Option b on generated families: invariants that hold whatever the random
// choices, and reproducibility of whole runs under one seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "block_extension/block_extension.h"
#include "block_test_helpers.h"
#include "family_generator.h"

namespace {

struct SolvedRun {
  std::vector<std::unique_ptr<Family>> input;  // as read, for comparison
  AlleleStats stats;
  std::vector<Family*> solved;
  std::vector<std::unique_ptr<Family>> kept;  // owns the solved families
};

// Solves every family of the text as run mode b does, in input order.
void solveAll(const std::string& text, SolvedRun& run) {
  run.input = test_support::familiesFromText(text);
  for (auto& family : test_support::familiesFromText(text)) {
    family->prepare();
    Family& held = *family;
    run.stats.addFamily(held);
    EXPECT_TRUE(solveByBlockExtension(held, run.stats));
    run.solved.push_back(&held);
    run.kept.push_back(std::move(family));
  }
}

std::string generatedText(int count, test_support::GeneratedFamilyOptions options, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string text;
  for (int i = 0; i < count; ++i) {
    options.familyId = i + 1;
    text += test_support::generateFamilyText(options, rng);
  }
  return text;
}

bool typedFounderAlleleAt(const AlleleStats& stats, std::size_t k) {
  for (const auto& [allele, count] : stats.alleleCounts[k]) {
    if (allele >= 1 && count > 0) return true;
  }
  return false;
}

// Every written genotype holds the input alleles in some order, the missing
// ones filled.
void expectInputAllelesKept(const SolvedRun& run) {
  for (std::size_t f = 0; f < run.solved.size(); ++f) {
    for (const auto& [id, written] : run.solved[f]->members) {
      const Member& read = run.input[f]->member(id);
      for (std::size_t k = 0; k < written.genotypes.size(); ++k) {
        const LocusGenotype& in = read.genotypes[k];
        const LocusGenotype& out = written.genotypes[k];
        std::vector<int> got{out.allele1, out.allele2};
        for (int allele : {in.allele1, in.allele2}) {
          if (allele == 0) continue;
          auto found = std::find(got.begin(), got.end(), allele);
          ASSERT_NE(found, got.end()) << "family " << f + 1 << " member " << id << " locus " << k;
          got.erase(found);
        }
        if (typedFounderAlleleAt(run.stats, k)) {
          for (int filled : got)
            EXPECT_GE(filled, 1) << "family " << f + 1 << " member " << id << " locus " << k;
        }
      }
    }
  }
}

// In families of parents and their children, a child typed with both parents
// typed carries one allele of each, on the right side.
void expectChildrenPhasedAgainstTypedParents(const SolvedRun& run) {
  const auto typed = [](const LocusGenotype& g) { return g.allele1 >= 1 && g.allele2 >= 1; };
  for (std::size_t f = 0; f < run.solved.size(); ++f) {
    const Family& family = *run.solved[f];
    for (const auto& [id, child] : family.members) {
      if (child.isFounder()) continue;
      const Member& father = family.member(child.fatherId);
      const Member& mother = family.member(child.motherId);
      const Family& read = *run.input[f];
      for (std::size_t k = 0; k < child.genotypes.size(); ++k) {
        if (!typed(read.member(id).genotypes[k]) || !typed(read.member(child.fatherId).genotypes[k]) ||
            !typed(read.member(child.motherId).genotypes[k])) {
          continue;
        }
        const LocusGenotype& g = child.genotypes[k];
        EXPECT_TRUE(father.genotypes[k].carries(g.allele1))
            << "family " << f + 1 << " child " << id << " locus " << k;
        EXPECT_TRUE(mother.genotypes[k].carries(g.allele2))
            << "family " << f + 1 << " child " << id << " locus " << k;
      }
    }
  }
}

// Changes between consecutive determined sources over every non-founder of
// the solved family, as its written sources show them.
int recount(const Family& family) {
  int count = 0;
  for (const auto& [id, m] : family.members) {
    if (m.isFounder()) continue;
    for (int side = kPaternal; side <= kMaternal; ++side) {
      int current = kSourceUnknown;
      for (const LocusGenotype& g : m.genotypes) {
        const int source = g.sourceOnSide(side);
        if (source == kSourceUnknown) continue;
        if (current != kSourceUnknown && source != current) ++count;
        current = source;
      }
    }
  }
  return count;
}

TEST(BlockPassProperties, TwoGenerationFamiliesWithMissingAllelesAndRecombinations) {
  test_support::GeneratedFamilyOptions options;
  options.children = 4;
  options.loci = 30;
  options.alleles = 3;
  options.recombinationRate = 0.05;
  options.missingRate = 0.08;
  for (bool halfSiblings : {false, true}) {
    options.halfSiblings = halfSiblings;
    SolvedRun run;
    random_source::seed(17);
    testing::internal::CaptureStdout();
    solveAll(generatedText(60, options, halfSiblings ? 5 : 4), run);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // transmitted data passes the check
    expectInputAllelesKept(run);
    expectChildrenPhasedAgainstTypedParents(run);
  }
}

TEST(BlockPassProperties, ReportedCountEqualsARecountOfTheSources) {
  test_support::GeneratedFamilyOptions options;
  options.children = 5;
  options.halfSiblings = true;
  options.generations = 3;
  options.loci = 25;
  options.alleles = 4;
  options.recombinationRate = 0.08;
  options.missingRate = 0.05;
  SolvedRun run;
  random_source::seed(31);
  testing::internal::CaptureStdout();
  solveAll(generatedText(50, options, 12), run);
  testing::internal::GetCapturedStdout();
  int withRecombinants = 0;
  for (const Family* family : run.solved) {
    EXPECT_EQ(family->recombinantCount, recount(*family)) << "family " << family->familyId;
    withRecombinants += family->recombinantCount > 0 ? 1 : 0;
  }
  EXPECT_GT(withRecombinants, 0);
}

// The block extension keeps every member's runs between blocks and
// recomputes the sources only where a step changed them; the plain
// definition, which recomputes everything after every step, must phase
// identically and take the same draws.
TEST(BlockPassProperties, KeptSummariesMatchThePlainDefinition) {
  test_support::GeneratedFamilyOptions options;
  options.generations = 3;
  options.children = 4;
  options.halfSiblings = true;
  options.loci = 60;
  options.alleles = 2;
  options.recombinationRate = 0.04;
  options.missingRate = 0.05;
  const std::string text = generatedText(25, options, 99);
  std::vector<std::string> written[2];
  for (int plain = 0; plain < 2; ++plain) {
    AlleleStats stats;
    random_source::seed(5);
    for (auto& family : test_support::familiesFromText(text)) {
      family->prepare();
      Family& f = *family;
      stats.addFamily(f);
      testing::internal::CaptureStdout();
      ASSERT_TRUE(BlockExtensionSolver(f, stats).solve(plain == 1));
      testing::internal::GetCapturedStdout();
      TextSink out;
      f.writePhasedTable(out);
      written[plain].push_back(out.text() + " next draw " + std::to_string(random_source::next()));
    }
  }
  ASSERT_EQ(written[0].size(), 25u);
  for (std::size_t i = 0; i < written[0].size(); ++i)
    EXPECT_EQ(written[0][i], written[1][i]) << "family " << i + 1;
}

}  // namespace
