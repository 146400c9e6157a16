// Fill-in of missing alleles before phasing: first what the family leaves no
// choice about (a parent's homozygous genotype, or an allele a child carries
// that its other parent lacks), working from the bottom of the pedigree
// upwards; then random draws for whatever is still missing, founders from the
// founder allele frequencies of the run, non-founders by transmission.
#include <algorithm>
#include <set>

#include "block_extension/block_extension_solver.h"

namespace {

constexpr int kMissing = 0;

bool isIncomplete(const LocusGenotype& g) { return g.allele1 == kMissing || g.allele2 == kMissing; }

// Which alleles of a locus are missing.
enum class MissingMode { kFirstOnly, kSecondOnly, kBoth, kNone };

MissingMode missingMode(const LocusGenotype& g) {
  if (g.allele1 == kMissing && g.allele2 == kMissing) return MissingMode::kBoth;
  if (g.allele1 == kMissing) return MissingMode::kFirstOnly;
  if (g.allele2 == kMissing) return MissingMode::kSecondOnly;
  return MissingMode::kNone;
}

// Fills the missing alleles of a locus: allele1 from the first candidate,
// allele2 from the second.
void fillByMode(LocusGenotype& g, int first, int second) {
  switch (missingMode(g)) {
    case MissingMode::kFirstOnly: g.allele1 = first; break;
    case MissingMode::kSecondOnly: g.allele2 = second; break;
    case MissingMode::kBoth:
      g.allele1 = first;
      g.allele2 = second;
      break;
    case MissingMode::kNone: break;
  }
}

// A missing allele of member m's locus k told by its children: an allele a
// child carries that the child's other parent lacks, or a homozygous child's
// allele.
void fillFromChildren(Family& family, Member& m, std::size_t k) {
  LocusGenotype& g = m.genotypes[k];
  for (int childId : m.childIds) {
    const MissingMode mode = missingMode(g);
    if (mode == MissingMode::kNone) return;
    const Member& child = family.member(childId);
    const LocusGenotype& c = child.genotypes[k];
    const int otherParentId = child.fatherId == m.memberId ? child.motherId : child.fatherId;
    const LocusGenotype& other = family.member(otherParentId).genotypes[k];
    int candidate = kMissing;
    if (!other.carries(c.allele1)) candidate = c.allele1;
    if (!other.carries(c.allele2)) candidate = c.allele2;
    const int value = c.isTypedHomozygote() ? c.allele2 : candidate;
    if (mode == MissingMode::kSecondOnly) {
      if (g.allele1 != value) g.allele2 = value;
    } else if (mode == MissingMode::kFirstOnly) {
      // A value the known allele already explains adds nothing.
      if (g.allele2 != value) g.allele1 = value;
    } else {
      g.allele1 = value;
    }
  }
}

// The allele a parent homozygous at the locus must have given on its side;
// true when something changed.
bool fillSideFromParent(const LocusGenotype& parent, int side, LocusGenotype& g) {
  if (!parent.isTypedHomozygote()) return false;
  const int x = parent.allele1;
  if (!g.resolved) {
    // The known allele goes to the other side unless it is this parent's.
    const int mine = g.alleleOnSide(side);
    const int other = g.alleleOnSide(1 - side);
    if ((mine > 0 && mine != x) || (mine == kMissing && other == x)) std::swap(g.allele1, g.allele2);
    g.alleleOnSide(side) = x;
    g.resolved = true;
    return true;
  }
  if (g.alleleOnSide(side) != kMissing) return false;
  g.alleleOnSide(side) = x;
  return true;
}

// A missing allele of a non-founder told by a parent's homozygous genotype;
// true when something changed.
bool fillFromParents(const LocusGenotype& father, const LocusGenotype& mother, LocusGenotype& g) {
  const bool fromFather = fillSideFromParent(father, kPaternal, g);
  const bool fromMother = fillSideFromParent(mother, kMaternal, g);
  return fromFather || fromMother;
}

// Called with the members handled so far: the member has no child that has
// children of its own and is not handled yet.
bool childrenSettled(const Family& family, const std::set<int>& handled, int memberId) {
  const Member& x = family.member(memberId);
  if (x.childIds.empty() || handled.count(memberId) != 0) return true;
  for (int childId : x.childIds) {
    if (handled.count(childId) == 0 && !family.member(childId).childIds.empty()) return false;
  }
  return true;
}

// One bottom-up sweep of the deterministic fill-in; true when a member with
// children changed from its parents, so that its children need another sweep.
bool fillSweep(Family& family) {
  std::set<int> swept;
  bool repeat = false;
  while (swept.size() < family.members.size()) {
    const int id = block_extension::nextBottomUpMember(family, swept);
    if (id == 0) break;
    Member& m = family.member(id);
    const std::size_t loci = m.genotypes.size();
    if (!m.childIds.empty()) {
      for (std::size_t k = 0; k < loci; ++k) {
        if (isIncomplete(m.genotypes[k])) fillFromChildren(family, m, k);
      }
    }
    if (!m.isFounder()) {
      const Member& father = family.member(m.fatherId);
      const Member& mother = family.member(m.motherId);
      bool changed = false;
      for (std::size_t k = 0; k < loci; ++k) {
        if (!isIncomplete(m.genotypes[k])) continue;
        if (fillFromParents(father.genotypes[k], mother.genotypes[k], m.genotypes[k])) changed = true;
      }
      if (changed && !m.childIds.empty()) repeat = true;
    }
    swept.insert(id);
  }
  return repeat;
}

// The founder allele of locus k that a uniform draw r picks from the founder
// allele frequencies of the run, or 0 when no founder allele is typed there.
// Untyped founders take a share of the frequencies, so the typed alleles may
// add up to T < 1; a draw beyond T is scaled into [0, T].
int founderAllele(const AlleleStats& stats, std::size_t k, double r) {
  if (k >= stats.alleleCounts.size() || stats.founderCount <= 0) return kMissing;
  const std::map<int, int>& counts = stats.alleleCounts[k];
  double total = 0;
  int lastTyped = kMissing;
  for (const auto& [allele, count] : counts) {
    if (allele < 1) continue;  // the missing value
    total += count * 0.5 / stats.founderCount;
    lastTyped = allele;
    if (total > r) return allele;
  }
  if (lastTyped == kMissing) return kMissing;
  const double scaled = r * total;
  double running = 0;
  for (const auto& [allele, count] : counts) {
    if (allele < 1) continue;
    running += count * 0.5 / stats.founderCount;
    if (running > scaled) return allele;
  }
  return lastTyped;
}

}  // namespace

