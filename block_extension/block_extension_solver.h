// The block-extension solver for one family, and the small pieces its steps
// share. The solver spans the files of this folder, one step per file:
// mendel_check, missing_allele_fill, sibship_extension, block_extension,
// parent_phase_inference, parent_allele_check, and block_extension_pass for
// the order of steps.
#pragma once

#include <cstddef>
#include <queue>
#include <set>
#include <vector>

#include "pedigree/family.h"
#include "pedigree/forced_phases.h"

namespace block_extension {

// The largest number of loci over which a parent's phase is inferred in one
// programme.
inline constexpr int kMaxInferenceLoci = 100;
// A coin of the generator: heads (true) when its next integer is at least this.
inline constexpr int kCoinThreshold = 16383;

// Uniform draw in [0, 1]: the generator's next integer over its largest value.
double uniformDraw();
// True for heads: the generator's next integer is at least kCoinThreshold.
bool coin();

inline bool isAscending(const LocusGenotype& g) { return g.allele1 < g.allele2; }

// True when a child with alleles (ca, cb) can have one allele from each of two
// parents (p1a, p1b) and (p2a, p2b). A missing allele (below 1) in a parent
// lets that parent give any allele; a missing child allele asks nothing. The
// test does not care which parent is the father.
bool isTrioConsistent(int p1a, int p1b, int p2a, int p2b, int ca, int cb);

// Orders the locus so that its allele on `side` is `allele`: swaps the two
// alleles when that side does not already hold it, and marks the locus
// resolved either way.
void orderSideTo(LocusGenotype& g, int side, int allele);

// Recomputes the member's sources at locus k from its parents where the
// parent's locus is resolved and informative (not a typed homozygote).
void refreshSourcesFromParents(Family& family, Member& member, std::size_t k);

// The walk of the pedigree from the bottom up that the fill-in and the
// sibship passes share: the next member, largest id first, whose children
// with children of their own are all handled (and, for a non-founder, those
// of its father's other children too). 0 when every member is handled.
int nextBottomUpMember(const Family& family, const std::set<int>& handled);

// Makes unresolved, with both sources unknown, every resolved locus of a
// non-founder whose paternal allele its father's locus does not hold or whose
// maternal allele its mother's does not (a parent's missing allele holds any).
void unresolveLociParentsCannotGive(Family& family);

// The run of loci [start, start + length) over which the seed member is
// phased; its phase is carried from there to the seed's relatives.
struct SeedBlock {
  int memberId = 0;
  int start = 0;
  int length = 0;
};

}  // namespace block_extension

class BlockExtensionSolver {
 public:
  using SeedBlock = block_extension::SeedBlock;

  BlockExtensionSolver(Family& family, const AlleleStats& stats);

  // The whole method; false on a Mendel error, the family then left as read.
  // With `recomputeEverything` every step of the block extension is followed
  // by the source inference of the whole family and a fresh scan of every
  // member's runs: the plain definition that the kept summaries must match.
  bool solve(bool recomputeEverything = false);

  // The steps of solve() that the folder's tests drive one at a time.
  bool checkMendelConsistency();
  // The fill-in from relatives, then the random draws, of missing alleles.
  void fillMissingAlleles();
  // The vote pass over the sibship of the member's mother.
  void extendSibshipByVotes(int memberId);
  // Sources between agreeing ones over the sibship of the member's father.
  void fillSibshipSources(int memberId);
  // The parent is phased over the block; the child takes its haplotypes.
  void extendToChild(const SeedBlock& block, int parentId, int childId);
  // Both parents of the child are phased over the block.
  void extendToChildOfPair(const SeedBlock& block, int childId);
  // False when the block is too long to infer the parent over.
  bool inferParentPhase(const SeedBlock& block, int childId, int parentId);

 private:
  class BlockExtender;

  void drawMissingAlleles();
  void queueRecombinedForcedMembers(const std::vector<ResolvedCount>& counts);
  void extendNuclearFamilies();
  void extendBlocks(bool recomputeEverything);
  // Appends the member to recombinedQueue_ when its sources show a
  // recombination, to settledQueue_ otherwise.
  void queueMember(int memberId);

  Family& family_;
  const AlleleStats& stats_;
  // The current seed and its block.
  SeedBlock seed_;
  // Members waiting to become seeds of the current block; those whose sources
  // show a recombination wait until no other is left.
  std::queue<int> settledQueue_;
  std::queue<int> recombinedQueue_;
  // Members the current block has reached, or that were complete when it was
  // chosen: none of them is extended to again.
  std::set<int> reachedIds_;
};
