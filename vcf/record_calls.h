// Moving calls between VCF records and the genotype cells: the family
// members' GT values into cells when a record is read, and the solved cells
// back into GT (and PS) when it is written.
#pragma once

#include <htslib/vcf.h>

#include <cstdint>
#include <vector>

#include "vcf/genotype_cells.h"

struct CallCounts {
  long long haploid = 0;      // calls with one allele
  long long polyploid = 0;    // calls with more than two
  long long manyAlleles = 0;  // calls with an allele beyond what a cell holds
  int firstHaploidSample = -1;
};

// Fills one row of cells (slot -> sample index in `slotSamples`) from the
// record's GT field; a record without GT leaves every call missing.
void readCalls(const bcf_hdr_t* header, bcf1_t* record, const std::vector<int>& slotSamples,
               GenotypeCell* row, CallCounts& counts);

// What the writer does to one record.
struct CallWriter {
  const std::vector<int>* slotSamples = nullptr;
  const std::vector<char>* slotSolved = nullptr;  // the family of the slot was phased on this chromosome
  const std::vector<char>* slotIsFounder = nullptr;
  const std::vector<std::int64_t>* slotPhaseSet = nullptr;  // founder: PS of its block, 0 when none

  // Rewrites GT (and PS where a founder is phased, or the record has PS) of
  // the solved slots from the row; every other sample keeps its values.
  // False when htslib cannot update the record.
  bool apply(const bcf_hdr_t* header, bcf1_t* record, const GenotypeCell* row);

 private:
  std::int32_t* genotypes_ = nullptr;
  int genotypeCapacity_ = 0;
  std::int32_t* phaseSets_ = nullptr;
  int phaseSetCapacity_ = 0;

 public:
  CallWriter() = default;
  CallWriter(const CallWriter&) = delete;
  CallWriter& operator=(const CallWriter&) = delete;
  ~CallWriter();
};
