// Haplotor: haplotype configurations with the fewest recombinations for the
// families of a pedigree file, or of a VCF/BCF file with a PED pedigree.
#include <csignal>
#include <string>
#include <vector>

#include "app/command_line.h"

int main(int argc, char** argv) {
  // A reader of standard output that goes away (a pager, `head`) must not
  // end the run: console writes then fail and are reported, and the result
  // files are still written whole.
  std::signal(SIGPIPE, SIG_IGN);
  // A result file that reaches the file size limit fails its writes, which
  // are reported file by file, instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return runCommandLine(std::vector<std::string>(argv, argv + argc));
}
