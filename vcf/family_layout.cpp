#include "vcf/family_layout.h"

#include <charconv>
#include <map>
#include <set>

#include "pedigree/diagnostics.h"
#include "pedigree/pedigree_check.h"

namespace {

constexpr int kMale = 1;
constexpr int kFemale = 2;

bool isPositiveNumber(const std::string& text, int& value) {
  if (text.empty() || text[0] == '0' || text[0] == '+' || text[0] == '-') return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value > 0;
}

// Empty when the family can be laid out; otherwise why not.
std::string layOut(const PedFamily& ped, const std::string& fileName, FamilyLayout& layout) {
  std::map<std::string, int> idOf;
  for (const PedMember& member : ped.members) {
    LayoutMember placed;
    placed.memberId = static_cast<int>(layout.members.size()) + 1;
    placed.name = member.id;
    placed.sex = member.sex;
    idOf[member.id] = placed.memberId;
    layout.members.push_back(placed);
  }
  std::vector<std::string> strangers;
  for (std::size_t i = 0; i < ped.members.size(); ++i) {
    const PedMember& member = ped.members[i];
    const bool knowsFather = !member.fatherId.empty();
    const bool knowsMother = !member.motherId.empty();
    auto father = idOf.find(member.fatherId);
    auto mother = idOf.find(member.motherId);
    if ((knowsFather && father == idOf.end()) || (knowsMother && mother == idOf.end())) {
      strangers.push_back(member.id + " (line " + std::to_string(member.line) + ")");
      continue;
    }
    LayoutMember& placed = layout.members[i];
    placed.fatherId = knowsFather ? father->second : 0;
    placed.motherId = knowsMother ? mother->second : 0;
  }
  if (!strangers.empty()) {
    std::string list;
    for (const std::string& name : strangers) list += (list.empty() ? "" : ", ") + name;
    diagnostics::warning(fileName + ": family " + ped.id + ": a parent of " + list +
                         " is not a member of the family; taken as founder");
  }
  // The methods need both parents or neither: a missing one becomes an
  // untyped member, shared by the children of the same known parent.
  std::map<std::pair<int, int>, int> addedPartner;
  const std::size_t namedCount = layout.members.size();
  for (std::size_t i = 0; i < namedCount; ++i) {
    const int side = layout.members[i].fatherId == 0 ? kPaternal : kMaternal;
    const int known = side == kPaternal ? layout.members[i].motherId : layout.members[i].fatherId;
    if ((layout.members[i].fatherId == 0) == (layout.members[i].motherId == 0)) continue;
    auto [entry, isNew] = addedPartner.try_emplace({known, side}, 0);
    if (isNew) {
      LayoutMember partner;
      partner.memberId = static_cast<int>(layout.members.size()) + 1;
      partner.sex = side == kPaternal ? kMale : kFemale;
      layout.members.push_back(partner);
      entry->second = partner.memberId;
    }
    (side == kPaternal ? layout.members[i].fatherId : layout.members[i].motherId) = entry->second;
  }
  std::vector<int> roles(layout.members.size() + 1, 0);  // bit 0: father, bit 1: mother
  for (const LayoutMember& member : layout.members) {
    if (member.fatherId != 0) roles[static_cast<std::size_t>(member.fatherId)] |= 1;
    if (member.motherId != 0) roles[static_cast<std::size_t>(member.motherId)] |= 2;
  }
  for (std::size_t i = 0; i < layout.members.size(); ++i) {
    LayoutMember& member = layout.members[i];
    const int role = roles[static_cast<std::size_t>(member.memberId)];
    const std::string who =
        "member " + member.name + " (line " + std::to_string(ped.members[i < namedCount ? i : 0].line) + ")";
    if (role == 3) return who + " is both a father and a mother";
    if (role == 1 && member.sex == kFemale) return who + " is a father but has sex 2 (female)";
    if (role == 2 && member.sex == kMale) return who + " is a mother but has sex 1 (male)";
    // The methods read a parent's side from its sex.
    if (role == 1) member.sex = kMale;
    if (role == 2) member.sex = kFemale;
  }
  // What is left to find is found by the check every format shares.
  const std::unique_ptr<Family> shell = familyShell(layout);
  return findPedigreeProblem(*shell, false, [&](int id) {
    const std::size_t i = static_cast<std::size_t>(id - 1);
    if (i >= namedCount) return std::string("a parent added to complete a pair");
    return "member " + layout.members[i].name + " (line " + std::to_string(ped.members[i].line) + ")";
  });
}

}  // namespace

