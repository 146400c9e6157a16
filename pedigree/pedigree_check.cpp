#include "pedigree/pedigree_check.h"

#include <set>

#include "pedigree/member_order.h"

std::string findPedigreeProblem(const Family& family, bool motherSexTwo,
                                const std::function<std::string(int memberId)>& describe) {
  for (const auto& [id, member] : family.members) {
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const int parent = member.parentOnSide(side);
      if (parent != 0 && family.members.count(parent) == 0) {
        return describe(id) + " names " + (side == kPaternal ? "father " : "mother ") +
               std::to_string(parent) + ", who is not a member of the family";
      }
    }
    if ((member.fatherId == 0) != (member.motherId == 0)) {
      return describe(id) + " has only one known parent; give both parents or neither";
    }
  }
  const std::vector<int> order = computeMemberOrder(family);
  const std::set<int> placed(order.begin(), order.end());
  for (const auto& [id, member] : family.members) {
    if (placed.count(id) == 0) {
      return describe(id) +
             " cannot be placed after its parents (a member is its own ancestor, or a parent id is not "
             "positive)";
    }
  }
  for (const auto& [id, member] : family.members) {
    if (member.isFounder()) continue;
    const Member& father = family.members.at(member.fatherId);
    const Member& mother = family.members.at(member.motherId);
    if (father.sex != 1) {
      return describe(member.fatherId) + " is the father of member " + std::to_string(id) +
             " but does not have sex 1 (male)";
    }
    if (motherSexTwo ? mother.sex != 2 : mother.sex == 1) {
      return describe(member.motherId) + " is the mother of member " + std::to_string(id) +
             (motherSexTwo ? " but does not have sex 2 (female)" : " but has sex 1 (male)");
    }
  }
  return {};
}
