#include "app/run_loop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

using test_support::fileExists;
using test_support::makeTempDir;
using test_support::readFile;
using test_support::writeFile;

namespace {

// A mode that records the order of events and writes every family.
struct RecordingMode {
  std::vector<std::string> events;
  RunMode mode;

  explicit RecordingMode(int minimumSize, bool keepsStatistics = false) {
    mode.minimumFamilySize = minimumSize;
    mode.keepsStatistics = keepsStatistics;
    mode.closeAction = [this](std::unique_ptr<Family> family, RunContext& context) {
      events.push_back("close " + std::to_string(family->familyId) + " members " +
                       std::to_string(family->memberCount));
      family->prepare();
      family->writeGenotypeReport(context.dat);
      family->writeResultLine(context.res);
      family->writePhasedTable(context.out);
      if (context.stats != nullptr) context.stats->addFamily(*family);
    };
    mode.endAction = [this](RunContext& context) {
      events.push_back("end");
      writeTotalTimeLine(context);
    };
  }
};

const char* kTwoFamilies =
    "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"
    "2 1 0 0 1 0 0 1 2\n2 2 0 0 2 0 0 2 2\n";

}  // namespace

TEST(RunLoop, SmallFamiliesLeaveNoTraceAndEventsComeInInputOrder) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt", kTwoFamilies);
  RecordingMode recording(3);
  ASSERT_EQ(runPedigreeFile(dir + "/ped.txt", recording.mode), 0);
  EXPECT_EQ(recording.events, (std::vector<std::string>{"close 1 members 3", "end"}));
  std::string res = test_support::maskTimes(readFile(dir + "/ped.res"));
  EXPECT_EQ(res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\nTotal Time used(Sec):\tT\n\n");
  EXPECT_EQ(readFile(dir + "/ped.out").find("\n2\t"), std::string::npos);
  EXPECT_EQ(readFile(dir + "/ped.dat").substr(0, 4), "1-1\n");
}

TEST(RunLoop, ResultNamesReplaceTheLastThreeCharacters) {
  std::string dir = makeTempDir();
  writeFile(dir + "/abc", kTwoFamilies);
  RecordingMode recording(1);
  ASSERT_EQ(runPedigreeFile(dir + "/abc", recording.mode), 0);
  EXPECT_TRUE(fileExists(dir + "/dat"));
  EXPECT_TRUE(fileExists(dir + "/res"));
  EXPECT_TRUE(fileExists(dir + "/out"));
}

TEST(RunLoop, InvalidFamiliesAreSkippedWithAReason) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"7 1 0 0 1 0 0 1 2\n7 2 0 0 2 0 0 1 2 3 4\n7 3 1 2 1 0 0 1 1 3 3\n", "member 1 (line 1) has 1 loci"},
      {"7 1 0 0 1 0 0\n7 2 0 0 2 0 0\n7 3 1 9 1 0 0\n", "names mother 9, who is not a member"},
      {"7 1 0 0 1 0 0\n7 2 0 0 2 0 0\n7 3 1 0 1 0 0\n", "only one known parent"},
      {"7 1 3 2 1 0 0\n7 2 0 0 2 0 0\n7 3 1 2 1 0 0\n", "cannot be placed after its parents"},
      {"7 1 0 0 2 0 0\n7 2 0 0 2 0 0\n7 3 1 2 1 0 0\n", "member 1 (line 1) is the father of member 3"},
      {"7 1 0 0 1 0 0\n7 2 0 0 1 0 0\n7 3 1 2 1 0 0\n", "is the mother of member 3 but has sex 1"},
      {"7 1 0 0 1 0 0\n7 2 0 0 2\n7 3 1 2 1 0 0\n", "line 2 has fewer than the seven leading fields"},
  };
  for (const Case& c : cases) {
    std::string dir = makeTempDir();
    writeFile(dir + "/ped.txt", std::string(c.text) + "8 1 0 0 1 0 0\n8 2 0 0 2 0 0\n8 3 1 2 2 0 0\n");
    RecordingMode recording(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPedigreeFile(dir + "/ped.txt", recording.mode), 0);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Haplotor: " + dir + "/ped.txt: family 7: "), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_NE(message.find("; family skipped\n"), std::string::npos) << message;
    EXPECT_EQ(recording.events, (std::vector<std::string>{"close 8 members 3", "end"})) << c.reason;
  }
}

TEST(RunLoop, StatisticsModesRejectFamiliesWithAnotherLocusCount) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt",
            "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n"
            "2 1 0 0 1 0 0 1 2 3 4\n2 2 0 0 2 0 0 1 1 3 3\n"
            "3 1 0 0 1 0 0 2 2\n");
  RecordingMode recording(1, true);
  testing::internal::CaptureStderr();
  EXPECT_EQ(runPedigreeFile(dir + "/ped.txt", recording.mode), 0);
  std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("family 2: it has 2 loci but the first family of the run has 1"), std::string::npos);
  EXPECT_EQ(recording.events, (std::vector<std::string>{"close 1 members 2", "close 3 members 1", "end"}));
}

TEST(RunLoop, MemberDpModeRequiresMothersOfSexTwo) {
  std::string dir = makeTempDir();
  writeFile(dir + "/ped.txt", "1 1 0 0 1 0 0\n1 2 0 0 0 0 0\n1 3 1 2 1 0 0\n");
  RecordingMode recording(1);
  recording.mode.requiresMotherSexTwo = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(runPedigreeFile(dir + "/ped.txt", recording.mode), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("does not have sex 2"), std::string::npos);
  EXPECT_EQ(recording.events, std::vector<std::string>{"end"});
}
