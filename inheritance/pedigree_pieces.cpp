#include "inheritance/pedigree_pieces.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

namespace {

class PieceCutter {
 public:
  PieceCutter(Family& family, const FileModel& model, int maxBits)
      : family_(family), model_(model), limit_(std::max(maxBits, kSmallestPieceBits)) {}

  PiecewiseOutcome run() {
    std::vector<int> loneFounders;
    for (const auto& [id, member] : family_.members) {
      if (member.isFounder() && member.childIds.empty()) loneFounders.push_back(id);
    }
    for (int id : family_.memberOrder) {
      if (id < 0) break;
      if (family_.member(id).isFounder() || written_.count(id) != 0) continue;
      Piece piece = grow(id);
      // Founders without children cost no bit: the first piece writes them.
      if (outcome_.pieces == 0)
        piece.founders.insert(piece.founders.end(), loneFounders.begin(), loneFounders.end());
      solve(piece);
    }
    std::sort(outcome_.inconsistentLoci.begin(), outcome_.inconsistentLoci.end());
    outcome_.inconsistentLoci.erase(
        std::unique(outcome_.inconsistentLoci.begin(), outcome_.inconsistentLoci.end()),
        outcome_.inconsistentLoci.end());
    for (auto* calls : {&outcome_.errorCalls, &outcome_.hemizygousHeterozygotes}) {
      std::sort(calls->begin(), calls->end(), [this](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second < b.second;
        return family_.member(a.first).seqIndex < family_.member(b.first).seqIndex;
      });
    }
    countRecombinants();
    return outcome_;
  }

 private:
  struct Piece {
    std::vector<int> children;
    std::vector<int> founders;  // members whose parents are outside the piece
    int bits = 0;
  };

  bool isWritten(int id) const { return written_.count(id) != 0; }

  // The bits a child adds to the piece: its meioses, less the fixed one of
  // each parent that joins as an ordinary founder (on X a male passes on no
  // meiosis).
  int costOf(const Member& child) const {
    int bits = family_.xLinked ? 1 : 2;
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const int parent = child.parentOnSide(side);
      if (inPiece_.count(parent) == 0 && !isWritten(parent) && !(family_.xLinked && side == kPaternal))
        --bits;
    }
    return bits;
  }

  Piece grow(int seed) {
    Piece piece;
    inPiece_.clear();
    std::deque<int> queue;
    auto add = [&](int id) {
      const Member& child = family_.member(id);
      piece.bits += costOf(child);
      for (int side = kPaternal; side <= kMaternal; ++side) {
        const int parent = child.parentOnSide(side);
        if (!inPiece_.insert(parent).second) continue;
        piece.founders.push_back(parent);
        queue.push_back(parent);
      }
      inPiece_.insert(id);
      piece.children.push_back(id);
      queue.push_back(id);
    };
    // A parent is in the piece, written before, or a founder of the family
    // this piece may write.
    auto available = [&](int parent) {
      return inPiece_.count(parent) != 0 || isWritten(parent) || family_.member(parent).isFounder();
    };
    add(seed);
    while (!queue.empty()) {
      const int parent = queue.front();
      queue.pop_front();
      for (int id : family_.member(parent).childIds) {
        const Member& child = family_.member(id);
        if (isWritten(id) || inPiece_.count(id) != 0 || !available(child.fatherId) ||
            !available(child.motherId))
          continue;
        if (piece.bits + costOf(child) <= limit_) add(id);
      }
    }
    return piece;
  }

  void solve(const Piece& piece) {
    Family sub;
    sub.familyId = family_.familyId;
    sub.locusCount = family_.locusCount;
    sub.xLinked = family_.xLinked;
    std::vector<int> known;
    std::vector<int> writes = piece.children;
    for (int id : piece.founders) (isWritten(id) ? known : writes).push_back(id);
    auto copy = [&](int id, bool founder) {
      Member member = family_.member(id);
      member.childIds.clear();
      member.mateId = 0;
      if (founder) member.fatherId = member.motherId = 0;
      sub.members.emplace(id, std::move(member));
    };
    for (int id : piece.founders) copy(id, true);
    for (int id : piece.children) copy(id, false);
    sub.prepare();
    InheritanceSolver solver(sub, model_, known);
    ++outcome_.pieces;
    outcome_.largestPieceBits = std::max(outcome_.largestPieceBits, solver.reducedBits());
    solver.decode();
    solver.writeConfiguration();

    std::unordered_map<int, std::vector<LocusGenotype>> asRead;
    for (int id : writes) {
      Member& member = family_.member(id);
      asRead[id] = std::move(member.genotypes);
      member.genotypes = sub.member(id).genotypes;
      written_.insert(id);
    }
    for (int id : piece.children) reconcile(family_.member(id), asRead.at(id));
    const std::unordered_set<int> writing(writes.begin(), writes.end());
    for (int l : solver.inconsistentLoci()) outcome_.inconsistentLoci.push_back(l);
    for (const auto& call : solver.errorCalls()) {
      if (writing.count(call.first) != 0) outcome_.errorCalls.push_back(call);
    }
    for (const auto& call : solver.hemizygousHeterozygotes()) {
      if (writing.count(call.first) != 0) outcome_.hemizygousHeterozygotes.push_back(call);
    }
  }

  // The piece's sources name the haplotypes its founders had there; a
  // parent written by an earlier piece may have its alleles the other way
  // round (its phase weighed, not fixed, or unknown at the locus), so each
  // source is made to name the parent's written allele the child carries,
  // keeping the piece's where both do.
  void reconcile(Member& child, const std::vector<LocusGenotype>& asRead) {
    const bool hemizygous = family_.xLinked && child.isMale();
    for (std::size_t l = 0; l < child.genotypes.size(); ++l) {
      LocusGenotype& g = child.genotypes[l];
      if (!g.resolved) continue;
      for (int side = hemizygous ? kMaternal : kPaternal; side <= kMaternal; ++side) {
        int& source = g.sourceOnSide(side);
        if (source < 0) continue;
        int& allele = g.alleleOnSide(side);
        const LocusGenotype& parent = family_.member(child.parentOnSide(side)).genotypes[l];
        auto gives = [&](int s) {
          const int a = parent.alleleNumber(s);
          return allele == 0 || a == 0 || a == allele;
        };
        if (gives(source)) continue;
        if (gives(1 - source)) {
          source = 1 - source;
          continue;
        }
        ++outcome_.conflicts;
        source = kSourceUnknown;
        if (!asRead[l].carries(allele)) allele = 0;
        if (hemizygous) g.allele1 = g.allele2;
      }
    }
  }

  void countRecombinants() {
    int recombinants = 0;
    for (const auto& [id, member] : family_.members) {
      if (member.isFounder()) continue;
      for (int side = family_.xLinked ? kMaternal : kPaternal; side <= kMaternal; ++side) {
        int current = kSourceUnknown;
        for (const LocusGenotype& g : member.genotypes) {
          const int source = g.sourceOnSide(side);
          if (source < 0) continue;
          if (current >= 0 && source != current) ++recombinants;
          current = source;
        }
      }
    }
    family_.recombinantCount = recombinants;
  }

  Family& family_;
  const FileModel& model_;
  int limit_;
  std::unordered_set<int> written_;
  std::unordered_set<int> inPiece_;
  PiecewiseOutcome outcome_;
};

}  // namespace

PiecewiseOutcome phaseInPieces(Family& family, const FileModel& model, int maxBits) {
  return PieceCutter(family, model, maxBits).run();
}

}  // namespace inheritance
