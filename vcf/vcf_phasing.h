// Phasing of the families of a PED pedigree from the genotypes of a VCF or
// BCF file, one chromosome at a time, into a phased VCF/BCF.
//
// The run streams the input: the records of one chromosome are read (the
// family members' calls kept as two-byte cells, the records themselves
// parked in a temporary uncompressed BCF), every family is built as a Family
// record over the chromosome's sites and handed to the method, and the
// parked records are written out with the family members' GT fields replaced
// by the method's phase. Memory grows with (samples in families) x (sites of
// one chromosome).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pedigree/family.h"
#include "pedigree/process_clock.h"
#include "pedigree/text_sink.h"

// What a method is told about the chromosome being phased.
struct ChromosomeSites {
  std::string name;
  std::vector<std::int64_t> positions;  // 1-based, one per locus of the families
  // Interval i lies between loci i and i + 1 (Haldane, HAPLOTOR_CM_PER_MB).
  std::vector<double> recombinationFractions;
};

struct VcfSolveContext {
  TextSink& res;                // the run's "res" report
  const std::string& fileName;  // the genotype file, for messages
  const ChromosomeSites& sites;
  ClockReading runStartClock;
};

// A method as the VCF run drives it. solveFamily gets a family whose members
// carry the chromosome's calls (allele code = VCF allele index + 1, 0 for a
// missing call), not yet prepared; it returns false when the method left the
// family unsolved, and otherwise leaves the configuration to write in the
// members' genotypes (allele1 paternal, allele2 maternal where resolved).
struct FamilySolver {
  std::string name;  // "option b", for messages
  int minimumFamilySize = 1;
  std::function<void(VcfSolveContext&)> beginChromosome;
  // A method that learns from all of a chromosome's families before solving
  // one sees each family first here (a copy, not yet prepared), then
  // familiesGathered once.
  std::function<void(Family&)> gatherFamily;
  std::function<void(VcfSolveContext&)> familiesGathered;
  std::function<bool(Family&, VcfSolveContext&)> solveFamily;
  std::function<void(VcfSolveContext&)> endChromosome;
  std::function<void(VcfSolveContext&)> endRun;
};

struct VcfRunRequest {
  std::string genotypeFile;
  std::string pedFile;
  std::string commandLine;  // recorded in the output header
};

// True when the file's content (not its name) is VCF, bgzipped or gzipped
// VCF, or BCF.
bool isVariantFile(const std::string& path);

// The whole run; returns the exit status (1 after a fatal problem, which is
// reported, with no output left behind).
int runVcfPhasing(const VcfRunRequest& request, const FamilySolver& solver);

// Result names beside the input: x.vcf.gz / x.vcf / x.bcf give
// x.phased.vcf.gz and x.res.
std::string phasedOutputName(const std::string& genotypeFile);
std::string resultReportName(const std::string& genotypeFile);
