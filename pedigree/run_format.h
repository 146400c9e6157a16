// A format a run reads families from and writes results to: the
// seven-column pedigree file with its "dat", "res" and "out" files, or a VCF
// with its PED pedigree, written back as a phased VCF. The one run loop
// (app/run_loop.cpp) drives every method through this interface.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/result_sinks.h"

class RunFormat {
 public:
  virtual ~RunFormat() = default;

  // Opens the inputs and creates the results. False after a fatal problem,
  // which is reported; no earlier result has then been touched.
  virtual bool open() = 0;
  // Moves to the next segment of the input: the whole seven-column file
  // once; in a VCF, the next chromosome. False at the end or after a fatal
  // problem (reported).
  virtual bool nextSegment() = 0;
  // The next family of the segment that passed the pedigree check, not yet
  // prepared; null at the end of the segment.
  virtual std::unique_ptr<Family> nextFamily() = 0;
  // Starts the segment's families again (a method that reads them twice).
  // False after a fatal problem (reported).
  virtual bool restartSegment() = 0;
  // The format writes the probability of each phased call's order (where
  // the method gives one).
  virtual bool writesPhaseProbabilities() const { return false; }
  // Recombination fractions of the segment's intervals, where the format
  // knows positions (null otherwise).
  virtual const std::vector<double>* intervalFractions() const = 0;

  // The text results ("res" in both formats; "dat" and "out" only in the
  // seven-column format) and the sink of one family writing into `buffers`
  // (the results themselves or a family's buffers of the same shape).
  virtual const ResultSinks& results() = 0;
  virtual std::unique_ptr<ConfigurationSink> sinkFor(const ResultSinks& buffers) = 0;

  // After the segment's last family is written; `stats` is the founder
  // allele table of a method that keeps one (null otherwise).
  virtual bool endSegment(const AlleleStats* stats) = 0;
  // Finishes the results; returns the exit status. `totalTime`: the method's
  // report ends with the total time line.
  virtual int close(bool completed, bool totalTime, const AlleleStats* stats) = 0;
};
