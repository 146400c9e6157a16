// A run under faults loses no earlier result and finishes what it can: bad
// inputs, inputs aliased to their own results, a vanished console reader and
// a full disk.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace test_support;

namespace {

const char* kTrio = "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n";

// Families whose every child contradicts its parents: option b prints two
// lines on standard output per family.
std::string mendelErrors(int families, int loci) {
  std::string text;
  for (int f = 1; f <= families; ++f) {
    const std::string id = std::to_string(f);
    std::string markers;
    for (int l = 0; l < loci; ++l) markers += " 1 1";
    text += id + " 1 0 0 1 0 0" + markers + "\n" + id + " 2 0 0 2 0 0" + markers + "\n";
    text += id + " 3 1 2 1 0 0 3 3" + markers.substr(4) + "\n";
  }
  return text;
}

TEST(Faults, InputThatIsNotAFileIsRefusedBeforeAnyResultIsTouched) {
  const std::string dir = makeTempDir();
  const RunResult b = runShell("mkdir d.txt && echo OLD > d.res && $HAPLOTOR -b d.txt", dir);
  EXPECT_EQ(b.exitStatus, 1);
  EXPECT_EQ(b.standardError, "Haplotor: input file 'd.txt' is not a regular file or a pipe\n");
  EXPECT_EQ(readFile(dir + "/d.res"), "OLD\n");
  EXPECT_FALSE(fileExists(dir + "/d.out"));
  const RunResult s = runShell("mkdir s.txt && $HAPLOTOR -s s.txt", dir);
  EXPECT_EQ(s.exitStatus, 1);
  EXPECT_EQ(s.standardError, "Haplotor: structure file 's.txt' is not a regular file or a pipe\n");
  // A pipe is read like a file.
  writeFile(dir + "/in.ped", kTrio);
  const RunResult fifo = runShell("mkfifo p.txt && (cat in.ped > p.txt &) && $HAPLOTOR -b p.txt", dir);
  EXPECT_EQ(fifo.exitStatus, 0);
  EXPECT_NE(readFile(dir + "/p.res").find("\n1\t 0\t"), std::string::npos);
}

TEST(Faults, InputLinkedToItsOwnResultIsRefusedAndKept) {
  const std::string dir = folderWith({{"y.dat", kTrio}, {"z.out", kTrio}});
  const std::string refused =
      "would be overwritten by its own result file; rename it (for example to a .txt name)\n";
  const RunResult symbolic = runShell("ln -s y.dat y.txt && $HAPLOTOR -b y.txt", dir);
  EXPECT_EQ(symbolic.exitStatus, 1);
  EXPECT_EQ(symbolic.standardError, "Haplotor: input file 'y.txt' " + std::string(refused));
  const RunResult hard = runShell("ln z.out z.txt && $HAPLOTOR -m z.txt", dir);
  EXPECT_EQ(hard.exitStatus, 1);
  EXPECT_EQ(readFile(dir + "/y.dat"), kTrio);
  EXPECT_EQ(readFile(dir + "/z.out"), kTrio);
  EXPECT_FALSE(fileExists(dir + "/z.res"));
}

TEST(Faults, ResultThatCannotBeOpenedLeavesTheOthersUntouched) {
  const std::string dir = folderWith({{"x.txt", kTrio}, {"x.dat", "OLD DAT\n"}, {"x.res", "OLD RES\n"}});
  const RunResult run = runShell("mkdir x.out && $HAPLOTOR -b x.txt", dir);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(readFile(dir + "/x.dat"), "OLD DAT\n");
  EXPECT_EQ(readFile(dir + "/x.res"), "OLD RES\n");
}

TEST(Faults, ClosedConsoleDoesNotCutTheResults) {
  const std::string dir = folderWith({{"many.txt", mendelErrors(3000, 2)}});
  const RunResult run = runShell("($HAPLOTOR -b many.txt; echo $? > status) | head -c1 >/dev/null", dir);
  EXPECT_EQ(readFile(dir + "/status"), "0\n");
  EXPECT_NE(run.standardError.find("cannot write to standard output"), std::string::npos);
  const std::string res = readFile(dir + "/many.res");
  EXPECT_NE(res.find("\n3000\t 0\t"), std::string::npos);
  EXPECT_NE(res.find("Total Number of Founders\t6000;"), std::string::npos);
}

TEST(Faults, EveryResultFileThatFailsIsNamed) {
  const std::string dir = folderWith({{"big.txt", mendelErrors(300, 60)}});
  const RunResult run = runShell("ulimit -f 8; $HAPLOTOR -b big.txt > /dev/null", dir);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.standardError.find("cannot write result file 'big.dat'"), std::string::npos);
  EXPECT_NE(run.standardError.find("cannot write result file 'big.out'"), std::string::npos);
}

TEST(Faults, ControlBytesFromTheInputAreEscapedInMessages) {
  using namespace std::string_literals;
  const std::string dir =
      folderWith({{"n.txt", "1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1\n1 3 1 2 1 0 0 1 1 \x01\0 1\n"s}});
  const RunResult run = runHaplotor({"-l", "n.txt"}, dir);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.standardError.find("field 10 '\\x01\\x00' is not a number"), std::string::npos)
      << run.standardError;
  EXPECT_EQ(run.standardError.find('\0'), std::string::npos);
}

}  // namespace
