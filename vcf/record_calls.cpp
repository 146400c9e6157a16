#include "vcf/record_calls.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// GT values of one integer width: read as 32-bit values (vector end and
// missing translated) and written back; the values may sit unaligned.
template <typename T>
struct Width {
  static constexpr std::int32_t kLargest = std::numeric_limits<T>::max();
  static std::int32_t get(const std::uint8_t* p, int k) {
    T v;
    std::memcpy(&v, p + sizeof(T) * static_cast<std::size_t>(k), sizeof v);
    if constexpr (sizeof(T) == 1) {
      if (v == bcf_int8_vector_end) return bcf_int32_vector_end;
      if (v == bcf_int8_missing) return bcf_int32_missing;
    } else if constexpr (sizeof(T) == 2) {
      if (v == bcf_int16_vector_end) return bcf_int32_vector_end;
      if (v == bcf_int16_missing) return bcf_int32_missing;
    }
    return v;
  }
  static void set(std::uint8_t* p, int k, std::int32_t value) {
    const auto v = static_cast<T>(value);
    std::memcpy(p + sizeof(T) * static_cast<std::size_t>(k), &v, sizeof v);
  }
};

// Calls `run.template operator()<T>()` for the width of a GT field; false for
// a field that is not an integer one.
template <typename Run>
bool withWidth(int type, Run&& run) {
  switch (type) {
    case BCF_BT_INT8: run.template operator()<std::int8_t>(); return true;
    case BCF_BT_INT16: run.template operator()<std::int16_t>(); return true;
    case BCF_BT_INT32: run.template operator()<std::int32_t>(); return true;
    default: return false;
  }
}

std::uint8_t* sampleValues(const bcf_fmt_t* field, int sample) {
  return field->p + static_cast<std::size_t>(sample) * static_cast<std::size_t>(field->size);
}

bool isMissingAllele(std::int32_t value) { return value == bcf_int32_missing || bcf_gt_is_missing(value); }

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

