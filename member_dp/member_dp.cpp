// The entry of option m: which families the member-based programme takes,
// and how its outcome is reported.
#include "member_dp/member_dp.h"

#include <algorithm>
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

void reportNoConsistentConfiguration(const Family& family, const std::string& name,
                                     const MemberDpOutcome& outcome) {
  if (family.locusCount == 0) {
    diagnostics::error(name + " has no locus; nothing is written for it");
  } else if (outcome.failingLocus < 0) {
    diagnostics::error(name +
                       " has no configuration consistent with Mendelian inheritance; nothing is "
                       "written for it");
  } else {
    diagnostics::error(name + " has no configuration consistent with Mendelian inheritance (none at locus " +
                       std::to_string(outcome.failingLocus) +
                       ", loci counted from 0); nothing is written for it");
  }
}

}  // namespace

SolveResult solveByMemberDp(Family& family, const ResultSinks& sinks, std::uint64_t maxSolutions) {
  if (member_dp::stateBitCount(family) > member_dp::kMaxStateBits) {
    sinks.out.put("Pedigree ").put(family.familyId).put(" is to big!\n");
    return {FamilyOutcome::kRefused, 0};
  }
  const std::string name = "family " + std::to_string(family.familyId);
  if (!isPlaceable(family)) {
    diagnostics::error(name +
                       " cannot be solved by the member-based method: some member is not placed after "
                       "both of its parents");
    return {FamilyOutcome::kRefused, 0};
  }
  const MemberDpOutcome outcome = member_dp::MemberDpSolver(family, maxSolutions).run(sinks);
  switch (outcome.status) {
    case MemberDpOutcome::Status::kSolved: return {FamilyOutcome::kSolved, outcome.written};
    case MemberDpOutcome::Status::kNoConsistentConfiguration:
      reportNoConsistentConfiguration(family, name, outcome);
      return {FamilyOutcome::kNoSolution, 0};
    case MemberDpOutcome::Status::kCapped:
      diagnostics::note(name + " has more optimal configurations; the first " +
                        std::to_string(outcome.written) +
                        " were written (HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 = no limit)");
      return {FamilyOutcome::kCapped, outcome.written};
  }
  return {FamilyOutcome::kSolved, outcome.written};
}
