#include "app/run_loop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/family_validation.h"
#include "app/pedigree_reader.h"
#include "pedigree/diagnostics.h"

namespace {

// The three result files are opened together: an existing file is opened
// without truncation first, and only when all three are open are they
// emptied, so a failed run never wipes the results of an earlier one.
class ResultFiles {
 public:
  ~ResultFiles() {
    for (std::FILE* file : files_) {
      if (file != nullptr) std::fclose(file);
    }
  }

  bool open(const std::string (&names)[3], std::string& problem) {
    bool created[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
      files_[i] = std::fopen(names[i].c_str(), "r+");
      if (files_[i] == nullptr && errno == ENOENT) {
        files_[i] = std::fopen(names[i].c_str(), "w");
        created[i] = files_[i] != nullptr;
      }
      if (files_[i] == nullptr) {
        problem = "cannot create result file '" + names[i] + "': " + std::strerror(errno);
        for (int j = 0; j <= i; ++j) {
          if (files_[j] != nullptr) std::fclose(files_[j]);
          files_[j] = nullptr;
          if (created[j]) std::remove(names[j].c_str());
        }
        return false;
      }
    }
    for (int i = 0; i < 3; ++i) {
      if (created[i]) continue;
      files_[i] = std::freopen(names[i].c_str(), "w", files_[i]);
      if (files_[i] == nullptr) {
        problem = "cannot truncate result file '" + names[i] + "': " + std::strerror(errno);
        return false;
      }
    }
    return true;
  }

  std::FILE* file(int i) const { return files_[i]; }

  // Closes all three; false (with the reason) when a write was lost.
  bool close(const std::string (&names)[3], std::string& problem) {
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
      if (files_[i] == nullptr) continue;
      if ((std::ferror(files_[i]) != 0 || std::fclose(files_[i]) != 0) && ok) {
        problem = "cannot write result file '" + names[i] + "': " + std::strerror(errno);
        ok = false;
      }
      files_[i] = nullptr;
    }
    return ok;
  }

 private:
  std::FILE* files_[3] = {nullptr, nullptr, nullptr};
};

void closeFamily(ReadFamily read, const RunMode& mode, RunContext& context) {
  Family& family = *read.family;
  family.memberCount = static_cast<int>(family.members.size());
  if (family.memberCount < mode.minimumFamilySize) return;
  std::string problem = findFamilyProblem(read, mode, context.stats);
  if (!problem.empty()) {
    diagnostics::error(context.inputName + ": family " + std::to_string(family.familyId) + ": " + problem +
                       "; family skipped");
    return;
  }
  mode.closeAction(std::move(read.family), context);
}

}  // namespace

void writeTotalTimeLine(RunContext& context) {
  context.res.put("Total Time used(Sec):\t")
      .putFloat(clockSecondsBetween(context.runStartClock, processClockMs()))
      .put("\n\n");
}

int runPedigreeFile(const std::string& inputName, const RunMode& mode) {
  const ClockReading runStart = processClockMs();
  // Fatal problems are found before any result file is touched, so a
  // mistyped name never wipes the results of an earlier run.
  if (inputName.size() < 3) {
    diagnostics::error("input file name '" + inputName +
                       "' is too short: the result files are named by replacing its last three characters");
    return 1;
  }
  std::FILE* input = std::fopen(inputName.c_str(), "r");
  if (input == nullptr) {
    diagnostics::error("cannot open input file '" + inputName + "': " + std::strerror(errno));
    return 1;
  }
  const std::string stem = inputName.substr(0, inputName.size() - 3);
  const std::string names[3] = {stem + "dat", stem + "res", stem + "out"};
  // An input named like one of its own result files (x.dat, x.res, x.out)
  // would be truncated before it is read.
  for (const std::string& name : names) {
    if (name == inputName) {
      diagnostics::error(
          "input file '" + inputName +
          "' would be overwritten by its own result file; rename it (for example to a .txt name)");
      std::fclose(input);
      return 1;
    }
  }
  ResultFiles files;
  std::string problem;
  if (!files.open(names, problem)) {
    diagnostics::error(problem);
    std::fclose(input);
    return 1;
  }

  int status = 0;
  {
    TextSink dat(files.file(0));
    TextSink res(files.file(1));
    TextSink out(files.file(2));
    res.put("Family\t # of Rec\t Time used(Sec)\n");
    std::unique_ptr<AlleleStats> stats;
    if (mode.keepsStatistics) stats = std::make_unique<AlleleStats>();
    RunContext context{inputName, dat, res, out, stats.get(), runStart};

    LineSource source(input);
    PedigreeReader reader(source, inputName);
    while (true) {
      ReadFamily read = reader.nextFamily();
      if (read.family == nullptr) break;
      closeFamily(std::move(read), mode, context);
    }
    if (mode.endAction) mode.endAction(context);
    if (std::ferror(input) != 0) {
      diagnostics::error("error while reading input file '" + inputName + "': " + std::strerror(errno));
      status = 1;
    }
    std::fclose(input);
    dat.flush();
    res.flush();
    out.flush();
    diagnostics::flushConsole();
    if (!files.close(names, problem)) {
      diagnostics::error(problem);
      status = 1;
    }
  }
  return status;
}
