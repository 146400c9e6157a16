// Phasing a family too large for one exact solve: it is cut into
// overlapping pieces that each fit the bit limit, and every piece is solved
// exactly by the InheritanceSolver, from the top generation down.
//
// A piece is grown from the first member not yet written (in memberOrder):
// its parents, then, breadth first, the children of members already in the
// piece (siblings and half-siblings, then the next generation), each taken
// while the piece stays within the limit. A child may join only when both
// its parents are in the piece, already written, or founders of the family
// not yet written. So a sibship too large for the limit is shared out over
// pieces with the same parents, and a piece spans two or three generations
// where they fit.
//
// Every member is written by one piece: the piece where it is a child (a
// founder of the family by the first piece that holds it). A member written
// before enters a later piece as a founder with known haplotypes: its
// written alleles in their written order, weighed by the phase probability
// of the call where it has one. The children's sources are then recomputed
// against their parents' rows as finally written, so the family's one
// configuration is consistent across the pieces.
#pragma once

#include <utility>
#include <vector>

#include "inheritance/inheritance_vector.h"
#include "pedigree/family.h"

namespace inheritance {

// A trio whose parents both come with known haplotypes needs 2 bits (one on
// X), and no piece can hold less than one child: a limit below this is
// taken as this.
inline constexpr int kSmallestPieceBits = 2;
// Pieces are cut to at most this many bits even under a higher limit: time
// and memory double with every bit, and on a dense panel a piece of 16 bits
// takes about a second and half a gigabyte where one of 24 takes tens of
// minutes and gigabytes, while the overlap of smaller pieces keeps the
// phase as good.
inline constexpr int kLargestPieceBits = 16;

struct PiecewiseOutcome {
  int pieces = 0;
  int largestPieceBits = 0;
  // Loci that fit no vector in some piece, ascending.
  std::vector<int> inconsistentLoci;
  // (member id, locus) of calls written as read, of the members each piece
  // writes, by locus then input order (as InheritanceSolver reports them).
  std::vector<std::pair<int, int>> errorCalls;
  std::vector<std::pair<int, int>> hemizygousHeterozygotes;
  // Child alleles that none of the parent's written alleles could give
  // (possible only where a parent's row was written as read): their source
  // is left unknown and, when the allele was not typed, it is left missing.
  int conflicts = 0;
};

// Solves a validated, prepared family in pieces of at most
// max(maxBits, kSmallestPieceBits) reduced bits and writes one configuration
// into it (alleles, sources, phase probabilities, recombinant count).
PiecewiseOutcome phaseInPieces(Family& family, const FileModel& model, int maxBits);

}  // namespace inheritance
