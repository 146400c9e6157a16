#include "vcf/record_calls.h"

#include <cstdlib>
#include <cstring>

namespace {

// The k-th GT value of a sample as a 32-bit value (vector end and missing
// translated); the values may sit unaligned in the record.
std::int32_t genotypeValue(const bcf_fmt_t* field, int sample, int k) {
  const std::uint8_t* p = field->p + static_cast<std::size_t>(sample) * static_cast<std::size_t>(field->size);
  switch (field->type) {
    case BCF_BT_INT8: {
      const std::int8_t v = static_cast<std::int8_t>(p[k]);
      if (v == bcf_int8_vector_end) return bcf_int32_vector_end;
      return v == bcf_int8_missing ? bcf_int32_missing : v;
    }
    case BCF_BT_INT16: {
      std::int16_t v = 0;
      std::memcpy(&v, p + 2 * k, sizeof v);
      if (v == bcf_int16_vector_end) return bcf_int32_vector_end;
      return v == bcf_int16_missing ? bcf_int32_missing : v;
    }
    case BCF_BT_INT32: {
      std::int32_t v = 0;
      std::memcpy(&v, p + 4 * k, sizeof v);
      return v;
    }
    default: return bcf_int32_missing;
  }
}

bool isMissingAllele(std::int32_t value) { return value == bcf_int32_missing || bcf_gt_is_missing(value); }

// Allele code of a present GT value, kCodeAsRead beyond what a cell holds.
std::uint8_t codeOf(std::int32_t value) {
  const int index = bcf_gt_allele(value);
  return index + 1 <= kLargestCode ? static_cast<std::uint8_t>(index + 1) : kCodeAsRead;
}

}  // namespace

void readCalls(const bcf_hdr_t* header, bcf1_t* record, const std::vector<int>& slotSamples,
               GenotypeCell* row, CallCounts& counts) {
  bcf_unpack(record, BCF_UN_FMT);
  const bcf_fmt_t* field = bcf_get_fmt(header, record, "GT");
  if (field == nullptr || field->p == nullptr) return;
  const int width = field->n;
  for (std::size_t slot = 0; slot < slotSamples.size(); ++slot) {
    const int sample = slotSamples[slot];
    GenotypeCell& cell = row[slot];
    int ploidy = 0;
    while (ploidy < width && genotypeValue(field, sample, ploidy) != bcf_int32_vector_end) ++ploidy;
    if (ploidy == 0) continue;
    const std::int32_t a = genotypeValue(field, sample, 0);
    if (ploidy == 1) {
      if (isMissingAllele(a)) continue;
      if (counts.haploid++ == 0) counts.firstHaploidSample = sample;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    if (ploidy > 2) {
      ++counts.polyploid;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    const std::int32_t b = genotypeValue(field, sample, 1);
    // A half-missing call tells the methods nothing they could phase.
    if (isMissingAllele(a) || isMissingAllele(b)) continue;
    cell = {codeOf(a), codeOf(b)};
    if (cell.first == kCodeAsRead || cell.second == kCodeAsRead) {
      ++counts.manyAlleles;
      cell = {kCodeAsRead, kCodeAsRead};
    }
  }
}

CallWriter::~CallWriter() {
  std::free(genotypes_);
  std::free(phaseSets_);
}

bool CallWriter::apply(const bcf_hdr_t* header, bcf1_t* record, const GenotypeCell* row) {
  const int sampleCount = bcf_hdr_nsamples(header);
  const int valueCount = bcf_get_genotypes(header, record, &genotypes_, &genotypeCapacity_);
  if (valueCount <= 0 || sampleCount == 0) return true;
  const int width = valueCount / sampleCount;
  if (width < 2) return true;
  bool genotypesChanged = false;
  bool anyFounderPhased = false;
  for (std::size_t slot = 0; slot < slotSamples->size(); ++slot) {
    if ((*slotSolved)[slot] == 0) continue;
    const GenotypeCell cell = row[slot];
    if (cell.first == kCodeAsRead) continue;
    std::int32_t* values =
        genotypes_ + static_cast<std::size_t>((*slotSamples)[slot]) * static_cast<std::size_t>(width);
    if (values[1] == bcf_int32_vector_end) continue;
    const bool phased = (cell.first & kPhasedFlag) != 0;
    const std::int32_t first = cell.first & kCodeMask;
    const std::int32_t second = cell.second & kCodeMask;
    std::int32_t newFirst = values[0];
    std::int32_t newSecond = values[1];
    if ((cell.second & kReplaceFlag) != 0 || phased) {
      // A VCF allele index i is code i + 1, so the GT value is code << 1.
      newFirst = first << 1;
      newSecond = (second << 1) | (phased ? 1 : 0);
    } else if (newSecond != bcf_int32_missing) {
      newSecond &= ~1;
    }
    if (phased && (*slotIsFounder)[slot] != 0) anyFounderPhased = true;
    if (newFirst != values[0] || newSecond != values[1]) {
      values[0] = newFirst;
      values[1] = newSecond;
      genotypesChanged = true;
    }
  }
  if (genotypesChanged && bcf_update_genotypes(header, record, genotypes_, valueCount) < 0) return false;

  const int phaseSetCount = bcf_get_format_int32(header, record, "PS", &phaseSets_, &phaseSetCapacity_);
  if (phaseSetCount < 0 && !anyFounderPhased) return true;
  if (phaseSetCount >= 0 && phaseSetCount != sampleCount)
    return true;  // not one value per sample: left alone
  if (phaseSetCount < 0) {
    if (phaseSetCapacity_ < sampleCount) {
      void* grown = std::realloc(phaseSets_, sizeof(std::int32_t) * static_cast<std::size_t>(sampleCount));
      if (grown == nullptr) return false;
      phaseSets_ = static_cast<std::int32_t*>(grown);
      phaseSetCapacity_ = sampleCount;
    }
    for (int i = 0; i < sampleCount; ++i) phaseSets_[i] = bcf_int32_missing;
  }
  bool phaseSetsChanged = phaseSetCount < 0;
  for (std::size_t slot = 0; slot < slotSamples->size(); ++slot) {
    if ((*slotSolved)[slot] == 0) continue;
    const GenotypeCell cell = row[slot];
    const bool founderPhased =
        cell.first != kCodeAsRead && (cell.first & kPhasedFlag) != 0 && (*slotIsFounder)[slot] != 0;
    const std::int64_t block = (*slotPhaseSet)[slot];
    const std::int32_t value = founderPhased && block > 0 && block <= INT32_MAX
                                   ? static_cast<std::int32_t>(block)
                                   : bcf_int32_missing;
    std::int32_t& current = phaseSets_[(*slotSamples)[slot]];
    if (cell.first == kCodeAsRead) continue;
    if (current != value) {
      current = value;
      phaseSetsChanged = true;
    }
  }
  if (phaseSetsChanged && bcf_update_format_int32(header, record, "PS", phaseSets_, sampleCount) < 0)
    return false;
  return true;
}
