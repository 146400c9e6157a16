// The command line: `-option infile` (a seven-column pedigree file, or the
// simulator's structure file) or `-option genotypes.vcf.gz pedigree.ped`.
#pragma once

#include <string>
#include <vector>

// Runs what the arguments (the program name first) ask for: reads and
// checks the settings, seeds the generator and runs the method over the
// format the arguments name, or prints the usage text. Returns the exit
// status.
int runCommandLine(const std::vector<std::string>& arguments);
