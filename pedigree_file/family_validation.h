// Checks a closed family before anything touches it: every solver relies on
// complete, acyclic families whose members all carry the same loci.
#pragma once

#include <string>

#include "pedigree_file/pedigree_reader.h"

// Empty when the family can be solved, otherwise the reason it cannot.
// `motherSexTwo`: every mother must have sex 2 (otherwise only not sex 1).
std::string findFamilyProblem(const ReadFamily& read, bool motherSexTwo);
