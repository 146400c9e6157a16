// The run modes of the four solving methods: which families each solves, what
// it does with a closed family and what it writes at the end of the input.
#include <cstdio>
#include <map>
#include <memory>

#include "app/family_pool.h"
#include "app/family_validation.h"
#include "app/pedigree_reader.h"
#include "app/run_loop.h"
#include "block_extension/block_extension.h"
#include "constraint/constraint_finding.h"
#include "inheritance/inheritance_vector.h"
#include "locus_dp/locus_dp.h"
#include "member_dp/member_dp.h"
#include "pedigree/diagnostics.h"
#include "pedigree/forced_phases.h"
#include "pedigree/input_file.h"
#include "pedigree/run_settings.h"

namespace {

void writeFamily(Family& family, const ResultSinks& sinks) {
  family.writeGenotypeReport(sinks.dat);
  family.writeResultLine(sinks.res);
  family.writePhasedTable(sinks.out);
}

// Families of the methods that solve each family on its own (c, l, m) go
// through the pool; the total time is written once every family is out.
void finishAndWriteTotalTime(RunContext& context) {
  context.pool->finish();
  writeTotalTimeLine(context);
}

}  // namespace

int runBlockExtension(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 3;
  mode.keepsStatistics = true;
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    context.stats->addFamily(*family);
    solveByBlockExtension(*family, *context.stats);
    writeFamily(*family, {context.dat, context.res, context.out});
    // Nothing reads a solved family again (the statistics keep only their
    // counts), so it is released now: memory stays flat however large the
    // file.
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
  mode.solveFamily = [inputName](Family& family, const ResultSinks& sinks) {
    family.prepare();
    const SolveResult result = solveByConstraintFinding(family, sinks, maxSolutionsPerFamily(), inputName);
    if (result.outcome == FamilyOutcome::kNoSolution) {
      sinks.res.put("There is no 0 recombinant solution for pedigree ").put(family.familyId).put("!\n");
    }
  };
  mode.endAction = finishAndWriteTotalTime;
  reportInvalidSolutionCap();
  return runPedigreeFile(inputName, mode);
}

int runLocusDp(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 1;
  mode.solveFamily = [inputName](Family& family, const ResultSinks& sinks) {
    family.prepare();
    resolveForcedPhases(family);
    // A family too large for the tree programme is refused by the solver,
    // which reports it; it then gets nothing in the result files.
    if (solveByLocusDp(family, sinks.out, inputName).outcome == FamilyOutcome::kSolved)
      writeFamily(family, sinks);
  };
  mode.endAction = finishAndWriteTotalTime;
  return runPedigreeFile(inputName, mode);
}

int runMemberDp(const std::string& inputName) {
  RunMode mode;
  mode.minimumFamilySize = 1;
  mode.keepsStatistics = true;
  mode.requiresMotherSexTwo = true;
  // Every family is gathered first and solved at the end in ascending family
  // id; families that share an id (an id that comes back after other
  // families) keep their input order.
  auto gathered = std::make_shared<std::multimap<int, std::unique_ptr<Family>>>();
  mode.closeAction = [gathered](std::unique_ptr<Family> family, RunContext& context) {
    family->prepare();
    context.stats->addFamily(*family);
    const int id = family->familyId;
    gathered->emplace(id, std::move(family));
  };
  mode.solveFamily = [inputName](Family& family, const ResultSinks& sinks) {
    solveByMemberDp(family, sinks, maxSolutionsPerFamily(), inputName);
  };
  mode.endAction = [gathered](RunContext& context) {
    for (auto& [id, family] : *gathered) context.pool->submit(std::move(family));
    gathered->clear();
    context.pool->finish();
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
  // The first reading gathers the allele frequencies and the least
  // recombinant count of the file; its messages are the second reading's, so
  // they are said once, then. A pipe cannot be read twice.
  InputFile input = inputName.size() >= 3 ? openInputFile(inputName, "input file") : InputFile{};
  if (input.file != nullptr && !S_ISREG(input.status.st_mode)) {
    std::fclose(input.file);
    diagnostics::error("input file '" + inputName +
                       "' is not a regular file; the inheritance-vector method reads its input twice");
    return 1;
  }
  if (input.file != nullptr) {
    diagnostics::Capture muted;
    LineSource source(input.file);
    PedigreeReader reader(source, inputName);
    for (ReadFamily read = reader.nextFamily(); read.family != nullptr; read = reader.nextFamily()) {
      read.family->memberCount = static_cast<int>(read.family->members.size());
      if (!findFamilyProblem(read, mode, nullptr).empty()) continue;
      read.family->prepare();
      model->addFamily(*read.family);
    }
    std::fclose(input.file);
  }
  model->finish();
  mode.solveFamily = [model, inputName](Family& family, const ResultSinks& sinks) {
    family.prepare();
    inheritance::solveFamily(family, *model, inputName, sinks.out, sinks.dat, sinks.res);
  };
  return runPedigreeFile(inputName, mode);
}
