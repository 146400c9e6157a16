// Block extension through the pedigree: a block is a run of loci over which
// one member, the seed, is phased. The block's phase is carried from the seed
// to its children (each inherits one of the seed's haplotypes, switching only
// where a determined source says so) and to its parents (inferred from their
// children); every member reached becomes a seed in turn, until none is left
// to reach. Then the next block is chosen, until every locus some phased run
// holds has been inside a block.
#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

#include "block_extension/block_extension_solver.h"
#include "pedigree/allele_sources.h"

using block_extension::SeedBlock;

namespace {

// A member's runs of consecutive resolved loci (start, length), in ascending
// start, and what the choice of the next seed needs to know of the member.
struct ResolvedRuns {
  std::vector<std::pair<int, int>> runs;
  bool complete = true;
  bool recombined = false;
};

ResolvedRuns resolvedRunsOf(const Member& m) {
  ResolvedRuns result;
  result.recombined = m.hasRecombination();
  const int loci = static_cast<int>(m.genotypes.size());
  int runStart = 0;
  int runLength = 0;
  for (int k = 0; k <= loci; ++k) {
    if (k < loci && m.genotypes[static_cast<std::size_t>(k)].resolved) {
      if (runLength == 0) runStart = k;
      ++runLength;
      continue;
    }
    if (k < loci) result.complete = false;
    if (runLength > 0) result.runs.emplace_back(runStart, runLength);
    runLength = 0;
  }
  return result;
}

// The next seed and block: the longest run of resolved loci that still holds
// a locus no block has covered (`uncovered(first, end)` tells for loci
// [first, end)), from a member without a recombination if one offers 2 loci
// or more. `runs` follows the members in ascending id. The complete members
// are passed to `complete`, in the same order. No seed (memberId 0) when
// there is no block.
template <typename Uncovered, typename OnComplete>
SeedBlock chooseNextSeed(const std::vector<std::pair<int, const ResolvedRuns*>>& runs, std::size_t loci,
                         Uncovered uncovered, OnComplete complete) {
  SeedBlock best;
  SeedBlock recombinedBest;
  std::size_t completeCount = 0;
  for (const auto& [id, member] : runs) {
    for (const auto& [start, length] : member->runs) {
      // Ties of length go to the later run.
      if (length < best.length) continue;
      const auto first = static_cast<std::size_t>(start);
      const auto end = std::min(first + static_cast<std::size_t>(length), loci);
      if (first >= end || !uncovered(first, end)) continue;
      (member->recombined ? recombinedBest : best) = {id, start, length};
    }
    if (member->complete) {
      ++completeCount;
      complete(id, member->recombined);
    }
  }
  if (completeCount == runs.size()) return {};
  if (best.length >= 2) return best;
  if (recombinedBest.length < 2) return {};
  return recombinedBest;
}

bool showsRecombination(const std::array<std::array<int, 2>, 2>& counts) {
  return (counts[0][0] > 0 && counts[0][1] > 0) || (counts[1][0] > 0 && counts[1][1] > 0);
}

}  // namespace

// One run of extendBlocks. After every step the sources of the family are
// brought up to date as Family::inferAlleleSources would. Once that has run
// over the whole family, a step changes one member, and only at the loci of
// the current block, so only that member and its children need recomputing,
// and only over the block (a member's inferred source at a locus depends only
// on its own locus and its parents' loci there). For the same reason each
// member's runs of resolved loci and source counts, which choose the next
// seed and tell whether the member shows a recombination, are kept from then
// on and updated over the block only.
class BlockExtensionSolver::BlockExtender {
 public:
  BlockExtender(BlockExtensionSolver& solver, bool recomputeEverything)
      : solver_(solver),
        family_(solver.family_),
        recomputeEverything_(recomputeEverything),
        nextUncovered_(static_cast<std::size_t>(std::max(family_.locusCount, 0)) + 1) {
    for (const auto& [id, member] : family_.members) {
      position_[id] = ids_.size();
      ids_.push_back(id);
    }
    summaries_.resize(ids_.size());
    for (std::size_t k = 0; k < nextUncovered_.size(); ++k) nextUncovered_[k] = k;
  }

