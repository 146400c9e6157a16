// Reading, preparation and the three writers on a generated file of 2,000
// families x 10 members x 1,000 biallelic loci (about 80 MB).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/pedigree_generator.h"
#include "pedigree_file/pedigree_reader.h"

namespace {

const std::string& inputPath() {
  static const std::string path = [] {
    std::string name = "/tmp/haplotor_reader_bench.txt";
    std::FILE* file = std::fopen(name.c_str(), "w");
    TextSink sink(file);
    bench_generator::writeFamilies(GeneratorSettings{}, sink);
    sink.flush();
    std::fclose(file);
    return name;
  }();
  return path;
}

void ReadPrepareWrite(benchmark::State& state) {
  const std::string& path = inputPath();
  std::FILE* devNull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    std::FILE* input = std::fopen(path.c_str(), "r");
    LineSource source(input);
    PedigreeReader reader(source, path);
    TextSink dat(devNull), res(devNull), out(devNull);
    long long bytes = 0;
    while (true) {
      ReadFamily read = reader.nextFamily();
      if (read.family == nullptr) break;
      Family& family = *read.family;
      family.memberCount = static_cast<int>(family.members.size());
      family.prepare();
      family.writeGenotypeReport(dat);
      family.writeResultLine(res);
      family.writePhasedTable(out);
    }
    std::fseek(input, 0, SEEK_END);
    bytes = std::ftell(input);
    std::fclose(input);
    state.SetBytesProcessed(state.bytes_processed() + bytes);
  }
  std::fclose(devNull);
}
BENCHMARK(ReadPrepareWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
