// End-to-end cases: every folder of tests/golden holds an input, the option
// to run and the expected result files, standard output, standard error and
// exit status, compared byte for byte (time columns masked).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

TEST(Golden, EveryCaseMatchesItsExpectedFiles) {
  int cases = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(HAPLOTOR_SOURCE_DIR) / "tests" / "golden")) {
    const fs::path folder = entry.path();
    if (!fs::exists(folder / "option")) continue;
    SCOPED_TRACE(folder.filename().string());
    ++cases;
    const std::string work = makeTempDir();
    fs::copy_file(folder / "input.txt", fs::path(work) / "input.txt");
    std::string option = "-";
    option.append(trimmed(readFile(folder / "option")));
    const RunResult run = runHaplotor({option, "input.txt"}, work, {{"HAPLOTOR_SEED", "7"}});
    EXPECT_EQ(std::to_string(run.exitStatus), trimmed(readFile(folder / "expected.status")));
    EXPECT_EQ(run.standardOutput, readFile(folder / "expected.stdout"));
    EXPECT_EQ(run.standardError, readFile(folder / "expected.stderr"));
    int files = 0;
    for (const auto& expected : fs::directory_iterator(folder)) {
      const std::string name = expected.path().filename().string();
      if (name.rfind("expected.input", 0) != 0) continue;
      ++files;
      const std::string produced = (fs::path(work) / name.substr(9)).string();
      ASSERT_TRUE(fileExists(produced)) << produced;
      std::string want = readFile(expected.path());
      std::string got = readFile(produced);
      if (name.size() > 4 && name.substr(name.size() - 4) == ".res") {
        want = maskTimes(want);
        got = maskTimes(got);
      }
      EXPECT_EQ(got, want) << name;
    }
    EXPECT_GT(files, 0);
    fs::remove_all(work);
  }
  EXPECT_GE(cases, 17);
}

}  // namespace
