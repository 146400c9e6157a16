#include "vcf/genotype_cells.h"

CellRow GenotypeCells::addSite() {
  if (siteCount_ % kSitesPerBlock == 0) {
    blocks_.push_back(std::make_unique<GenotypeCell[]>(kSitesPerBlock * (slotCount_ == 0 ? 1 : slotCount_)));
  }
  return site(siteCount_++);
}

void GenotypeCells::clear() {
  blocks_.clear();
  siteCount_ = 0;
}