  // Chooses the next seed and block from the kept summaries; false when
  // there is none. The complete members are reached and queued anew.
  bool findNextSeed() {
    std::vector<std::pair<int, const ResolvedRuns*>> runs;
    runs.reserve(ids_.size());
    for (std::size_t i = 0; i < ids_.size(); ++i) {
      if (summaries_[i].stale) refreshSummary(i);
      runs.emplace_back(ids_[i], &summaries_[i].runs);
    }
    solver_.reachedIds_.clear();
    solver_.settledQueue_ = {};
    const auto uncovered = [this](std::size_t first, std::size_t end) {
      return firstUncoveredFrom(first) < end;
    };
    solver_.seed_ =
        chooseNextSeed(runs, nextUncovered_.size() - 1, uncovered, [this](int id, bool recombined) {
          solver_.reachedIds_.insert(id);
          (recombined ? solver_.recombinedQueue_ : solver_.settledQueue_).push(id);
        });
    return solver_.seed_.memberId != 0;
  }

  // Carries the current block from the seed to every member the queues
  // reach, then marks the block's loci covered.
  void extendFromSeed() {
    BlockExtensionSolver& s = solver_;
    const SeedBlock block = s.seed_;
    int seedId = block.memberId;
    while (true) {
      auto found = family_.members.find(seedId);
      if (found == family_.members.end()) break;  // no seed: nothing to extend from
      s.reachedIds_.insert(seedId);
      const Member& seed = found->second;
      if (!seed.childIds.empty()) {
        const int mateId = seed.mateId;
        const bool mateReached = mateId != 0 && s.reachedIds_.count(mateId) != 0;
        for (int childId : seed.childIds) {
          if (s.reachedIds_.count(childId) != 0) continue;
          if (!mateReached && showsRecombination(childId)) {
            s.recombinedQueue_.push(childId);
            continue;
          }
          beginChange(childId);
          if (mateReached) {
            s.extendToChildOfPair(block, childId);
          } else {
            s.extendToChild(block, seedId, childId);
          }
          reach(childId);
          updateSourcesAfterChangeOf(childId);
        }
      }
      for (int parentId : {seed.fatherId, seed.motherId}) {
        if (parentId == 0 || s.reachedIds_.count(parentId) != 0) continue;
        beginChange(parentId);
        if (s.inferParentPhase(block, seedId, parentId)) reach(parentId);
        updateSourcesAfterChangeOf(parentId);
      }
      std::queue<int>& next = !s.settledQueue_.empty() ? s.settledQueue_ : s.recombinedQueue_;
      if (next.empty()) break;
      seedId = next.front();
      next.pop();
    }
    // Every member reached from the block shares it, so it is marked once;
    // loci covered before keep their pointers.
    const std::size_t loci = nextUncovered_.size() - 1;
    const auto first = std::min(static_cast<std::size_t>(std::max(block.start, 0)), loci);
    const auto end =
        std::clamp(static_cast<std::size_t>(std::max(block.start + block.length, 0)), first, loci);
    for (std::size_t k = firstUncoveredFrom(first); k < end; k = firstUncoveredFrom(k + 1)) {
      nextUncovered_[k] = k + 1;
    }
  }

 private:
  // What the choice of the next seed needs of one member, and whether it must
  // be computed again from all loci.
  struct MemberSummary {
    ResolvedRuns runs;
    std::array<std::array<int, 2>, 2> sourceCounts{};  // [side][source value]
    bool stale = true;
  };

  std::size_t blockStart() const { return static_cast<std::size_t>(std::max(solver_.seed_.start, 0)); }
  std::size_t blockEnd() const {
    return blockStart() + static_cast<std::size_t>(std::max(solver_.seed_.length, 0));
  }

  // The first locus at or after k that no block has covered (the locus count
  // when there is none). Covered loci point past themselves; the walk
  // shortens the pointers it follows.
  std::size_t firstUncoveredFrom(std::size_t k) {
    std::size_t root = k;
    while (nextUncovered_[root] != root) root = nextUncovered_[root];
    while (nextUncovered_[k] != root) {
      const std::size_t next = nextUncovered_[k];
      nextUncovered_[k] = root;
      k = next;
    }
    return root;
  }

