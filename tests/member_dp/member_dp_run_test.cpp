// Option m end to end: the built program on small input files.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct RunFiles {
  test_support::RunResult run;
  std::string out;
  std::string dat;
  std::string res;  // times masked
};

RunFiles runMemberDp(const std::string& input, const std::map<std::string, std::string>& environment = {}) {
  const std::string dir = test_support::makeTempDir();
  test_support::writeFile(dir + "/fam.txt", input);
  RunFiles files;
  files.run = test_support::runHaplotor({"-m", "fam.txt"}, dir, environment);
  files.out = test_support::readFile(dir + "/fam.out");
  files.dat = test_support::readFile(dir + "/fam.dat");
  files.res = test_support::maskTimes(test_support::readFile(dir + "/fam.res"));
  return files;
}

std::string exampleInput() {
  return test_support::readFile(std::string(HAPLOTOR_SOURCE_DIR) + "/examples/member_dp_example.txt");
}

// One member line with `loci` untyped loci.
std::string untypedMember(int family, int id, int father, int mother, int sex, int loci) {
  std::string line = std::to_string(family) + " " + std::to_string(id) + " " + std::to_string(father) + " " +
                     std::to_string(mother) + " " + std::to_string(sex) + " 0 0";
  for (int l = 0; l < loci; ++l) line += " 0 0";
  return line + "\n";
}

TEST(MemberDpRun, ExampleIsSolvedInAscendingFamilyIdWithoutTotalTime) {
  const RunFiles files = runMemberDp(exampleInput());
  EXPECT_EQ(files.run.exitStatus, 0);
  EXPECT_EQ(files.run.standardOutput, "");
  EXPECT_EQ(files.run.standardError, "");
  // Family 1: one configuration without recombination; the father's phase
  // turns at locus 1 so that the child keeps source 0. Family 2: the sibs
  // differ at locus 1, so one of them recombines: two configurations.
  EXPECT_EQ(files.out,
            "1\t1\t0\t0\t1\t0\t0\t1/2\t2/1\t1/1\t000\t000\n"
            "1\t2\t0\t0\t2\t0\t0\t3/4\t3/3\t2/2\t000\t000\n"
            "1\t3\t1\t2\t1\t0\t0\t1/3\t2/3\t1/2\t000\t000\n"
            "2\t1\t0\t0\t1\t0\t0\t1/2\t1/2\t1/1\t000\t000\n"
            "2\t2\t0\t0\t2\t0\t0\t1/1\t1/1\t1/1\t000\t000\n"
            "2\t3\t1\t2\t1\t0\t0\t1/1\t1/1\t1/1\t000\t111\n"
            "2\t4\t1\t2\t2\t0\t0\t1/1\t2/1\t1/1\t011\t111\n"
            "2\t1\t0\t0\t1\t0\t0\t1/2\t2/1\t1/1\t000\t000\n"
            "2\t2\t0\t0\t2\t0\t0\t1/1\t1/1\t1/1\t000\t000\n"
            "2\t3\t1\t2\t1\t0\t0\t1/1\t1/1\t1/1\t011\t111\n"
            "2\t4\t1\t2\t2\t0\t0\t1/1\t2/1\t1/1\t000\t111\n");
  EXPECT_EQ(files.res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\n2\t 1\t T\n2\t 1\t T\n");
  // One "dat" block per member and configuration: 3 + 10 lines each.
  EXPECT_EQ(std::count(files.dat.begin(), files.dat.end(), '\n'), 11 * 13);
  EXPECT_EQ(files.dat.substr(0, files.dat.find("1-2\n")),
            "1-1\nM\n  ,  \n1|2(0,0)\n2|1(0,0)\n1|1(0,0)\n" + std::string(7, '\n'));
}

TEST(MemberDpRun, FamiliesBeyondTwentyStateBitsAreRefusedInTheOutFileAndOnStandardError) {
  // Family 5: 9 members, 3 founders = 21 bits. Family 4: 8 members,
  // 2 founders = 20 bits, untyped: solved, one configuration (every phase
  // 0; the highest final state, all sources 1, is traced first).
  std::string input;
  const int parents[9][3] = {{0, 0, 1}, {0, 0, 2}, {1, 2, 1}, {1, 2, 2}, {1, 2, 2},
                             {1, 2, 2}, {3, 4, 1}, {3, 4, 2}, {0, 0, 2}};
  for (int m = 0; m < 9; ++m)
    input += untypedMember(5, m + 1, parents[m][0], parents[m][1], parents[m][2], 2);
  std::string expectedOut;
  for (int m = 0; m < 8; ++m) {
    input += untypedMember(4, m + 1, parents[m][0], parents[m][1], parents[m][2], 2);
    expectedOut += "4\t" + std::to_string(m + 1) + "\t" + std::to_string(parents[m][0]) + "\t" +
                   std::to_string(parents[m][1]) + "\t" + std::to_string(parents[m][2]) +
                   (m < 2 ? "\t0\t0\t0/0\t0/0\t00\t00\n" : "\t0\t0\t0/0\t0/0\t11\t11\n");
  }
  const RunFiles files = runMemberDp(input);
  EXPECT_EQ(files.out, expectedOut + "Pedigree 5 is to big!\n");
  EXPECT_EQ(files.res, "Family\t # of Rec\t Time used(Sec)\n4\t 0\t T\n");
  EXPECT_EQ(files.dat.find("5-"), std::string::npos);
  EXPECT_EQ(files.run.standardError,
            "Haplotor: fam.txt: family 5: needs 21 state bits, more than the 20 the member-based method "
            "takes; only \"Pedigree 5 is to big!\" is written for it\n");
}

TEST(MemberDpRun, CapAndInconsistencyAreReportedWithFileAndFamily) {
  const RunFiles capped = runMemberDp(exampleInput(), {{"HAPLOTOR_MAX_SOLUTIONS", "1"}});
  EXPECT_EQ(capped.res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\n2\t 1\t T\n");
  EXPECT_EQ(capped.run.standardError,
            "Haplotor: fam.txt: family 2: has more optimal configurations; the first 1 were written "
            "(HAPLOTOR_MAX_SOLUTIONS sets the limit, 0 = no limit)\n");

  // Family 8's child carries a 3 that neither parent has at locus 1.
  const RunFiles broken = runMemberDp(
      "8 1 0 0 1 0 0 1 2 1 2\n"
      "8 2 0 0 2 0 0 1 1 1 1\n"
      "8 3 1 2 2 0 0 1 2 3 1\n"
      "9 1 0 0 1 0 0 1 1 2 2\n");
  EXPECT_EQ(broken.out, "9\t1\t0\t0\t1\t0\t0\t1/1\t2/2\t00\t00\n");
  EXPECT_EQ(broken.res, "Family\t # of Rec\t Time used(Sec)\n9\t 0\t T\n");
  EXPECT_EQ(broken.dat.find("8-"), std::string::npos);
  EXPECT_EQ(
      broken.run.standardError,
      "Haplotor: fam.txt: family 8: has no configuration consistent with Mendelian inheritance (none at "
      "locus 1, loci counted from 0); nothing is written for it\n");
}

}  // namespace
