// The methods as the VCF run drives them: each is a FamilySolver, which
// prepares and solves one family whose loci are one chromosome's sites and
// leaves the configuration to write in the family's genotypes. The adapters
// to the methods' entry points are all here.
#include "app/vcf_run.h"

#include <memory>

#include "app/run_loop.h"
#include "block_extension/block_extension.h"
#include "constraint/constraint_finding.h"
#include "inheritance/inheritance_vector.h"
#include "locus_dp/locus_dp.h"
#include "member_dp/member_dp.h"
#include "pedigree/diagnostics.h"
#include "pedigree/forced_phases.h"
#include "pedigree/run_settings.h"
#include "vcf/first_configuration.h"
#include "vcf/vcf_phasing.h"

namespace {

void writeTotalTime(VcfSolveContext& context) { writeTotalTimeLine(context.res, context.runStartClock); }

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
    (*stats)->addFamily(family);
    solveByBlockExtension(family, **stats);
    family.writeResultLine(context.res);
    return true;
  };
  solver.endChromosome = [stats](VcfSolveContext& context) { (*stats)->printSummary(context.res); };
  solver.endRun = writeTotalTime;
  return solver;
}

// Constraint finding and member-based DP write every configuration they
// find; the VCF carries the first, which FirstConfiguration catches from the
// genotype report as it is written. `solve` gets the report and a sink for
// the rest, and says whether the family was solved.
template <typename Solve>
bool keepFirstConfiguration(Family& family, Solve&& solve) {
  family.prepare();
  FirstConfiguration first(family);
  TextSink discarded(first.discardFile());
  if (!solve(first.sink(), discarded)) return false;
  return first.restoreInto(family);
}

FamilySolver constraintFinding() {
  FamilySolver solver;
  solver.name = "option c";
  solver.minimumFamilySize = 3;
  solver.solveFamily = [](Family& family, VcfSolveContext& context) {
    return keepFirstConfiguration(family, [&](TextSink& report, TextSink& discarded) {
      const SolveResult result = solveByConstraintFinding(family, {report, context.res, discarded},
                                                          maxSolutionsPerFamily(), context.fileName);
      if (result.outcome != FamilyOutcome::kNoSolution) return true;
      context.res.put("There is no 0 recombinant solution for pedigree ").put(family.familyId).put("!\n");
      return false;
    });
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
    if (solveByLocusDp(family, discarded, context.fileName).outcome != FamilyOutcome::kSolved) return false;
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
    return keepFirstConfiguration(family, [&](TextSink& report, TextSink& discarded) {
      solveByMemberDp(family, {report, context.res, discarded}, maxSolutionsPerFamily(), context.fileName);
      return true;
    });
  };
  return solver;
}

// The inheritance-vector method weighs recombination by distance: the
// fraction of each interval comes from the sites' positions. Its allele
// frequencies are those of the chromosome's families, gathered before the
// first family is solved.
FamilySolver inheritanceVectors() {
  auto model = std::make_shared<std::unique_ptr<inheritance::FileModel>>();
  FamilySolver solver;
  solver.name = "option i";
  solver.minimumFamilySize = 1;
  solver.beginChromosome = [model](VcfSolveContext&) { *model = std::make_unique<inheritance::FileModel>(); };
  solver.gatherFamily = [model](Family& family) {
    family.prepare();
    (*model)->addFamily(family);
  };
  solver.familiesGathered = [model](VcfSolveContext& context) {
    (*model)->finish();
    (*model)->setIntervalFractions(context.sites.recombinationFractions);
  };
  solver.solveFamily = [model](Family& family, VcfSolveContext& context) {
    family.prepare();
    TextSink discarded(FirstConfiguration::nullFile());
    inheritance::solveFamily(family, **model, context.fileName, discarded, discarded, context.res);
    return true;
  };
  return solver;
}

struct VcfMethod {
  char letter;
  FamilySolver (*make)();
};

constexpr VcfMethod kVcfMethods[] = {
    {'b', blockExtension}, {'c', constraintFinding},  {'l', locusDp},
    {'m', memberDp},       {'i', inheritanceVectors},
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
