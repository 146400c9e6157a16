// Exact posterior phasing over inheritance vectors (option i). A run reads
// the pedigree file twice: the first reading gathers the allele frequencies
// of every locus and the least recombinant count of every family into a
// FileModel; the second solves and writes each family on its own.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pedigree/family.h"
#include "pedigree/text_sink.h"

namespace inheritance {

inline constexpr int kDefaultMaxBits = 24;
// Beyond this a single probability vector alone would not fit in memory.
inline constexpr int kLargestMaxBits = 30;

// What one locus offers the genotype model: every allele typed anywhere in
// the file, with its add-half smoothed frequency, ascending allele number.
using LocusFrequencies = std::vector<std::pair<int, double>>;

class FileModel {
 public:
  // Reads HAPLOTOR_MAX_BITS (the inheritance bits a family may need).
  FileModel();

  // First reading: a validated, prepared family. Its typed alleles count
  // towards the frequencies; a family within the bit limit also adds its
  // least recombinant count and its meioses x intervals to the estimate of
  // the recombination fraction.
  void addFamily(Family& family);
  // After the first reading: fixes the frequencies and the recombination
  // fraction (HAPLOTOR_THETA overrides the estimate). Reports an invalid
  // HAPLOTOR_THETA or HAPLOTOR_MAX_BITS on standard error.
  void finish();

  double theta() const { return theta_; }
  // Recombination fractions per interval (locus l to l + 1), from the
  // positions of the sites, used instead of the one estimate unless
  // HAPLOTOR_THETA is set.
  void setIntervalFractions(std::vector<double> fractions);
  // The fraction between locus `left` and the next.
  double thetaAfter(int left) const {
    return left >= 0 && static_cast<std::size_t>(left) < intervalFractions_.size()
               ? intervalFractions_[static_cast<std::size_t>(left)]
               : theta_;
  }
  int maxBits() const { return maxBits_; }
  // Empty for a locus nobody typed.
  const LocusFrequencies& frequencies(int locus) const;
  std::int64_t minimumRecombinants() const { return minimumRecombinants_; }

 private:
  std::vector<std::map<int, std::int64_t>> counts_;
  std::vector<LocusFrequencies> frequencies_;
  std::int64_t minimumRecombinants_ = 0;
  std::int64_t meiosisIntervals_ = 0;
  double theta_ = 0.0;
  bool thetaGiven_ = false;  // HAPLOTOR_THETA was set and valid
  std::vector<double> intervalFractions_;
  int maxBits_ = kDefaultMaxBits;
  const char* invalidMaxBits_ = nullptr;
};

// Second reading: solves one validated, prepared family and writes its one
// configuration into "out", "dat" and "res"; a family needing more bits than
// the limit is reported on standard error (naming `fileName` and the family)
// and not written.
void solveFamily(Family& family, const FileModel& model, const std::string& fileName, TextSink& out,
                 TextSink& dat, TextSink& res);

}  // namespace inheritance
