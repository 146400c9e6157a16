// The PED reader, the family layout and the distances between sites.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "pedigree/member_order.h"
#include "test_support.h"
#include "vcf/family_layout.h"
#include "vcf/genetic_distance.h"
#include "vcf/ped_file.h"

namespace {

PedFile readPed(const std::string& text) {
  PedFile ped;
  std::string problem;
  EXPECT_TRUE(readPedFile(test_support::folderWith({{"p.ped", text}}) + "/p.ped", ped, problem)) << problem;
  return ped;
}

const LayoutMember& named(const FamilyLayout& family, const std::string& name) {
  for (const LayoutMember& member : family.members) {
    if (member.name == name) return member;
  }
  throw std::runtime_error("no member " + name);
}

TEST(PedFile, GroupsScatteredLinesAndMarksDamagedFamilies) {
  // B: five columns; C: a1 given again.
  PedFile ped =
      readPed("# comment\nA a1 0 0 1 0\nB b1 0 0 1\n\nA a2 0 0 2 -9 extra\nC c1 0 0 1 0\nC a1 0 0 1 0\n");
  ASSERT_EQ(ped.families.size(), 3u);
  EXPECT_EQ(ped.families[0].id, "A");
  ASSERT_EQ(ped.families[0].members.size(), 2u);
  EXPECT_EQ(ped.families[0].members[1].line, 5);
  EXPECT_FALSE(ped.families[0].damaged);
  EXPECT_TRUE(ped.families[1].damaged);
  EXPECT_TRUE(ped.families[2].damaged);
  EXPECT_EQ(ped.families[2].members.size(), 1u);
}

TEST(FamilyLayout, CompletesFamiliesAndRefusesThoseTheMethodsCannotTake) {
  // 1: half siblings by an unknown mother, a parent outside the family;
  // 2: a father of sex 2; 3: a member both parents; 4: no sample in the
  // VCF; 5: too small for the method; 6: a loop.
  PedFile ped = readPed(
      "1 f 0 0 1 0\n1 m 0 0 2 0\n1 k f m 0 0\n1 half f 0 2 0\n1 half2 f 0 1 0\n1 lost ghost m 1 0\n"
      "2 f2 0 0 2 0\n2 m2 0 0 2 0\n2 k2 f2 m2 1 0\n3 x 0 0 1 0\n3 y x z 1 0\n3 z y y 2 0\n"
      "4 u 0 0 1 0\n4 v 0 0 2 0\n4 w u v 1 0\n5 p 0 0 1 0\n5 q 0 0 2 0\n"
      "6 s6 0 0 2 0\n6 t6 u6 s6 1 0\n6 u6 t6 s6 1 0\n");
  const std::vector<std::string> samples = {"k", "f", "m", "half", "half2", "lost", "f2", "m2", "k2",
                                            "x", "y", "z", "5_p",  "q",     "s6",   "t6", "u6"};
  testing::internal::CaptureStderr();
  RunLayout run = layoutFamilies(ped, samples, LayoutRules{3, "option b"});
  EXPECT_NE(
      testing::internal::GetCapturedStderr().find(
          "family 6: member t6 (line 19) cannot be placed after its parents (a member is its own ancestor"),
      std::string::npos);
  ASSERT_EQ(run.families.size(), 1u);
  const FamilyLayout& family = run.families[0];
  EXPECT_EQ(family.familyId, 1);
  EXPECT_FALSE(run.familiesRenumbered);
  ASSERT_EQ(family.members.size(), 7u);
  const LayoutMember& added = family.members.back();  // the shared untyped mother
  EXPECT_TRUE(added.name.empty());
  EXPECT_EQ(added.slot, kNoSlot);
  EXPECT_EQ(added.sex, 2);
  EXPECT_EQ(named(family, "half").motherId, added.memberId);
  EXPECT_EQ(named(family, "half2").motherId, added.memberId);
  EXPECT_EQ(named(family, "lost").fatherId + named(family, "lost").motherId, 0);  // a founder
  EXPECT_EQ(run.slotSamples[static_cast<std::size_t>(named(family, "k").slot)], 0);
  EXPECT_EQ(run.slotIsFounder[static_cast<std::size_t>(named(family, "f").slot)], 1);
  EXPECT_EQ(run.slotIsFounder[static_cast<std::size_t>(named(family, "k").slot)], 0);
  for (int id : computeMemberOrder(*familyShell(family))) EXPECT_NE(id, -1);
  // With the minimum at 2, family 5 is taken and its sample found as FAMILY_MEMBER.
  testing::internal::CaptureStderr();
  run = layoutFamilies(ped, samples, LayoutRules{2, "option b"});
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(run.families.size(), 2u);
  EXPECT_NE(named(run.families[1], "p").slot, kNoSlot);

  ped = readPed("famA a 0 0 1 0\nfamA b 0 0 2 0\nfamA c a b 1 0\n7 d 0 0 1 0\n7 e 0 0 2 0\n7 g d e 1 0\n");
  run = layoutFamilies(ped, {"a", "b", "c", "d", "e", "g"}, LayoutRules{3, "option c"});
  ASSERT_EQ(run.families.size(), 2u);
  EXPECT_TRUE(run.familiesRenumbered);
  EXPECT_EQ(run.families[0].familyId, 1);
  EXPECT_EQ(run.families[1].familyId, 2);
}

// A sample matched by its own id in one family and as FAMILY_MEMBER in
// another is the first family's member only.
TEST(FamilyLayout, ASampleClaimedByTwoFamiliesIsTheFirstClaimOnly) {
  const PedFile ped = readPed(
      "A a1 0 0 1 0\nA a2 0 0 2 0\nA B_k a1 a2 1 0\n"
      "B b1 0 0 1 0\nB b2 0 0 2 0\nB k b1 b2 2 0\nB k2 b1 b2 2 0\n");
  testing::internal::CaptureStderr();
  const RunLayout run =
      layoutFamilies(ped, {"a1", "a2", "B_k", "b1", "b2", "k2"}, LayoutRules{3, "option b"});
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(
      messages.find("p.ped: line 6: member k of family B would be sample B_k, which member B_k of family A "
                    "(line 3) already is; the member is taken as untyped"),
      std::string::npos)
      << messages;
  ASSERT_EQ(run.families.size(), 2u);
  EXPECT_EQ(run.slotSamples, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(run.families[1].members[2].name, "k");
  EXPECT_EQ(run.families[1].members[2].slot, kNoSlot);
}

TEST(GeneticDistance, HaldaneFractionsFromPositions) {
  // 1 Mb = 1 cM at rate 1; 100 Mb = 1 Morgan.
  const std::vector<double> fractions = haldaneFractions({1000, 1001000, 1001000, 101001000}, 1.0);
  ASSERT_EQ(fractions.size(), 3u);
  EXPECT_NEAR(fractions[0], 0.5 * (1 - std::exp(-0.02)), 1e-12);
  EXPECT_EQ(fractions[1], 0.0);
  EXPECT_NEAR(fractions[2], 0.5 * (1 - std::exp(-2.0)), 1e-12);
  EXPECT_NEAR(haldaneFractions({0, 1000000}, 2.5)[0], 0.5 * (1 - std::exp(-0.05)), 1e-12);
  EXPECT_TRUE(haldaneFractions({5}, 1.0).empty());
}

}  // namespace
