#include "app/command_line.h"

#include <ctime>

#include "app/methods.h"
#include "app/run_loop.h"
#include "app/settings.h"
#include "genetic_map/genetic_map.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"
#include "pedigree_file/pedigree_file_format.h"
#include "vcf/vcf_phasing.h"

namespace {

// A command line of neither form also shows the VCF form.
void printFullUsage() {
  printUsage();
  diagnostics::console("\nVCF/BCF input: Haplotor.exe -option genotypes.vcf.gz pedigree.ped\n");
}

// Recorded in the header of a written VCF.
std::string commandLineOf(const std::vector<std::string>& arguments) {
  std::string text;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text.push_back(' ');
    text.append(arguments[i]);
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
  if (!settings.seed) settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
  random_source::seed(*settings.seed);
  return true;
}

// Reads HAPLOTOR_MAP's file, when one is set, into `map` before either
// format touches a file; `given` is then the map, otherwise null. False
// after a map that cannot be used, which is reported.
bool readMap(const Settings& settings, GeneticMap& map, const GeneticMap*& given) {
  given = nullptr;
  if (settings.mapFile.empty()) return true;
  std::string problem;
  if (!map.read(settings.mapFile, problem)) {
    diagnostics::error(problem);
    return false;
  }
  given = &map;
  return true;
}

// HAPLOTOR_CHRX in a seven-column run: "1" (every marker X-linked) or "0".
// A method without a model of X refuses an X-linked file. False after a
// problem, which is reported.
bool readSevenColumnChromosome(const Settings& settings, const Method& method, const std::string& inputName,
                               bool& xLinked) {
  xLinked = settings.chrX == "1";
  if (!settings.chrX.empty() && settings.chrX != "0" && !xLinked) {
    diagnostics::error("HAPLOTOR_CHRX='" + settings.chrX +
                       "' is not 0 or 1 (a seven-column file is X-linked as a whole or not at all)");
    return false;
  }
  if (xLinked && !method.needs.phasesX) {
    diagnostics::error(inputName + ": option " + method.letter + " " + kNoXModel + " (HAPLOTOR_CHRX=1)");
    return false;
  }
  return true;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments) {
  const std::size_t count = arguments.size();
  const Method* method = count >= 2 ? findMethod(optionLetter(arguments[1])) : nullptr;
  Settings settings;
  GeneticMap map;
  const GeneticMap* givenMap = nullptr;
  bool xLinked = false;
  int status = 0;
  if (count == 4 && method != nullptr && method->start != nullptr) {
    if (!startRun(settings) || !readMap(settings, map, givenMap)) return 1;
    std::unique_ptr<RunFormat> format =
        vcfFormat(arguments[2], arguments[3], commandLineOf(arguments),
                  std::string("option ") + method->letter, settings, method->needs, givenMap);
    status = runMethod(*method, settings, arguments[2], *format);
  } else if (count != 3) {
    printFullUsage();
  } else if (method == nullptr) {
    printUsage();
  } else if (!startRun(settings)) {
    status = 1;
  } else if (!settings.region.chromosome.empty()) {
    // Only a VCF run has an index to find a region through.
    diagnostics::error(
        "HAPLOTOR_REGION='" + settings.region.text +
        "' applies to VCF/BCF input only (Haplotor.exe -option genotypes.vcf.gz pedigree.ped)");
    status = 1;
  } else if (method->runTool != nullptr) {
    status = method->runTool(arguments[2]);
  } else if (!readSevenColumnChromosome(settings, *method, arguments[2], xLinked) ||
             !readMap(settings, map, givenMap)) {
    status = 1;
  } else {
    std::unique_ptr<RunFormat> format = pedigreeFileFormat(arguments[2], method->needs, givenMap, xLinked);
    status = runMethod(*method, settings, arguments[2], *format);
  }
  diagnostics::flushConsole();
  return status;
}
