// Option b: phasing a family by block extension.
#pragma once

#include "pedigree/family.h"

// Phases every member of the prepared family and counts its recombinants.
// Missing founder alleles are drawn from the run's founder allele counts in
// `stats`. False when the genotypes break Mendel's rules somewhere (each
// violation is printed); the family is then left as read.
bool solveByBlockExtension(Family& family, const AlleleStats& stats);
