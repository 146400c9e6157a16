// The fast member-based solver: hand-checked families, and agreement with
// the plainly stated programme (member_dp_oracle.h) on generated families.
#include "member_dp/member_dp_solver.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "family_generator.h"
#include "member_dp/member_dp.h"
#include "member_dp_oracle.h"
#include "test_support.h"

namespace {

using member_dp::MemberDpOutcome;
using Status = MemberDpOutcome::Status;

struct Written {
  MemberDpOutcome outcome;
  std::string out;
  std::string dat;
  std::string res;  // times masked
};

Written solve(const std::string& text, std::uint64_t maxSolutions = 0, bool byOracle = false) {
  auto family = test_support::preparedFamily(text);
  TextSink out, dat, res;
  const ResultSinks sinks{dat, res, out};
  Written written;
  written.outcome = byOracle ? member_dp_oracle::solveLiterally(*family, sinks, maxSolutions)
                             : member_dp::MemberDpSolver(*family, {maxSolutions}).run(sinks);
  written.out = out.text();
  written.dat = dat.text();
  written.res = test_support::maskTimes(res.text());
  return written;
}

TEST(MemberDpSolver, StatesSharingAPhasePatternAreWrittenOnceHighestFirst) {
  // Child 1/2 of father 1/2 and mother 1/1: the 2 came from the father
  // (his allele2, source 1); either maternal source fits, so two optimal
  // states share one phase pattern. The higher (maternal source 1) is
  // traced first and is the one written.
  const Written w = solve(
      "1 1 0 0 1 0 0 1 2\n"
      "1 2 0 0 2 0 0 1 1\n"
      "1 3 1 2 1 0 0 1 2\n");
  EXPECT_EQ(w.outcome.status, Status::kSolved);
  EXPECT_EQ(w.out,
            "1\t1\t0\t0\t1\t0\t0\t1/2\t0\t0\n"
            "1\t2\t0\t0\t2\t0\t0\t1/1\t0\t0\n"
            "1\t3\t1\t2\t1\t0\t0\t2/1\t1\t1\n");
  EXPECT_EQ(w.res, "1\t 0\t T\n");

  // 6 non-founders, all untyped over 40 loci: every constant source vector
  // is optimal (4096 final states); all share the all-zero phase path.
  std::string untyped;
  const int parents[8][3] = {{0, 0, 1}, {0, 0, 2}, {1, 2, 1}, {1, 2, 2},
                             {1, 2, 2}, {1, 2, 2}, {3, 4, 1}, {3, 4, 2}};
  for (int m = 0; m < 8; ++m) {
    untyped += "9 " + std::to_string(m + 1) + " " + std::to_string(parents[m][0]) + " " +
               std::to_string(parents[m][1]) + " " + std::to_string(parents[m][2]) + " 0 0";
    for (int l = 0; l < 40; ++l) untyped += " 0 0";
    untyped += "\n";
  }
  const Written once = solve(untyped);
  EXPECT_EQ(once.outcome.status, Status::kSolved);
  EXPECT_EQ(once.outcome.leastCost, 0);
  EXPECT_EQ(once.outcome.written, 1u);
}

TEST(MemberDpSolver, FounderPhasesAreFreeAfterTheFirstHeterozygousLocusAndTheCapKeepsTheOrder) {
  const std::string text =
      "4 1 0 0 1 0 0 1 2 1 2\n"
      "4 2 0 0 2 0 0 2 1 2 1\n";
  const Written all = solve(text);
  ASSERT_EQ(all.outcome.written, 4u);
  // Final states 3, 2, 1, 0 in that order; bit 0 is member 1's phase.
  const std::string phases[4][2] = {{"2/1", "2/1"}, {"1/2", "2/1"}, {"2/1", "1/2"}, {"1/2", "1/2"}};
  std::string expected;
  for (const auto& pair : phases) {
    expected += "4\t1\t0\t0\t1\t0\t0\t1/2\t" + pair[0] + "\t00\t00\n";
    expected += "4\t2\t0\t0\t2\t0\t0\t1/2\t" + pair[1] + "\t00\t00\n";
  }
  EXPECT_EQ(all.out, expected);

  const Written two = solve(text, 2);
  EXPECT_EQ(two.outcome.status, Status::kCapped);
  EXPECT_EQ(two.out, expected.substr(0, expected.size() / 2));
  // Exactly as many as exist: nothing is left to trace.
  EXPECT_EQ(solve(text, 4).outcome.status, Status::kSolved);
}

TEST(MemberDpSolver, NoConsistentConfigurationWritesNothingAndNamesTheLocus) {
  // The child's 3 at locus 1 comes from neither parent; at locus 1 of the
  // second family the child's 0 is no wildcard for the parents' 1.
  for (const char* text : {"6 1 0 0 1 0 0 1 2 1 2\n6 2 0 0 2 0 0 1 1 1 1\n6 3 1 2 2 0 0 1 2 3 1\n",
                           "2 1 0 0 1 0 0 0 1 1 1\n2 2 0 0 2 0 0 1 1 1 1\n2 3 1 2 2 0 0 1 1 0 1\n"}) {
    const Written w = solve(text);
    EXPECT_EQ(w.outcome.status, Status::kNoConsistentConfiguration) << text;
    EXPECT_EQ(w.outcome.failingLocus, 1) << text;
    EXPECT_EQ(w.out + w.dat + w.res, "") << text;
  }
}

// The fast solver writes exactly what the plain programme writes: same
// configurations, same order, same "res" lines, same outcome. Families of
// every shape the generator makes: nuclear, three generations, half-sibs,
// founders only, lines and ids shuffled, founder alleles missing (and passed
// on), typing errors.
TEST(MemberDpSolver, EqualsPlainProgrammeOnGeneratedFamilies) {
  std::mt19937 random(61206);
  int compared = 0;
  int inconsistent = 0;
  int capped = 0;
  int multiple = 0;
  for (int round = 0; round < 400; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.familyId = round + 1;
    options.generations = round % 3 == 0 ? 3 : 2;
    options.children = round % 11 == 4 ? 0 : 1 + round % 3;
    options.halfSiblings = round % 4 == 1;
    options.loci = 1 + round % 8;
    options.alleles = 2 + round % 3;
    options.recombinationRate = (round % 5) * 0.1;
    options.missingRate = round % 6 == 2 ? 0.05 : 0.0;
    options.shuffled = round % 2 == 1;
    options.shuffledIds = round % 5 != 0;
    options.founderMissingRate = round % 5 == 3 ? 0.3 : 0.0;
    options.typingErrorRate = round % 7 == 3 ? 0.05 : 0.0;
    const std::string text = test_support::generateFamilyText(options, random);
    if (member_dp::stateBitCount(*test_support::preparedFamily(text)) > 12) continue;
    const std::uint64_t cap = round % 4 == 3 ? 2 : 0;
    const Written fast = solve(text, cap);
    const Written oracle = solve(text, cap, true);
    SCOPED_TRACE("round " + std::to_string(round) + "\n" + text);
    EXPECT_EQ(fast.outcome.status, oracle.outcome.status);
    EXPECT_EQ(fast.outcome.leastCost, oracle.outcome.leastCost);
    EXPECT_EQ(fast.outcome.written, oracle.outcome.written);
    EXPECT_EQ(fast.out, oracle.out);
    EXPECT_EQ(fast.dat, oracle.dat);
    EXPECT_EQ(fast.res, oracle.res);
    ++compared;
    inconsistent += oracle.outcome.status == Status::kNoConsistentConfiguration;
    capped += oracle.outcome.status == Status::kCapped;
    multiple += oracle.outcome.written > 1;
  }
  // The generator must reach every outcome, or the comparison proves little.
  EXPECT_GT(compared, 250);
  EXPECT_GT(inconsistent, 25);
  EXPECT_GT(capped, 15);
  EXPECT_GT(multiple, 60);
}

// One founder heterozygous at every one of 10 loci has 2^9 optimal
// configurations. With a budget of 100 allele cells (1 member x 10 loci
// each), the first 10 are written and the stop is reported with both limits;
// a smaller HAPLOTOR_MAX_SOLUTIONS stops first; the first configuration is
// written whatever the budget.
TEST(MemberDpEntry, AlleleCellBudgetBoundsTheConfigurationsWritten) {
  std::string text = "1 1 0 0 1 0 0";
  for (int l = 0; l < 10; ++l) text += " 1 2";
  auto solveWith = [&](std::uint64_t maxSolutions, std::uint64_t alleleCells, std::string& standardError) {
    auto family = test_support::preparedFamily(text + "\n");
    TextSink out, dat, res;
    testing::internal::CaptureStderr();
    const SolveResult result =
        member_dp::solveWithLimits(*family, {dat, res, out}, {maxSolutions, alleleCells}, "fam.txt");
    standardError = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.outcome, FamilyOutcome::kCapped);
    EXPECT_EQ(std::count(out.text().begin(), out.text().end(), '\n'),
              static_cast<long>(result.solutionCount));
    return result.solutionCount;
  };
  std::string standardError;
  EXPECT_EQ(solveWith(4096, 100, standardError), 10u);
  EXPECT_EQ(
      standardError,
      "Haplotor: fam.txt: family 1: the trace back stopped after 10 optimal configurations at the limit of "
      "100 allele cells per family (configurations x members x loci), before HAPLOTOR_MAX_SOLUTIONS (4096, "
      "0 = no limit); more may exist\n");
  EXPECT_EQ(solveWith(4, 100, standardError), 4u);
  EXPECT_NE(standardError.find("the first 4 were written (HAPLOTOR_MAX_SOLUTIONS"), std::string::npos);
  EXPECT_EQ(solveWith(0, 5, standardError), 1u);
}

