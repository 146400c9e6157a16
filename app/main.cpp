// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file.
#include <string>

#include "app/run_loop.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"
#include "simulate/simulation_tool.h"

namespace {

void printUsage() {
  diagnostics::console(
      "USAGE: Haplotor.exe -option infile\n\n"
      "options:\n"
      "b:\tblock-extension algorithm\n"
      "c:\tconstraint-finding algorithm\n"
      "l:\tlocus-based DP algorithm\n"
      "m:\tmember-based DP algorithm\n"
      "i:\tinheritance-vector algorithm\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    printUsage();
    return 0;
  }
  random_source::seedFromEnvironment();
  // Only the option's second character selects; the first is conventionally
  // a dash and anything after the second is ignored.
  const std::string option = argv[1];
  const char letter = option.size() >= 2 ? option[1] : '\0';
  const std::string inputName = argv[2];
  int status = 0;
  switch (letter) {
    case 'b': status = runBlockExtension(inputName); break;
    case 'c': status = runConstraintFinding(inputName); break;
    case 'l': status = runLocusDp(inputName); break;
    case 'm': status = runMemberDp(inputName); break;
    case 'i': status = runInheritanceVectors(inputName); break;
    case 's': status = runSimulationTool(inputName); break;
    default: printUsage(); break;
  }
  diagnostics::flushConsole();
  return status;
}
