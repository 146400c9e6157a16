#include "app/run_loop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "pedigree_file/pedigree_file_format.h"
#include "test_support.h"

using test_support::fileExists;
using test_support::readFile;

namespace {

// A method that records the families it is given and writes each as solved.
std::vector<std::string> events;

class RecordingRun final : public MethodRun {
 public:
  void solve(Family& family, ConfigurationSink& sink) override {
    events.push_back("solve " + std::to_string(family.familyId) + " members " +
                     std::to_string(family.memberCount));
    if (family.memberOrder.empty()) family.prepare();
    sink.configuration(family);
  }
};

std::unique_ptr<MethodRun> startRecording(const MethodInputs&) { return std::make_unique<RecordingRun>(); }

struct Recorded {
  int status = -1;
  std::string dir;       // holds the input, ped.txt, and the results
  std::string messages;  // standard error
};

// Runs the recording method on `input` written as `name` in a fresh folder.
Recorded runRecording(const std::string& input, int minimumSize, bool keepsStatistics = false,
                      bool motherSexTwo = false, const std::string& name = "ped.txt") {
  events.clear();
  MethodNeeds needs;
  needs.minimumFamilySize = minimumSize;
  needs.keepsStatistics = keepsStatistics;
  needs.motherSexTwo = motherSexTwo;
  needs.totalTime = true;
  const Method method{'r', nullptr, needs, startRecording, nullptr};
  Settings settings;
  settings.threads = 1;
  Recorded recorded;
  recorded.dir = test_support::folderWith({{name, input}});
  const std::string path = recorded.dir + "/" + name;
  std::unique_ptr<RunFormat> format = pedigreeFileFormat(path, needs);
  testing::internal::CaptureStderr();
  recorded.status = runMethod(method, settings, path, *format);
  recorded.messages = testing::internal::GetCapturedStderr();
  return recorded;
}

const char* kTwoFamilies =
    "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n"
    "2 1 0 0 1 0 0 1 2\n2 2 0 0 2 0 0 2 2\n";

}  // namespace

TEST(RunLoop, SmallFamiliesLeaveNoTraceAndEventsComeInInputOrder) {
  const Recorded run = runRecording(kTwoFamilies, 3);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(events, (std::vector<std::string>{"solve 1 members 3"}));
  std::string res = test_support::maskTimes(readFile(run.dir + "/ped.res"));
  EXPECT_EQ(res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\nTotal Time used(Sec):\tT\n\n");
  EXPECT_EQ(readFile(run.dir + "/ped.out").find("\n2\t"), std::string::npos);
  EXPECT_EQ(readFile(run.dir + "/ped.dat").substr(0, 4), "1-1\n");
}

TEST(RunLoop, ResultNamesReplaceTheLastThreeCharacters) {
  const Recorded run = runRecording(kTwoFamilies, 1, false, false, "abc");
  ASSERT_EQ(run.status, 0);
  for (const char* name : {"/dat", "/res", "/out"}) EXPECT_TRUE(fileExists(run.dir + name)) << name;
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
  };
  for (const Case& c : cases) {
    const Recorded run =
        runRecording(std::string(c.text) + "8 1 0 0 1 0 0\n8 2 0 0 2 0 0\n8 3 1 2 2 0 0\n", 3);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.messages.find("Haplotor: " + run.dir + "/ped.txt: family 7: "), std::string::npos)
        << run.messages;
    EXPECT_NE(run.messages.find(c.reason), std::string::npos) << run.messages;
    EXPECT_NE(run.messages.find("; family skipped\n"), std::string::npos) << run.messages;
    EXPECT_EQ(events, (std::vector<std::string>{"solve 8 members 3"})) << c.reason;
  }
}

// Methods keeping statistics reject a family of another locus count; those
// that need it reject mothers of another sex than 2.
TEST(RunLoop, FamiliesAMethodCannotTakeAreRejected) {
  Recorded run = runRecording(
      "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n2 1 0 0 1 0 0 1 2 3 4\n2 2 0 0 2 0 0 1 1 3 3\n"
      "3 1 0 0 1 0 0 2 2\n",
      1, true);
  EXPECT_NE(run.messages.find("family 2: it has 2 loci but the first family of the run has 1"),
            std::string::npos);
  EXPECT_EQ(events, (std::vector<std::string>{"solve 1 members 2", "solve 3 members 1"}));
  run = runRecording("1 1 0 0 1 0 0\n1 2 0 0 0 0 0\n1 3 1 2 1 0 0\n", 1, false, true);
  EXPECT_NE(run.messages.find("does not have sex 2"), std::string::npos);
  EXPECT_TRUE(events.empty());
}