template <typename T>
void readCallsOf(const bcf_fmt_t* field, int alleleCount, const std::vector<int>& slotSamples, CellRow row,
                 CallCounts& counts, const char* hemizygous) {
  const int width = field->n;
  // GT values of two alleles a cell holds: 2 * (index + 1), phased or not.
  const std::int32_t largestCode = std::min(alleleCount, kLargestCode);
  for (std::size_t slot = 0; slot < slotSamples.size(); ++slot) {
    const int sample = slotSamples[slot];
    const std::uint8_t* values = sampleValues(field, sample);
    GenotypeCell& cell = row[slot];
    const std::int32_t a = Width<T>::get(values, 0);
    const std::int32_t b = width >= 2 ? Width<T>::get(values, 1) : bcf_int32_vector_end;
    if (width == 2 && a >= 2 && b >= 2 && (a >> 1) <= largestCode && (b >> 1) <= largestCode) {
      cell = {static_cast<std::uint8_t>(a >> 1), static_cast<std::uint8_t>(b >> 1)};
      continue;
    }
    if (a == bcf_int32_vector_end) continue;
    if (b == bcf_int32_vector_end) {
      if (isMissingAllele(a)) continue;
      std::uint8_t code = kCodeMissing;
      if (hemizygous != nullptr && hemizygous[slot] != 0) {
        const AlleleRead read = readAllele(a, alleleCount, code);
        if (read == AlleleRead::kCode) {
          cell = {code, code};
        } else {
          ++(read == AlleleRead::kUnknown ? counts.unknownAlleles : counts.manyAlleles);
          cell = {kCodeAsRead, kCodeAsRead};
        }
        continue;
      }
      if (counts.haploid++ == 0) counts.firstHaploidSample = sample;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    if (width > 2 && Width<T>::get(values, 2) != bcf_int32_vector_end) {
      ++counts.polyploid;
      cell = {kCodeAsRead, kCodeAsRead};
      continue;
    }
    std::uint8_t codes[2] = {kCodeMissing, kCodeMissing};
    const AlleleRead first = readAllele(a, alleleCount, codes[0]);
    const AlleleRead second = readAllele(b, alleleCount, codes[1]);
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

}  // namespace

void readCalls(const bcf_hdr_t* header, bcf1_t* record, const std::vector<int>& slotSamples, CellRow row,
               CallCounts& counts, const std::vector<char>* hemizygous) {
  bcf_unpack(record, BCF_UN_FMT);
  const bcf_fmt_t* field = bcf_get_fmt(header, record, "GT");
  if (field == nullptr || field->p == nullptr || field->n < 1) return;
  withWidth(field->type, [&]<typename T>() {
    readCallsOf<T>(field, record->n_allele, slotSamples, row, counts,
                   hemizygous != nullptr ? hemizygous->data() : nullptr);
  });
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

template <typename T>
void CallWriter::collectEdits(bcf1_t* record, bcf_fmt_t* field, CellRow row) {
  const std::size_t slotCount = slotSamples->size();
  const int* samples = slotSamples->data();
  const char* solved = slotSolved->data();
  const char* founder = slotIsFounder->data();
  const std::int64_t* blocks = slotPhaseSet->data();
  bool changed = false;
  for (std::size_t slot = 0; slot < slotCount; ++slot) {
    if (solved[slot] == 0) continue;
    const GenotypeCell cell = row[slot];
    if (cell.first == kCodeAsRead) continue;
    const int sample = samples[slot];
    std::uint8_t* values = sampleValues(field, sample);
    const std::int32_t oldFirst = Width<T>::get(values, 0);
    const std::int32_t oldSecond = Width<T>::get(values, 1);
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
    if (newFirst != oldFirst || newSecond != oldSecond) {
      // The new values are never negative. Where the record's width holds
      // them they go into its values, which saves decoding and encoding
      // every sample's GT; the others wait for `apply`.
      if (std::max(newFirst, newSecond) <= Width<T>::kLargest) {
        Width<T>::set(values, 0, newFirst);
        Width<T>::set(values, 1, newSecond);
        changed = true;
      } else {
        edits_.push_back({sample, newFirst, newSecond});
      }
    }
    if (founder[slot] != 0 && carriesPhaseSet(cell) && blocks[slot] > 0 && blocks[slot] <= INT32_MAX) {
      phaseSetEdits_.push_back({sample, static_cast<std::int32_t>(blocks[slot])});
    }
  }
  if (changed) record->d.indiv_dirty = 1;
}

bool CallWriter::apply(const bcf_hdr_t* header, bcf1_t* record, CellRow row) {
  const int sampleCount = bcf_hdr_nsamples(header);
  if (sampleCount == 0) return true;
  bcf_unpack(record, BCF_UN_FMT);
  bcf_fmt_t* field = bcf_get_fmt(header, record, "GT");
  if (field == nullptr || field->p == nullptr || field->n < 2) return true;
  edits_.clear();
  phaseSetEdits_.clear();
  if (!withWidth(field->type, [&]<typename T>() { collectEdits<T>(record, field, row); })) {
    return true;  // GT that is not an integer field: left alone
  }
  if (!edits_.empty()) {
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

  // PS: the founders' blocks where their calls carry one; every other
  // solved sample's value (where the record has PS) becomes missing.
  const int phaseSetCount = bcf_get_format_int32(header, record, "PS", &phaseSets_, &phaseSetCapacity_);
  if (phaseSetCount < 0 && phaseSetEdits_.empty()) return true;
  if (phaseSetCount >= 0 && phaseSetCount != sampleCount)
    return true;  // not one value per sample: left alone
  if (phaseSetCount < 0) {
    if (phaseSetCapacity_ < sampleCount) {
      void* grown = std::realloc(phaseSets_, sizeof(std::int32_t) * static_cast<std::size_t>(sampleCount));
      if (grown == nullptr) return false;
      phaseSets_ = static_cast<std::int32_t*>(grown);
      phaseSetCapacity_ = sampleCount;
    }
    std::fill(phaseSets_, phaseSets_ + sampleCount, bcf_int32_missing);
  } else {
    for (std::size_t slot = 0; slot < slotSamples->size(); ++slot) {
      if ((*slotSolved)[slot] != 0 && row[slot].first != kCodeAsRead)
        phaseSets_[(*slotSamples)[slot]] = bcf_int32_missing;
    }
  }
  for (const PhaseSetEdit& edit : phaseSetEdits_) phaseSets_[edit.sample] = edit.value;
  return bcf_update_format_int32(header, record, "PS", phaseSets_, sampleCount) >= 0;
}
