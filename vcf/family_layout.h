// The families of a PED file as the methods see them: members numbered from
// 1 in PED order, each tied to its VCF sample (or untyped), every family
// checked once before the first chromosome.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pedigree/family.h"
#include "vcf/ped_file.h"

inline constexpr int kNoSlot = -1;

struct LayoutMember {
  int memberId = 0;
  std::string name;  // the PED id; empty for a parent added to complete a pair
  int fatherId = 0;
  int motherId = 0;
  int sex = 0;
  int slot = kNoSlot;  // column of the member's calls in the genotype cells
};

struct FamilyLayout {
  std::string name;
  int familyId = 0;
  std::vector<LayoutMember> members;
};

struct RunLayout {
  std::vector<FamilyLayout> families;
  std::vector<int> slotSamples;  // slot -> sample index in the VCF header
  std::vector<char> slotIsFounder;
  std::vector<char> slotIsMale;     // PED sex 1
  bool familiesRenumbered = false;  // the PED family ids are not all positive numbers
};

struct LayoutRules {
  int minimumFamilySize = 1;
  std::string methodName;  // "option b", for messages
};

// Families that cannot be phased are reported (file, family, member) and left
// out: a damaged PED family, a sex conflict, a member that is its own
// ancestor, a family with no sample in the VCF, one below the method's
// minimum size. A parent id that names no member of the family makes the
// member a founder (one warning per family); a member with one known parent
// gets an untyped partner for it, so that its known parent still links it.
RunLayout layoutFamilies(const PedFile& ped, const std::vector<std::string>& vcfSamples,
                         const LayoutRules& rules);

// A family record of the layout without loci, with founders' sources at 0 as
// the methods expect.
std::unique_ptr<Family> familyShell(const FamilyLayout& layout);
