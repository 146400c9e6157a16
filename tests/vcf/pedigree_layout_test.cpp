// The PED reader and the family layout: what a pedigree line may lack, and
// how a family is completed or refused before any genotype is read.
#include <gtest/gtest.h>

#include <cmath>

#include "pedigree/member_order.h"
#include "test_support.h"
#include "vcf/family_layout.h"
#include "vcf/first_configuration.h"
#include "vcf/genetic_distance.h"
#include "vcf/ped_file.h"

using test_support::makeTempDir;
using test_support::writeFile;

namespace {

PedFile readPed(const std::string& text) {
  std::string path = makeTempDir() + "/p.ped";
  writeFile(path, text);
  PedFile ped;
  std::string problem;
  EXPECT_TRUE(readPedFile(path, ped, problem)) << problem;
  return ped;
}

const LayoutMember* named(const FamilyLayout& family, const std::string& name) {
  for (const LayoutMember& member : family.members) {
    if (member.name == name) return &member;
  }
  return nullptr;
}

}  // namespace

TEST(PedFile, GroupsScatteredLinesAndMarksDamagedFamilies) {
  PedFile ped = readPed(
      "# comment\n"
      "A a1 0 0 1 0\n"
      "B b1 0 0 1\n"  // five columns
      "\n"
      "A a2 0 0 2 -9 extra columns\n"
      "C c1 0 0 1 0\n"
      "C a1 0 0 1 0\n");  // id given again
  ASSERT_EQ(ped.families.size(), 3u);
  EXPECT_EQ(ped.families[0].id, "A");
  EXPECT_EQ(ped.families[0].members.size(), 2u);
  EXPECT_EQ(ped.families[0].members[1].line, 5);
  EXPECT_FALSE(ped.families[0].damaged);
  EXPECT_TRUE(ped.families[1].damaged);
  EXPECT_TRUE(ped.families[2].damaged);
  EXPECT_EQ(ped.families[2].members.size(), 1u);
}

TEST(PedFile, MissingFileIsAProblemNamingIt) {
  PedFile ped;
  std::string problem;
  EXPECT_FALSE(readPedFile("/nonexistent/x.ped", ped, problem));
  EXPECT_NE(problem.find("/nonexistent/x.ped"), std::string::npos);
}

TEST(FamilyLayout, CompletesFamiliesAndRefusesThoseTheMethodsCannotTake) {
  PedFile ped = readPed(
      "1 f 0 0 1 0\n1 m 0 0 2 0\n1 k f m 0 0\n1 half f 0 2 0\n1 half2 f 0 1 0\n1 lost ghost m 1 0\n"
      "2 f2 0 0 2 0\n2 m2 0 0 2 0\n2 k2 f2 m2 1 0\n"  // father of sex 2
      "3 x 0 0 1 0\n3 y x z 1 0\n3 z y y 2 0\n"       // loop, and a member both parents
      "4 u 0 0 1 0\n4 v 0 0 2 0\n4 w u v 1 0\n"       // no sample in the VCF
      "5 p 0 0 1 0\n5 q 0 0 2 0\n"
      "6 s6 0 0 2 0\n6 t6 u6 s6 1 0\n6 u6 t6 s6 1 0\n");  // t and u are each other's father // too
                                                          // small for the method
  std::vector<std::string> samples = {"k",  "f",  "m", "half", "half2", "lost", "f2",
                                      "m2", "k2", "x", "y",    "z",     "5_p",  "q"};
  RunLayout run = layoutFamilies(ped, samples, LayoutRules{3, "option b"});
  ASSERT_EQ(run.families.size(), 1u);
  const FamilyLayout& family = run.families[0];
  EXPECT_EQ(family.familyId, 1);
  EXPECT_FALSE(run.familiesRenumbered);
  // The two half siblings of f by an unknown mother share one untyped mother.
  ASSERT_EQ(family.members.size(), 7u);
  const LayoutMember& added = family.members.back();
  EXPECT_TRUE(added.name.empty());
  EXPECT_EQ(added.slot, kNoSlot);
  EXPECT_EQ(added.sex, 2);
  EXPECT_EQ(named(family, "half")->motherId, added.memberId);
  EXPECT_EQ(named(family, "half2")->motherId, added.memberId);
  // A parent outside the family makes a founder.
  EXPECT_EQ(named(family, "lost")->fatherId, 0);
  EXPECT_EQ(named(family, "lost")->motherId, 0);
  // Slots follow the layout; samples are found by member id.
  EXPECT_EQ(run.slotSamples[static_cast<std::size_t>(named(family, "k")->slot)], 0);
  EXPECT_EQ(run.slotIsFounder[static_cast<std::size_t>(named(family, "f")->slot)], 1);
  EXPECT_EQ(run.slotIsFounder[static_cast<std::size_t>(named(family, "k")->slot)], 0);
  std::unique_ptr<Family> shell = familyShell(family);
  for (int id : computeMemberOrder(*shell)) EXPECT_NE(id, -1);
  // With the minimum at 2, family 5 is taken and found through FAMILY_MEMBER.
  run = layoutFamilies(ped, samples, LayoutRules{2, "option b"});
  ASSERT_EQ(run.families.size(), 2u);
  EXPECT_NE(named(run.families[1], "p")->slot, kNoSlot);
}