  void refreshSummary(std::size_t i) {
    MemberSummary& summary = summaries_[i];
    const Member& m = family_.member(ids_[i]);
    summary.runs = resolvedRunsOf(m);
    summary.sourceCounts = {};
    addSourceCounts(m, 0, m.genotypes.size(), summary.sourceCounts, 1);
    summary.stale = false;
  }

  MemberSummary* summaryOf(int memberId) {
    auto found = position_.find(memberId);
    return found == position_.end() || summaries_[found->second].stale ? nullptr : &summaries_[found->second];
  }

  // Member::hasRecombination of a member no step is changing.
  bool showsRecombination(int memberId) {
    const MemberSummary* summary = summaryOf(memberId);
    return summary != nullptr ? summary->runs.recombined : family_.member(memberId).hasRecombination();
  }

  using SourceCounts = std::array<std::array<int, 2>, 2>;

  static void addSourceCounts(const Member& m, std::size_t first, std::size_t last, SourceCounts& counts,
                              int sign) {
    const std::size_t end = std::min(last, m.genotypes.size());
    for (std::size_t k = first; k < end; ++k) {
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int source = m.genotypes[k].sourceOnSide(side);
        if (source == 0 || source == 1) counts[side][source] += sign;
      }
    }
  }

  // The step has phased the member: it is reached, and queued by whether its
  // sources as they stand now show a recombination (its block loci were
  // taken out of its counts when the step began).
  void reach(int memberId) {
    BlockExtensionSolver& s = solver_;
    s.reachedIds_.insert(memberId);
    bool recombined = false;
    if (const MemberSummary* summary = summaryOf(memberId)) {
      SourceCounts counts = summary->sourceCounts;
      addSourceCounts(family_.member(memberId), blockStart(), blockEnd(), counts, 1);
      recombined = ::showsRecombination(counts);
    } else {
      recombined = family_.member(memberId).hasRecombination();
    }
    (recombined ? s.recombinedQueue_ : s.settledQueue_).push(memberId);
  }

  // A step is about to change the member (its loci over the block) and the
  // sources of its children over the block: their block loci leave the counts.
  void beginChange(int memberId) {
    const Member& m = family_.member(memberId);
    if (MemberSummary* summary = summaryOf(memberId))
      addSourceCounts(m, blockStart(), blockEnd(), summary->sourceCounts, -1);
    for (int childId : m.childIds) {
      if (MemberSummary* summary = summaryOf(childId)) {
        addSourceCounts(family_.member(childId), blockStart(), blockEnd(), summary->sourceCounts, -1);
      }
    }
  }

  // The block loci of a changed member come back into its summary.
  void endChange(int memberId) {
    MemberSummary* summary = summaryOf(memberId);
    if (summary == nullptr) return;
    const Member& m = family_.member(memberId);
    addSourceCounts(m, blockStart(), blockEnd(), summary->sourceCounts, 1);
    summary->runs.recombined = ::showsRecombination(summary->sourceCounts);
    updateRuns(m, summary->runs.runs);
    const int loci = static_cast<int>(m.genotypes.size());
    const auto& runs = summary->runs.runs;
    summary->runs.complete = loci == 0 || (runs.size() == 1 && runs[0].first == 0 && runs[0].second == loci);
  }

  // Loci only become resolved, and only inside the block: the runs touching
  // the block are replaced by the runs over the loci they and the block span.
  // Outside the block those loci belong to the old runs, so only the block's
  // own loci are read.
  void updateRuns(const Member& m, std::vector<std::pair<int, int>>& runs) {
    const int first = static_cast<int>(blockStart());
    const int last = std::min(static_cast<int>(blockEnd()), static_cast<int>(m.genotypes.size()));
    if (first >= last) return;
    // The runs are disjoint and ascending, so both their starts and their ends ascend.
    auto low = std::partition_point(runs.begin(), runs.end(),
                                    [&](const auto& r) { return r.first + r.second < first; });
    auto high = std::partition_point(low, runs.end(), [&](const auto& r) { return r.first <= last; });
    int from = first;
    int to = last;
    if (low != high) {
      from = std::min(from, low->first);
      to = std::max(to, std::prev(high)->first + std::prev(high)->second);
    }
    rescanned_.clear();
    // Loci [from, first) and [last, to) lie in old runs: resolved.
    int runStart = from;
    int runLength = first - from;
    for (int k = first; k < last; ++k) {
      if (m.genotypes[static_cast<std::size_t>(k)].resolved) {
        if (runLength == 0) runStart = k;
        ++runLength;
        continue;
      }
      if (runLength > 0) rescanned_.emplace_back(runStart, runLength);
      runLength = 0;
    }
    if (to > last && runLength == 0) runStart = last;
    runLength += to - last;
    if (runLength > 0) rescanned_.emplace_back(runStart, runLength);
    const auto at = runs.erase(low, high);
    runs.insert(at, rescanned_.begin(), rescanned_.end());
  }

  // Every step that changes the family is followed by this call, for the one
  // member it changed (a parent's inference also sets its children's sources).
  void updateSourcesAfterChangeOf(int memberId) {
    if (!wholeFamilyInferred_ || recomputeEverything_) {
      family_.inferAlleleSources();
      wholeFamilyInferred_ = true;
      for (std::size_t i = 0; i < summaries_.size(); ++i) {
        if (recomputeEverything_) {
          summaries_[i].stale = true;
        } else {
          refreshSummary(i);
        }
      }
      return;
    }
    Member& changed = family_.member(memberId);
    inferSourcesOf(family_, changed, blockStart(), blockEnd());
    endChange(memberId);
    for (int childId : changed.childIds) {
      inferSourcesOf(family_, family_.member(childId), blockStart(), blockEnd());
      endChange(childId);
    }
  }

  BlockExtensionSolver& solver_;
  Family& family_;
  const bool recomputeEverything_;
  bool wholeFamilyInferred_ = false;
  std::vector<int> ids_;  // ascending member id
  std::map<int, std::size_t> position_;
  std::vector<MemberSummary> summaries_;
  // Per locus: itself while no block has covered it, else a later locus
  // (see firstUncoveredFrom); one more entry for the end.
  std::vector<std::size_t> nextUncovered_;
  std::vector<std::pair<int, int>> rescanned_;  // scratch of updateRuns
};

