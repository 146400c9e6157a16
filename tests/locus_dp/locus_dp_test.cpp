// Option l against exhaustive search on small families and against a slow
// reference that keeps every optimal alternative of every state.
#include "locus_dp/locus_dp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "family_generator.h"
#include "locus_dp/locus_dp_solver.h"
#include "pedigree/forced_phases.h"
#include "pedigree/result_sinks.h"
#include "test_support.h"

namespace {

int openLoci(const Member& member) {
  return static_cast<int>(std::count_if(member.genotypes.begin(), member.genotypes.end(),
                                        [](const LocusGenotype& g) { return !g.resolved; }));
}

std::string genotypesOf(const Family& family) {
  std::string text;
  for (const auto& [id, member] : family.members) {
    text += std::to_string(id) + ":";
    for (const LocusGenotype& g : member.genotypes)
      text.append(" ")
          .append(std::to_string(g.allele1))
          .append(g.resolved ? "|" : " ")
          .append(std::to_string(g.allele2));
    text += "\n";
  }
  return text;
}

std::unique_ptr<Family> forcedFamily(const std::string& text) {
  auto family = test_support::preparedFamily(text);
  resolveForcedPhases(*family);
  return family;
}

// Few alleles and missing alleles make ties common; half-siblings, a third
// generation and shuffled ids (a child may be the root) give nodes with
// several mates and with both sides.
std::string randomFamilyText(std::mt19937& rng, int round) {
  test_support::GeneratedFamilyOptions options;
  options.generations = 2 + round % 2;
  options.children = 1 + round % 3;
  options.grandchildren = 1 + round % 2;
  options.halfSiblings = round % 5 == 0;
  options.loci = 1 + (round / 2) % 3;
  options.alleles = 2 + round % 2;
  options.recombinationRate = 0.2;
  options.missingRate = round % 4 == 0 ? 0.1 : 0.0;
  options.typingErrorRate = round % 3 == 0 ? 0.2 : 0.0;
  options.childrenFirst = round % 7 == 1;
  options.shuffledIds = round % 4 != 3;
  return test_support::generateFamilyText(options, rng);
}

constexpr LocusDpInnerLoop kInnerLoops[] = {LocusDpInnerLoop::automatic, LocusDpInnerLoop::overChildStates,
                                            LocusDpInnerLoop::overParentStates};

// Sum of the trio counts of every child, members in the given states.
int familyCost(const Family& family, const std::map<int, int>& state) {
  int cost = 0;
  for (const auto& [id, m] : family.members) {
    if (m.isFounder()) continue;
    cost += trioRecombinations(family, m.fatherId, state.at(m.fatherId), m.motherId, state.at(m.motherId), id,
                               state.at(id));
  }
  return cost;
}

// The least cost over every phase of every open locus, or -1 when there
// are too many open loci to search.
int exhaustiveLeastCost(const Family& family) {
  std::map<int, int> bits, state;
  int totalBits = 0;
  for (const auto& [id, member] : family.members) totalBits += bits[id] = openLoci(member);
  if (totalBits > 14) return -1;
  int least = kCostSentinel;
  for (long assignment = 0; assignment < (1L << totalBits); ++assignment) {
    long rest = assignment;
    for (const auto& [id, b] : bits) {
      state[id] = static_cast<int>(rest & ((1L << b) - 1));
      rest >>= b;
    }
    least = std::min(least, familyCost(family, state));
  }
  return least;
}

using Alternatives = std::vector<std::vector<int>>;
struct ReferenceState {
  int cost = 0;
  Alternatives alternatives;
};
using Done = std::map<const LocusDpNode*, std::vector<ReferenceState>>;

// Every combination of one entry per tie list, first list slowest.
Alternatives odometer(const std::vector<int>& head, const std::vector<std::vector<int>>& tieLists) {
  Alternatives result{head};
  for (const std::vector<int>& ties : tieLists) {
    Alternatives next;
    for (const std::vector<int>& prefix : result) {
      for (int t : ties) {
        next.push_back(prefix);
        next.back().push_back(t);
      }
    }
    result = std::move(next);
  }
  return result;
}

// The candidates of the least v so far, tied ones appended.
void keepBest(int v, const Alternatives& these, int& best, Alternatives& candidates) {
  if (v < best) candidates = these;
  if (v == best) candidates.insert(candidates.end(), these.begin(), these.end());
  best = std::min(best, v);
}

// Least of done cost + score(t) over the states of `node`, and the tie list.
template <typename Score>
int tieList(const LocusDpNode& node, const Done& done, Score score, std::vector<std::vector<int>>& lists) {
  int best = kCostSentinel;
  Alternatives ties;
  for (int t = 0; t < node.stateCount(); ++t) keepBest(done.at(&node)[t].cost + score(t), {{t}}, best, ties);
  lists.emplace_back();
  for (const std::vector<int>& t : ties) lists.back().push_back(t[0]);
  return best;
}

std::vector<ReferenceState> referenceNode(const LocusDpNode& node, const Family& family, const Done& done) {
  std::vector<ReferenceState> states(node.stateCount());
  if (node.childCount == 0) return states;
  auto trio = [&](int f, int fs, int m, int ms, int c, int cs) {
    return trioRecombinations(family, f, fs, m, ms, c, cs);
  };
  if (!node.parentSide.empty()) {
    const LocusDpNode& father = *node.parentSide[0];
    const LocusDpNode& mother = *node.parentSide[1];
    for (int x = 0; x < node.stateCount(); ++x) {
      int best = kCostSentinel;
      Alternatives candidates;
      for (int f = 0; f < father.stateCount(); ++f) {
        for (int m = 0; m < mother.stateCount(); ++m) {
          int v = done.at(&father)[f].cost + done.at(&mother)[m].cost +
                  trio(father.memberId, f, mother.memberId, m, node.memberId, x);
          std::vector<std::vector<int>> lists;
          for (std::size_t j = 2; j < node.parentSide.size(); ++j) {
            const LocusDpNode& sibling = *node.parentSide[j];
            v += tieList(
                sibling, done,
                [&](int t) { return trio(father.memberId, f, mother.memberId, m, sibling.memberId, t); },
                lists);
          }
          keepBest(v, odometer({f, m}, lists), best, candidates);
        }
      }
      states[x] = {best, candidates};
    }
  }
  if (!node.offspringSide.empty()) {
    const LocusDpNode& mate = *node.offspringSide[0];
    for (int x = 0; x < node.stateCount(); ++x) {
      int best = kCostSentinel;
      Alternatives candidates;
      for (int p = 0; p < mate.stateCount(); ++p) {
        int total = done.at(&mate)[p].cost;
        std::vector<std::vector<int>> lists;
        for (std::size_t j = 1; j < node.offspringSide.size(); ++j) {
          const LocusDpNode& child = *node.offspringSide[j];
          total += tieList(
              child, done, [&](int t) { return trio(node.memberId, x, mate.memberId, p, child.memberId, t); },
              lists);
        }
        keepBest(total, odometer({p}, lists), best, candidates);
      }
      states[x].cost += best;
      if (states[x].alternatives.empty()) {
        states[x].alternatives = candidates;
        continue;
      }
      Alternatives product;
      for (const std::vector<int>& a : states[x].alternatives) {
        for (const std::vector<int>& b : candidates) {
          product.push_back(a);
          product.back().insert(product.back().end(), b.begin(), b.end());
        }
      }
      states[x].alternatives = product;
    }
  }
  return states;
}

// Writes the phases of the state, then follows every alternative in turn;
// loci already resolved stay as first written.
void referenceTrace(Family& family, const LocusDpNode& node, int state, const Done& done) {
  int bits = state;
  for (LocusGenotype& g : family.member(node.memberId).genotypes) {
    if (g.resolved) continue;
    const int smaller = std::min(g.allele1, g.allele2), larger = std::max(g.allele1, g.allele2);
    g.allele1 = (bits & 1) ? larger : smaller;
    g.allele2 = (bits & 1) ? smaller : larger;
    g.resolved = true;
    bits >>= 1;
  }
  for (const std::vector<int>& alternative : done.at(&node)[state].alternatives) {
    for (std::size_t i = 0; i < alternative.size(); ++i) {
      const std::size_t parents = node.parentSide.size();
      referenceTrace(family, i < parents ? *node.parentSide[i] : *node.offspringSide[i - parents],
                     alternative[i], done);
    }
  }
}

// Same costs, the first alternative of every state, the best cost and the
// phases written, for every inner loop; with `searchAll`, the best cost is
// also the least over every phase of every open locus, and the phases
// written have it; `searched` counts the exhaustive searches made.
void compareWithReference(const std::string& text, bool searchAll, int& searched) {
  auto expected = forcedFamily(text);
  const int least = searchAll ? exhaustiveLeastCost(*expected) : -1;
  const int rootId = expected->members.begin()->first;
  LocusDpSolver tree(*expected, rootId);  // the reference walks the same tree
  Done done;
  for (int i = tree.nodeCount - 1; i >= 0; --i)
    done[tree.nodes[i]] = referenceNode(*tree.nodes[i], *expected, done);
  int referenceBest = kCostSentinel;
  for (const ReferenceState& state : done.at(tree.root)) referenceBest = std::min(referenceBest, state.cost);
  for (int s = 0; s < tree.root->stateCount(); ++s)
    if (done.at(tree.root)[s].cost == referenceBest) referenceTrace(*expected, *tree.root, s, done);
  if (least >= 0) {
    ++searched;
    EXPECT_EQ(referenceBest, least) << text;
    std::map<int, int> resolved;  // every locus resolved: the single state 0
    for (const auto& [id, member] : expected->members) resolved[id] = 0;
    EXPECT_EQ(familyCost(*expected, resolved), least) << text;
  }

  for (LocusDpInnerLoop innerLoop : kInnerLoops) {
    SCOPED_TRACE("inner loop " + std::to_string(static_cast<int>(innerLoop)) + "\n" + text);
    auto solved = forcedFamily(text);
    LocusDpSolver solver(*solved, rootId);
    ASSERT_TRUE(solver.withinSizeLimits());
    solver.innerLoop = innerLoop;
    solver.evaluate();
    for (int i = 0; i < solver.nodeCount; ++i) {
      const LocusDpNode& node = *solver.nodes[i];
      for (int s = 0; s < node.stateCount(); ++s) {
        const ReferenceState& reference = done.at(tree.nodes[i])[s];
        ASSERT_EQ(node.states[s].cost, reference.cost) << "node " << i << " state " << s;
        ASSERT_EQ(node.states[s].hasAlternative, !reference.alternatives.empty());
        if (!node.states[s].hasAlternative) continue;
        std::vector<int> first(node.alternativeOf(s), node.alternativeOf(s) + node.childCount);
        ASSERT_EQ(first, reference.alternatives.front()) << "node " << i << " state " << s;
      }
    }
    ASSERT_EQ(solver.selectAndTraceBack(), referenceBest);
    ASSERT_EQ(genotypesOf(*solved), genotypesOf(*expected));
  }
}

// Half-siblings (every fifth round) are left to the reference alone.
TEST(LocusDpOracle, AgreesWithTheReferenceAndExhaustiveSearch) {
  std::mt19937 rng(99);
  int searched = 0;
  for (int round = 0; round < 300; ++round) {
    compareWithReference(randomFamilyText(rng, round), round % 5 != 0, searched);
    if (HasFailure()) return;
  }
  // Child 1 of 2 and 3, who are children of 6 and 4 and of 5 and 4: visiting
  // 3 meets its mother 4 again.
  compareWithReference(
      "1 1 2 3 1 0 0 1 2 1 2\n1 2 6 4 1 0 0 1 2 2 1\n1 3 5 4 2 0 0 1 2 1 2\n"
      "1 4 0 0 2 0 0 2 1 1 2\n1 5 0 0 1 0 0 1 2 1 2\n1 6 0 0 1 0 0 2 1 1 2\n",
      true, searched);
  EXPECT_GT(searched, 200);
}

std::string memberLine(int family, int id, int father, int mother, int sex, int heterozygousLoci) {
  std::string line = std::to_string(family) + " " + std::to_string(id) + " " + std::to_string(father) + " " +
                     std::to_string(mother) + " " + std::to_string(sex) + " 0 0";
  for (int k = 0; k < heterozygousLoci; ++k) line += " 1 2";
  return line + "\n";
}

TEST(LocusDpSizeGuard, AcceptsUpToTheLimitsAndRefusesBeyond) {
  // Trio rooted at the father: 2^11 * 2^11 * 2^10 = 2^32 exactly; one more
  // child, even without open loci, goes past.
  const std::string atLimit =
      memberLine(1, 1, 0, 0, 1, 11) + memberLine(1, 2, 0, 0, 2, 11) + memberLine(1, 3, 1, 2, 1, 10);
  EXPECT_TRUE(LocusDpSolver(*test_support::preparedFamily(atLimit), 1).withinSizeLimits());
  auto family = test_support::preparedFamily(atLimit + memberLine(1, 4, 1, 2, 1, 11));
  for (LocusGenotype& g : family->member(4).genotypes) g.resolved = true;
  EXPECT_FALSE(LocusDpSolver(*family, 1).withinSizeLimits());

  // A lone member: 2^20 states are accepted, 2^21 refused and left untouched.
  TextSink dat, res, out;
  ResultFilesSink sink({dat, res, out});
  const Settings settings;
  family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 20));
  ASSERT_EQ(solveByLocusDp(*family, settings, "in", sink).outcome, FamilyOutcome::kSolved);
  EXPECT_EQ(openLoci(family->member(1)), 0);
  family = test_support::preparedFamily(memberLine(1, 1, 0, 0, 1, 21));
  EXPECT_EQ(solveByLocusDp(*family, settings, "in", sink).outcome, FamilyOutcome::kRefused);
  EXPECT_EQ(openLoci(family->member(1)), 21);

  // The size is named finite beyond the range of a double.
  family = test_support::preparedFamily(memberLine(2, 1, 0, 0, 1, 1100) + memberLine(2, 2, 0, 0, 2, 1100) +
                                        memberLine(2, 3, 1, 2, 1, 1100));
  testing::internal::CaptureStderr();
  EXPECT_EQ(solveByLocusDp(*family, settings, "big.txt", sink).outcome, FamilyOutcome::kRefused);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("big.txt: family 2: too large for the locus-based method (about 2.506e+993 trio"),
            std::string::npos)
      << messages;
}

}  // namespace
