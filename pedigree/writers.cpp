// The result writers: the "dat" genotype report, the "res" line, the "out"
// phased table and the linkage table of simulated families. All walk the
// members in ascending id and write the fields as they stand.
#include "pedigree/family.h"

namespace {
constexpr int kMinimumReportLoci = 10;

void putParent(TextSink& dat, int familyId, int parentId) {
  if (parentId == 0) {
    dat.put(' ');
  } else {
    dat.put(familyId).put('-').put(parentId);
  }
}
}  // namespace

void Member::writeGenotypeReport(TextSink& dat) const {
  dat.put(familyId).put('-').put(memberId).put('\n');
  dat.put(sex == 1 ? "M\n" : "F\n");
  putParent(dat, familyId, fatherId);
  dat.put(" , ");
  putParent(dat, familyId, motherId);
  dat.put('\n');
  for (const LocusGenotype& g : genotypes) {
    if (g.resolved) {
      dat.put(g.allele1)
          .put('|')
          .put(g.allele2)
          .put('(')
          .put(g.paternalSource)
          .put(',')
          .put(g.maternalSource)
          .put(")\n");
    } else {
      dat.put(g.allele1).put(' ').put(g.allele2).put('\n');
    }
  }
  for (int i = static_cast<int>(genotypes.size()); i < kMinimumReportLoci; ++i) dat.put('\n');
}

void Member::writePhasedTable(TextSink& out) const {
  for (int value : {familyId, memberId, fatherId, motherId, sex, 0, 0}) out.put(value).put('\t');
  for (const LocusGenotype& g : genotypes) out.put(g.allele1).put('/').put(g.allele2).put('\t');
  for (const LocusGenotype& g : genotypes) out.put(g.paternalSource);
  out.put('\t');
  for (const LocusGenotype& g : genotypes) out.put(g.maternalSource);
  out.put('\n');
}

void Member::writeLinkageTable(TextSink& table) const {
  for (int value : {familyId, memberId, fatherId, motherId, sex}) table.put(value).put('\t');
  table.put("0\t0\t");
  for (const LocusGenotype& g : genotypes) table.put(' ').put(g.allele1).put('\t').put(g.allele2).put('\t');
  // The line ends with its last value: the final tab is replaced.
  table.backUpOne();
  table.put('\n');
}

bool Family::writeGenotypeReport(TextSink& dat) const {
  for (const auto& [id, member] : members) member.writeGenotypeReport(dat);
  return true;
}

bool Family::writeResultLine(TextSink& res) {
  endClock = processClockMs();
  res.put(familyId)
      .put("\t ")
      .put(recombinantCount)
      .put("\t ")
      .putFloat(clockSecondsBetween(startClock, endClock))
      .put('\n');
  return true;
}

bool Family::writePhasedTable(TextSink& out) const {
  for (const auto& [id, member] : members) member.writePhasedTable(out);
  return true;
}

bool Family::writeLinkageTable(TextSink& table) const {
  for (const auto& [id, member] : members) member.writeLinkageTable(table);
  return true;
}
