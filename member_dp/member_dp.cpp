// The entry of option m: which families the member-based programme takes,
// and how its outcome is reported.
#include "member_dp/member_dp.h"

#include <algorithm>
#include <new>
#include <string>

#include "member_dp/member_dp_solver.h"
#include "pedigree/diagnostics.h"

namespace {

using member_dp::MemberDpOutcome;

// The run loop only hands over families whose members all follow their
// parents in memberOrder; anything else cannot be laid out as a joint state.
bool isPlaceable(const Family& family) {
  const bool placed =
      static_cast<int>(family.memberOrder.size()) == family.memberCount &&
      std::find(family.memberOrder.begin(), family.memberOrder.end(), -1) == family.memberOrder.end();
  return placed && family.founderCount >= 1;
}

void reportNoConsistentConfiguration(const Family& family, const std::string& prefix,
                                     const MemberDpOutcome& outcome) {
  if (family.locusCount == 0) {
    diagnostics::error(prefix + "has no locus; nothing is written for it");
  } else if (outcome.failingLocus < 0) {
    diagnostics::error(
        prefix + "has no configuration consistent with Mendelian inheritance; nothing is written for it");
  } else {
    diagnostics::error(prefix + "has no configuration consistent with Mendelian inheritance (none at locus " +
                       std::to_string(outcome.failingLocus) +
                       ", loci counted from 0); nothing is written for it");
  }
}

}  // namespace

SolveResult solveByMemberDp(Family& family, const Settings& settings, std::string_view inputName,
                            ConfigurationSink& sink) {
  return member_dp::solveWithLimits(family, sink, {settings.maxSolutions, member_dp::kAlleleCellBudget},
                                    inputName);
}

namespace member_dp {

SolveResult solveWithLimits(Family& family, ConfigurationSink& sink, const MemberDpLimits& limits,
                            std::string_view inputName) {
  const std::string id = std::to_string(family.familyId);
  const std::string prefix = std::string(inputName) + ": family " + id + ": ";
  const int stateBits = member_dp::stateBitCount(family);
  if (stateBits > member_dp::kMaxStateBits) {
    sink.tooBig(family);
    diagnostics::error(prefix + "needs " + std::to_string(stateBits) + " state bits, more than the " +
                       std::to_string(member_dp::kMaxStateBits) +
                       " the member-based method takes; only \"Pedigree " + id +
                       " is to big!\" is written for it");
    return {FamilyOutcome::kRefused, 0};
  }
  if (!isPlaceable(family)) {
    diagnostics::error(
        prefix +
        "cannot be solved by the member-based method: some member is not placed after both of its "
        "parents");
    return {FamilyOutcome::kRefused, 0};
  }
  MemberDpOutcome outcome;
  try {
    outcome = MemberDpSolver(family, limits).run(sink);
  } catch (const std::bad_alloc&) {
    outcome.status = MemberDpOutcome::Status::kOutOfMemory;
    outcome.building = "the joint-state layout";
  }
  switch (outcome.status) {
    case MemberDpOutcome::Status::kSolved: return {FamilyOutcome::kSolved, outcome.written};
    case MemberDpOutcome::Status::kNoConsistentConfiguration:
      reportNoConsistentConfiguration(family, prefix, outcome);
      return {FamilyOutcome::kNoSolution, 0};
    case MemberDpOutcome::Status::kCapped:
      diagnostics::note(prefix + "has more optimal configurations; the first " +
                        std::to_string(outcome.written) +
                        " were written (HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 = no limit)");
      return {FamilyOutcome::kCapped, outcome.written};
    case MemberDpOutcome::Status::kBudgetReached:
      diagnostics::note(
          prefix + "the trace back stopped after " + std::to_string(outcome.written) +
          " optimal configurations at the limit of " + std::to_string(limits.alleleCells) +
          " allele cells per family (configurations x members x loci), before HAPLOTOR_MAX_SOLUTIONS (" +
          std::to_string(limits.maxSolutions) + ", 0 = no limit); more may exist");
      return {FamilyOutcome::kCapped, outcome.written};
    case MemberDpOutcome::Status::kOutOfMemory:
      diagnostics::error(prefix + "out of memory while building " + std::string(outcome.building) + "; " +
                         std::to_string(outcome.written) +
                         " configurations were written for it, the run goes on with the next family");
      return {FamilyOutcome::kRefused, outcome.written};
  }
  return {FamilyOutcome::kSolved, outcome.written};
}

}  // namespace member_dp
