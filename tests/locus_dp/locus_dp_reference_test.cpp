// The node programme against a slow reference that keeps every optimal
// alternative of every state, scores every trio with trioRecombinations and
// traces back through all of them: costs, the first alternative of every
// state, and the phases written must be the same.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "family_generator.h"
#include "locus_dp/locus_dp_solver.h"
#include "locus_dp_test_helpers.h"
#include "pedigree/forced_phases.h"
#include "test_support.h"

namespace {

using locus_dp_test::genotypesOf;
using Alternatives = std::vector<std::vector<int>>;

struct ReferenceState {
  int cost = 0;
  Alternatives alternatives;
};

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

// Least v over the states of `node` and the states reaching it, as a tie
// list starting from the sentinel.
template <typename Score>
int tieList(const LocusDpNode& node, const std::map<const LocusDpNode*, std::vector<ReferenceState>>& done,
            Score score, std::vector<int>& ties) {
  int best = kCostSentinel;
  ties.clear();
  for (int t = 0; t < node.stateCount(); ++t) {
    int v = done.at(&node)[t].cost + score(t);
    if (v < best) {
      best = v;
      ties.assign(1, t);
    } else if (v == best) {
      ties.push_back(t);
    }
  }
  return best;
}

std::vector<ReferenceState> referenceNode(
    const LocusDpNode& node, const Family& family,
    const std::map<const LocusDpNode*, std::vector<ReferenceState>>& done) {
  int n = node.stateCount();
  std::vector<ReferenceState> states(n);
  if (node.childCount == 0) return states;
  if (!node.parentSide.empty()) {
    const LocusDpNode& father = *node.parentSide[0];
    const LocusDpNode& mother = *node.parentSide[1];
    int nF = father.stateCount(), nM = mother.stateCount();
    std::vector<std::vector<int>> table(nF, std::vector<int>(nM));
    std::vector<std::vector<Alternatives>> pairAlternatives(nF, std::vector<Alternatives>(nM));
    for (int f = 0; f < nF; ++f) {
      for (int m = 0; m < nM; ++m) {
        table[f][m] = done.at(&father)[f].cost + done.at(&mother)[m].cost;
        std::vector<std::vector<int>> lists;
        for (std::size_t j = 2; j < node.parentSide.size(); ++j) {
          const LocusDpNode& sibling = *node.parentSide[j];
          std::vector<int> ties;
          table[f][m] += tieList(
              sibling, done,
              [&](int t) {
                return trioRecombinations(family, father.memberId, f, mother.memberId, m, sibling.memberId,
                                          t);
              },
              ties);
          lists.push_back(ties);
        }
        pairAlternatives[f][m] = odometer({f, m}, lists);
      }
    }
    for (int x = 0; x < n; ++x) {
      int best = kCostSentinel;
      Alternatives candidates;
      for (int f = 0; f < nF; ++f) {
        for (int m = 0; m < nM; ++m) {
          int v = trioRecombinations(family, father.memberId, f, mother.memberId, m, node.memberId, x) +
                  table[f][m];
          if (v < best) {
            best = v;
            candidates = pairAlternatives[f][m];
          } else if (v == best) {
            candidates.insert(candidates.end(), pairAlternatives[f][m].begin(), pairAlternatives[f][m].end());
          }
        }
      }
      states[x].cost = best;
      states[x].alternatives = candidates;
    }
  }
  if (!node.offspringSide.empty()) {
    const LocusDpNode& mate = *node.offspringSide[0];
    for (int x = 0; x < n; ++x) {
      int best = kCostSentinel;
      Alternatives candidates;
      for (int p = 0; p < mate.stateCount(); ++p) {
        int total = done.at(&mate)[p].cost;
        std::vector<std::vector<int>> lists;
        for (std::size_t j = 1; j < node.offspringSide.size(); ++j) {
          const LocusDpNode& child = *node.offspringSide[j];
          std::vector<int> ties;
          total += tieList(
              child, done,
              [&](int t) {
                return trioRecombinations(family, node.memberId, x, mate.memberId, p, child.memberId, t);
              },
              ties);
          lists.push_back(ties);
        }
        Alternatives ofMate = odometer({p}, lists);
        if (total < best) {
          best = total;
          candidates = ofMate;
        } else if (total == best) {
          candidates.insert(candidates.end(), ofMate.begin(), ofMate.end());
        }
      }
      states[x].cost += best;
      if (states[x].alternatives.empty()) {
        states[x].alternatives = candidates;
      } else {
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
  }
  return states;
}

void writeReferencePhases(Family& family, int memberId, int state) {
  for (LocusGenotype& g : family.member(memberId).genotypes) {
    if (g.resolved) continue;
    int smaller = std::min(g.allele1, g.allele2), larger = std::max(g.allele1, g.allele2);
    g.allele1 = (state & 1) ? larger : smaller;
    g.allele2 = (state & 1) ? smaller : larger;
    g.resolved = true;
    state >>= 1;
  }
}

void referenceTrace(Family& family, const LocusDpNode& node, int state,
                    const std::map<const LocusDpNode*, std::vector<ReferenceState>>& done) {
  writeReferencePhases(family, node.memberId, state);
  for (const std::vector<int>& alternative : done.at(&node)[state].alternatives) {
    writeReferencePhases(family, node.memberId, state);
    for (std::size_t i = 0; i < node.parentSide.size(); ++i) {
      referenceTrace(family, *node.parentSide[i], alternative[i], done);
    }
    for (std::size_t j = 0; j < node.offspringSide.size(); ++j) {
      referenceTrace(family, *node.offspringSide[j], alternative[node.parentSide.size() + j], done);
    }
  }
}

constexpr LocusDpInnerLoop kInnerLoops[] = {LocusDpInnerLoop::automatic, LocusDpInnerLoop::overChildStates,
                                            LocusDpInnerLoop::overParentStates};

void compareWithReference(const std::string& text, LocusDpInnerLoop innerLoop) {
  SCOPED_TRACE("inner loop " + std::to_string(static_cast<int>(innerLoop)));
  auto solved = test_support::preparedFamily(text);
  auto expected = test_support::preparedFamily(text);
  resolveForcedPhases(*solved);
  resolveForcedPhases(*expected);
  int rootId = solved->members.begin()->first;

  LocusDpSolver solver(*solved, rootId);
  ASSERT_TRUE(solver.withinSizeLimits());
  solver.innerLoop = innerLoop;
  solver.evaluate();
  // The reference walks the same tree, built on its own copy of the family.
  LocusDpSolver tree(*expected, rootId);
  std::map<const LocusDpNode*, std::vector<ReferenceState>> done;
  for (int i = tree.nodeCount - 1; i >= 0; --i)
    done[tree.nodes[i]] = referenceNode(*tree.nodes[i], *expected, done);
  for (int i = 0; i < solver.nodeCount; ++i) {
    const LocusDpNode& node = *solver.nodes[i];
    const std::vector<ReferenceState>& reference = done.at(tree.nodes[i]);
    for (int s = 0; s < node.stateCount(); ++s) {
      ASSERT_EQ(node.states[s].cost, reference[s].cost) << "node " << i << " state " << s << "\n" << text;
      ASSERT_EQ(node.states[s].hasAlternative, !reference[s].alternatives.empty()) << text;
      if (!node.states[s].hasAlternative) continue;
      std::vector<int> first(node.alternativeOf(s), node.alternativeOf(s) + node.childCount);
      ASSERT_EQ(first, reference[s].alternatives.front()) << "node " << i << " state " << s << "\n" << text;
    }
  }

  int best = solver.selectAndTraceBack();
  int referenceBest = kCostSentinel;
  for (const ReferenceState& state : done.at(tree.root)) referenceBest = std::min(referenceBest, state.cost);
  ASSERT_EQ(best, referenceBest);
  for (int s = 0; s < tree.root->stateCount(); ++s) {
    if (done.at(tree.root)[s].cost == referenceBest) referenceTrace(*expected, *tree.root, s, done);
  }
  ASSERT_EQ(genotypesOf(*solved), genotypesOf(*expected)) << text;
}

// Both ways of running the innermost loops must give the reference's results.
void compareWithReference(const std::string& text) {
  for (LocusDpInnerLoop innerLoop : kInnerLoops) {
    compareWithReference(text, innerLoop);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(LocusDpReference, SameCostsFirstAlternativesAndPhasesOnGeneratedFamilies) {
  // Few alleles and missing alleles make ties common; half-siblings and a
  // third generation exercise several mates and both sides of a node.
  std::mt19937 rng(99);
  for (int round = 0; round < 150; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.generations = 2 + round % 2;
    options.children = 1 + round % 3;
    options.halfSiblings = round % 5 == 0;
    options.loci = 1 + round % 3;
    options.alleles = 2 + round % 2;
    options.recombinationRate = 0.2;
    options.missingRate = round % 4 == 0 ? 0.1 : 0.0;
    options.childrenFirst = round % 2 == 1;
    compareWithReference(test_support::generateFamilyText(options, rng));
    if (HasFailure()) return;
  }
}

TEST(LocusDpReference, SameResultsUnderShuffledIds) {
  // Shuffled ids put children first in id order, so the root often has a
  // parents' side (with siblings, and in three generations an offspring side
  // as well).
  std::mt19937 rng(31);
  for (int round = 0; round < 150; ++round) {
    auto shape = locus_dp_test::familyShape(1 + round % 3, round % 3 == 2 ? 2 : 0, rng);
    compareWithReference(locus_dp_test::generateFamily(rng, shape, 1 + round % 3, round % 2 == 0).text);
    if (HasFailure()) return;
  }
}

}  // namespace
