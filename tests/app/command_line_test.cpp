#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

using test_support::fileExists;
using test_support::makeTempDir;
using test_support::runHaplotor;
using test_support::writeFile;

namespace {

const char* kUsage =
    "USAGE: Haplotor.exe -option infile\n\n"
    "options:\n"
    "b:\tblock-extension algorithm\n"
    "c:\tconstraint-finding algorithm\n"
    "l:\tlocus-based DP algorithm\n"
    "m:\tmember-based DP algorithm\n"
    "i:\tinheritance-vector algorithm\n";

}  // namespace

// A two-argument line with an unknown option prints the usage text as it
// always has; a line of neither form (another argument count, or three
// arguments with a letter the VCF form does not take) adds the VCF form.
TEST(CommandLine, WrongArgumentsPrintTheUsageTextAndExitZero) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt", "1 1 0 0 1 0 0 1 2\n");
  const std::string fullUsage =
      std::string(kUsage) + "\nVCF/BCF input: Haplotor.exe -option genotypes.vcf.gz pedigree.ped\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> commandLines = {
      {{}, fullUsage},
      {{"-b"}, fullUsage},
      {{"-b", "a", "b", "c"}, fullUsage},
      {{"-s", "a.vcf", "b.ped"}, fullUsage},
      {{"-", "a.vcf", "b.ped"}, fullUsage},
      {{"-x", "ped.txt"}, kUsage},
      {{"-B", "ped.txt"}, kUsage},
      {{"b", "ped.txt"}, kUsage}};
  for (const auto& [arguments, usage] : commandLines) {
    auto result = runHaplotor(arguments, dir);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, usage);
    EXPECT_EQ(result.standardError, "");
  }
  EXPECT_FALSE(fileExists(dir + "/ped.res"));
}

TEST(CommandLine, ThreeArgumentsReadTheFirstFileAsVcf) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt", "1 1 0 0 1 0 0 1 2\n");
  auto result = runHaplotor({"-b", "ped.txt", "extra"}, dir);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "Haplotor: genotype file 'ped.txt' is not VCF, bgzipped VCF or BCF\n");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_FALSE(fileExists(dir + "/ped.res"));
}

TEST(CommandLine, OnlyTheSecondCharacterOfTheOptionSelects) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt", "1 1 0 0 1 0 0 1 2\n");
  for (const char* option : {"+l", "-lattice", "/l"}) {
    std::filesystem::remove(dir + "/ped.res");
    auto result = runHaplotor({option, "ped.txt"}, dir);
    EXPECT_EQ(result.exitStatus, 0) << option;
    EXPECT_EQ(result.standardOutput, "") << option;
    EXPECT_TRUE(fileExists(dir + "/ped.res")) << option;
  }
}

TEST(CommandLine, FatalInputErrorExitsOneWithoutResults) {
  std::string dir = makeTempDir();
  auto result = runHaplotor({"-b", "x.txt"}, dir);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "Haplotor: cannot open input file 'x.txt': No such file or directory\n");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_FALSE(fileExists(dir + "/x.res"));
}

TEST(CommandLine, InvalidSolutionCapIsReportedOnceAndTheDefaultUsed) {
  std::string dir = makeTempDir();
  std::string families;
  for (int id = 1; id <= 3; ++id) {
    std::string f = std::to_string(id);
    families += f + " 1 0 0 1 0 0 1 2\n" + f + " 2 0 0 2 0 0 1 2\n" + f + " 3 1 2 1 0 0 1 2\n";
  }
  writeFile(dir + "/ped.txt", families);
  auto result = runHaplotor({"-c", "ped.txt"}, dir, {{"HAPLOTOR_MAX_SOLUTIONS", "many"}});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError,
            "Haplotor: HAPLOTOR_MAX_SOLUTIONS='many' is not a non-negative decimal integer; using 4096\n");
}
