#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "test_support.h"

using test_support::fileExists;
using test_support::folderWith;
using test_support::makeTempDir;
using test_support::runHaplotor;

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
  std::string dir = folderWith({{"ped.txt", "1 1 0 0 1 0 0 1 2\n"}});
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

TEST(CommandLine, OnlyTheSecondCharacterOfTheOptionSelects) {
  std::string dir = folderWith({{"ped.txt", "1 1 0 0 1 0 0 1 2\n"}});
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

// A setting that cannot be used stops the run before any file is touched,
// naming the variable, for the pedigree form and the VCF form alike.
TEST(CommandLine, BadSettingsStopTheRunBeforeAnyResultIsTouched) {
  const std::pair<const char*, const char*> bad[] = {
      {"HAPLOTOR_MAX_SOLUTIONS", "many"}, {"HAPLOTOR_THREADS", "0"}, {"HAPLOTOR_THETA", "2"},
      {"HAPLOTOR_MAX_BITS", "x"},         {"HAPLOTOR_SEED", "1e3"},  {"HAPLOTOR_IMPUTE", "yes"},
      {"HAPLOTOR_CM_PER_MB", "-1"},       {"HAPLOTOR_TIMES", "2"},   {"HAPLOTOR_MIN_PP", "1.5"},
      {"HAPLOTOR_ERROR", "0.5"},          {"HAPLOTOR_BUILD", "36"},
  };
  const std::string dir = folderWith(
      {{"ped.txt", "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 1 2\n"}, {"ped.res", "OLD"}});
  for (const auto& [name, value] : bad) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-c", "ped.txt"}, std::vector<std::string>{"-i", "g.vcf", "p.ped"}}) {
      auto result = runHaplotor(arguments, dir, {{name, value}});
      EXPECT_EQ(result.exitStatus, 1) << name;
      const std::string start = "Haplotor: " + std::string(name) + "='" + value + "' is not ";
      EXPECT_EQ(result.standardError.substr(0, start.size()), start);
      EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1) << name;
    }
  }
  EXPECT_EQ(test_support::readFile(dir + "/ped.res"), "OLD");
  EXPECT_FALSE(fileExists(dir + "/ped.dat"));
}

// HAPLOTOR_CHRX=1: option i phases the file as X-linked (a son's paternal
// sources are -1, his alleles his mother's); the methods without a model of
// X refuse it before any result is touched.
TEST(CommandLine, SevenColumnXLinkedFilesArePhasedByOptionIAndRefusedByTheOthers) {
  const std::string dir = folderWith({{"ped.txt",
                                       "1 1 0 0 1 0 0 1 1 2 2\n1 2 0 0 2 0 0 1 2 1 2\n1 3 1 2 2 0 0 1 2 2 2\n"
                                       "1 4 1 2 1 0 0 2 2 1 1\n"},
                                      {"ped.res", "OLD"}});
  for (const std::string option : {"-b", "-c", "-l", "-m"}) {
    const auto result = runHaplotor({option, "ped.txt"}, dir, {{"HAPLOTOR_CHRX", "1"}});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "Haplotor: ped.txt: option " + option.substr(1) +
                                        " has no model of X-linked inheritance and does not phase X-linked "
                                        "markers; option i does (HAPLOTOR_CHRX=1)\n");
  }
  EXPECT_EQ(runHaplotor({"-i", "ped.txt"}, dir, {{"HAPLOTOR_CHRX", "X"}}).exitStatus, 1);
  EXPECT_EQ(test_support::readFile(dir + "/ped.res"), "OLD");
  const auto run = runHaplotor({"-i", "ped.txt"}, dir, {{"HAPLOTOR_CHRX", "1"}});
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_NE(test_support::readFile(dir + "/ped.out").find("1\t4\t1\t2\t1\t0\t0\t2/2\t1/1\t-1-1\t01\n"),
            std::string::npos);
}
