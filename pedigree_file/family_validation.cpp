#include "pedigree_file/family_validation.h"

#include "pedigree/pedigree_check.h"

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
  return findPedigreeProblem(family, motherSexTwo, [&read](int id) { return memberText(read, id); });
}
