#include <gtest/gtest.h>

#include <random>
#include <set>

#include "family_generator.h"
#include "pedigree/family.h"
#include "pedigree/member_order.h"
#include "test_support.h"

namespace {

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

TEST(Preparation, OrderTakesSmallestEligibleIdFirst) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0\n1 2 0 0 2 0 0\n1 5 0 0 2 0 0\n1 3 1 2 1 0 0\n1 4 3 5 1 0 0\n");
  EXPECT_EQ(family->memberOrder, (std::vector<int>{1, 2, 3, 5, 4}));
  EXPECT_EQ(family->founderCount, 3);
}

TEST(Preparation, ChildListedBeforeItsParents) {
  auto family = test_support::preparedFamily("1 1 2 3 1 0 0 1 1\n1 2 0 0 1 0 0 1 1\n1 3 0 0 2 0 0 1 1\n");
  EXPECT_EQ(family->memberOrder, (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(family->member(2).childIds, std::vector<int>{1});
  EXPECT_EQ(family->member(2).mateId, 3);
  EXPECT_EQ(family->member(3).mateId, 2);
}

TEST(Preparation, UnplaceableMembersLeaveTrailingMinusOnes) {
  auto family = test_support::preparedFamily("1 1 0 0 1 0 0\n1 2 1 0 1 0 0\n1 3 2 1 1 0 0\n");
  EXPECT_EQ(family->memberOrder, (std::vector<int>{1, -1, -1}));
  EXPECT_EQ(family->founderCount, 1);
}

TEST(Preparation, FatherWithTwoMatesKeepsTheMateOfHisHighestChild) {
  auto family = test_support::preparedFamily(
      "1 1 0 0 1 0 0\n1 2 0 0 2 0 0\n1 5 0 0 2 0 0\n1 7 1 5 1 0 0\n1 4 1 2 1 0 0\n");
  EXPECT_EQ(family->member(1).childIds, (std::vector<int>{4, 7}));
  EXPECT_EQ(family->member(1).mateId, 5);
  EXPECT_EQ(family->member(2).mateId, 1);
}

TEST(Preparation, FastOrderEqualsThePlainDefinitionOnGeneratedFamilies) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.generations = 2 + round % 2;
    options.halfSiblings = round % 3 == 0;
    options.children = 1 + round % 4;
    options.childrenFirst = round % 2 == 0;
    options.loci = 1;
    auto family = test_support::preparedFamily(test_support::generateFamilyText(options, rng));
    EXPECT_EQ(family->memberOrder, referenceOrder(*family)) << "round " << round;
  }
  // Members are renumbered so that ids and generations disagree.
  auto shuffled = test_support::preparedFamily(
      "1 9 0 0 1 0 0\n1 8 0 0 2 0 0\n1 3 9 8 1 0 0\n1 1 0 0 2 0 0\n1 2 3 1 2 0 0\n1 4 0 0 1 0 0\n1 5 4 2 1 0 "
      "0\n");
  EXPECT_EQ(shuffled->memberOrder, referenceOrder(*shuffled));
  EXPECT_EQ(shuffled->memberOrder, (std::vector<int>{1, 4, 8, 9, 3, 2, 5}));
}
