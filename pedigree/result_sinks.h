// The three result files of a run, as the solvers write into them.
#pragma once

#include "pedigree/text_sink.h"

struct ResultSinks {
  TextSink& dat;  // the genotype report
  TextSink& res;  // the report of recombinant counts and times
  TextSink& out;  // the phased table
};
