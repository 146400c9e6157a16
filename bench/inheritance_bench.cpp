// Option i on generated families, both readings included (the first
// gathers frequencies and the least recombinant count, the second solves
// and writes): a couple with 9 children (16 inheritance bits) and with 11
// children (20 bits) over 1,000 biallelic loci, and 20 couples with 3
// children over 23,670 loci; the first and last also with a genotype error
// rate of 0.01. Output goes to /dev/null; "peak_rss_mib" is the
// process's peak resident size, so run one benchmark per process
// (--benchmark_filter) to read it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <random>
#include <string>

#include "inheritance/inheritance_vector.h"
#include "pedigree/result_sinks.h"
#include "pedigree_file/pedigree_reader.h"

namespace {

// Couples with children, founder alleles 1/2 at random, 2% recombination
// per interval and 5% missing alleles.
std::string couplesText(int families, int children, int loci, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::string text;
  for (int f = 1; f <= families; ++f) {
    std::vector<std::vector<int>> haplotypes(4, std::vector<int>(static_cast<std::size_t>(loci)));
    for (auto& haplotype : haplotypes) {
      for (int& allele : haplotype) allele = uniform(random) < 0.5 ? 1 : 2;
    }
    auto line = [&](int id, int father, int mother, int sex, const std::vector<int>& a,
                    const std::vector<int>& b) {
      for (int value : {f, id, father, mother, sex, 0, 0}) text.append(std::to_string(value)).append(" ");
      for (std::size_t l = 0; l < a.size(); ++l) {
        text.append(std::to_string(uniform(random) < 0.05 ? 0 : a[l])).append(" ");
        text.append(std::to_string(uniform(random) < 0.05 ? 0 : b[l])).append(" ");
      }
      text.back() = '\n';
    };
    line(1, 0, 0, 1, haplotypes[0], haplotypes[1]);
    line(2, 0, 0, 2, haplotypes[2], haplotypes[3]);
    for (int c = 0; c < children; ++c) {
      std::vector<int> received[2];
      for (int side = 0; side < 2; ++side) {
        int copy = uniform(random) < 0.5 ? 0 : 1;
        for (int l = 0; l < loci; ++l) {
          if (l > 0 && uniform(random) < 0.02) copy = 1 - copy;
          received[side].push_back(
              haplotypes[static_cast<std::size_t>(2 * side + copy)][static_cast<std::size_t>(l)]);
        }
      }
      line(3 + c, 1, 2, 1 + c % 2, received[0], received[1]);
    }
  }
  return text;
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void solveText(benchmark::State& state, const std::string& text, double genotypeError = 0.0) {
  Settings settings;
  settings.genotypeError = genotypeError;
  std::FILE* devNull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    TextSink out(devNull), dat(devNull), res(devNull);
    ResultFilesSink sink({dat, res, out});
    inheritance::FileModel model(settings);
    {
      LineSource source(text);
      PedigreeReader reader(source, "bench input");
      for (ReadFamily read = reader.nextFamily(); read.family != nullptr; read = reader.nextFamily()) {
        read.family->memberCount = static_cast<int>(read.family->members.size());
        read.family->prepare();
        model.addFamily(*read.family);
      }
    }
    model.finish();
    LineSource source(text);
    PedigreeReader reader(source, "bench input");
    for (ReadFamily read = reader.nextFamily(); read.family != nullptr; read = reader.nextFamily()) {
      read.family->memberCount = static_cast<int>(read.family->members.size());
      read.family->prepare();
      inheritance::solveFamily(*read.family, model, "bench input", sink);
    }
  }
  std::fclose(devNull);
  state.counters["peak_rss_mib"] = peakResidentMiB();
}

void Bits16Loci1000(benchmark::State& state) { solveText(state, couplesText(1, 9, 1000, 1)); }
void Bits20Loci1000(benchmark::State& state) { solveText(state, couplesText(1, 11, 1000, 2)); }
void Nuclear20Loci23670(benchmark::State& state) { solveText(state, couplesText(20, 3, 23670, 3)); }
// The same with a genotype error rate of 0.01.
void Bits16Loci1000Error(benchmark::State& state) { solveText(state, couplesText(1, 9, 1000, 1), 0.01); }
void Nuclear20Loci23670Error(benchmark::State& state) {
  solveText(state, couplesText(20, 3, 23670, 3), 0.01);
}

}  // namespace

BENCHMARK(Bits16Loci1000)->Unit(benchmark::kMillisecond);
BENCHMARK(Bits20Loci1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Nuclear20Loci23670)->Unit(benchmark::kMillisecond);
BENCHMARK(Bits16Loci1000Error)->Unit(benchmark::kMillisecond);
BENCHMARK(Nuclear20Loci23670Error)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
