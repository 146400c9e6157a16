// The genetic map: reading both layouts (plain and gzipped), interpolation,
// fractions handed to the formats, and maps that stop a run.
#include "genetic_map/genetic_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "vcf/genetic_distance.h"

using test_support::exampleText;
using test_support::fileExists;
using test_support::makeTempDir;
using test_support::readFile;
using test_support::runHaplotor;
using test_support::writeFile;

namespace {

double haldane(double cM) { return 0.5 * (1.0 - std::exp(-2.0 * cM / 100.0)); }

// Writes `text` to dir/name, gzipped when `gzipped`; returns the path.
std::string writeMap(const std::string& dir, const std::string& name, const std::string& text, bool gzipped) {
  const std::string path = dir + "/" + name;
  writeFile(path, text);
  if (gzipped) {
    EXPECT_EQ(test_support::runShell("gzip -f " + name + " && mv " + name + ".gz " + name, dir).exitStatus,
              0);
    EXPECT_NE(readFile(path).substr(0, 2), text.substr(0, 2));
  }
  return path;
}

// The same map of chromosome `name` in both layouts: 1 cM per kb up to
// 2000, then 0.5 cM per kb, then 2 cM per kb.
std::string threeColumnMap(const std::string& name) {
  return "pos\tchr\tcM\n1000\t" + name + "\t1.0\n2000\t" + name + "\t2.0\n4000\t" + name + "\t3.0\n6000\t" +
         name + "\t7.0\n";
}
std::string fourColumnMap(const std::string& name) {
  return name + " a 1.0 1000\n" + name + " b 2.0 2000\n\n" + name + " c 3.0 4000\n" + name + " d 7 6000\n";
}

TEST(GeneticMap, BothLayoutsPlainOrGzippedInterpolateAndMatchChrPrefixes) {
  const std::string dir = makeTempDir();
  // Before the first point at the first interval's rate, at and between the
  // points, after the last at the last interval's rate.
  const std::vector<std::int64_t> positions = {500, 1000, 1500, 3000, 4000, 5500, 7000};
  const std::vector<double> expected = {0.5, 1.0, 1.5, 2.5, 3.0, 6.0, 9.0};
  int index = 0;
  for (bool gzipped : {false, true}) {
    for (bool threeColumns : {true, false}) {
      for (const std::string mapName : {"20", "chr20"}) {
        SCOPED_TRACE(std::to_string(gzipped) + std::to_string(threeColumns) + mapName);
        const std::string text = threeColumns ? threeColumnMap(mapName) : fourColumnMap(mapName);
        const std::string path = writeMap(dir, std::to_string(index++) + ".map", text, gzipped);
        GeneticMap map;
        std::string problem;
        ASSERT_TRUE(map.read(path, problem)) << problem;
        EXPECT_EQ(map.lineCount(), 4u);
        for (const std::string vcfName : {"20", "chr20", "CHR20"}) {
          const MapChromosome* points = map.find(vcfName);
          ASSERT_NE(points, nullptr) << vcfName;
          const std::vector<double> cM = interpolateCm(*points, positions, 1.0);
          ASSERT_EQ(cM.size(), expected.size());
          for (std::size_t i = 0; i < cM.size(); ++i) EXPECT_NEAR(cM[i], expected[i], 1e-12) << positions[i];
          const std::vector<double> fractions = mapFractions(*points, positions, 1.0);
          ASSERT_EQ(fractions.size(), positions.size() - 1);
          for (std::size_t i = 0; i + 1 < cM.size(); ++i)
            EXPECT_NEAR(fractions[i], haldane(expected[i + 1] - expected[i]), 1e-12);
        }
        EXPECT_EQ(map.find("2"), nullptr);
        EXPECT_EQ(map.find("chr2"), nullptr);
        const std::vector<double> lines = map.lineFractions();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NEAR(lines[2], haldane(4.0), 1e-12);
      }
    }
  }
}

TEST(GeneticMap, EndsWithoutARateTakeTheFallbackAndChromosomesAreUnlinked) {
  const std::string dir = makeTempDir();
  GeneticMap map;
  std::string problem;
  // Chromosome 1 has one position only (twice); an exact name is preferred
  // to one matched without its prefix.
  ASSERT_TRUE(map.read(
      writeMap(dir, "m", "1 a 5 1000\n1 b 6 1000\nchr2 c 0 10\n2 d 9 10\n2 e 10 20\n", false), problem))
      << problem;
  const std::vector<double> cM = interpolateCm(*map.find("chr1"), {0, 1000, 3000}, 2.0);
  EXPECT_NEAR(cM[0], 5.0 - 0.002, 1e-12);
  EXPECT_NEAR(cM[1], 6.0, 1e-12);
  EXPECT_NEAR(cM[2], 6.0 + 0.004, 1e-12);
  EXPECT_NEAR(interpolateCm(*map.find("2"), {15}, 1.0)[0], 9.5, 1e-12);
  EXPECT_NEAR(interpolateCm(*map.find("chr2"), {15}, 1.0)[0], 5e-6, 1e-12);
  const std::vector<double> lines = map.lineFractions();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NEAR(lines[0], haldane(1.0), 1e-12);
  EXPECT_EQ(lines[1], 0.5);
  EXPECT_EQ(lines[2], 0.5);
  EXPECT_NEAR(lines[3], haldane(1.0), 1e-12);
}

// A map that cannot be used stops the run before any result is touched,
// naming the file and the line (or both counts), with exit status 1.
TEST(GeneticMap, UnusableMapsStopTheRunAndTouchNoResult) {
  const std::string family =
      "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1 1 1\n1 3 1 2 1 0 0 1 2 1 1 2 1\n";
  const struct {
    std::string map;
    bool gzipped;
    std::string message;
  } cases[] = {
      {"pos chr cM\n10 1 0.1\n20 1 0.2\n15 1 0.3\n", false,
       "genetic map 'map.txt', line 4: the map is not sorted: on chromosome 1 position 15 comes after 20"},
      {"1 a 0.1 10\n1 b 0.3 20\n1 c 0.2 30\n", true,
       "genetic map 'map.txt', line 3: the map is not sorted: on chromosome 1 0.2 cM comes after a larger "
       "value"},
      {"1 a 0.1 10\n1 b 0.3x 20\n1 c 0.4 30\n", false,
       "genetic map 'map.txt', line 2: the centimorgan value '0.3x' is not a number"},
      {"pos chr cM\n10 1 0.1\n20 1\n", true, "genetic map 'map.txt', line 3: 2 columns where the map has 3"},
      {"1 0.1\n", false, "genetic map 'map.txt', line 1: 2 columns; a map has 3"},
      {"pos chr cM\n", false, "genetic map 'map.txt' holds no map line"},
      {"1 a 0.1 10\n1 b 0.3 20\n1 c 0.4 30\n1 d 0.5 40\n1 e 0.6 50\n", false,
       "genetic map 'map.txt' has 5 lines but the first line of input file 'x.txt' has 3 markers"},
      {"", false, "cannot open genetic map 'none.txt': No such file or directory"},
      {"gzip", false, "genetic map 'map.txt' is damaged or cut short after line "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string dir = test_support::folderWith({{"x.txt", family}});
    if (c.map == "gzip") {
      // A gzipped map cut short in its compressed data.
      std::string lines;
      for (int i = 0; i < 500; ++i) lines += "1 m" + std::to_string(i * 7919 % 1000) + " 0 0\n";
      writeMap(dir, "map.txt", lines, true);
      const std::string compressed = readFile(dir + "/map.txt");
      writeFile(dir + "/map.txt", compressed.substr(0, compressed.size() / 2));
    } else if (!c.map.empty()) {
      writeMap(dir, "map.txt", c.map, c.gzipped);
    }
    const std::string mapName = c.map.empty() ? "none.txt" : "map.txt";
    const auto run = runHaplotor({"-i", "x.txt"}, dir, {{"HAPLOTOR_MAP", mapName}});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.standardError.find("Haplotor: " + c.message), 0u) << run.standardError;
    for (const char* result : {"/x.dat", "/x.res", "/x.out"}) EXPECT_FALSE(fileExists(dir + result));
    // The VCF form refuses the map before it creates its results too (the
    // marker count is a check of pedigree files only).
    if (c.message.find("markers") != std::string::npos) continue;
    writeFile(dir + "/v.vcf", exampleText("vcf_example.vcf"));
    writeFile(dir + "/v.ped", exampleText("vcf_example.ped"));
    const auto vcfRun = runHaplotor({"-i", "v.vcf", "v.ped"}, dir, {{"HAPLOTOR_MAP", mapName}});
    EXPECT_EQ(vcfRun.exitStatus, 1);
    EXPECT_EQ(vcfRun.standardError, run.standardError);
    EXPECT_FALSE(fileExists(dir + "/v.res") || fileExists(dir + "/v.phased.vcf.gz"));
  }
}

// The map reaches option i in both forms: child 4 (b) takes its father's
// first haplotype at marker 1 and his second at marker 3, so its missing
// marker 2 is filled from the side of the shorter map distance (near marker
// 1 without a map, where the tie goes to the previous marker). HAPLOTOR_THETA
// still overrides the map.
TEST(GeneticMap, OptionIFillsAMissingMarkerFromTheNearerSide) {
  const std::string dir =
      test_support::folderWith({{"f.txt",
                                 "1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1 1 1\n"
                                 "1 3 1 2 1 0 0 2 1 2 1 2 1\n1 4 1 2 1 0 0 1 1 0 0 2 1\n"},
                                {"near.map", "1 a 0 0\n1 b 0.001 0\n1 c 50 0\n"},
                                {"far.map", "1 a 0 0\n1 b 50 0\n1 c 50.001 0\n"},
                                {"v.vcf",
                                 "##fileformat=VCFv4.2\n##contig=<ID=1>\n"
                                 "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
                                 "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tf\tm\ta\tb\n"
                                 "1\t1000\t.\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\t1/0\t0/0\n"
                                 "1\t2000\t.\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\t1/0\t./.\n"
                                 "1\t3000\t.\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\t1/0\t1/0\n"},
                                {"v.ped", "1 f 0 0 1 0\n1 m 0 0 2 0\n1 a f m 1 0\n1 b f m 1 0\n"},
                                {"x.vcf", exampleText("vcf_example.vcf")},
                                {"x.ped", exampleText("vcf_example.ped")}});
  writeMap(dir, "vnear.map", "pos chr cM\n1000 chr1 0\n2000 chr1 0.001\n3000 chr1 50\n", true);
  writeMap(dir, "vfar.map", "pos chr cM\n1000 chr1 0\n2000 chr1 50\n3000 chr1 50.001\n", true);
  const struct {
    std::map<std::string, std::string> environment;
    std::string markerTwo;  // child 4's marker 2 in the "out" file
    std::string siteTwo;    // b's call at 2000 in the phased VCF
  } cases[] = {
      {{}, "1/1", "0|0"},
      {{{"HAPLOTOR_MAP", "near"}}, "1/1", "0|0"},
      {{{"HAPLOTOR_MAP", "far"}}, "2/1", "1|0"},
      {{{"HAPLOTOR_MAP", "far"}, {"HAPLOTOR_THETA", "0.01"}}, "1/1", "0|0"},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> environment = c.environment;
    const std::string map = environment.count("HAPLOTOR_MAP") != 0 ? environment["HAPLOTOR_MAP"] : "none";
    SCOPED_TRACE(map + " " + std::to_string(environment.size()));
    if (map != "none") environment["HAPLOTOR_MAP"] = map + ".map";
    const auto run = runHaplotor({"-i", "f.txt"}, dir, environment);
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const std::string out = readFile(dir + "/f.out");
    const std::size_t child = out.find("1\t4\t");
    ASSERT_NE(child, std::string::npos) << out;
    EXPECT_EQ(out.substr(child), "1\t4\t1\t2\t1\t0\t0\t1/1\t" + c.markerTwo + "\t2/1\t1" +
                                     (c.markerTwo == "1/1" ? "1" : "0") + "0\t000\n");

    if (map != "none") environment["HAPLOTOR_MAP"] = "v" + map + ".map";
    environment["HAPLOTOR_IMPUTE"] = "1";
    environment["HAPLOTOR_OUT"] = "-";
    const auto vcfRun = runHaplotor({"-i", "v.vcf", "v.ped"}, dir, environment);
    ASSERT_EQ(vcfRun.exitStatus, 0) << vcfRun.standardError;
    // The site's GT values, without the PS and PP that follow them.
    const std::size_t line = vcfRun.standardOutput.find("\n1\t2000\t");
    ASSERT_NE(line, std::string::npos) << vcfRun.standardOutput;
    std::istringstream fields(
        vcfRun.standardOutput.substr(line + 1, vcfRun.standardOutput.find('\n', line + 1) - line - 1));
    std::vector<std::string> genotypes;
    for (std::string field; fields >> field;) genotypes.push_back(field.substr(0, field.find(':')));
    EXPECT_EQ(genotypes, (std::vector<std::string>{"1", "2000", ".", "A", "G", ".", ".", ".", "GT", "1|0",
                                                   "0|0", "1|0", c.siteTwo}));
  }
  // A chromosome the map lacks is noted and keeps the uniform rate.
  const auto run = runHaplotor({"-i", "x.vcf", "x.ped"}, dir, {{"HAPLOTOR_MAP", "vfar.map"}});
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_NE(run.standardError.find("Haplotor: x.vcf: chromosome X is not in genetic map 'vfar.map'; its "
                                   "intervals take 1 cM per Mb"),
            std::string::npos)
      << run.standardError;
  EXPECT_EQ(run.standardError.find("chromosome 1 is not"), std::string::npos);
}

}  // namespace
