// Helpers shared by the test programs: families from text, temporary
// folders, and runs of the built executable.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/family.h"

namespace test_support {

// Families read from pedigree-file text, in input order, as the reader builds
// them (not prepared, not validated).
std::vector<std::unique_ptr<Family>> familiesFromText(std::string_view text);
// The first family of the text, prepared.
std::unique_ptr<Family> preparedFamily(std::string_view text);

// A fresh empty folder under the system's temporary folder.
std::string makeTempDir();
// A fresh folder holding the given files (name: text).
std::string folderWith(const std::map<std::string, std::string>& files);
// The text of a file of the source tree's examples/ folder.
std::string exampleText(const std::string& name);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view text);
bool fileExists(const std::string& path);

struct RunResult {
  int exitStatus = -1;
  std::string standardOutput;
  std::string standardError;
};
// Runs the built Haplotor.exe with the arguments in `workDir`, with the
// given environment variables set (HAPLOTOR_SEED is set to 1 unless given).
RunResult runHaplotor(const std::vector<std::string>& arguments, const std::string& workDir,
                      const std::map<std::string, std::string>& environment = {});

// Runs `script` with /bin/sh in `workDir`, with $HAPLOTOR naming the built
// executable and HAPLOTOR_SEED=1; for pipes, limits and links around a run.
RunResult runShell(const std::string& script, const std::string& workDir);

// The "res" text with every time value (third column of family lines, the
// total-time line) replaced by "T", so results compare byte for byte.
std::string maskTimes(const std::string& resText);

}  // namespace test_support
