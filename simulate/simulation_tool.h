// Option s: turns a pedigree structure (member, father, mother, sex per line)
// into 100 simulated families with genotypes at 10 biallelic loci, written as
// one linkage table.
#pragma once

#include <string>

#include "pedigree/family.h"
#include "pedigree/text_sink.h"

inline constexpr int kSimulatedReplicates = 100;
inline constexpr int kSimulatedLoci = 10;
inline constexpr int kSimulatedAlleles = 2;
inline constexpr int kSimulatedCrossovers = 0;

// Returns the process exit status: 0 after writing the output, 1 after a
// fatal error (reported on standard error; nothing written).
int runSimulationTool(const std::string& inputName);

// "<input without its last four characters>-10-2-0.txt".
std::string simulationOutputName(const std::string& inputName);

class LineSource;

// Reads a structure file's lines into a fresh family. Empty when the
// structure is usable, otherwise the reason it is not.
std::string readStructure(LineSource& source, const std::string& fileName, Family& family);

// Draws genotypes for replicate `replicate` and writes the family as a
// linkage table. Children inherit one whole parental haplotype from each
// parent (no crossover).
bool simulateFamily(Family& family, TextSink& output, int replicate, int loci, int crossovers, int alleles);