TEST(FamilyLayout, ALoopIsReportedAndItsFamilySkipped) {
  PedFile ped = readPed("6 s6 0 0 2 0\n6 t6 u6 s6 1 0\n6 u6 t6 s6 1 0\n");
  testing::internal::CaptureStderr();
  RunLayout run = layoutFamilies(ped, {"s6", "t6", "u6"}, LayoutRules{1, "option l"});
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(run.families.empty());
  EXPECT_NE(messages.find("family 6: the pedigree has a loop"), std::string::npos) << messages;
}

TEST(FamilyLayout, NonNumericFamilyIdsAreNumberedInPedOrder) {
  PedFile ped =
      readPed("famA a 0 0 1 0\nfamA b 0 0 2 0\nfamA c a b 1 0\n7 d 0 0 1 0\n7 e 0 0 2 0\n7 g d e 1 0\n");
  RunLayout run = layoutFamilies(ped, {"a", "b", "c", "d", "e", "g"}, LayoutRules{3, "option c"});
  ASSERT_EQ(run.families.size(), 2u);
  EXPECT_TRUE(run.familiesRenumbered);
  EXPECT_EQ(run.families[0].familyId, 1);
  EXPECT_EQ(run.families[1].familyId, 2);
}

TEST(GeneticDistance, HaldaneFractionsFromPositions) {
  std::vector<double> fractions = haldaneFractions({1000, 1001000, 1001000, 101001000}, 1.0);
  ASSERT_EQ(fractions.size(), 3u);
  EXPECT_NEAR(fractions[0], 0.5 * (1 - std::exp(-0.02)), 1e-12);  // 1 Mb = 1 cM
  EXPECT_EQ(fractions[1], 0.0);
  EXPECT_NEAR(fractions[2], 0.5 * (1 - std::exp(-2.0)), 1e-12);  // 100 Mb = 1 Morgan
  EXPECT_NEAR(haldaneFractions({0, 1000000}, 2.5)[0], 0.5 * (1 - std::exp(-0.05)), 1e-12);
  EXPECT_TRUE(haldaneFractions({5}, 1.0).empty());
}

// The genotype report a method writes, read back into a blank family, gives
// the genotypes that were written; only the first configuration is kept.
TEST(FirstConfiguration, ReadsBackTheFirstOfSeveralReports) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0 1 2 1 1 2 3\n1 2 0 0 2 0 0 2 2 1 2 1 1\n1 3 1 2 1 0 0 2 1 1 2 3 1\n");
  ASSERT_NE(family, nullptr);
  Family written = *family;
  int k = 0;
  for (auto& [id, member] : written.members) {
    for (LocusGenotype& g : member.genotypes) {
      g.resolved = (k++ % 3) != 0;
      g.paternalSource = k % 2;
      g.maternalSource = g.resolved ? 1 - k % 2 : -1;
    }
  }
  FirstConfiguration first(*family);
  written.writeGenotypeReport(first.sink());
  Family second = written;
  for (auto& [id, member] : second.members) member.genotypes[0].allele1 = 9;
  second.writeGenotypeReport(first.sink());
  Family restored = *family;
  ASSERT_TRUE(first.restoreInto(restored));
  for (const auto& [id, member] : written.members) {
    for (std::size_t l = 0; l < member.genotypes.size(); ++l) {
      const LocusGenotype& want = member.genotypes[l];
      const LocusGenotype& got = restored.members.at(id).genotypes[l];
      EXPECT_EQ(got.allele1, want.allele1);
      EXPECT_EQ(got.allele2, want.allele2);
      EXPECT_EQ(got.resolved, want.resolved);
      if (want.resolved) {
        EXPECT_EQ(got.paternalSource, want.paternalSource);
        EXPECT_EQ(got.maternalSource, want.maternalSource);
      }
    }
  }
  FirstConfiguration nothing(*family);
  Family untouched = *family;
  EXPECT_FALSE(nothing.restoreInto(untouched));
}
