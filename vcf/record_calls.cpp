#include "vcf/record_calls.h"

#include <algorithm>
#include <cstdint>
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

// Writes a GT value of the field's width at value k of a sample; the caller
// has made sure it fits.
void setGenotypeValue(bcf_fmt_t* field, int sample, int k, std::int32_t value) {
  std::uint8_t* p = field->p + static_cast<std::size_t>(sample) * static_cast<std::size_t>(field->size);
  switch (field->type) {
    case BCF_BT_INT8: p[k] = static_cast<std::uint8_t>(static_cast<std::int8_t>(value)); break;
    case BCF_BT_INT16: {
      const auto v = static_cast<std::int16_t>(value);
      std::memcpy(p + 2 * k, &v, sizeof v);
      break;
    }
    default: std::memcpy(p + 4 * k, &value, sizeof value); break;
  }
}

// What becomes of one allele of a diploid call.
enum class AlleleRead { kMissing, kCode, kTooLarge, kUnknown };

AlleleRead readAllele(std::int32_t value, int alleleCount, std::uint8_t& code) {
  if (isMissingAllele(value)) return AlleleRead::kMissing;
  const int index = bcf_gt_allele(value);
  if (index < 0 || index >= alleleCount) return AlleleRead::kUnknown;
  if (index + 1 > kLargestCode) return AlleleRead::kTooLarge;
  code = static_cast<std::uint8_t>(index + 1);
  return AlleleRead::kCode;
}

}  // namespace

