#include "pedigree/member_order.h"

#include <functional>
#include <queue>
#include <unordered_map>

namespace {

// Orders members by a heap of eligible members keyed by (rank, id), where
// founders take rank 0 when they are to come first and rank 1 otherwise.
std::vector<int> orderEligibleFirst(const Family& family, bool foundersFirst) {
  // A member becomes eligible once both its parents are placed and stays
  // eligible until it is taken, so a min-heap of eligible ids yields exactly
  // "the smallest eligible id first" at every step.
  std::unordered_map<int, std::vector<int>> childrenOf;
  std::unordered_map<int, int> missingParents;
  using Key = std::pair<int, int>;
  std::priority_queue<Key, std::vector<Key>, std::greater<Key>> eligible;
  for (const auto& [id, member] : family.members) {
    if (member.isFounder()) {
      eligible.push({foundersFirst ? 0 : 1, id});
    } else if (member.fatherId > 0 && member.motherId > 0) {
      missingParents[id] = member.fatherId == member.motherId ? 1 : 2;
      childrenOf[member.fatherId].push_back(id);
      if (member.motherId != member.fatherId) childrenOf[member.motherId].push_back(id);
    }
  }
  std::vector<int> order;
  order.reserve(family.members.size());
  while (!eligible.empty()) {
    int id = eligible.top().second;
    eligible.pop();
    order.push_back(id);
    auto children = childrenOf.find(id);
    if (children == childrenOf.end()) continue;
    for (int child : children->second) {
      if (--missingParents[child] == 0) eligible.push({1, child});
    }
  }
  return order;
}

}  // namespace

std::vector<int> computeMemberOrder(const Family& family) {
  std::vector<int> order = orderEligibleFirst(family, false);
  order.resize(family.members.size(), -1);
  return order;
}

std::vector<int> computeFoundersFirstOrder(const Family& family) { return orderEligibleFirst(family, true); }
