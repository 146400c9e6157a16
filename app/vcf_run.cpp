// The methods as the VCF run drives them: each is a FamilySolver, which
// prepares and solves one family whose loci are one chromosome's sites and
// leaves the configuration to write in the family's genotypes. The adapters
// to the methods' entry points are all here.
#include "app/vcf_run.h"

#include <memory>

#include "constraint/constraint_solver.h"
#include "member_dp/member_dp_solver.h"
#include "pedigree/diagnostics.h"
#include "pedigree/forced_phases.h"
#include "pedigree/run_settings.h"
#include "vcf/first_configuration.h"
#include "vcf/vcf_phasing.h"

namespace {

void writeTotalTime(VcfSolveContext& context) {
  context.res.put("Total Time used(Sec):\t")
      .putFloat(clockSecondsBetween(context.runStartClock, processClockMs()))
      .put("\n\n");
}

// Block extension draws missing alleles from the founder allele frequencies
// of the families read so far, so each chromosome keeps its own statistics.
FamilySolver blockExtension() {
  auto stats = std::make_shared<std::unique_ptr<AlleleStats>>();
  FamilySolver solver;
  solver.name = "option b";
  solver.minimumFamilySize = 3;
  solver.beginChromosome = [stats](VcfSolveContext&) { *stats = std::make_unique<AlleleStats>(); };
  solver.solveFamily = [stats](Family& family, VcfSolveContext& context) {
    family.prepare();
    // The statistics own a copy of the family's founders' calls; only its
    // counts are read again, so the copy's members are dropped at once.
    auto counted = std::make_unique<Family>(family);
    Family& held = *counted;
    (*stats)->addFamily(std::move(counted));
    held.members.clear();
    family.stats = stats->get();
    family.solveByBlockExtension();
    family.writeResultLine(context.res);
    return true;
  };
  solver.endChromosome = [stats](VcfSolveContext& context) { (*stats)->printSummary(context.res); };
  solver.endRun = writeTotalTime;
  return solver;
}

// Constraint finding and member-based DP write every configuration they
// find; the VCF carries the first, which FirstConfiguration catches from the
// genotype report as it is written.
FamilySolver constraintFinding() {
  FamilySolver solver;
  solver.name = "option c";
  solver.minimumFamilySize = 3;
  solver.solveFamily = [](Family& family, VcfSolveContext& context) {
    family.prepare();
    FirstConfiguration first(family);
    TextSink discarded(first.discardFile());
    if (family.solveByConstraintFinding(first.sink(), context.res, discarded) == -1) {
      context.res.put("There is no 0 recombinant solution for pedigree ").put(family.familyId).put("!\n");
      return false;
    }
    return first.restoreInto(family);
  };
  solver.endRun = writeTotalTime;
  return solver;
}

FamilySolver locusDp() {
  FamilySolver solver;
  solver.name = "option l";
  solver.minimumFamilySize = 1;
  solver.solveFamily = [](Family& family, VcfSolveContext& context) {
    family.prepare();
    resolveForcedPhases(family);
    TextSink discarded(FirstConfiguration::nullFile());
    if (!family.solveByLocusDp(discarded)) return false;
    family.writeResultLine(context.res);
    return true;
  };
  solver.endRun = writeTotalTime;
  return solver;
}

FamilySolver memberDp() {
  FamilySolver solver;
  solver.name = "option m";
  solver.minimumFamilySize = 1;
  solver.solveFamily = [](Family& family, VcfSolveContext& context) {
    family.prepare();
    FirstConfiguration first(family);
    TextSink discarded(first.discardFile());
    family.solveByMemberDp(discarded, first.sink(), context.res);
    return first.restoreInto(family);
  };
  return solver;
}

struct VcfMethod {
  char letter;
  FamilySolver (*make)();
};

// Option i (recombination weighted by distance) plugs in as one more row; it
// finds the fraction of every interval in context.sites.recombinationFractions.
constexpr VcfMethod kVcfMethods[] = {
    {'b', blockExtension},
    {'c', constraintFinding},
    {'l', locusDp},
    {'m', memberDp},
};

}  // namespace

std::string vcfOptionLetters() {
  std::string letters;
  for (const VcfMethod& method : kVcfMethods) letters.push_back(method.letter);
  return letters;
}

int runVcfCommand(char letter, const std::string& genotypeFile, const std::string& pedFile,
                  const std::string& commandLine) {
  for (const VcfMethod& method : kVcfMethods) {
    if (method.letter != letter) continue;
    if (letter == 'c' || letter == 'm') reportInvalidSolutionCap();
    return runVcfPhasing(VcfRunRequest{genotypeFile, pedFile, commandLine}, method.make());
  }
  return 1;
}
