// Placeholder until the block-extension method lands: the family is left as read.
#include "pedigree/pedigree.h"

bool Pedigree::solveByBlockExtension() { return true; }
