// The run modes of the four solving methods: which families each solves, what
// it does with a closed family and what it writes at the end of the input.
#include <map>
#include <memory>

#include "app/family_pool.h"
#include "app/run_loop.h"
#include "constraint/constraint_finding.h"
#include "locus_dp/locus_dp.h"
#include "block_extension/block_extension.h"
#include "member_dp/member_dp.h"
#include "pedigree/forced_phases.h"
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
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    context.pool->submit(std::move(family));
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
    if (solveByLocusDp(family, sinks.out, inputName).outcome == FamilyOutcome::kSolved) writeFamily(family, sinks);
  };
  mode.closeAction = [](std::unique_ptr<Family> family, RunContext& context) {
    context.pool->submit(std::move(family));
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
