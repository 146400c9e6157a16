// Option c against a plain reduction over GF(2), every assignment, every
// phase of two-locus trios, and the soundness of every written solution.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "constraint/constraint_finding.h"
#include "constraint/constraint_solver.h"
#include "constraint/transmission_rules.h"
#include "family_generator.h"
#include "pedigree/result_sinks.h"
#include "test_support.h"

namespace {

struct EquationSystem {
  std::vector<std::vector<int>> constraints;
  std::vector<int> parities;
  std::vector<int> fixedZero;
  std::vector<int> fixedOne;
};

enum class Reduction { kReduced, kContradiction, kTooManyPasses };

bool contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

template <typename S>
void eraseAt(S& s, std::size_t k) {
  s.constraints.erase(s.constraints.begin() + static_cast<std::ptrdiff_t>(k));
  s.parities.erase(s.parities.begin() + static_cast<std::ptrdiff_t>(k));
}

// A one-variable equation x = parity: false on a contradiction.
template <typename S>
bool settleUnit(S& s, int x, int parity, bool& appended) {
  std::vector<int>& same = parity == 1 ? s.fixedOne : s.fixedZero;
  appended = !contains(same, x);
  if (contains(parity == 1 ? s.fixedZero : s.fixedOne, x)) return false;
  if (appended) same.push_back(x);
  return true;
}

template <typename S>
bool substitute(S& s, int x, bool flips) {
  for (std::size_t k = s.constraints.size(); k-- > 0;) {
    std::vector<int>& vars = s.constraints[k];
    for (std::size_t m = vars.size(); m-- > 0;) {
      if (vars[m] != x) continue;
      vars.erase(vars.begin() + static_cast<std::ptrdiff_t>(m));
      if (flips) s.parities[k] = 1 - s.parities[k];
    }
    if (vars.empty()) {
      if (s.parities[k] != 0) return false;
      eraseAt(s, k);
    }
  }
  return true;
}

// Propagation of fixed values, removal of duplicates, then elimination on the
// largest variable, every pair compared in every pass, until no new unit.
template <typename S>
Reduction reduceLiterally(S& s, int maxPasses = 100000) {
  int passes = 0;
  while (true) {
    std::size_t zeroDone = 0, oneDone = 0;
    while (zeroDone != s.fixedZero.size() || oneDone != s.fixedOne.size()) {
      for (std::size_t p = zeroDone; p < s.fixedZero.size(); ++p)
        if (!substitute(s, s.fixedZero[p], false)) return Reduction::kContradiction;
      for (std::size_t p = oneDone; p < s.fixedOne.size(); ++p)
        if (!substitute(s, s.fixedOne[p], true)) return Reduction::kContradiction;
      zeroDone = s.fixedZero.size();
      oneDone = s.fixedOne.size();
      for (std::size_t k = s.constraints.size(); k-- > 0;) {
        if (s.constraints[k].size() != 1) continue;
        bool appended = false;
        if (!settleUnit(s, s.constraints[k][0], s.parities[k], appended)) return Reduction::kContradiction;
        eraseAt(s, k);
      }
    }
    for (std::size_t i = s.constraints.size(); i-- > 1;) {
      for (std::size_t j = i; j-- > 0;) {
        if (s.constraints[j] != s.constraints[i]) continue;
        if (s.parities[j] != s.parities[i]) return Reduction::kContradiction;
        eraseAt(s, i);
        break;
      }
    }
    bool newUnits = false;
    while (s.constraints.size() >= 2) {
      if (++passes > maxPasses) return Reduction::kTooManyPasses;
      bool eliminated = false;
      for (std::size_t i = s.constraints.size(); i-- > 1;) {
        for (std::size_t j = i; j-- > 0;) {
          if (s.constraints[i].back() != s.constraints[j].back()) continue;
          eliminated = true;
          std::vector<int>& target = s.constraints[j];
          target.pop_back();
          target.insert(target.end(), s.constraints[i].begin(), s.constraints[i].end() - 1);
          if (s.parities[i] == 1) s.parities[j] = 1 - s.parities[j];
          std::sort(target.begin(), target.end());
        }
      }
      if (!eliminated) break;
      for (std::size_t k = s.constraints.size(); k-- > 0;) {
        std::vector<int>& vars = s.constraints[k];
        std::vector<int> kept;  // pairs of equal variables cancel
        for (int v : vars) {
          if (!kept.empty() && kept.back() == v) {
            kept.pop_back();
          } else {
            kept.push_back(v);
          }
        }
        vars = kept;
        if (vars.empty()) {
          if (s.parities[k] != 0) return Reduction::kContradiction;
          eraseAt(s, k);
        } else if (vars.size() == 1) {
          bool appended = false;
          if (!settleUnit(s, vars[0], s.parities[k], appended)) return Reduction::kContradiction;
          newUnits = newUnits || appended;
          eraseAt(s, k);
        }
      }
    }
    if (!newUnits) return Reduction::kReduced;
  }
}

// Bit v of `assignment` is the value of variable v.
template <typename S>
bool satisfies(const S& s, unsigned assignment) {
  auto value = [assignment](int v) { return static_cast<int>((assignment >> v) & 1u); };
  for (int v : s.fixedZero)
    if (value(v) != 0) return false;
  for (int v : s.fixedOne)
    if (value(v) != 1) return false;
  for (std::size_t k = 0; k < s.constraints.size(); ++k) {
    int sum = s.parities[k];
    for (int v : s.constraints[k]) sum ^= value(v);
    if (sum != 0) return false;
  }
  return true;
}

template <typename S>
std::vector<int> determinedVariables(const S& s) {
  std::vector<int> determined = s.fixedZero;
  determined.insert(determined.end(), s.fixedOne.begin(), s.fixedOne.end());
  for (const std::vector<int>& vars : s.constraints) determined.push_back(vars.back());
  std::sort(determined.begin(), determined.end());
  return determined;
}

// Same verdict as the plain method and as every assignment; same fixed
// variables and pivots as the plain method; exactly the original solutions.
TEST(ConstraintReduction, AgreesWithThePlainMethodAndEveryAssignment) {
  std::mt19937 random(20261206);
  int outcomes[2] = {0, 0};
  for (int round = 0; round < 2000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int variables = 4 + static_cast<int>(random() % 9);
    EquationSystem original;
    for (int e = static_cast<int>(random() % 14); e > 0; --e) {
      std::set<int> vars;
      const std::size_t size = 2 + random() % 3;
      while (vars.size() < size) vars.insert(static_cast<int>(random() % variables));
      original.constraints.emplace_back(vars.begin(), vars.end());
      original.parities.push_back(static_cast<int>(random() % 2));
    }
    for (int v = 0; v < variables; ++v) {
      const unsigned draw = random() % 10;
      if (draw == 0) original.fixedZero.push_back(v);
      if (draw == 1) original.fixedOne.push_back(v);
    }
    Family family;
    ConstraintSolver solver(family, 0);
    solver.constraints = original.constraints;
    solver.parities = original.parities;
    solver.fixedZero = original.fixedZero;
    solver.fixedOne = original.fixedOne;
    const bool ok = solver.reduceConstraints();
    EquationSystem plain = original;
    const Reduction outcome = reduceLiterally(plain);
    ASSERT_NE(outcome, Reduction::kTooManyPasses);
    ASSERT_EQ(ok, outcome == Reduction::kReduced);
    bool anySolution = false;
    for (unsigned a = 0; a < (1u << variables); ++a) anySolution = anySolution || satisfies(original, a);
    ASSERT_EQ(ok, anySolution);
    ++outcomes[ok];
    if (!ok) continue;
    ASSERT_EQ(determinedVariables(solver), determinedVariables(plain));
    for (unsigned a = 0; a < (1u << variables); ++a) ASSERT_EQ(satisfies(solver, a), satisfies(original, a));
  }
  EXPECT_GT(outcomes[0], 100);
  EXPECT_GT(outcomes[1], 100);
}

constexpr std::uint64_t kTestLimit = 256;

struct Solved {
  SolveResult result;
  std::string dat, res, out;
  int memberCount = 0;
};

Solved solveText(const std::string& text, std::uint64_t maxSolutions = kTestLimit) {
  auto family = test_support::preparedFamily(text);
  Solved solved;
  solved.memberCount = family->memberCount;
  TextSink dat, res, out;
  ResultFilesSink sink({dat, res, out});
  Settings settings;
  settings.maxSolutions = maxSolutions;
  solved.result = solveByConstraintFinding(*family, settings, "test input", sink);
  solved.dat = dat.text();
  solved.res = res.text();
  solved.out = out.text();
  return solved;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// 2^free solutions, written up to the limit, each with 0
// recombinants and every child's paternal allele one of its father's and
// maternal allele one of its mother's.
void expectSoundSolutions(const Solved& solved, const std::string& text) {
  ASSERT_NE(solved.result.outcome, FamilyOutcome::kNoSolution) << text;
  const std::uint64_t count = solved.result.solutionCount;
  ASSERT_EQ(count & (count - 1), 0u) << "not a power of two: " << count;
  const std::uint64_t written = std::min(count, kTestLimit);
  EXPECT_EQ(solved.result.outcome == FamilyOutcome::kCapped, count > kTestLimit);
  const std::vector<std::string> resLines = split(solved.res, '\n');
  ASSERT_EQ(resLines.size(), written) << text;
  for (const std::string& line : resLines) ASSERT_EQ(line.substr(line.find('\t'), 4), "\t 0\t") << text;
  const std::vector<std::string> outLines = split(solved.out, '\n');
  const auto members = static_cast<std::size_t>(solved.memberCount);
  ASSERT_EQ(outLines.size(), written * members);
  for (std::size_t first = 0; first < outLines.size(); first += members) {
    std::map<int, std::vector<std::string>> rows;  // id: the fields of its row
    for (std::size_t m = first; m < first + members; ++m) {
      std::vector<std::string> fields = split(outLines[m], '\t');
      rows[std::stoi(fields[1])] = fields;
    }
    for (const auto& [id, row] : rows) {
      if (row[2] == "0") continue;
      const std::vector<std::string>* parents[2] = {&rows.at(std::stoi(row[2])), &rows.at(std::stoi(row[3]))};
      for (std::size_t f = 7; f + 2 < row.size(); ++f) {
        const std::vector<std::string> child = split(row[f], '/');
        for (int side = 0; side < 2; ++side) {
          const std::vector<std::string> parent = split((*parents[side])[f], '/');
          EXPECT_TRUE(child[side] == parent[0] || child[side] == parent[1])
              << "member " << id << " field " << f << "\n"
              << text;
        }
      }
    }
  }
}

// The solver's results, and those with the equations reduced the plain way:
// the same verdict and byte for byte the same solutions in the same order.
void expectSameResultsAsPlainReduction(const std::string& text) {
  auto family = test_support::preparedFamily(text);
  ConstraintSolver plain(*family, kTestLimit);
  SolveResult plainResult{FamilyOutcome::kNoSolution, 0};
  TextSink dat, res, out;
  ResultFilesSink sink({dat, res, out});
  if (plain.buildConstraints()) {
    const Reduction outcome = reduceLiterally(plain);
    ASSERT_NE(outcome, Reduction::kTooManyPasses) << text;
    if (outcome == Reduction::kReduced) {
      plainResult = plain.enumerateSolutions(sink);
    }
  }
  const Solved solved = solveText(text);
  EXPECT_EQ(solved.result.outcome, plainResult.outcome) << text;
  EXPECT_EQ(solved.result.solutionCount, plainResult.solutionCount) << text;
  EXPECT_EQ(solved.dat, dat.text()) << text;
  EXPECT_EQ(solved.out, out.text()) << text;
}

// Even rounds: two codes, no recombination, so a solution exists and every
// written one must be sound. Odd rounds: more codes, recombination and
// missing genotypes (often no solution).
TEST(OptionC, GeneratedFamiliesMatchThePlainReductionAndAreSound) {
  std::mt19937 random(7);
  for (int round = 0; round < 160; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool sound = round % 2 == 0;
    test_support::GeneratedFamilyOptions options;
    options.marriedChildren = 1000;
    options.generations = round % 4 < 2 ? 2 : 3;
    options.children = 1 + static_cast<int>(random() % (options.generations == 3 ? 3 : 5));
    options.halfSiblings = round % 5 == 1;
    options.loci = 2 + static_cast<int>(random() % 12);
    options.childrenFirst = round % 3 == 1;
    options.shuffled = round % 3 == 2;
    if (!sound) {
      options.alleles = 2 + static_cast<int>(random() % 3);
      options.recombinationRate = 0.1;
      options.missingGenotypeRate = round % 4 == 1 ? 0.05 : 0.0;
    }
    const std::string text = test_support::generateFamilyText(options, random);
    if (sound) expectSoundSolutions(solveText(text), text);
    expectSameResultsAsPlainReduction(text);
    if (HasFatalFailure()) return;
  }
}

// Kept in the order the rule lists them, this family's equations return to
// an earlier state forever; kept ascending, the elimination ends.
TEST(OptionC, FamilyThatCyclesWithUnsortedEquationsEnds) {
  const std::string text =
      "1 2 0 0 2 0 0 1 2 2 2 1 2 2 2 1 2\n"
      "1 4 1 2 1 0 0 1 1 1 2 1 2 2 1 2 1\n"
      "1 3 1 2 1 0 0 1 1 2 1 1 2 1 2 2 1\n"
      "1 6 1 2 1 0 0 1 1 2 1 1 2 2 1 2 1\n"
      "1 5 1 2 1 0 0 2 1 1 2 2 2 1 2 2 2\n"
      "1 1 0 0 1 0 0 1 2 1 1 2 1 1 2 2 1\n";
  expectSameResultsAsPlainReduction(text);
  expectSoundSolutions(solveText(text), text);
}

// For codes 1 and 2, over every genotype and phase of a two-locus trio, the
// equations hold exactly when each parent heterozygous at both loci passes
// one haplotype whole, among assignments where the child's alleles come from
// the right parents; a contradiction only when there is no such assignment.
TEST(TwoLocusConstraints, MatchesTransmissionWithoutRecombinationForCodesOneAndTwo) {
  const std::pair<int, int> genotypes[] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}};
  int checked = 0;
  for (int combination = 0; combination < 4096; ++combination) {
    // Variables: father p, q (0, 1), mother p, q (2, 3), child p, q (4, 5).
    LocusGenotype g[6];
    for (int v = 0; v < 6; ++v) {
      g[v].allele1 = genotypes[(combination >> (2 * v)) & 3].first;
      g[v].allele2 = genotypes[(combination >> (2 * v)) & 3].second;
    }
    std::vector<int> first, second;
    int firstParity = -1, secondParity = -1;
    const int count = twoLocusConstraints(g[0], g[1], g[2], g[3], g[4], g[5], 0, 1, 2, 2, 0, 1, first, second,
                                          firstParity, secondParity);
    bool anyConsistent = false;
    for (int bits = 0; bits < 64; ++bits) {
      auto bit = [bits](int v) { return (bits >> v) & 1; };
      std::pair<int, int> a[6];  // phased: bit 0 puts the smaller code first
      for (int v = 0; v < 6; ++v) {
        const int low = std::min(g[v].allele1, g[v].allele2), high = std::max(g[v].allele1, g[v].allele2);
        a[v] = bit(v) == 0 ? std::make_pair(low, high) : std::make_pair(high, low);
      }
      auto has = [](std::pair<int, int> p, int code) { return p.first == code || p.second == code; };
      bool consistent = true;
      for (int l = 0; l < 2; ++l)
        consistent = consistent && has(a[l], a[4 + l].first) && has(a[2 + l], a[4 + l].second);
      if (!consistent) continue;
      anyConsistent = true;
      auto passesWhole = [&](int base, bool paternal) {
        if (a[base].first == a[base].second || a[base + 1].first == a[base + 1].second) return true;
        int source[2];
        for (int l = 0; l < 2; ++l)
          source[l] = a[base + l].first == (paternal ? a[4 + l].first : a[4 + l].second) ? 0 : 1;
        return source[0] == source[1];
      };
      auto holds = [&](const std::vector<int>& vars, int parity) {
        for (int v : vars) parity ^= bit(v);
        return parity == 0;
      };
      ASSERT_NE(count, kTwoLocusContradiction);
      const bool satisfied =
          (count < 1 || holds(first, firstParity)) && (count < 2 || holds(second, secondParity));
      EXPECT_EQ(satisfied, passesWhole(0, true) && passesWhole(2, false)) << combination << " " << bits;
      ++checked;
    }
    if (count == kTwoLocusContradiction) {
      EXPECT_FALSE(anyConsistent);
    }
  }
  EXPECT_GT(checked, 1000);
}

