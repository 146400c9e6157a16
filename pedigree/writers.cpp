// The result writers: the "dat" genotype report, the "res" line, the "out"
// phased table and the linkage table of simulated families. All walk the
// members in ascending id and write the fields as they stand.
#include <algorithm>

#include "pedigree/family.h"
#include "pedigree/result_sinks.h"

namespace {
constexpr int kMinimumReportLoci = 10;
constexpr std::size_t kIntRoom = TextSink::kIntRoom;

// Formats the loci a batch at a time straight into the sink: `format` writes
// one locus at the pointer it is given (at most `room` characters) and
// returns the end.
template <typename Format>
void putLoci(TextSink& sink, const std::vector<LocusGenotype>& genotypes, std::size_t room, Format format) {
  const std::size_t perClaim = TextSink::kMaxClaim / room;
  for (std::size_t first = 0; first < genotypes.size(); first += perClaim) {
    const std::size_t last = std::min(genotypes.size(), first + perClaim);
    char* p = sink.claim((last - first) * room);
    for (std::size_t k = first; k < last; ++k) p = format(p, genotypes[k]);
    sink.commit(p);
  }
}

// The source of every locus on one side, with nothing between them.
void putSources(TextSink& out, const std::vector<LocusGenotype>& genotypes, int side) {
  putLoci(out, genotypes, kIntRoom,
          [side](char* p, const LocusGenotype& g) { return TextSink::formatInt(p, g.sourceOnSide(side)); });
}

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
  // "a|b(s,t)\n" once resolved, "a b\n" before.
  putLoci(dat, genotypes, 4 * kIntRoom + 5, [](char* p, const LocusGenotype& g) {
    p = TextSink::formatInt(p, g.allele1);
    if (g.resolved) {
      *p++ = '|';
      p = TextSink::formatInt(p, g.allele2);
      *p++ = '(';
      p = TextSink::formatInt(p, g.paternalSource);
      *p++ = ',';
      p = TextSink::formatInt(p, g.maternalSource);
      *p++ = ')';
    } else {
      *p++ = ' ';
      p = TextSink::formatInt(p, g.allele2);
    }
    *p++ = '\n';
    return p;
  });
  for (int i = static_cast<int>(genotypes.size()); i < kMinimumReportLoci; ++i) dat.put('\n');
}

void Member::writePhasedTable(TextSink& out) const {
  for (int value : {familyId, memberId, fatherId, motherId, sex, 0, 0}) out.put(value).put('\t');
  putLoci(out, genotypes, 2 * kIntRoom + 2, [](char* p, const LocusGenotype& g) {
    p = TextSink::formatInt(p, g.allele1);
    *p++ = '/';
    p = TextSink::formatInt(p, g.allele2);
    *p++ = '\t';
    return p;
  });
  putSources(out, genotypes, kPaternal);
  out.put('\t');
  putSources(out, genotypes, kMaternal);
  out.put('\n');
}

void Member::writeLinkageTable(TextSink& table) const {
  for (int value : {familyId, memberId, fatherId, motherId, sex}) table.put(value).put('\t');
  table.put("0\t0\t");
  putLoci(table, genotypes, 2 * kIntRoom + 3, [](char* p, const LocusGenotype& g) {
    *p++ = ' ';
    p = TextSink::formatInt(p, g.allele1);
    *p++ = '\t';
    p = TextSink::formatInt(p, g.allele2);
    *p++ = '\t';
    return p;
  });
  // The line ends with its last value: the final tab is replaced.
  table.backUpOne();
  table.put('\n');
}

void Family::writeGenotypeReport(TextSink& dat) const {
  for (const auto& [id, member] : members) member.writeGenotypeReport(dat);
}

void Family::writeResultLine(TextSink& res) {
  endClock = threadClockMs();
  res.put(familyId)
      .put("\t ")
      .put(recombinantCount)
      .put("\t ")
      .putFloat(clockSecondsBetween(startClock, endClock))
      .put('\n');
}

void Family::writePhasedTable(TextSink& out) const {
  for (const auto& [id, member] : members) member.writePhasedTable(out);
}

void Family::writeLinkageTable(TextSink& table) const {
  for (const auto& [id, member] : members) member.writeLinkageTable(table);
}

void writeTotalTimeLine(TextSink& res, ClockReading runStartClock) {
  res.put("Total Time used(Sec):\t")
      .putFloat(clockSecondsBetween(runStartClock, processClockMs()))
      .put("\n\n");
}