int block_extension::nextBottomUpMember(const Family& family, const std::set<int>& handled) {
  const auto& members = family.members;
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    const int id = it->first;
    if (handled.count(id) != 0 || !childrenSettled(family, handled, id)) continue;
    const Member& m = it->second;
    if (m.isFounder()) return id;
    auto father = members.find(m.fatherId);
    bool siblingsSettled = true;
    if (father != members.end()) {
      for (int sibling : father->second.childIds) {
        if (!childrenSettled(family, handled, sibling)) {
          siblingsSettled = false;
          break;
        }
      }
    }
    if (siblingsSettled) return id;
  }
  // No member qualifies although some remain (an unusual pedigree shape): the
  // largest unhandled id, so that every walk in this order makes progress.
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    if (handled.count(it->first) == 0) return it->first;
  }
  return 0;
}

void BlockExtensionSolver::fillMissingAlleles() {
  // Each sweep after a change from the parents revisits the children with the
  // new alleles; every sweep ends with its own random fill, as a nested run
  // of the whole fill-in would.
  int sweeps = 1;
  while (fillSweep(family_)) ++sweeps;
  for (int i = 0; i < sweeps; ++i) drawMissingAlleles();
}

void BlockExtensionSolver::drawMissingAlleles() {
  auto& members = family_.members;
  const auto loci = static_cast<std::size_t>(std::max(family_.locusCount, 0));
  for (auto& [id, m] : members) {
    if (!m.isFounder()) continue;
    for (std::size_t k = 0; k < loci && k < m.genotypes.size(); ++k) {
      // Two draws per locus whether or not anything is missing.
      const double r1 = block_extension::uniformDraw();
      const double r2 = block_extension::uniformDraw();
      LocusGenotype& g = m.genotypes[k];
      if (!isIncomplete(g)) continue;
      const int first = g.allele1 == kMissing ? founderAllele(stats_, k, r1) : kMissing;
      const int second = g.allele2 == kMissing ? founderAllele(stats_, k, r2) : kMissing;
      fillByMode(g, first, second);
    }
  }
  for (int id : family_.memberOrder) {
    auto found = members.find(id);
    if (found == members.end() || found->second.isFounder()) continue;
    Member& m = found->second;
    const Member& father = family_.member(m.fatherId);
    const Member& mother = family_.member(m.motherId);
    for (std::size_t k = 0; k < loci && k < m.genotypes.size(); ++k) {
      const double r1 = block_extension::uniformDraw();
      const double r2 = block_extension::uniformDraw();
      LocusGenotype& g = m.genotypes[k];
      if (!isIncomplete(g)) continue;
      const LocusGenotype& f = father.genotypes[k];
      const LocusGenotype& mo = mother.genotypes[k];
      const int paternal = r1 >= 0.5 ? f.allele2 : f.allele1;
      const int maternal = r2 >= 0.5 ? mo.allele2 : mo.allele1;
      const MissingMode mode = missingMode(g);
      if (mode == MissingMode::kSecondOnly || mode == MissingMode::kFirstOnly) {
        // A known allele that only the other parent carries belongs to that
        // parent's side.
        const int side = mode == MissingMode::kSecondOnly ? kPaternal : kMaternal;
        const int known = g.alleleOnSide(side);
        const LocusGenotype& ownParent = side == kPaternal ? f : mo;
        const LocusGenotype& otherParent = side == kPaternal ? mo : f;
        if (!ownParent.carries(known) && otherParent.carries(known)) {
          std::swap(g.allele1, g.allele2);
        }
      }
      fillByMode(g, paternal, maternal);
    }
  }
}
