#include "app/methods.h"

#include <algorithm>

#include "app/run_loop.h"
#include "pedigree/diagnostics.h"
#include "simulate/simulation_tool.h"

namespace {

constexpr Method kMethods[] = {
    {'b', "block-extension algorithm", runBlockExtension},
    {'c', "constraint-finding algorithm", runConstraintFinding},
    {'l', "locus-based DP algorithm", runLocusDp},
    {'m', "member-based DP algorithm", runMemberDp},
    {'i', "inheritance-vector algorithm", runInheritanceVectors},
    {'s', nullptr, runSimulationTool},
};

}  // namespace

std::span<const Method> methods() { return kMethods; }

const Method* findMethod(char letter) {
  const auto found = std::find_if(std::begin(kMethods), std::end(kMethods),
                                  [letter](const Method& method) { return method.letter == letter; });
  return found == std::end(kMethods) ? nullptr : found;
}

void printUsage() {
  std::string text = "USAGE: Haplotor.exe -option infile\n\noptions:\n";
  for (const Method& method : kMethods) {
    if (method.usageLine == nullptr) continue;
    text.push_back(method.letter);
    text.append(":\t").append(method.usageLine).push_back('\n');
  }
  diagnostics::console(text);
}
