// The calls of the family members of one chromosome, two bytes per member
// and site, sites in input order. Before solving a cell holds the two allele
// codes the methods read; after solving, what the writer puts in the GT field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct GenotypeCell {
  std::uint8_t first = 0;
  std::uint8_t second = 0;
};

// Allele code 0: missing. VCF allele index i is code i + 1. A half-missing
// call (`./1`) keeps its typed allele in the slot it was read in, the other
// slot 0, as the methods read `0 2` of the seven-column format.
inline constexpr std::uint8_t kCodeMissing = 0;
inline constexpr int kLargestCode = 126;
// A call the methods do not see and the writer leaves as read: haploid,
// more than two alleles, an allele index beyond kLargestCode - 1, or an
// allele value that names no allele of the record (negative, or beyond the
// ALT alleles).
inline constexpr std::uint8_t kCodeAsRead = 127;
// After solving. On `first`: the call is written phased, first|second (a
// code 0 as `.`). On `second`: the codes replace the call (a filled-in
// missing allele); without either the call keeps its alleles as read and
// only loses its phase.
inline constexpr std::uint8_t kPhasedFlag = 0x80;
inline constexpr std::uint8_t kReplaceFlag = 0x80;
inline constexpr std::uint8_t kCodeMask = 0x7f;

// The cells of one site, indexed by slot.
class CellRow {
 public:
  CellRow(GenotypeCell* first, std::size_t stride) : first_(first), stride_(stride) {}
  GenotypeCell& operator[](std::size_t slot) const { return first_[slot * stride_]; }

 private:
  GenotypeCell* first_;
  std::size_t stride_;
};

class GenotypeCells {
 public:
  explicit GenotypeCells(std::size_t slotCount = 0) : slotCount_(slotCount) {}

  std::size_t slotCount() const { return slotCount_; }
  std::size_t siteCount() const { return siteCount_; }

  // Appends a site of missing calls and returns its row of slotCount cells.
  CellRow addSite();
  CellRow site(std::size_t index) { return {&cell(index, 0), kSitesPerTile}; }
  GenotypeCell& at(std::size_t siteIndex, int slot) {
    return cell(siteIndex, static_cast<std::size_t>(slot));
  }
  // Drops every site; the memory of the blocks is released.
  void clear();

 private:
  GenotypeCell& cell(std::size_t siteIndex, std::size_t slot) {
    const std::size_t inBlock = siteIndex % kSitesPerBlock;
    const std::size_t tile = inBlock / kSitesPerTile;
    return blocks_[siteIndex / kSitesPerBlock]
                  [(tile * slotCount_ + slot) * kSitesPerTile + inBlock % kSitesPerTile];
  }

  // Fixed blocks instead of one growing array: appending never copies
  // earlier sites, so the peak stays at the size of the cells. A block is
  // cut into tiles of kSitesPerTile sites, and a tile holds the cells slot
  // by slot, each slot's run of sites in 64 bytes: a record reads
  // and writes one site of every slot in one sweep over the tile, and a
  // family is built and stored slot by slot, site after site.
  static constexpr std::size_t kSitesPerBlock = 1024;
  static constexpr std::size_t kSitesPerTile = 32;
  std::size_t slotCount_ = 0;
  std::size_t siteCount_ = 0;
  std::vector<std::unique_ptr<GenotypeCell[]>> blocks_;
};
