// The file-wide model of option i (allele frequencies, recombination
// fraction, bit limit) and the entry that solves and writes one family.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "inheritance/inheritance_solver.h"
#include "inheritance/pedigree_pieces.h"
#include "pedigree/diagnostics.h"

namespace inheritance {

namespace {

constexpr double kSmallestTheta = 0.001;
constexpr double kLargestTheta = 0.1;
// How many inconsistent loci (or calls taken as errors) a report lists.
constexpr std::size_t kListedLoci = 5;

// "member 3 locus 1, member 4 locus 7, ..." of the first calls.
std::string listCalls(const std::vector<std::pair<int, int>>& calls) {
  std::string list;
  for (std::size_t k = 0; k < calls.size() && k < kListedLoci; ++k) {
    list += (k == 0 ? "member " : ", member ") + std::to_string(calls[k].first) + " locus " +
            std::to_string(calls[k].second);
  }
  if (calls.size() > kListedLoci) list += ", ...";
  return list;
}

}  // namespace

FileModel::FileModel(const Settings& settings, bool phaseProbabilities)
    : givenTheta_(settings.theta),
      maxBits_(settings.maxBits),
      genotypeError_(settings.genotypeError),
      phaseProbabilities_(phaseProbabilities) {}

void FileModel::addFamily(Family& family) {
  if (counts_.size() < static_cast<std::size_t>(family.locusCount)) {
    counts_.resize(static_cast<std::size_t>(family.locusCount));
  }
  for (const auto& [id, member] : family.members) {
    for (std::size_t l = 0; l < member.genotypes.size() && l < counts_.size(); ++l) {
      const LocusGenotype& g = member.genotypes[l];
      if (g.allele1 != 0) ++counts_[l][g.allele1];
      // A male on X carries one allele: his (a, a) counts it once.
      const bool hemizygous = family.xLinked && member.isMale();
      if (g.allele2 != 0 && !(hemizygous && g.allele2 == g.allele1)) ++counts_[l][g.allele2];
    }
  }
  if (reducedBitCount(family) > maxBits_ || family.locusCount < 2) return;
  // The estimate is only used where no fraction is given: with a given
  // fraction, or one per interval from the positions, the least recombinant
  // pass over the whole family would be spent for nothing.
  if (givenTheta_ || static_cast<std::size_t>(family.locusCount - 1) <= expectedIntervals_) return;
  // Only consistency matters to the least count, so the frequencies need not
  // be known yet.
  InheritanceSolver solver(family, *this);
  minimumRecombinants_ += solver.minimumRecombinants();
  // On X a child has one meiosis, the maternal one.
  const std::int64_t meioses =
      (family.xLinked ? 1 : 2) * static_cast<std::int64_t>(family.memberCount - family.founderCount);
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
  if (givenTheta_) theta_ = *givenTheta_;
}

void FileModel::setIntervalFractions(std::vector<double> fractions) {
  if (givenTheta_) return;
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

namespace {

// The loci that fit no vector, the calls taken as errors and the males'
// heterozygous calls on X, one warning each.
void reportCalls(const std::string& name, const std::vector<int>& inconsistent,
                 const std::vector<std::pair<int, int>>& errors,
                 const std::vector<std::pair<int, int>>& hemizygous) {
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
  if (!errors.empty()) {
    diagnostics::warning(name + ": " + std::to_string(errors.size()) +
                         (errors.size() == 1 ? " call is taken as a genotype error ("
                                             : " calls are taken as genotype errors (") +
                         listCalls(errors) + ", loci counted from 0); written as read, unphased");
  }
  if (!hemizygous.empty()) {
    diagnostics::warning(
        name + ": " + std::to_string(hemizygous.size()) +
        (hemizygous.size() == 1 ? " call of a male is heterozygous" : " calls of males are heterozygous") +
        " on X (" + listCalls(hemizygous) +
        ", loci counted from 0); taken as missing, written as read, unphased "
        "(HAPLOTOR_ERROR weighs them as genotype errors instead)");
  }
}

}  // namespace

SolveResult solveFamily(Family& family, const FileModel& model, std::string_view fileName,
                        ConfigurationSink& sink) {
  const std::string name = std::string(fileName) + ": family " + std::to_string(family.familyId);
  const int bits = reducedBitCount(family);
  if (bits > model.maxBits()) {
    const PiecewiseOutcome pieces =
        phaseInPieces(family, model, std::min(model.maxBits(), kLargestPieceBits));
    diagnostics::warning(
        name + ": " + std::to_string(bits) + " inheritance bits are more than HAPLOTOR_MAX_BITS (" +
        std::to_string(model.maxBits()) + "); phased in " + std::to_string(pieces.pieces) +
        " pieces of at most " + std::to_string(pieces.largestPieceBits) + " bits, not exactly");
    reportCalls(name, pieces.inconsistentLoci, pieces.errorCalls, pieces.hemizygousHeterozygotes);
    if (pieces.conflicts > 0) {
      diagnostics::warning(name + ": " + std::to_string(pieces.conflicts) +
                           (pieces.conflicts == 1 ? " child allele is" : " child alleles are") +
                           " in neither of the parent's alleles as written by another piece; their sources "
                           "are left unknown");
    }
    sink.configuration(family);
    return {FamilyOutcome::kSolved, 1};
  }
  InheritanceSolver solver(family, model);
  solver.decode();
  solver.writeConfiguration();
  reportCalls(name, solver.inconsistentLoci(), solver.errorCalls(), solver.hemizygousHeterozygotes());
  sink.configuration(family);
  return {FamilyOutcome::kSolved, 1};
}

}  // namespace inheritance
