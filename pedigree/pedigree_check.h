// The one check of a family's pedigree before any method sees it, for every
// format: every parent named is a member, a member has both parents or
// neither, every member can be placed after its parents (no member is its own
// ancestor), fathers are male and mothers are not.
#pragma once

#include <functional>
#include <string>

#include "pedigree/family.h"

// Empty when the pedigree can be solved, otherwise the reason it cannot.
// `describe` names a member in messages ("member 3 (line 9)").
// `motherSexTwo`: every mother must have sex 2 (otherwise only not sex 1).
std::string findPedigreeProblem(const Family& family, bool motherSexTwo,
                                const std::function<std::string(int memberId)>& describe);