// A family whose cost tables (2 x 4096 source values x 20,000 loci) cannot
// be allocated under a tight address-space limit: the failure is reported
// for the family and the entry returns instead of ending the run.
TEST(MemberDpEntry, AllocationFailureIsReportedForTheFamily) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves its address space up front, so a limit on it cannot be set";
#else
  std::string text;
  const int parents[8][3] = {{0, 0, 1}, {0, 0, 2}, {1, 2, 1}, {1, 2, 2},
                             {1, 2, 1}, {1, 2, 2}, {1, 2, 1}, {1, 2, 2}};
  for (const auto& p : parents) {
    text += "3 " + std::to_string(&p - parents + 1) + " " + std::to_string(p[0]) + " " +
            std::to_string(p[1]) + " " + std::to_string(p[2]) + " 0 0";
    for (int l = 0; l < 20000; ++l) text += " 0 0";
    text += "\n";
  }
  auto family = test_support::preparedFamily(text);
  auto solveUnderLimit = [&] {
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) std::exit(2);
    std::fclose(statm);
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64 << 20);
    const rlimit addressSpace{limit, limit};
    if (setrlimit(RLIMIT_AS, &addressSpace) != 0) std::exit(2);
    TextSink out, dat, res;
    const SolveResult result = solveByMemberDp(*family, {dat, res, out}, 0, "fam.txt");
    std::exit(result.outcome == FamilyOutcome::kRefused && out.text().empty() ? 0 : 1);
  };
  EXPECT_EXIT(solveUnderLimit(), testing::ExitedWithCode(0),
              "Haplotor: fam.txt: family 3: out of memory while building the cost tables");
#endif
}

}  // namespace
