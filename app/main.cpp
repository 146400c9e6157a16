// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file.
#include <string>

#include "app/methods.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    printUsage();
    diagnostics::flushConsole();
    return 0;
  }
  random_source::seedFromEnvironment();
  // Only the option's second character selects; the first is conventionally
  // a dash and anything after the second is ignored.
  const std::string option = argv[1];
  const Method* method = findMethod(option.size() >= 2 ? option[1] : '\0');
  int status = 0;
  if (method == nullptr) {
    printUsage();
  } else {
    status = method->run(argv[2]);
  }
  diagnostics::flushConsole();
  return status;
}
