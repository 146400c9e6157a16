// The VCF/BCF command line: Haplotor.exe -option genotypes.vcf.gz pedigree.ped.
// The methods it takes, and how each is driven family by family, are listed
// in one table (app/vcf_run.cpp).
#pragma once

#include <string>

// The option letters the VCF command line takes, from the table of methods.
std::string vcfOptionLetters();

// Runs the method of `letter` (one of vcfOptionLetters()) on the VCF/BCF and
// PED files; returns the exit status.
int runVcfCommand(char letter, const std::string& genotypeFile, const std::string& pedFile,
                  const std::string& commandLine);
