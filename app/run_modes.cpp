// The run modes of the four solving methods: which families each solves, what
// it does with a closed family and what it writes at the end of the input.
#include <cstdio>

#include "app/family_validation.h"
#include "app/pedigree_reader.h"
#include "app/run_loop.h"
#include "inheritance/inheritance_vector.h"
#include "pedigree/diagnostics.h"
#include "pedigree/forced_phases.h"
#include "pedigree/run_settings.h"

namespace {

void writeFamily(Family& family, RunContext& context) {
  family.writeGenotypeReport(context.dat);
  family.writeResultLine(context.res);
  family.writePhasedTable(context.out);
}

}  // namespace

int runBlockExtension(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 3;
  mode.keepsStatistics = true;
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    Family& held = *family;
    context.stats->addFamily(std::move(family));
    held.solveByBlockExtension();
    writeFamily(held, context);
    // Nothing reads a solved family again (the statistics keep only their
    // counts), so its members are released now instead of at the end of the
    // run: memory stays flat however large the file.
    held.members.clear();
  };
  mode.endAction = [](RunContext& context) {
    writeTotalTimeLine(context);
    context.stats->printSummary(context.res);
  };
  return runPedigreeFile(inputName, mode);
}

int runConstraintFinding(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 3;
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    if (family->solveByConstraintFinding(context.dat, context.res, context.out) == -1) {
      context.res.put("There is no 0 recombinant solution for pedigree ").put(family->familyId).put("!\n");
    }
  };
  mode.endAction = [](RunContext& context) { writeTotalTimeLine(context); };
  reportInvalidSolutionCap();
  return runPedigreeFile(inputName, mode);
}

int runLocusDp(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 1;
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    resolveForcedPhases(*family);
    // A family too large for the tree programme is refused by the solver,
    // which reports it; it then gets nothing in the result files.
    if (family->solveByLocusDp(context.out)) writeFamily(*family, context);
  };
  mode.endAction = [](RunContext& context) { writeTotalTimeLine(context); };
  return runPedigreeFile(inputName, mode);
}

int runMemberDp(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 1;
  mode.keepsStatistics = true;
  mode.requiresMotherSexTwo = true;
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    context.stats->addFamily(std::move(family));
  };
  mode.endAction = [](RunContext& context) {
    context.stats->solveAllByMemberDp(context.out, context.dat, context.res);
  };
  reportInvalidSolutionCap();
  return runPedigreeFile(inputName, mode);
}

// Option i reads the input twice: the first reading (silent: the second
// reports every problem) gathers the allele frequencies and the
// recombination fraction of the whole file, so no family is held in memory
// while the second reading solves them one by one.
int runInheritanceVectors(const std::string& inputName) {
  auto model = std::make_shared<inheritance::FileModel>();
  RunMode mode;
  mode.minimumFamilySize = 1;
  if (std::FILE* input = inputName.size() >= 3 ? std::fopen(inputName.c_str(), "r") : nullptr) {
    diagnostics::MutedReports muted;
    LineSource source(input);
    PedigreeReader reader(source, inputName);
    for (ReadFamily read = reader.nextFamily(); read.family != nullptr; read = reader.nextFamily()) {
      read.family->memberCount = static_cast<int>(read.family->members.size());
      if (!findFamilyProblem(read, mode, nullptr).empty()) continue;
      read.family->prepare();
      model->addFamily(*read.family);
    }
    std::fclose(input);
  }
  model->finish();
  mode.closeAction = [model](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    inheritance::solveFamily(*family, *model, context.inputName, context.out, context.dat, context.res);
  };
  return runPedigreeFile(inputName, mode);
}
