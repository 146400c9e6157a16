// Preparation of a closed family: children lists, mates, founder count and
// the processing order every solver walks.
#include "pedigree/member_order.h"
#include "pedigree/family.h"

bool Family::prepare() {
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
  visitedIds.clear();
  memberOrder = computeMemberOrder(*this);
  visitedIds.clear();
  return true;
}

// The plain definition of the order, one member per call: the first member in
// ascending id that is not placed yet and is a founder or has both parents
// placed. prepare() computes the same order in one pass; this stays as the
// reference definition.
int Family::nextInOrder() {
  for (const auto& [id, member] : members) {
    if (visitedIds.count(id) != 0) continue;
    bool eligible = member.isFounder() || (member.fatherId > 0 && visitedIds.count(member.fatherId) != 0 &&
                                           member.motherId > 0 && visitedIds.count(member.motherId) != 0);
    if (eligible) {
      visitedIds.insert(id);
      return id;
    }
  }
  return -1;
}
