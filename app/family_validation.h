// Checks a closed family before anything touches it: every solver relies on
// complete, acyclic families whose members all carry the same loci.
#pragma once

#include <string>

#include "app/pedigree_reader.h"

class AlleleStats;
struct RunMode;

// Empty when the family can be solved, otherwise the reason it cannot.
std::string findFamilyProblem(const ReadFamily& read, const RunMode& mode, const AlleleStats* stats);
