// The file-wide model of option i (allele frequencies, recombination
// fraction, bit limit) and the entry that solves and writes one family.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "inheritance/inheritance_solver.h"
#include "pedigree/diagnostics.h"

namespace inheritance {

namespace {

constexpr double kSmallestTheta = 0.001;
constexpr double kLargestTheta = 0.1;
// How many inconsistent loci a report lists by number.
constexpr std::size_t kListedLoci = 5;

bool parseWholeNumber(const char* text, int& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (*end != '\0' || parsed < 0 || parsed > kLargestMaxBits) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool parseTheta(const char* text, double& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (*end != '\0' || !(parsed > 0.0 && parsed <= 0.5)) return false;
  value = parsed;
  return true;
}

}  // namespace

FileModel::FileModel() {
  const char* text = std::getenv("HAPLOTOR_MAX_BITS");
  if (text != nullptr && !parseWholeNumber(text, maxBits_)) invalidMaxBits_ = text;
}

void FileModel::addFamily(Family& family) {
  if (counts_.size() < static_cast<std::size_t>(family.locusCount)) {
    counts_.resize(static_cast<std::size_t>(family.locusCount));
  }
  for (const auto& [id, member] : family.members) {
    for (std::size_t l = 0; l < member.genotypes.size() && l < counts_.size(); ++l) {
      const LocusGenotype& g = member.genotypes[l];
      if (g.allele1 != 0) ++counts_[l][g.allele1];
      if (g.allele2 != 0) ++counts_[l][g.allele2];
    }
  }
  if (reducedBitCount(family) > maxBits_ || family.locusCount < 2) return;
  // Only consistency matters to the least count, so the frequencies need not
  // be known yet.
  InheritanceSolver solver(family, *this);
  minimumRecombinants_ += solver.minimumRecombinants();
  const std::int64_t meioses = 2 * static_cast<std::int64_t>(family.memberCount - family.founderCount);
  meiosisIntervals_ += meioses * (family.locusCount - 1);
}

void FileModel::finish() {
  frequencies_.assign(counts_.size(), {});
  for (std::size_t l = 0; l < counts_.size(); ++l) {
    std::int64_t total = 0;
    for (const auto& [allele, count] : counts_[l]) total += count;
    const double denominator = static_cast<double>(total) + 0.5 * static_cast<double>(counts_[l].size());
    for (const auto& [allele, count] : counts_[l]) {
      frequencies_[l].push_back({allele, (static_cast<double>(count) + 0.5) / denominator});
    }
  }
  counts_.clear();
  theta_ = static_cast<double>(minimumRecombinants_ + 1) / static_cast<double>(meiosisIntervals_ + 2);
  theta_ = std::clamp(theta_, kSmallestTheta, kLargestTheta);
  const char* text = std::getenv("HAPLOTOR_THETA");
  thetaGiven_ = text != nullptr && parseTheta(text, theta_);
  if (text != nullptr && !thetaGiven_) {
    diagnostics::warning("HAPLOTOR_THETA='" + std::string(text) +
                         "' is not a number in (0, 0.5]; using the estimate from the file");
  }
  if (invalidMaxBits_ != nullptr) {
    diagnostics::warning("HAPLOTOR_MAX_BITS='" + std::string(invalidMaxBits_) +
                         "' is not a whole number from 0 to " + std::to_string(kLargestMaxBits) + "; using " +
                         std::to_string(kDefaultMaxBits));
  }
}

void FileModel::setIntervalFractions(std::vector<double> fractions) {
  if (thetaGiven_) return;
  // Two sites at one position still may not be certain to be inherited
  // together, and no interval recombines more often than half the time.
  for (double& fraction : fractions) fraction = std::clamp(fraction, 1e-8, 0.5);
  intervalFractions_ = std::move(fractions);
}

const LocusFrequencies& FileModel::frequencies(int locus) const {
  static const LocusFrequencies kNone;
  if (locus < 0 || static_cast<std::size_t>(locus) >= frequencies_.size()) return kNone;
  return frequencies_[static_cast<std::size_t>(locus)];
}

void solveFamily(Family& family, const FileModel& model, const std::string& fileName, TextSink& out,
                 TextSink& dat, TextSink& res) {
  const std::string name = fileName + ": family " + std::to_string(family.familyId);
  const int bits = reducedBitCount(family);
  if (bits > model.maxBits()) {
    diagnostics::error(name + " needs " + std::to_string(bits) +
                       " inheritance bits, more than the limit of " + std::to_string(model.maxBits()) +
                       " (HAPLOTOR_MAX_BITS raises it); nothing is written for it");
    return;
  }
  InheritanceSolver solver(family, model);
  solver.decode();
  solver.writeConfiguration();
  const std::vector<int>& inconsistent = solver.inconsistentLoci();
  if (!inconsistent.empty()) {
    std::string list;
    for (std::size_t k = 0; k < inconsistent.size() && k < kListedLoci; ++k) {
      list += (k == 0 ? "" : ", ") + std::to_string(inconsistent[k]);
    }
    if (inconsistent.size() > kListedLoci) list += ", ...";
    diagnostics::warning(name + ": " + std::to_string(inconsistent.size()) +
                         (inconsistent.size() == 1 ? " locus fits" : " loci fit") +
                         " no inheritance vector (Mendelian inconsistency; loci " + list +
                         ", counted from 0); written as read, unphased");
  }
  family.writePhasedTable(out);
  family.writeGenotypeReport(dat);
  family.writeResultLine(res);
}

}  // namespace inheritance
