// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file.
#include <string>

#include "app/run_loop.h"
#include "app/vcf_run.h"
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
      "m:\tmember-based DP algorithm\n");
}

// A command line of neither form also shows the VCF form.
void printFullUsage() {
  printUsage();
  diagnostics::console("\nVCF/BCF input: Haplotor.exe -option genotypes.vcf.gz pedigree.ped\n");
}

std::string commandLineOf(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) text.push_back(' ');
    text.append(argv[i]);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  // Three arguments: the VCF/BCF form, for the letters of the methods it takes.
  if (argc == 4) {
    const std::string option = argv[1];
    const char letter = option.size() >= 2 ? option[1] : '\0';
    if (letter == '\0' || vcfOptionLetters().find(letter) == std::string::npos) {
      printFullUsage();
      diagnostics::flushConsole();
      return 0;
    }
    random_source::seedFromEnvironment();
    const int status = runVcfCommand(letter, argv[2], argv[3], commandLineOf(argc, argv));
    diagnostics::flushConsole();
    return status;
  }
  if (argc != 3) {
    printFullUsage();
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
    case 's': status = runSimulationTool(inputName); break;
    default: printUsage(); break;
  }
  diagnostics::flushConsole();
  return status;
}