void BlockExtensionSolver::extendBlocks(bool recomputeEverything) {
  BlockExtender extender(*this, recomputeEverything);
  extender.extendFromSeed();
  while (extender.findNextSeed()) extender.extendFromSeed();
}

void BlockExtensionSolver::extendToChild(const SeedBlock& block, int parentId, int childId) {
  Member& c = family_.member(childId);
  const Member& parent = family_.member(parentId);
  const int side = c.motherId == parentId ? kMaternal : kPaternal;
  const int other = 1 - side;
  const Member& otherParent = family_.member(c.parentOnSide(other));
  const int start = block.start;
  const int length = block.length;
  const auto locus = [start](int i) { return static_cast<std::size_t>(start + i); };

  int first = -1;
  int source = kSourceUnknown;
  for (int i = 0; i < length; ++i) {
    if (c.genotypes[locus(i)].sourceOnSide(side) != kSourceUnknown) {
      first = i;
      source = c.genotypes[locus(i)].sourceOnSide(side);
      break;
    }
  }
  // With no determined source in the block the child takes one of the
  // parent's haplotypes at random.
  if (first < 0) source = block_extension::coin() ? 1 : 0;
  for (int i = first; i >= 0; --i) {
    LocusGenotype& g = c.genotypes[locus(i)];
    if (!g.resolved) block_extension::orderSideTo(g, side, parent.genotypes[locus(i)].alleleNumber(source));
    g.sourceOnSide(side) = source;
  }
  for (int i = first + 1; i < length; ++i) {
    LocusGenotype& g = c.genotypes[locus(i)];
    if (g.sourceOnSide(side) >= 0) {
      // A recombination between the parent's haplotypes is followed.
      source = g.sourceOnSide(side);
      continue;
    }
    if (!g.resolved) block_extension::orderSideTo(g, side, parent.genotypes[locus(i)].alleleNumber(source));
    g.sourceOnSide(side) = source;
  }
  for (int i = 0; i < length; ++i) {
    LocusGenotype& g = c.genotypes[locus(i)];
    int& otherSource = g.sourceOnSide(other);
    otherSource = kSourceUnknown;
    const LocusGenotype& q = otherParent.genotypes[locus(i)];
    if (!q.resolved) continue;
    const int a = g.alleleOnSide(other);
    if (a == q.allele1 && a != q.allele2) otherSource = 0;
    if (a != q.allele1 && a == q.allele2) otherSource = 1;
  }
}

