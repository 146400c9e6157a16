// The table of methods: the option letter, the usage line, what the method
// needs from the run, and its entry. main, the usage text, the run loop of
// both formats and the fuzz harness are driven by it, so a new method is one
// folder and one row.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pedigree/configuration_sink.h"
#include "pedigree/family.h"
#include "pedigree/method_needs.h"
#include "pedigree/settings.h"

// What a method's run is given.
struct MethodInputs {
  const Settings& settings;
  const std::string& inputName;  // for messages
  const AlleleStats& stats;      // the segment's founder allele counts (keepsStatistics)
  bool phaseProbabilities;       // the format writes the phase probabilities of calls
  // The segment's interval fractions where the format knows positions (null
  // otherwise); known before the first reading.
  const std::vector<double>* intervalFractions = nullptr;
};

// A method's work on one segment of the input (a file, a chromosome).
class MethodRun {
 public:
  virtual ~MethodRun() = default;
  // First reading of a method that reads twice: a copy of a checked family.
  virtual void learn(Family&) {}
  virtual void learned(const std::vector<double>* /*intervalFractions*/) {}
  // Solves a checked family (prepared already when the method keeps
  // statistics) and hands its configurations to the sink.
  virtual void solve(Family& family, ConfigurationSink& sink) = 0;
};

struct Method {
  char letter;
  const char* usageLine;  // null: a tool left out of the usage text
  MethodNeeds needs;
  // Null for a tool that is not a method of families (the simulator).
  std::unique_ptr<MethodRun> (*start)(const MethodInputs&);
  // Set for such a tool: runs it on its input file, returns the exit status.
  int (*runTool)(const std::string& inputName);
};

std::span<const Method> methods();
// Null when no method has the letter.
const Method* findMethod(char letter);
// The usage text on standard output.
void printUsage();
