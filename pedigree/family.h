// The records of the whole program: one locus of one member, one member, one
// family. Plain structs with public fields; every subsystem reads and writes
// them directly. The operations of Family are declared here and defined in
// the folder of the subsystem they belong to (preparation and writers in
// pedigree/). Each method keeps its working state in its own solver object,
// in its own folder.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "pedigree/process_clock.h"
#include "pedigree/text_sink.h"

class AlleleStats;

// Sides of a child's genotype: its paternal allele (allele1, paternalSource,
// the father) and its maternal allele (allele2, maternalSource, the mother).
inline constexpr int kPaternal = 0;
inline constexpr int kMaternal = 1;
// A source value: which of the parent's two alleles was copied.
inline constexpr int kSourceUnknown = -1;
// "No value yet" and "impossible" in both dynamic programmes and in parent
// phase inference.
inline constexpr int kCostSentinel = 32767;

struct LocusGenotype {
  int allele1 = 0;  // once resolved: the allele received from the father
  int allele2 = 0;  // once resolved: the allele received from the mother
  int paternalSource = kSourceUnknown;
  int maternalSource = kSourceUnknown;
  bool resolved = false;
  // Option i, a typed heterozygote it phased: the posterior probability that
  // allele1/allele2 is the right order (-1: not computed).
  float phaseProbability = -1;

  bool isTypedHomozygote() const { return allele1 == allele2 && allele1 != 0; }
  bool isTypedHeterozygote() const { return allele1 >= 1 && allele2 >= 1 && allele1 != allele2; }
  // The allele is one of the two at this locus (plain equality; 0 compares
  // like any other value).
  bool carries(int allele) const { return allele == allele1 || allele == allele2; }
  void swapAndResolve() {
    std::swap(allele1, allele2);
    resolved = true;
  }
  int alleleOnSide(int side) const { return side == kPaternal ? allele1 : allele2; }
  int& alleleOnSide(int side) { return side == kPaternal ? allele1 : allele2; }
  int sourceOnSide(int side) const { return side == kPaternal ? paternalSource : maternalSource; }
  int& sourceOnSide(int side) { return side == kPaternal ? paternalSource : maternalSource; }
  // The parent's allele number `source` (0: allele1, 1: allele2).
  int alleleNumber(int source) const { return source == 0 ? allele1 : allele2; }
};

struct Member {
  int familyId = 0;
  int memberId = 0;
  int seqIndex = 0;
  int fatherId = 0;
  int motherId = 0;
  int sex = 0;  // 1 = male, any other value = female
  std::vector<LocusGenotype> genotypes;
  int mateId = 0;
  std::vector<int> childIds;

  bool isFounder() const { return fatherId == 0 && motherId == 0; }
  bool isMale() const { return sex == 1; }
  int parentOnSide(int side) const { return side == kPaternal ? fatherId : motherId; }

  // True when count < 1 or none of loci 0..count-1 is a typed heterozygote.
  bool hasNoHeterozygousLocus(int count) const;

  // -1: no determined source on the side; 0 / 1: only that value; 2: both
  // values occur (a recombination on that side).
  int sourcePattern(int side) const;
  // The member's sources show a recombination on either side.
  bool hasRecombination() const { return sourcePattern(kPaternal) == 2 || sourcePattern(kMaternal) == 2; }
  // Nearest determined source of the side before and after locus k (-1 when
  // there is none in that direction).
  std::pair<int, int> neighbourSources(int side, int k) const;
  // 0 / 1 when both neighbours agree on that value; see the definition for
  // the other codes (callers act only on 0 and 1).
  int classifyNeighbourSources(int side, int k) const;
  // Called on a child: false when the parental origin of its alleles at the
  // locus is left open by the trio's genotypes.
  bool isOriginDetermined(int f1, int f2, int m1, int m2, int locus) const;

  void writeGenotypeReport(TextSink& dat) const;
  void writePhasedTable(TextSink& out) const;
  void writeLinkageTable(TextSink& table) const;
};

// (previous != -1 && previous != s) + (next != -1 && next != s).
int sourceMismatches(int previous, int s, int next);

struct Family {
  Family() : startClock(threadClockMs()) {}

  ClockReading startClock = 0;  // processor time of the solving thread
  ClockReading endClock = 0;
  int familyId = 0;
  int memberCount = 0;
  std::vector<int> memberOrder;  // empty until preparation
  int founderCount = 0;
  int locusCount = 0;
  int recombinantCount = 0;
  // The loci lie on chromosome X outside its pseudo-autosomal regions: a
  // male carries one allele, his mother's, and passes it to his daughters.
  bool xLinked = false;
  std::map<int, Member> members;

  Member& member(int id) { return members.at(id); }
  const Member& member(int id) const { return members.at(id); }

  // --- Preparation (pedigree/preparation.cpp) ---
  void prepare();

  // --- Result writers (pedigree/writers.cpp) ---
  void writeGenotypeReport(TextSink& dat) const;
  void writeResultLine(TextSink& res);
  void writePhasedTable(TextSink& out) const;
  void writeLinkageTable(TextSink& table) const;

  // --- Allele sources and recombinant count (pedigree/allele_sources.cpp) ---
  void countRecombinants();
  void inferAlleleSources();
};

// Founder allele counts over all families of a run (the statistics table of
// option b, and the frequencies its fill-in draws founder alleles from).
class AlleleStats {
 public:
  int familyCount = 0;
  int founderCount = 0;
  int locusCount = 0;  // the first family's
  std::vector<std::map<int, int>> alleleCounts;
  std::vector<int> heterozygousCounts;
  int freeLocusCount = 0;

  void addFamily(const Family& family);
  void printSummary(TextSink& res) const;
};