// An untyped trio of n loci leaves each founder n - 1 free phases.
std::string untypedTrio(int loci) {
  std::string untyped;
  for (int l = 0; l < loci; ++l) untyped += " 0 0";
  return "3 1 0 0 1 0 0" + untyped + "\n3 2 0 0 2 0 0" + untyped + "\n3 3 1 2 2 0 0" + untyped + "\n";
}

TEST(OptionC, SolutionCountSaturatesAndOutputIsBounded) {
  EXPECT_EQ(solveText(untypedTrio(17), 1).result.solutionCount, std::uint64_t{1} << 32);
  EXPECT_EQ(solveText(untypedTrio(40), 1).result.solutionCount, UINT64_MAX);  // 2^78
  EXPECT_EQ(solveText(untypedTrio(3), 0).result.solutionCount, 16u);

  // The k-th configuration (k >= 2) is written only while k x members x
  // loci allele cells stay within the budget.
  EXPECT_EQ(configurationsWithinBudget(std::uint64_t{1} << 26, kOutputCellBudget), 4u);
  EXPECT_EQ(configurationsWithinBudget((std::uint64_t{1} << 26) + 1, kOutputCellBudget), 3u);
  EXPECT_EQ(configurationsWithinBudget((std::uint64_t{1} << 28) + 1, kOutputCellBudget), 1u);
  EXPECT_EQ(configurationsWithinBudget(0, kOutputCellBudget), UINT64_MAX);
  auto family = test_support::preparedFamily(
      "3 1 0 0 1 0 0 1 2 1 2 1 2 1 2\n3 2 0 0 2 0 0 1 2 1 2 1 2 1 2\n3 3 1 2 2 0 0 1 2 1 2 1 2 1 2\n");
  TextSink dat, res, out;  // 2^4 configurations of 12 cells: 40 cells let three through
  ResultFilesSink sink({dat, res, out});
  testing::internal::CaptureStderr();
  EXPECT_EQ(ConstraintSolver(*family, 100, "trio.txt", 40).solve(sink).solutionCount, 16u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("only the first 3 were written"), std::string::npos);
  EXPECT_EQ(std::count(res.text().begin(), res.text().end(), '\n'), 3);
}

}  // namespace

