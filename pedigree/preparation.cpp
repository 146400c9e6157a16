// Preparation of a closed family: children lists, mates, founder count and
// the processing order every solver walks.
#include "pedigree/family.h"
#include "pedigree/member_order.h"

void Family::prepare() {
  memberCount = static_cast<int>(members.size());
  for (auto& [id, member] : members) {
    auto father = member.fatherId != 0 ? members.find(member.fatherId) : members.end();
    auto mother = member.motherId != 0 ? members.find(member.motherId) : members.end();
    if (father != members.end()) father->second.childIds.push_back(member.memberId);
    if (mother != members.end()) mother->second.childIds.push_back(member.memberId);
    if (father != members.end() && mother != members.end()) {
      // A member with children by several mates keeps the mate of its
      // highest-numbered child.
      father->second.mateId = mother->second.memberId;
      mother->second.mateId = father->second.memberId;
    }
    if (member.isFounder()) ++founderCount;
  }
  memberOrder = computeMemberOrder(*this);
}
