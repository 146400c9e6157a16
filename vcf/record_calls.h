// Moving calls between VCF records and the genotype cells: the family
// members' GT values into cells when a record is read, and the solved cells
// back into GT (and PS) when it is written.
#pragma once

#include <htslib/vcf.h>

#include <cstdint>
#include <vector>

#include "pedigree/family.h"
#include "vcf/genotype_cells.h"

struct CallCounts {
  long long haploid = 0;         // calls with one allele
  long long polyploid = 0;       // calls with more than two
  long long manyAlleles = 0;     // calls with an allele beyond what a cell holds
  long long unknownAlleles = 0;  // calls with an allele value the record has no allele for
  int firstHaploidSample = -1;
};

// Fills one row of cells (slot -> sample index in `slotSamples`) from the
// record's GT field; a record without GT leaves every call missing.
// `hemizygous` (null on autosomal sites): per slot, the member carries one
// allele here (a male on X), so a haploid call `a` is read as `a a`.
void readCalls(const bcf_hdr_t* header, bcf1_t* record, const std::vector<int>& slotSamples, CellRow row,
               CallCounts& counts, const std::vector<char>* hemizygous = nullptr);

// Turns a cell as read into what the writer puts in GT, given the member's
// solved genotype at the site (allele1 paternal, allele2 maternal where
// resolved). A typed allele is never changed: a configuration that does not
// carry the alleles as read leaves the call as read (unphased). A missing
// allele is written only with `impute`. A half-missing call is written
// phased, its missing allele `.`, where the configuration puts the typed
// allele on one side only. True when the call is to be written phased.
bool storeSolvedCall(GenotypeCell& cell, const LocusGenotype& solved, bool impute);

// After storeSolvedCall: the call is written phased with two different
// alleles or with one missing, the calls that get a founder's PS (a phased
// homozygous call says nothing about the phase).
inline bool carriesPhaseSet(GenotypeCell cell) {
  return cell.first != kCodeAsRead && (cell.first & kPhasedFlag) != 0 &&
         (cell.first & kCodeMask) != (cell.second & kCodeMask);
}

// What the writer does to one record.
struct CallWriter {
  const std::vector<int>* slotSamples = nullptr;
  const std::vector<char>* slotSolved = nullptr;  // the family of the slot was phased on this chromosome
  const std::vector<char>* slotIsFounder = nullptr;
  const std::vector<std::int64_t>* slotPhaseSet = nullptr;  // founder: PS of its block, 0 when none

  // Rewrites GT (and PS where a founder's call carries one, or the record
  // has PS) of the solved slots from the row; every other sample keeps its
  // values. GT is edited in the record's unpacked values where the new
  // values fit their width. False when htslib cannot update the record.
  bool apply(const bcf_hdr_t* header, bcf1_t* record, CellRow row);

 private:
  struct GenotypeEdit {
    int sample;
    std::int32_t first, second;
  };
  struct PhaseSetEdit {
    int sample;
    std::int32_t value;
  };
  // Writes the GT values that change into the record where they fit its
  // width (edits_ keeps the others) and gathers the founders' PS values.
  template <typename T>
  void collectEdits(bcf1_t* record, bcf_fmt_t* field, CellRow row);
  std::vector<GenotypeEdit> edits_;
  std::vector<PhaseSetEdit> phaseSetEdits_;
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
