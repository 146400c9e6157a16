// Everything a user sets beyond the two-argument command line: the HAPLOTOR_*
// environment variables, read and checked once before any file is touched
// (app/settings.cpp) and passed down to the run and the methods.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr std::uint64_t kDefaultMaxSolutions = 4096;
inline constexpr int kDefaultMaxBits = 24;
// Beyond this a single probability vector of option i alone would not fit in memory.
inline constexpr int kLargestMaxBits = 30;
inline constexpr double kDefaultCmPerMb = 1.0;
// Option i's probability that a typed genotype is wrong (0: no errors).
inline constexpr double kDefaultGenotypeError = 0.0;
// The end of a region that runs to the end of its chromosome.
inline constexpr std::int64_t kRegionEnd = INT64_MAX;

// HAPLOTOR_REGION: a chromosome, or positions from..to of one (1-based,
// inclusive). A record belongs to the region where its position lies.
struct GenomeRegion {
  std::string chromosome;  // "": no region, the whole file
  std::int64_t from = 1;
  std::int64_t to = kRegionEnd;
  std::string text;  // as the user gave it, for messages
};

struct Settings {
  // HAPLOTOR_SEED (a decimal integer, taken modulo 2^32); unset: the
  // calendar time in seconds, filled in when the run starts.
  std::optional<std::uint32_t> seed;
  // HAPLOTOR_MAX_SOLUTIONS: most configurations written per family by the
  // methods that write every one (0: no limit).
  std::uint64_t maxSolutions = kDefaultMaxSolutions;
  // HAPLOTOR_THREADS: threads solving families (default: the cores).
  int threads = 1;
  // HAPLOTOR_THETA: option i's recombination fraction between adjacent loci,
  // instead of the estimate from the file (and of the VCF positions or the
  // genetic map).
  std::optional<double> theta;
  // HAPLOTOR_ERROR: option i's probability that a typed genotype is wrong,
  // in [0, 0.5).
  double genotypeError = kDefaultGenotypeError;
  // HAPLOTOR_MIN_PP: a VCF run writes a heterozygous call whose order's
  // probability (PP) is below this unphased, in [0, 1].
  double minPhaseProbability = 0.0;
  // HAPLOTOR_MAX_BITS: the most inheritance bits option i takes for a family.
  int maxBits = kDefaultMaxBits;
  // HAPLOTOR_OUT: where a VCF run's phased VCF goes ("": beside the input).
  std::string out;
  // HAPLOTOR_RES: where a VCF run's "res" report goes ("": beside the input).
  std::string res;
  // HAPLOTOR_REGION: the part of a VCF run's input that is read, phased and
  // written, found through the input's index.
  GenomeRegion region;
  // HAPLOTOR_IMPUTE=1: a VCF run writes genotypes a method filled in.
  bool impute = false;
  // HAPLOTOR_CM_PER_MB: centimorgans per megabase of a VCF run's intervals.
  double cmPerMb = kDefaultCmPerMb;
  // HAPLOTOR_MAP: a genetic map file for the interval fractions ("": none);
  // the file itself is read once the settings are checked (genetic_map/).
  std::string mapFile;
  // HAPLOTOR_CHRX: in a VCF run, one more name of chromosome X besides "X",
  // "chrX" and "23"; in a seven-column run, "1" says every marker is
  // X-linked ("0" or unset: autosomal).
  std::string chrX;
  // HAPLOTOR_BUILD: the genome build (37 or 38) whose pseudo-autosomal
  // regions of X a VCF run uses when the header's length of X does not
  // tell it (0: unset).
  int build = 0;
  // HAPLOTOR_TIMES=1: a VCF run reports its processor time on standard error.
  bool reportTimes = false;
};
