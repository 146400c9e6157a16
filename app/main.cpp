// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file, or of a VCF/BCF file with a PED pedigree.
#include <csignal>
#include <string>

#include "app/methods.h"
#include "app/vcf_run.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"

namespace {

// A command line of neither form also shows the VCF form.
void printFullUsage() {
  printUsage();
  diagnostics::console("\nVCF/BCF input: Haplotor.exe -option genotypes.vcf.gz pedigree.ped\n");
}

// Recorded in the header of a written VCF.
std::string commandLineOf(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) text.push_back(' ');
    text.append(argv[i]);
  }
  return text;
}

// Only the option's second character selects; the first is conventionally a
// dash and anything after the second is ignored.
char optionLetter(const std::string& option) { return option.size() >= 2 ? option[1] : '\0'; }

}  // namespace

int main(int argc, char** argv) {
  // A reader of standard output that goes away (a pager, `head`) must not
  // end the run: console writes then fail and are reported, and the result
  // files are still written whole.
  std::signal(SIGPIPE, SIG_IGN);
  // A result file that reaches the file size limit fails its writes, which
  // are reported file by file, instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = 0;
  if (argc == 4 && vcfOptionLetters().find(optionLetter(argv[1])) != std::string::npos &&
      optionLetter(argv[1]) != '\0') {
    random_source::seedFromEnvironment();
    status = runVcfCommand(optionLetter(argv[1]), argv[2], argv[3], commandLineOf(argc, argv));
  } else if (argc != 3) {
    printFullUsage();
  } else {
    random_source::seedFromEnvironment();
    const Method* method = findMethod(optionLetter(argv[1]));
    if (method == nullptr) {
      printUsage();
    } else {
      status = method->run(argv[2]);
    }
  }
  diagnostics::flushConsole();
  return status;
}