// The phase variables of a trio over 400,000 heterozygous loci cannot be
// built under a tight address-space limit: the failure is reported for the
// family and the entry returns, so the run goes on with the next family.
TEST(ConstraintLimits, AllocationFailureIsReportedForTheFamily) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves its address space up front, so a limit on it cannot be set";
#else
  std::string markers;
  for (int l = 0; l < 400000; ++l) markers += " 1 2";
  auto family = test_support::preparedFamily("5 1 0 0 1 0 0" + markers + "\n5 2 0 0 2 0 0" + markers +
                                             "\n5 3 1 2 1 0 0" + markers + "\n");
  auto solveUnderLimit = [&] {
    std::size_t pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%zu", &pages) != 1) std::exit(2);
    std::fclose(statm);
    const rlim_t limit = pages * 4096 + (rlim_t{24} << 20);
    const rlimit addressSpace{limit, limit};
    if (setrlimit(RLIMIT_AS, &addressSpace) != 0) std::exit(2);
    TextSink dat, res, out;
    ResultFilesSink sink({dat, res, out});
    const SolveResult result = solveByConstraintFinding(*family, Settings(), "fam.txt", sink);
    std::exit(result.outcome == FamilyOutcome::kRefused ? 0 : 1);
  };
  EXPECT_EXIT(solveUnderLimit(), testing::ExitedWithCode(0),
              "Haplotor: fam.txt: family 5: out of memory while");
#endif
}
