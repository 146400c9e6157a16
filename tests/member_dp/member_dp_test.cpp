// Option m: hand-checked families, agreement of the fast solver with the
// plainly stated programme (member_dp_oracle.h) on generated families, the
// limits on what one family may write or allocate, and the messages of a run.
#include "member_dp/member_dp.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "family_generator.h"
#include "member_dp/member_dp_solver.h"
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
  ResultFilesSink sinks({dat, res, out});
  Written written;
  written.outcome = byOracle ? member_dp_oracle::solveLiterally(*family, sinks, maxSolutions)
                             : member_dp::MemberDpSolver(*family, {maxSolutions}).run(sinks);
  written.out = out.text();
  written.dat = dat.text();
  written.res = test_support::maskTimes(res.text());
  return written;
}

// The built program with option m on `input` as fam.txt; stderr appended to
// the "out" text after a "|".
Written runProgram(const std::string& input, const std::map<std::string, std::string>& environment = {}) {
  const std::string dir = test_support::folderWith({{"fam.txt", input}});
  const test_support::RunResult run = test_support::runHaplotor({"-m", "fam.txt"}, dir, environment);
  Written written;
  written.out = test_support::readFile(dir + "/fam.out") + "|" + run.standardError;
  written.dat = test_support::readFile(dir + "/fam.dat");
  written.res = test_support::maskTimes(test_support::readFile(dir + "/fam.res"));
  return written;
}

// Founders 1 and 2 with six children, untyped at every locus: 20 state bits;
// an unrelated founder 9 makes 21.
std::string untypedFamily(int familyId, int loci, bool extraFounder = false) {
  std::string text;
  for (int m = 1; m <= (extraFounder ? 9 : 8); ++m) {
    const bool founder = m <= 2 || m == 9;
    text += std::to_string(familyId) + " " + std::to_string(m) + (founder ? " 0 0 " : " 1 2 ") +
            std::to_string(m % 2 == 1 ? 1 : 2) + " 0 0";
    for (int l = 0; l < loci; ++l) text += " 0 0";
    text += "\n";
  }
  return text;
}

// Hand-checked cases, one beyond the oracle's reach.
TEST(MemberDpSolver, UntypedFamilyWritesOnePathAndAChildsZeroIsNoWildcard) {
  // Untyped over 40 loci: every constant source vector is optimal (4096
  // final states, beyond the oracle's reach); all share one phase path.
  const Written once = solve(untypedFamily(9, 40));
  EXPECT_EQ(once.outcome.status, Status::kSolved);
  EXPECT_EQ(once.outcome.written, 1u);
  // A child's 0 is no wildcard for its parents' 1 (locus 1).
  const Written typed = solve("2 1 0 0 1 0 0 0 1 1 1\n2 2 0 0 2 0 0 1 1 1 1\n2 3 1 2 2 0 0 1 1 0 1\n");
  EXPECT_EQ(typed.outcome.status, Status::kNoConsistentConfiguration);
  EXPECT_EQ(typed.outcome.failingLocus, 1);
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
TEST(MemberDpLimits, AlleleCellBudgetBoundsTheConfigurationsWritten) {
  std::string text = "1 1 0 0 1 0 0";
  for (int l = 0; l < 10; ++l) text += " 1 2";
  std::string standardError;
  auto solveWith = [&](std::uint64_t maxSolutions, std::uint64_t alleleCells) {
    auto family = test_support::preparedFamily(text + "\n");
    TextSink out, dat, res;
    ResultFilesSink sink({dat, res, out});
    testing::internal::CaptureStderr();
    const SolveResult result =
        member_dp::solveWithLimits(*family, sink, {maxSolutions, alleleCells}, "fam.txt");
    standardError = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.outcome, FamilyOutcome::kCapped);
    EXPECT_EQ(std::count(out.text().begin(), out.text().end(), '\n'),
              static_cast<long>(result.solutionCount));
    return result.solutionCount;
  };
  EXPECT_EQ(solveWith(4096, 100), 10u);
  EXPECT_EQ(
      standardError,
      "Haplotor: fam.txt: family 1: the trace back stopped after 10 optimal configurations at the limit of "
      "100 allele cells per family (configurations x members x loci), before HAPLOTOR_MAX_SOLUTIONS (4096, "
      "0 = no limit); more may exist\n");
  EXPECT_EQ(solveWith(4, 100), 4u);
  EXPECT_NE(standardError.find("the first 4 were written (HAPLOTOR_MAX_SOLUTIONS"), std::string::npos);
  EXPECT_EQ(solveWith(0, 5), 1u);
}

// The cost tables of 20 state bits over 20,000 loci (2 x 4096 x 20,000
// cells) cannot be allocated under a tight address-space limit: the failure
// is reported for the family and the entry returns.
TEST(MemberDpLimits, AllocationFailureIsReportedForTheFamily) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves its address space up front, so a limit on it cannot be set";
#else
  auto family = test_support::preparedFamily(untypedFamily(3, 20000));
  auto solveUnderLimit = [&] {
    const rlimit addressSpace{256 << 20, 256 << 20};  // each cost table needs 328 MB
    if (setrlimit(RLIMIT_AS, &addressSpace) != 0) std::exit(2);
    TextSink out, dat, res;
    ResultFilesSink sink({dat, res, out});
    Settings unlimited;
    unlimited.maxSolutions = 0;
    const SolveResult result = solveByMemberDp(*family, unlimited, "fam.txt", sink);
    std::exit(result.outcome == FamilyOutcome::kRefused && out.text().empty() ? 0 : 1);
  };
  EXPECT_EXIT(solveUnderLimit(), testing::ExitedWithCode(0),
              "Haplotor: fam.txt: family 3: out of memory while building the cost tables");
#endif
}

// The example's family 2 has two optimal configurations (capped at 1),
// family 5 needs 21 state bits. Families are solved in ascending id.
TEST(MemberDpRun, CapAndRefusalAreReportedWithFileAndFamily) {
  const Written run = runProgram(test_support::exampleText("member_dp_example.txt") +
                                     untypedFamily(5, 3, true) + "9 1 0 0 1 0 0 1 1 2 2 1 2\n",
                                 {{"HAPLOTOR_MAX_SOLUTIONS", "1"}});
  EXPECT_EQ(run.res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\n2\t 1\t T\n9\t 0\t T\n");
  EXPECT_NE(run.out.find("Pedigree 5 is to big!\n9\t1\t0\t0\t1\t0\t0\t1/1\t2/2\t1/2\t000\t000\n|"),
            std::string::npos);
  EXPECT_EQ(run.out.substr(run.out.find('|')),
            "|Haplotor: fam.txt: family 2: has more optimal configurations; the first 1 were written "
            "(HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 = no limit)\n"
            "Haplotor: fam.txt: family 5: needs 21 state bits, more than the 20 the member-based method "
            "takes; only "
            "\"Pedigree 5 is to big!\" is written for it\n");
  EXPECT_EQ(run.dat.find("5-"), std::string::npos);
}

}  // namespace
