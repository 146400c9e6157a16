// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file.
#include <csignal>
#include <string>

#include "app/methods.h"
#include "pedigree/diagnostics.h"
#include "pedigree/random_source.h"

int main(int argc, char** argv) {
  // A reader of standard output that goes away (a pager, `head`) must not
  // end the run: console writes then fail and are reported, and the result
  // files are still written whole.
  std::signal(SIGPIPE, SIG_IGN);
  // A result file that reaches the file size limit fails its writes, which
  // are reported file by file, instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
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
