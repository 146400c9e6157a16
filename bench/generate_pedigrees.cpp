// Writes a generated pedigree file to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/pedigree_generator.h"

int main(int argc, char** argv) {
  GeneratorSettings s;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (option == "--help" || value == nullptr) {
      std::printf(
          "usage: generate_pedigrees [--families N] [--members M] [--loci L] [--alleles A]\n"
          "                          [--generations 2|3] [--children C] [--missing RATE] [--recombination "
          "RATE]\n"
          "                          [--seed S]\n"
          "Writes the pedigree file to standard output.\n");
      return option == "--help" ? 0 : 1;
    }
    ++i;
    if (option == "--families")
      s.families = std::atoi(value);
    else if (option == "--members")
      s.members = std::atoi(value);
    else if (option == "--loci")
      s.loci = std::atoi(value);
    else if (option == "--alleles")
      s.alleles = std::atoi(value);
    else if (option == "--generations")
      s.generations = std::atoi(value);
    else if (option == "--children")
      s.children = std::atoi(value);
    else if (option == "--missing")
      s.missingRate = std::atof(value);
    else if (option == "--recombination")
      s.recombinationRate = std::atof(value);
    else if (option == "--seed")
      s.seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
    else {
      std::fprintf(stderr, "generate_pedigrees: unknown option %s\n", option.c_str());
      return 1;
    }
  }
  TextSink out(stdout);
  bench_generator::writeFamilies(s, out);
  out.flush();
  return 0;
}
