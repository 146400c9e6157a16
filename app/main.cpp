// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file, or of a VCF/BCF file with a PED pedigree.
#include <csignal>
#include <ctime>
#include <string>

#include "app/methods.h"
#include "app/run_loop.h"
#include "app/settings.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"
#include "vcf/vcf_phasing.h"

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

// Reads the settings and seeds the generator; false after a bad setting,
// which is reported.
bool startRun(Settings& settings) {
  std::string problem;
  if (!readSettings(settings, problem)) {
    diagnostics::error(problem);
    return false;
  }
  random_source::seed(settings.seed ? *settings.seed : static_cast<std::uint32_t>(std::time(nullptr)));
  return true;
}

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
  const Method* method = argc >= 2 ? findMethod(optionLetter(argv[1])) : nullptr;
  Settings settings;
  if (argc == 4 && method != nullptr && method->start != nullptr) {
    if (startRun(settings)) {
      std::unique_ptr<RunFormat> format =
          vcfFormat(argv[2], argv[3], commandLineOf(argc, argv),
                    std::string("option ") + method->letter, settings, method->needs);
      status = runMethod(*method, settings, argv[2], *format);
    } else {
      status = 1;
    }
  } else if (argc != 3) {
    printFullUsage();
  } else if (method == nullptr) {
    printUsage();
  } else if (!startRun(settings)) {
    status = 1;
  } else if (method->runTool != nullptr) {
    status = method->runTool(argv[2]);
  } else {
    std::unique_ptr<RunFormat> format = pedigreeFileFormat(argv[2], method->needs);
    status = runMethod(*method, settings, argv[2], *format);
  }
  diagnostics::flushConsole();
  return status;
}
