#include "app/run_loop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/family_pool.h"
#include "app/family_validation.h"
#include "app/pedigree_reader.h"
#include "pedigree/diagnostics.h"
#include "pedigree/input_file.h"

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
    // All three are open: emptying an open descriptor cannot fail for want of
    // a name or a permission, so no earlier result is lost half-way.
    for (int i = 0; i < 3; ++i) {
      struct stat status {};
      // Only a regular file has contents to empty; a result sent to a device
      // (/dev/null) or a pipe is written as it is.
      if (created[i] || ::fstat(fileno(files_[i]), &status) != 0 || !S_ISREG(status.st_mode)) continue;
      if (::ftruncate(fileno(files_[i]), 0) != 0) {
        problem = "cannot empty result file '" + names[i] + "': " + std::strerror(errno);
        return false;
      }
    }
    return true;
  }

  std::FILE* file(int i) const { return files_[i]; }

  // Closes all three and names every one whose writing failed.
  bool close(const std::string (&names)[3]) {
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
      if (files_[i] == nullptr) continue;
      int failure = std::ferror(files_[i]) != 0 ? EIO : 0;
      errno = 0;
      if (std::fclose(files_[i]) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
      files_[i] = nullptr;
      if (failure != 0) {
        diagnostics::error("cannot write result file '" + names[i] + "': " + std::strerror(failure) +
                           "; the file is incomplete");
        ok = false;
      }
    }
    return ok;
  }

 private:
  std::FILE* files_[3] = {nullptr, nullptr, nullptr};
};

// An input that is one of its own result files, by name or under another
// name (a symbolic or hard link), would be emptied before it is read.
bool isOwnResultFile(const std::string& inputName, const struct stat& input, const std::string (&names)[3]) {
  for (const std::string& name : names) {
    struct stat result {};
    if (name == inputName || (::stat(name.c_str(), &result) == 0 && result.st_dev == input.st_dev &&
                              result.st_ino == input.st_ino)) {
      return true;
    }
  }
  return false;
}

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
  if (mode.closeAction) {
    mode.closeAction(std::move(read.family), context);
  } else {
    context.pool->submit(std::move(read.family));
  }
}

}  // namespace

void writeTotalTimeLine(TextSink& res, ClockReading runStartClock) {
  res.put("Total Time used(Sec):\t")
      .putFloat(clockSecondsBetween(runStartClock, processClockMs()))
      .put("\n\n");
}

void writeTotalTimeLine(RunContext& context) { writeTotalTimeLine(context.res, context.runStartClock); }

int runPedigreeFile(const std::string& inputName, const RunMode& mode) {
  const ClockReading runStart = processClockMs();
  // Fatal problems are found before any result file is touched, so a
  // mistyped name never wipes the results of an earlier run.
  if (inputName.size() < 3) {
    diagnostics::error("input file name '" + inputName +
                       "' is too short: the result files are named by replacing its last three characters");
    return 1;
  }
  InputFile opened = openInputFile(inputName, "input file");
  if (opened.file == nullptr) {
    diagnostics::error(opened.problem);
    return 1;
  }
  std::FILE* input = opened.file;
  const std::string stem = inputName.substr(0, inputName.size() - 3);
  const std::string names[3] = {stem + "dat", stem + "res", stem + "out"};
  std::string problem;
  if (isOwnResultFile(inputName, opened.status, names)) {
    problem = "input file '" + inputName +
              "' would be overwritten by its own result file; rename it (for example to a .txt name)";
  }
  ResultFiles files;
  if (problem.empty()) files.open(names, problem);
  if (!problem.empty()) {
    diagnostics::error(problem);
    std::fclose(input);
    return 1;
  }

  int status = 0;
  TextSink dat(files.file(0));
  TextSink res(files.file(1));
  TextSink out(files.file(2));
  res.put("Family\t # of Rec\t Time used(Sec)\n");
  std::unique_ptr<AlleleStats> stats;
  if (mode.keepsStatistics) stats = std::make_unique<AlleleStats>();
  const ResultSinks sinks{dat, res, out};
  std::unique_ptr<FamilyPool> pool;
  if (mode.solveFamily) pool = std::make_unique<FamilyPool>(solvingThreadCount(), mode.solveFamily, sinks);
  RunContext context{inputName, dat, res, out, stats.get(), runStart, pool.get()};

  LineSource source(input);
  PedigreeReader reader(source, inputName);
  while (true) {
    ReadFamily read = reader.nextFamily();
    if (read.family == nullptr) break;
    closeFamily(std::move(read), mode, context);
  }
  // The reason of a failed read is taken before anything else can change it.
  const int readError = std::ferror(input) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(input);
  if (mode.endAction) mode.endAction(context);
  if (pool != nullptr) pool->finish();
  if (readError != 0) {
    diagnostics::error("error while reading input file '" + inputName + "': " + std::strerror(readError));
    status = 1;
  }
  dat.flush();
  res.flush();
  out.flush();
  diagnostics::flushConsole();
  if (!files.close(names)) status = 1;
  return status;
}
