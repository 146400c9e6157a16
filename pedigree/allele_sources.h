// Allele sources of phased members.
#pragma once

#include <cstddef>

#include "pedigree/family.h"

// Fills the undetermined sources of a non-founder's resolved loci first to
// last - 1 from its phased, informative parents (0 when its allele is the
// parent's allele1, else 1); determined sources are never changed.
void inferSourcesOf(Family& family, Member& member, std::size_t first, std::size_t last);
