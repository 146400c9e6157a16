// Founder allele counts, heterozygosity and the free-locus count over all
// families of a run.
#include "pedigree/family.h"

bool Member::hasNoHeterozygousLocus(int count) const {
  for (int i = 0; i < count && i < static_cast<int>(genotypes.size()); ++i) {
    if (genotypes[static_cast<std::size_t>(i)].isTypedHeterozygote()) return false;
  }
  return true;
}

bool Member::isOriginDetermined(int f1, int f2, int m1, int m2, int locus) const {
  const LocusGenotype& g = genotypes[static_cast<std::size_t>(locus)];
  const int c1 = g.allele1;
  const int c2 = g.allele2;
  if (f1 < 1 || f2 < 1 || m1 < 1 || m2 < 1 || c1 < 1 || c2 < 1) return false;
  if (f1 == f2 || m1 == m2 || c1 == c2) return true;
  if ((c1 != f1 && c1 != f2) || (c1 != m1 && c1 != m2)) return true;
  if ((c2 == f1 || c2 == f2) && (c2 == m1 || c2 == m2)) return false;
  return true;
}

bool AlleleStats::addFamily(std::unique_ptr<Family> family) {
  Family& held = *family;
  families[held.familyId] = std::move(family);
  if (families.size() == 1) {
    locusCount = held.locusCount;
    // Resized, not cleared: a family replacing the only one gathered so far
    // leaves the counts of the replaced family in place.
    alleleCounts.resize(static_cast<std::size_t>(locusCount));
    heterozygousCounts.resize(static_cast<std::size_t>(locusCount), 0);
  }
  for (const auto& [id, member] : held.members) {
    const std::size_t loci = member.genotypes.size();
    if (member.isFounder()) {
      ++founderCount;
      for (std::size_t i = 0; i < loci && i < alleleCounts.size(); ++i) {
        const LocusGenotype& g = member.genotypes[i];
        ++alleleCounts[i][g.allele1];
        ++alleleCounts[i][g.allele2];
        if (g.isTypedHeterozygote()) {
          ++heterozygousCounts[i];
          ++freeLocusCount;
        }
      }
      --freeLocusCount;
    } else {
      const Member& father = held.members.at(member.fatherId);
      const Member& mother = held.members.at(member.motherId);
      for (std::size_t i = 0; i < loci; ++i) {
        const LocusGenotype& f = father.genotypes[i];
        const LocusGenotype& m = mother.genotypes[i];
        if (!member.isOriginDetermined(f.allele1, f.allele2, m.allele1, m.allele2, static_cast<int>(i))) {
          ++freeLocusCount;
        }
      }
    }
  }
  return true;
}

bool AlleleStats::printSummary(TextSink& res) const {
  constexpr int kDigits = 5;
  res.put("Total Number of Founders\t").put(founderCount).put(";\t");
  res.put("Total Number of Loci\t").put(locusCount).put(";\t");
  res.put("Total Number of Free Loci\t").put(freeLocusCount).put('\n');
  res.put("Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n");
  for (int i = 0; i < locusCount; ++i) {
    const auto index = static_cast<std::size_t>(i);
    res.put(i).put('\t');
    for (const auto& [allele, count] : alleleCounts[index]) {
      res.put(allele).put('\t').putFloat(count * 0.5 / founderCount, kDigits).put('\t');
    }
    res.putFloat(heterozygousCounts[index] / static_cast<double>(founderCount), kDigits).put('\n');
  }
  return true;
}
