// Exact posterior phasing over inheritance vectors (option i). A run reads
// the pedigree file twice: the first reading gathers the allele frequencies
// of every locus and the least recombinant count of every family into a
// FileModel; the second solves and writes each family on its own.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/family_outcome.h"
#include "pedigree/settings.h"

namespace inheritance {

// What one locus offers the genotype model: every allele typed anywhere in
// the file, with its add-half smoothed frequency, ascending allele number.
using LocusFrequencies = std::vector<std::pair<int, double>>;

class FileModel {
 public:
  // Takes the bit limit and a given recombination fraction from the settings.
  // `phaseProbabilities`: the solvers also give every phased heterozygous
  // call the posterior probability of its written order (the VCF's PP).
  explicit FileModel(const Settings& settings = Settings(), bool phaseProbabilities = true);

  // First reading: a validated, prepared family. Its typed alleles count
  // towards the frequencies; a family within the bit limit also adds its
  // least recombinant count and its meioses x intervals to the estimate of
  // the recombination fraction.
  void addFamily(Family& family);
  // After the first reading: fixes the frequencies and the recombination
  // fraction (a fraction given in the settings overrides the estimate).
  void finish();

  double theta() const { return theta_; }
  // Recombination fractions per interval (locus l to l + 1), from the
  // positions of the sites, used instead of the one estimate unless the
  // settings give a fraction.
  void setIntervalFractions(std::vector<double> fractions);
  // Before the first reading: fractions for `intervals` intervals will be
  // set after it, so a family of at most intervals + 1 loci never uses the
  // one estimate and its least recombinant count is not worked out.
  void expectIntervalFractions(std::size_t intervals) { expectedIntervals_ = intervals; }
  // The fraction between locus `left` and the next.
  double thetaAfter(int left) const {
    return left >= 0 && static_cast<std::size_t>(left) < intervalFractions_.size()
               ? intervalFractions_[static_cast<std::size_t>(left)]
               : theta_;
  }
  int maxBits() const { return maxBits_; }
  // The probability that a typed genotype is wrong (0: the genotypes are
  // taken as they are).
  double genotypeError() const { return genotypeError_; }
  bool phaseProbabilities() const { return phaseProbabilities_; }
  // Empty for a locus nobody typed.
  const LocusFrequencies& frequencies(int locus) const;
  std::int64_t minimumRecombinants() const { return minimumRecombinants_; }

 private:
  std::vector<std::map<int, std::int64_t>> counts_;
  std::vector<LocusFrequencies> frequencies_;
  std::int64_t minimumRecombinants_ = 0;
  std::int64_t meiosisIntervals_ = 0;
  double theta_ = 0.0;
  std::optional<double> givenTheta_;
  std::vector<double> intervalFractions_;
  std::size_t expectedIntervals_ = 0;
  int maxBits_ = kDefaultMaxBits;
  double genotypeError_ = kDefaultGenotypeError;
  bool phaseProbabilities_ = true;
};

// Second reading: solves one validated, prepared family and hands its one
// configuration to `sink`. A family needing more bits than the limit is
// phased in exact pieces within the limit (pedigree_pieces.h), which
// standard error reports (naming `fileName` and the family).
SolveResult solveFamily(Family& family, const FileModel& model, std::string_view fileName,
                        ConfigurationSink& sink);

}  // namespace inheritance