void BlockExtensionSolver::extendToChildOfPair(const SeedBlock& block, int childId) {
  Member& c = family_.member(childId);
  const Member& father = family_.member(c.fatherId);
  const Member& mother = family_.member(c.motherId);
  const int start = block.start;
  const int length = block.length;
  const auto locus = [start](int i) { return static_cast<std::size_t>(start + i); };
  const int loci = static_cast<int>(c.genotypes.size());

  bool anyDetermined = false;
  for (int i = 0; i < length && !anyDetermined; ++i) {
    const LocusGenotype& g = c.genotypes[locus(i)];
    anyDetermined = g.paternalSource != kSourceUnknown || g.maternalSource != kSourceUnknown;
  }
  if (anyDetermined && length > 0) {
    // The nearest determined sources after each block locus as they stand
    // before the walk (the walk changes only loci it has reached), and the
    // nearest before the current locus, which includes loci just phased.
    std::vector<std::array<int, 2>> nextSources(static_cast<std::size_t>(length));
    std::array<int, 2> seen{kSourceUnknown, kSourceUnknown};
    for (int side = kPaternal; side <= kMaternal; ++side) {
      for (int k = start + length; k < loci; ++k) {
        const int s = c.genotypes[static_cast<std::size_t>(k)].sourceOnSide(side);
        if (s != kSourceUnknown) {
          seen[side] = s;
          break;
        }
      }
    }
    for (int i = length - 1; i >= 0; --i) {
      nextSources[static_cast<std::size_t>(i)] = seen;
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int s = c.genotypes[locus(i)].sourceOnSide(side);
        if (s != kSourceUnknown) seen[side] = s;
      }
    }
    std::array<int, 2> previous{kSourceUnknown, kSourceUnknown};
    for (int side = kPaternal; side <= kMaternal; ++side) {
      for (int k = start - 1; k >= 0; --k) {
        const int s = c.genotypes[static_cast<std::size_t>(k)].sourceOnSide(side);
        if (s != kSourceUnknown) {
          previous[side] = s;
          break;
        }
      }
    }
    for (int i = 0; i < length; ++i) {
      LocusGenotype& g = c.genotypes[locus(i)];
      if (!g.resolved) {
        const std::array<int, 2>& next = nextSources[static_cast<std::size_t>(i)];
        const int fatherFirst = father.genotypes[locus(i)].allele1;
        const int motherFirst = mother.genotypes[locus(i)].allele1;
        const int keepPaternal = g.allele1 != fatherFirst ? 1 : 0;
        const int keepMaternal = g.allele2 != motherFirst ? 1 : 0;
        const int swapPaternal = g.allele2 != fatherFirst ? 1 : 0;
        const int swapMaternal = g.allele1 != motherFirst ? 1 : 0;
        const int keepCost = sourceMismatches(previous[kPaternal], keepPaternal, next[kPaternal]) +
                             sourceMismatches(previous[kMaternal], keepMaternal, next[kMaternal]);
        const int swapCost = sourceMismatches(previous[kPaternal], swapPaternal, next[kPaternal]) +
                             sourceMismatches(previous[kMaternal], swapMaternal, next[kMaternal]);
        // Ties keep the order.
        if (keepCost > swapCost) {
          std::swap(g.allele1, g.allele2);
          g.paternalSource = swapPaternal;
          g.maternalSource = swapMaternal;
        } else {
          g.paternalSource = keepPaternal;
          g.maternalSource = keepMaternal;
        }
        g.resolved = true;
      }
      for (int side = kPaternal; side <= kMaternal; ++side) {
        if (g.sourceOnSide(side) != kSourceUnknown) previous[side] = g.sourceOnSide(side);
      }
    }
  }
}
