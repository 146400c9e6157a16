// Placeholder until the member-based method lands.
#include "pedigree/pedigree.h"

void Pedigree::solveByMemberDp(TextSink&, TextSink&, TextSink&) {}
void AlleleStats::solveAllByMemberDp(TextSink&, TextSink&, TextSink&) {}
