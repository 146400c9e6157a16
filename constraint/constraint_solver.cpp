// Placeholder until the constraint-finding method lands.
#include "pedigree/pedigree.h"

int Pedigree::solveByConstraintFinding(TextSink&, TextSink&, TextSink&) { return -1; }
