// The common run loop of the four solving methods: open the input and the
// three result files, read the families one after the other, hand every
// complete family to the run mode, and let the mode finish at the end.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "pedigree/family.h"
#include "pedigree/process_clock.h"
#include "pedigree/result_sinks.h"
#include "pedigree/text_sink.h"

class FamilyPool;

// What a run mode's actions are given.
struct RunContext {
  std::string inputName;
  TextSink& dat;
  TextSink& res;
  TextSink& out;
  AlleleStats* stats;  // null unless the mode keeps statistics
  ClockReading runStartClock;
  FamilyPool* pool;  // null unless the mode solves families one by one
};

struct RunMode {
  // Families with fewer members are destroyed unwritten on closing.
  int minimumFamilySize = 1;
  bool keepsStatistics = false;
  // The member-based method reads a parent's side from its sex, so it needs
  // every mother to have sex 2 (other modes only need fathers to be male and
  // mothers not to be).
  bool requiresMotherSexTwo = false;
  // Given a validated family of at least the minimum size, not yet prepared.
  // Unset in a mode with solveFamily: the family then goes to the pool.
  std::function<void(std::unique_ptr<Family>, RunContext&)> closeAction;
  std::function<void(RunContext&)> endAction;
  // Set by methods that solve every family on its own: the run then solves
  // the families it is handed through a pool of HAPLOTOR_THREADS threads
  // (RunContext::pool), writing them out in the order they were handed over.
  std::function<void(Family&, const ResultSinks&)> solveFamily;
};

// Runs the loop; returns the process exit status (0 after a completed run,
// 1 after a fatal input/output error, which is reported on standard error).
int runPedigreeFile(const std::string& inputName, const RunMode& mode);

// "Total Time used(Sec):\t<seconds>\n\n" into the "res" sink.
void writeTotalTimeLine(RunContext& context);
void writeTotalTimeLine(TextSink& res, ClockReading runStartClock);

// The four run drivers (app/run_modes.cpp).
int runBlockExtension(const std::string& inputName);
int runConstraintFinding(const std::string& inputName);
int runLocusDp(const std::string& inputName);
int runMemberDp(const std::string& inputName);
int runInheritanceVectors(const std::string& inputName);
