// Which sites of a VCF run are X-linked: those of chromosome X outside its
// pseudo-autosomal regions (PARs), which pair with Y and are inherited like
// autosomes. The PARs are those of the genome build the header's length of
// X names, else of HAPLOTOR_BUILD; without either, X has no PAR.
#pragma once

#include <htslib/vcf.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pedigree/settings.h"

class XChromosome {
 public:
  // `fileName` names the input in the one note about a missing build.
  XChromosome(const Settings& settings, std::string fileName);

  // Called when a chromosome starts: whether it is X, and if so its PARs.
  void startChromosome(const bcf_hdr_t* header, const std::string& name);
  // Whether the 1-based position of the current chromosome is X-linked.
  bool isXLinked(std::int64_t position) const {
    if (!isX_) return false;
    for (const auto& [from, to] : pseudoautosomal_) {
      if (position >= from && position <= to) return false;
    }
    return true;
  }

 private:
  std::string extraName_;
  int build_ = 0;
  std::string fileName_;
  bool buildNoted_ = false;
  bool isX_ = false;
  std::vector<std::pair<std::int64_t, std::int64_t>> pseudoautosomal_;
};
