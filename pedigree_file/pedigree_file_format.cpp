// The seven-column format of a run: a pedigree file in, the "dat", "res"
// and "out" files beside it out.
#include "pedigree_file/pedigree_file_format.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pedigree/diagnostics.h"
#include "pedigree/input_file.h"
#include "pedigree/text_input.h"
#include "pedigree_file/family_validation.h"
#include "pedigree_file/pedigree_reader.h"

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
    if (name == inputName || namesFile(name, input)) return true;
  }
  return false;
}

// The seven-column format: a pedigree file in, the "dat", "res" and "out"
// files beside it out.
class PedigreeFileFormat final : public RunFormat {
 public:
  PedigreeFileFormat(const std::string& inputName, const MethodNeeds& needs, const GeneticMap* map,
                     bool xLinked)
      : inputName_(inputName), needs_(needs), map_(map), xLinked_(xLinked) {}
  ~PedigreeFileFormat() override {
    if (input_ != nullptr) std::fclose(input_);
  }

  bool open() override {
    // Fatal problems are found before any result file is touched, so a
    // mistyped name never wipes the results of an earlier run.
    if (inputName_.size() < 3) {
      diagnostics::error("input file name '" + inputName_ +
                         "' is too short: the result files are named by replacing its last three characters");
      return false;
    }
    InputFile opened = openInputFile(inputName_, "input file");
    if (opened.file == nullptr) {
      diagnostics::error(opened.problem);
      return false;
    }
    input_ = opened.file;
    if (needs_.readsTwice && !S_ISREG(opened.status.st_mode)) {
      diagnostics::error("input file '" + inputName_ +
                         "' is not a regular file; the inheritance-vector method reads its input twice");
      return false;
    }
    if (map_ != nullptr && !checkMapLength()) return false;
    const std::string stem = inputName_.substr(0, inputName_.size() - 3);
    names_[0] = stem + "dat";
    names_[1] = stem + "res";
    names_[2] = stem + "out";
    std::string problem;
    if (isOwnResultFile(inputName_, opened.status, names_)) {
      problem = "input file '" + inputName_ +
                "' would be overwritten by its own result file; rename it (for example to a .txt name)";
    }
    if (problem.empty()) files_.open(names_, problem);
    if (!problem.empty()) {
      diagnostics::error(problem);
      return false;
    }
    dat_ = std::make_unique<TextSink>(files_.file(0));
    res_ = std::make_unique<TextSink>(files_.file(1));
    out_ = std::make_unique<TextSink>(files_.file(2));
    sinks_ = std::make_unique<ResultSinks>(ResultSinks{*dat_, *res_, *out_});
    res_->put("Family\t # of Rec\t Time used(Sec)\n");
    return true;
  }

  bool nextSegment() override {
    if (segmentDone_) return false;
    segmentDone_ = true;
    // The source that looked at the first line for the map goes on from it.
    if (source_ == nullptr) source_ = std::make_unique<LineSource>(input_);
    reader_ = std::make_unique<PedigreeReader>(*source_, inputName_);
    return true;
  }

  std::unique_ptr<Family> nextFamily() override {
    while (true) {
      ReadFamily read = reader_->nextFamily();
      if (read.family == nullptr) {
        // The reason of a failed read is taken before anything else can change it.
        if (readError_ == 0 && std::ferror(input_) != 0) readError_ = errno != 0 ? errno : EIO;
        return nullptr;
      }
      Family& family = *read.family;
      family.memberCount = static_cast<int>(family.members.size());
      if (family.memberCount < needs_.minimumFamilySize) continue;
      const std::string problem = findFamilyProblem(read, needs_.motherSexTwo);
      if (!problem.empty()) {
        diagnostics::error(inputName_ + ": family " + std::to_string(family.familyId) + ": " + problem +
                           "; family skipped");
        continue;
      }
      family.xLinked = xLinked_;
      return std::move(read.family);
    }
  }

  bool restartSegment() override {
    // The first reading's messages are the second's: only the second says them.
    std::rewind(input_);
    readError_ = 0;
    startReading();
    return true;
  }

  const std::vector<double>* intervalFractions() const override {
    return map_ != nullptr ? &mapFractions_ : nullptr;
  }
  const ResultSinks& results() override { return *sinks_; }
  std::unique_ptr<ConfigurationSink> sinkFor(const ResultSinks& buffers) override {
    return std::make_unique<ResultFilesSink>(buffers);
  }
  bool endSegment(const AlleleStats*) override { return true; }

  int close(bool /*completed*/, bool totalTime, const AlleleStats* stats) override {
    int status = 0;
    if (input_ != nullptr) {
      if (readError_ == 0 && std::ferror(input_) != 0) readError_ = errno != 0 ? errno : EIO;
      std::fclose(input_);
      input_ = nullptr;
    }
    if (res_ != nullptr) {
      if (totalTime) writeTotalTimeLine(*res_, runStart_);
      if (stats != nullptr) stats->printSummary(*res_);
    }
    if (readError_ != 0) {
      diagnostics::error("error while reading input file '" + inputName_ + "': " + std::strerror(readError_));
      status = 1;
    }
    for (TextSink* sink : {dat_.get(), res_.get(), out_.get()}) {
      if (sink != nullptr) sink->flush();
    }
    diagnostics::flushConsole();
    if (!files_.close(names_)) status = 1;
    return status;
  }

 private:
  // The map has one line per marker of the file's first line (an empty
  // first line ends the input: no family, nothing to check).
  bool checkMapLength() {
    source_ = std::make_unique<LineSource>(input_);
    std::string_view line;
    if (!source_->next(line)) return true;
    std::size_t fields = 0;
    forEachField(line, [&fields](std::string_view) { ++fields; });
    source_->unreadLine();
    if (line.empty()) return true;
    const std::size_t markers = fields >= 7 ? (fields - 7) / 2 : 0;
    if (markers != map_->lineCount()) {
      diagnostics::error("genetic map '" + map_->fileName() + "' has " + std::to_string(map_->lineCount()) +
                         " lines but the first line of input file '" + inputName_ + "' has " +
                         std::to_string(markers) +
                         " markers; the map of a pedigree file has one line per marker");
      return false;
    }
    mapFractions_ = map_->lineFractions();
    return true;
  }

  void startReading() {
    reader_.reset();
    source_ = std::make_unique<LineSource>(input_);
    reader_ = std::make_unique<PedigreeReader>(*source_, inputName_);
  }

  const ClockReading runStart_ = processClockMs();
  std::string inputName_;
  MethodNeeds needs_;
  const GeneticMap* map_;
  const bool xLinked_;
  std::vector<double> mapFractions_;
  std::FILE* input_ = nullptr;
  std::string names_[3];
  ResultFiles files_;
  std::unique_ptr<TextSink> dat_, res_, out_;
  std::unique_ptr<ResultSinks> sinks_;
  std::unique_ptr<LineSource> source_;
  std::unique_ptr<PedigreeReader> reader_;
  bool segmentDone_ = false;
  int readError_ = 0;
};

}  // namespace

std::unique_ptr<RunFormat> pedigreeFileFormat(const std::string& inputName, const MethodNeeds& needs,
                                              const GeneticMap* map, bool xLinked) {
  return std::make_unique<PedigreeFileFormat>(inputName, needs, map, xLinked);
}
