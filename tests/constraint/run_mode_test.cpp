// Option c end to end: the built program on small files, results compared
// byte for byte (times masked).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "test_support.h"

namespace {

struct Outputs {
  std::string dat;
  std::string res;
  std::string out;
  std::string standardError;
};

Outputs runOptionC(const std::string& input, const std::map<std::string, std::string>& environment = {}) {
  const std::string dir = test_support::makeTempDir();
  test_support::writeFile(dir + "/family.txt", input);
  test_support::RunResult run = test_support::runHaplotor({"-c", "family.txt"}, dir, environment);
  EXPECT_EQ(run.exitStatus, 0) << run.standardError;
  Outputs outputs;
  outputs.dat = test_support::readFile(dir + "/family.dat");
  outputs.res = test_support::maskTimes(test_support::readFile(dir + "/family.res"));
  outputs.out = test_support::readFile(dir + "/family.out");
  outputs.standardError = run.standardError;
  std::filesystem::remove_all(dir);
  return outputs;
}

std::string datBlock(const std::string& header, const std::string& parents, const std::string& loci) {
  // Four locus lines, padded to ten.
  return header + parents + loci + std::string(6, '\n');
}

// The README example: two solutions for family 1 (worked out by hand in the
// README), the no-solution line for family 2.
TEST(OptionC, ReadmeExampleGivesTheHandCheckedSolutions) {
  Outputs outputs = runOptionC(
      test_support::readFile(std::string(HAPLOTOR_SOURCE_DIR) + "/examples/constraint_example.txt"));
  EXPECT_EQ(outputs.res,
            "Family\t # of Rec\t Time used(Sec)\n"
            "1\t 0\t T\n"
            "1\t 0\t T\n"
            "There is no 0 recombinant solution for pedigree 2!\n"
            "Total Time used(Sec):\tT\n"
            "\n");
  EXPECT_EQ(outputs.out,
            "1\t1\t0\t0\t1\t0\t0\t1/2\t2/1\t1/1\t1/2\t0000\t0000\n"
            "1\t2\t0\t0\t2\t0\t0\t1/1\t1/2\t2/1\t1/2\t0000\t0000\n"
            "1\t3\t1\t2\t1\t0\t0\t2/1\t1/1\t1/2\t2/1\t1111\t0000\n"
            "1\t1\t0\t0\t1\t0\t0\t1/2\t2/1\t1/1\t2/1\t0000\t0000\n"
            "1\t2\t0\t0\t2\t0\t0\t1/1\t1/2\t2/1\t2/1\t0000\t0000\n"
            "1\t3\t1\t2\t1\t0\t0\t2/1\t1/1\t1/2\t1/2\t1111\t0000\n");
  const std::string founders = "  ,  \n";
  const std::string expectedDat =
      datBlock("1-1\nM\n", founders, "1|2(0,0)\n2|1(0,0)\n1|1(0,0)\n1|2(0,0)\n") +
      datBlock("1-2\nF\n", founders, "1|1(0,0)\n1|2(0,0)\n2|1(0,0)\n1|2(0,0)\n") +
      datBlock("1-3\nM\n", "1-1 , 1-2\n", "2|1(1,0)\n1|1(1,0)\n1|2(1,0)\n2|1(1,0)\n") +
      datBlock("1-1\nM\n", founders, "1|2(0,0)\n2|1(0,0)\n1|1(0,0)\n2|1(0,0)\n") +
      datBlock("1-2\nF\n", founders, "1|1(0,0)\n1|2(0,0)\n2|1(0,0)\n2|1(0,0)\n") +
      datBlock("1-3\nM\n", "1-1 , 1-2\n", "2|1(1,0)\n1|1(1,0)\n1|2(1,0)\n1|2(1,0)\n");
  EXPECT_EQ(outputs.dat, expectedDat);
  EXPECT_TRUE(outputs.standardError.empty()) << outputs.standardError;
}

TEST(OptionC, SmallFamiliesAreSkippedAndContradictionsWriteOnlyTheLine) {
  Outputs outputs = runOptionC(
      "5 1 0 0 1 0 0 1 2\n"
      "5 2 0 0 2 0 0 1 2\n"
      "6 1 0 0 1 0 0 1 1 1 2\n"
      "6 2 0 0 2 0 0 1 1 1 2\n"
      "6 3 1 2 1 0 0 1 1 0 1\n");
  EXPECT_EQ(outputs.res,
            "Family\t # of Rec\t Time used(Sec)\n"
            "There is no 0 recombinant solution for pedigree 6!\n"
            "Total Time used(Sec):\tT\n"
            "\n");
  EXPECT_TRUE(outputs.dat.empty());
  EXPECT_TRUE(outputs.out.empty());
}

// Two founders with every locus untyped: each keeps its first locus fixed
// and leaves the others free; the untyped child is fixed by its parents'
// missing codes. 14 loci give 2 x 13 = 26 free variables.
std::string untypedTrio(int loci) {
  std::string untyped;
  for (int l = 0; l < loci; ++l) untyped += " 0 0";
  return "3 1 0 0 1 0 0" + untyped + "\n3 2 0 0 2 0 0" + untyped + "\n3 3 1 2 2 0 0" + untyped + "\n";
}

std::size_t resultLines(const std::string& res) {
  return static_cast<std::size_t>(std::count(res.begin(), res.end(), '\n')) - 3;  // header, total, empty
}

TEST(OptionC, OutputLimitWritesTheFirstSolutionsWithOneNote) {
  Outputs limited = runOptionC(untypedTrio(14), {{"HAPLOTOR_MAX_SOLUTIONS", "5"}});
  EXPECT_EQ(resultLines(limited.res), 5u);
  EXPECT_NE(limited.standardError.find("family.txt: family 3: 2^26 = 67108864 zero-recombinant solutions"),
            std::string::npos)
      << limited.standardError;
  EXPECT_NE(limited.standardError.find("only the first 5 were written"), std::string::npos);
  EXPECT_EQ(std::count(limited.standardError.begin(), limited.standardError.end(), '\n'), 1);

  Outputs byDefault = runOptionC(untypedTrio(14));
  EXPECT_EQ(resultLines(byDefault.res), 4096u);
  EXPECT_NE(byDefault.standardError.find("only the first 4096 were written"), std::string::npos);

  Outputs all = runOptionC(untypedTrio(4), {{"HAPLOTOR_MAX_SOLUTIONS", "0"}});
  EXPECT_EQ(resultLines(all.res), 64u);
  EXPECT_TRUE(all.standardError.empty()) << all.standardError;
}

TEST(OptionC, ThirtyTwoFreeVariablesAreWrittenUpToTheLimitOnly) {
  Outputs limited = runOptionC(untypedTrio(17), {{"HAPLOTOR_MAX_SOLUTIONS", "3"}});
  EXPECT_EQ(resultLines(limited.res), 3u);
  EXPECT_NE(limited.standardError.find("(32 free phase variables); only the first 3 were written"),
            std::string::npos)
      << limited.standardError;
}

TEST(OptionC, FamilyWithARepeatedMemberIdIsRefused) {
  // The child is given twice: its phase variables would be numbered by its
  // second line, outside the family's range.
  Outputs outputs = runOptionC(
      "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 2\n1 3 1 2 1 0 0 1 2\n1 3 1 2 1 0 0 1 2\n"
      "2 1 0 0 1 0 0 1 1\n2 2 0 0 2 0 0 2 2\n2 3 1 2 1 0 0 1 2\n");
  EXPECT_EQ(outputs.res, "Family\t # of Rec\t Time used(Sec)\n2\t 0\t T\nTotal Time used(Sec):\tT\n\n");
  EXPECT_EQ(outputs.out.find("1\t3\t"), std::string::npos);
  EXPECT_NE(outputs.standardError.find("family.txt: family 1: member 3 is given on more than one line"),
            std::string::npos);
}

}  // namespace
