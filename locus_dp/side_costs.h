// Side counts of one parent-child link of the node programme, read either as
// a row (one parent state against every child state) or as a column (one
// child state against every parent state). One of the two layouts is kept in
// memory when it fits the node's budget; the other is computed on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "locus_dp/packed_haplotypes.h"
#include "pedigree/family.h"

class SideCosts {
 public:
  enum class Layout { rows, columns };

  // `budget` (entries) is what the node may still keep in memory; a table
  // that fits is filled now and taken from it.
  SideCosts(const Member& parent, const PackedStates& parentStates, int parentCount, const Member& child,
            const PackedStates& childStates, int childCount, int side, int locusCount, Layout layout,
            std::size_t& budget)
      : link_(makeSideLink(parent, child, side, locusCount)),
        parentStates_(parentStates),
        childStates_(childStates),
        parentCount_(parentCount),
        childCount_(childCount),
        layout_(layout),
        rowScratch_(childCount),
        columnScratch_(parentCount) {
    std::size_t entries = static_cast<std::size_t>(parentCount) * childCount;
    if (entries > budget) return;
    budget -= entries;
    table_.resize(entries);
    if (layout == Layout::rows) {
      for (int p = 0; p < parentCount; ++p)
        computeRow(p, table_.data() + static_cast<std::size_t>(p) * childCount);
    } else {
      for (int t = 0; t < childCount; ++t)
        computeColumn(t, table_.data() + static_cast<std::size_t>(t) * parentCount);
    }
  }

  // The costs of parent state `p` against every child state; valid until the
  // next call of row.
  const int* row(int p) {
    if (!table_.empty() && layout_ == Layout::rows)
      return table_.data() + static_cast<std::size_t>(p) * childCount_;
    computeRow(p, rowScratch_.data());
    return rowScratch_.data();
  }

  // The costs of every parent state against child state `t`; valid until
  // the next call of column.
  const int* column(int t) {
    if (!table_.empty() && layout_ == Layout::columns)
      return table_.data() + static_cast<std::size_t>(t) * parentCount_;
    computeColumn(t, columnScratch_.data());
    return columnScratch_.data();
  }

 private:
  void computeRow(int p, int* out) const {
    const std::uint64_t* parentMask = parentStates_.of(p);
    for (int t = 0; t < childCount_; ++t) out[t] = sideRecombinations(link_, parentMask, childStates_.of(t));
  }
  void computeColumn(int t, int* out) const {
    const std::uint64_t* childMask = childStates_.of(t);
    for (int p = 0; p < parentCount_; ++p) out[p] = sideRecombinations(link_, parentStates_.of(p), childMask);
  }

  SideLink link_;
  const PackedStates& parentStates_;
  const PackedStates& childStates_;
  int parentCount_;
  int childCount_;
  Layout layout_;
  std::vector<int> table_;
  std::vector<int> rowScratch_;
  std::vector<int> columnScratch_;
};
