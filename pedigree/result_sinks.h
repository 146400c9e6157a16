// The three result files of a seven-column run, and the sink that writes a
// family's configurations into them.
#pragma once

#include "pedigree/configuration_sink.h"
#include "pedigree/process_clock.h"
#include "pedigree/text_sink.h"

struct ResultSinks {
  TextSink& dat;  // the genotype report
  TextSink& res;  // the report of recombinant counts and times
  TextSink& out;  // the phased table
};

// "Total Time used(Sec):\t<seconds>\n\n": the processor time of the run
// since `runStartClock`, closing a "res" report.
void writeTotalTimeLine(TextSink& res, ClockReading runStartClock);

// Every configuration goes into all three files: its genotype report, its
// "res" line (recombinant count and time) and its phased table.
class ResultFilesSink final : public ConfigurationSink {
 public:
  explicit ResultFilesSink(const ResultSinks& files) : files_(files) {}
  void configuration(Family& family) override {
    family.writeGenotypeReport(files_.dat);
    family.writeResultLine(files_.res);
    family.writePhasedTable(files_.out);
  }
  void tooBig(const Family& family) override {
    files_.out.put("Pedigree ").put(family.familyId).put(" is to big!\n");
  }
  void noSolution(const Family& family) override {
    files_.res.put("There is no 0 recombinant solution for pedigree ").put(family.familyId).put("!\n");
  }

 private:
  ResultSinks files_;
};
