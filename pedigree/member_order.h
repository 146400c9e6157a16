// The processing order of a family's members: every member after its two
// parents, and among the members that are ready the smallest id first.
#pragma once

#include <vector>

#include "pedigree/family.h"

// memberCount entries: the ids in processing order, then -1 for every member
// that can never be placed (one parent unknown, a non-positive parent id, a
// parent outside the family, or a member that is its own ancestor).
std::vector<int> computeMemberOrder(const Family& family);

// The same with every founder placed before any non-founder: the founders in
// ascending id, then at every step the smallest non-founder whose parents are
// both placed. Members that can never be placed are left out.
std::vector<int> computeFoundersFirstOrder(const Family& family);