std::unique_ptr<Family> familyShell(const FamilyLayout& layout) {
  auto family = std::make_unique<Family>();
  family->familyId = layout.familyId;
  for (const LayoutMember& placed : layout.members) {
    Member& member = family->members[placed.memberId];
    member.familyId = layout.familyId;
    member.memberId = placed.memberId;
    member.seqIndex = placed.memberId - 1;
    member.fatherId = placed.fatherId;
    member.motherId = placed.motherId;
    member.sex = placed.sex;
  }
  family->memberCount = static_cast<int>(family->members.size());
  return family;
}

RunLayout layoutFamilies(const PedFile& ped, const std::vector<std::string>& vcfSamples,
                         const LayoutRules& rules) {
  RunLayout run;
  std::map<std::string, int> sampleIndex;
  for (std::size_t i = 0; i < vcfSamples.size(); ++i) sampleIndex.emplace(vcfSamples[i], static_cast<int>(i));
  std::set<int> numbers;
  bool numbered = true;
  for (const PedFamily& family : ped.families) {
    int value = 0;
    numbered = numbered && isPositiveNumber(family.id, value) && numbers.insert(value).second;
  }
  run.familiesRenumbered = !numbered;
  struct SampleClaim {
    std::string family, member;
    int line = 0;
  };
  std::map<int, SampleClaim> claims;  // VCF sample index -> the member that is it
  int position = 0;
  for (const PedFamily& family : ped.families) {
    ++position;
    if (family.damaged) continue;
    FamilyLayout layout;
    layout.name = family.id;
    if (!numbered || !isPositiveNumber(family.id, layout.familyId)) layout.familyId = position;
    const std::string where = ped.fileName + ": family " + family.id + ": ";
    std::string problem = layOut(family, ped.fileName, layout);
    if (!problem.empty()) {
      diagnostics::error(where + problem + "; family skipped, its samples are written as read");
      continue;
    }
    if (static_cast<int>(layout.members.size()) < rules.minimumFamilySize) {
      diagnostics::note(where + "has " + std::to_string(layout.members.size()) + " members; " +
                        rules.methodName + " phases families of at least " +
                        std::to_string(rules.minimumFamilySize) + "; its samples are written as read");
      continue;
    }
    bool anyTyped = false;
    // Named members come first, in PED order.
    for (std::size_t i = 0; i < family.members.size(); ++i) {
      LayoutMember& member = layout.members[i];
      auto found = sampleIndex.find(member.name);
      // PLINK's default export names a sample FAMILY_MEMBER.
      if (found == sampleIndex.end()) found = sampleIndex.find(family.id + "_" + member.name);
      if (found == sampleIndex.end()) continue;
      // One sample can be one member only: once by its own id, once as
      // FAMILY_MEMBER, it would be phased twice and written as the later.
      const int line = family.members[i].line;
      auto [claim, isNew] = claims.try_emplace(found->second, SampleClaim{family.id, member.name, line});
      if (!isNew) {
        diagnostics::warning(ped.fileName + ": line " + std::to_string(line) + ": member " + member.name +
                             " of family " + family.id + " would be sample " + found->first +
                             ", which member " + claim->second.member + " of family " + claim->second.family +
                             " (line " + std::to_string(claim->second.line) +
                             ") already is; the member is taken as untyped");
        continue;
      }
      member.slot = static_cast<int>(run.slotSamples.size());
      run.slotSamples.push_back(found->second);
      run.slotIsFounder.push_back(member.fatherId == 0 && member.motherId == 0);
      run.slotIsMale.push_back(member.sex == 1);
      anyTyped = true;
    }
    if (!anyTyped) {
      diagnostics::note(where + "no member is a sample of the VCF; family skipped");
      continue;
    }
    run.families.push_back(std::move(layout));
  }
  return run;
}