void readCalls(const bcf_hdr_t* header, bcf1_t* record, const std::vector<int>& slotSamples,
               GenotypeCell* row, CallCounts& counts) {
  bcf_unpack(record, BCF_UN_FMT);
  const bcf_fmt_t* field = bcf_get_fmt(header, record, "GT");
  if (field == nullptr || field->p == nullptr) return;
  const int width = field->n;
  const int alleleCount = record->n_allele;
  for (std::size_t slot = 0; slot < slotSamples.size(); ++slot) {
    const int sample = slotSamples[slot];
    GenotypeCell& cell = row[slot];
    int ploidy = 0;
    while (ploidy < width && genotypeValue(field, sample, ploidy) != bcf_int32_vector_end) ++ploidy;
    if (ploidy == 0) continue;
    if (ploidy == 1) {
      if (isMissingAllele(genotypeValue(field, sample, 0))) continue;
      if (counts.haploid++ == 0) counts.firstHaploidSample = sample;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    if (ploidy > 2) {
      ++counts.polyploid;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    std::uint8_t codes[2] = {kCodeMissing, kCodeMissing};
    const AlleleRead first = readAllele(genotypeValue(field, sample, 0), alleleCount, codes[0]);
    const AlleleRead second = readAllele(genotypeValue(field, sample, 1), alleleCount, codes[1]);
    if (first == AlleleRead::kUnknown || second == AlleleRead::kUnknown) {
      ++counts.unknownAlleles;
      cell = {kCodeAsRead, kCodeAsRead};
    } else if (first == AlleleRead::kTooLarge || second == AlleleRead::kTooLarge) {
      ++counts.manyAlleles;
      cell = {kCodeAsRead, kCodeAsRead};
    } else {
      cell = {codes[0], codes[1]};
    }
  }
}

bool storeSolvedCall(GenotypeCell& cell, const LocusGenotype& solved, bool impute) {
  if (cell.first == kCodeAsRead) return false;
  const auto holds = [](int code) { return code >= 0 && code <= kLargestCode; };
  // What the method put in, missing alleles as 0; nothing when it has none.
  const bool filled = holds(solved.allele1) && holds(solved.allele2) && solved.allele1 + solved.allele2 > 0;
  const auto a = static_cast<std::uint8_t>(filled ? solved.allele1 : 0);
  const auto b = static_cast<std::uint8_t>(filled ? solved.allele2 : 0);
  const std::uint8_t phasedFlag = solved.resolved ? kPhasedFlag : 0;
  const GenotypeCell written = {static_cast<std::uint8_t>(a | phasedFlag),
                                static_cast<std::uint8_t>(b | kReplaceFlag)};
  if (cell.first == kCodeMissing && cell.second == kCodeMissing) {
    if (!impute || !filled) return false;
    cell = written;
    return solved.resolved;
  }
  if (cell.first == kCodeMissing || cell.second == kCodeMissing) {
    const std::uint8_t typed = cell.first | cell.second;
    const bool paternal = filled && a == typed, maternal = filled && b == typed;
    if (impute && (paternal || maternal)) {
      cell = written;
      return solved.resolved;
    }
    // Without fill-in the typed allele goes to its side where the
    // configuration has it on one side only; the other side stays missing.
    if (!solved.resolved || paternal == maternal) return false;
    cell = paternal ? GenotypeCell{static_cast<std::uint8_t>(typed | kPhasedFlag), kCodeMissing}
                    : GenotypeCell{kPhasedFlag, typed};
    return true;
  }
  // A typed call is only ever reordered.
  const bool sameAlleles =
      filled && ((a == cell.first && b == cell.second) || (a == cell.second && b == cell.first));
  if (!solved.resolved || !sameAlleles) return false;
  cell = {static_cast<std::uint8_t>(a | kPhasedFlag), b};
  return true;
}

CallWriter::~CallWriter() {
  std::free(genotypes_);
  std::free(phaseSets_);
}

bool CallWriter::apply(const bcf_hdr_t* header, bcf1_t* record, const GenotypeCell* row) {
  const int sampleCount = bcf_hdr_nsamples(header);
  if (sampleCount == 0) return true;
  bcf_unpack(record, BCF_UN_FMT);
  bcf_fmt_t* field = bcf_get_fmt(header, record, "GT");
  if (field == nullptr || field->p == nullptr || field->n < 2) return true;
  edits_.clear();
  std::int32_t largest = 0;
  bool anyPhaseSet = false;
  for (std::size_t slot = 0; slot < slotSamples->size(); ++slot) {
    if ((*slotSolved)[slot] == 0) continue;
    const GenotypeCell cell = row[slot];
    if (cell.first == kCodeAsRead) continue;
    const int sample = (*slotSamples)[slot];
    const std::int32_t oldFirst = genotypeValue(field, sample, 0);
    const std::int32_t oldSecond = genotypeValue(field, sample, 1);
    if (oldSecond == bcf_int32_vector_end) continue;
    const bool phased = (cell.first & kPhasedFlag) != 0;
    std::int32_t newFirst = oldFirst;
    std::int32_t newSecond = oldSecond;
    if ((cell.second & kReplaceFlag) != 0 || phased) {
      // A VCF allele index i is code i + 1, so the GT value is code << 1
      // (code 0: a missing allele).
      newFirst = (cell.first & kCodeMask) << 1;
      newSecond = ((cell.second & kCodeMask) << 1) | (phased ? 1 : 0);
    } else if (newSecond != bcf_int32_missing) {
      newSecond &= ~1;
    }
    if (carriesPhaseSet(cell) && (*slotIsFounder)[slot] != 0) anyPhaseSet = true;
    if (newFirst != oldFirst || newSecond != oldSecond) {
      edits_.push_back({sample, newFirst, newSecond});
      largest = std::max({largest, newFirst, newSecond});
    }
  }
  if (!edits_.empty()) {
    // The new values are never negative; they go into the record's own
    // values where its integer width holds them, which saves decoding and
    // encoding every sample's GT.
    const std::int32_t widest = field->type == BCF_BT_INT8    ? INT8_MAX
                                : field->type == BCF_BT_INT16 ? INT16_MAX
                                                              : INT32_MAX;
    if (largest <= widest &&
        (field->type == BCF_BT_INT8 || field->type == BCF_BT_INT16 || field->type == BCF_BT_INT32)) {
      for (const GenotypeEdit& edit : edits_) {
        setGenotypeValue(field, edit.sample, 0, edit.first);
        setGenotypeValue(field, edit.sample, 1, edit.second);
      }
      record->d.indiv_dirty = 1;
    } else {
      const int valueCount = bcf_get_genotypes(header, record, &genotypes_, &genotypeCapacity_);
      if (valueCount < 2 * sampleCount) return false;
      const int width = valueCount / sampleCount;
      for (const GenotypeEdit& edit : edits_) {
        std::int32_t* values =
            genotypes_ + static_cast<std::size_t>(edit.sample) * static_cast<std::size_t>(width);
        values[0] = edit.first;
        values[1] = edit.second;
      }
      if (bcf_update_genotypes(header, record, genotypes_, valueCount) < 0) return false;
    }
  }

  const int phaseSetCount = bcf_get_format_int32(header, record, "PS", &phaseSets_, &phaseSetCapacity_);
  if (phaseSetCount < 0 && !anyPhaseSet) return true;
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
    if (cell.first == kCodeAsRead) continue;
    const std::int64_t block = (*slotPhaseSet)[slot];
    const std::int32_t value =
        carriesPhaseSet(cell) && (*slotIsFounder)[slot] != 0 && block > 0 && block <= INT32_MAX
            ? static_cast<std::int32_t>(block)
            : bcf_int32_missing;
    std::int32_t& current = phaseSets_[(*slotSamples)[slot]];
    if (current != value) {
      current = value;
      phaseSetsChanged = true;
    }
  }
  if (phaseSetsChanged && bcf_update_format_int32(header, record, "PS", phaseSets_, sampleCount) < 0)
    return false;
  return true;
}
