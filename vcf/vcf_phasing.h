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
#include <memory>
#include <string>
#include <vector>

#include "genetic_map/genetic_map.h"
#include "pedigree/family.h"
#include "pedigree/method_needs.h"
#include "pedigree/run_format.h"
#include "pedigree/settings.h"

// What a run is told about the chromosome being phased.
struct ChromosomeSites {
  std::string name;
  std::vector<std::int64_t> positions;  // 1-based, one per locus of the families
  // Interval i lies between loci i and i + 1 (Haldane over the genetic map's
  // centimorgans, or over HAPLOTOR_CM_PER_MB where there is no map).
  std::vector<double> recombinationFractions;
};

struct VcfRunRequest {
  std::string genotypeFile;
  std::string pedFile;
  std::string commandLine;  // recorded in the output header
  std::string methodName;   // "option b", for messages
};

// The VCF format of a run (the loop drives it like any other format). Each
// family handed out carries the chromosome's calls (allele code = VCF allele
// index + 1, 0 for a missing allele); the first configuration a method hands
// to a family's sink is written into the records, the rest only into "res".
// With a genetic map (which must outlive the format) a chromosome's interval
// fractions come from the map; a chromosome the map lacks is noted once and
// takes HAPLOTOR_CM_PER_MB.
std::unique_ptr<RunFormat> vcfFormat(const std::string& genotypeFile, const std::string& pedFile,
                                     const std::string& commandLine, const std::string& methodName,
                                     const Settings& settings, const MethodNeeds& needs,
                                     const GeneticMap* map = nullptr);

// True when the file's content (not its name) is VCF, bgzipped or gzipped
// VCF, or BCF.
bool isVariantFile(const std::string& path);

// Result names beside the input: x.vcf.gz / x.vcf / x.bcf give
// x.phased.vcf.gz and x.res.
std::string phasedOutputName(const std::string& genotypeFile);
std::string resultReportName(const std::string& genotypeFile);
