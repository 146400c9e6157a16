#include "app/family_validation.h"

#include <set>

#include "pedigree/member_order.h"

namespace {

std::string memberText(const ReadFamily& read, int id) {
  std::string text = "member " + std::to_string(id);
  auto line = read.lineOfMember.find(id);
  if (line != read.lineOfMember.end()) text += " (line " + std::to_string(line->second) + ")";
  return text;
}

}  // namespace

std::string findFamilyProblem(const ReadFamily& read, bool motherSexTwo) {
  const Family& family = *read.family;
  if (read.badFamilyIdLine != 0) {
    return "line " + std::to_string(read.badFamilyIdLine) + " does not begin with a family id";
  }
  if (read.shortLine != 0) {
    return "line " + std::to_string(read.shortLine) +
           " has fewer than the seven leading fields (family, member, father, mother, sex and two more)";
  }
  for (const auto& [id, member] : family.members) {
    if (static_cast<int>(member.genotypes.size()) != family.locusCount) {
      return memberText(read, id) + " has " + std::to_string(member.genotypes.size()) +
             " loci but the family's last line has " + std::to_string(family.locusCount);
    }
  }
  for (const auto& [id, member] : family.members) {
    for (int side = kPaternal; side <= kMaternal; ++side) {
      int parent = member.parentOnSide(side);
      if (parent != 0 && family.members.count(parent) == 0) {
        return memberText(read, id) + " names " + (side == kPaternal ? "father " : "mother ") +
               std::to_string(parent) + ", who is not a member of the family";
      }
    }
    if ((member.fatherId == 0) != (member.motherId == 0)) {
      return memberText(read, id) + " has only one known parent; give both parents or neither";
    }
  }
  std::vector<int> order = computeMemberOrder(family);
  std::set<int> placed(order.begin(), order.end());
  for (const auto& [id, member] : family.members) {
    if (placed.count(id) == 0) {
      return memberText(read, id) +
             " cannot be placed after its parents (a member is its own ancestor, or a parent id is not "
             "positive)";
    }
  }
  for (const auto& [id, member] : family.members) {
    if (member.isFounder()) continue;
    const Member& father = family.members.at(member.fatherId);
    const Member& mother = family.members.at(member.motherId);
    if (father.sex != 1) {
      return memberText(read, member.fatherId) + " is the father of member " + std::to_string(id) +
             " but does not have sex 1 (male)";
    }
    if (motherSexTwo ? mother.sex != 2 : mother.sex == 1) {
      return memberText(read, member.motherId) + " is the mother of member " + std::to_string(id) +
             (motherSexTwo ? " but does not have sex 2 (female)" : " but has sex 1 (male)");
    }
  }
  return {};
}
