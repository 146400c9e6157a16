#include "vcf/vcf_phasing.h"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/vcf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "pedigree/diagnostics.h"
#include "vcf/family_layout.h"
#include "vcf/genetic_distance.h"
#include "vcf/genotype_cells.h"
#include "vcf/ped_file.h"
#include "vcf/record_calls.h"

#ifndef HAPLOTOR_VERSION
#define HAPLOTOR_VERSION "unknown"
#endif

namespace {

// The CSI index of a bgzipped output: the smallest bin spans 2^14 bases.
constexpr int kIndexMinShift = 14;

struct HtsFileCloser {
  void operator()(htsFile* file) const {
    if (file != nullptr) hts_close(file);
  }
};
struct HeaderDeleter {
  void operator()(bcf_hdr_t* header) const {
    if (header != nullptr) bcf_hdr_destroy(header);
  }
};
struct RecordDeleter {
  void operator()(bcf1_t* record) const {
    if (record != nullptr) bcf_destroy(record);
  }
};
using HtsFilePtr = std::unique_ptr<htsFile, HtsFileCloser>;
using HeaderPtr = std::unique_ptr<bcf_hdr_t, HeaderDeleter>;
using RecordPtr = std::unique_ptr<bcf1_t, RecordDeleter>;

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string stemOf(const std::string& genotypeFile) {
  for (const char* suffix : {".vcf.gz", ".vcf.bgz", ".bcf", ".vcf", ".gz"}) {
    if (endsWith(genotypeFile, suffix) && genotypeFile.size() > std::strlen(suffix)) {
      return genotypeFile.substr(0, genotypeFile.size() - std::strlen(suffix));
    }
  }
  return genotypeFile;
}

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// Files written under temporary names beside their final ones and renamed
// only when the run completes; on any other way out they are removed, so a
// failed run leaves no partial result and never replaces an earlier one.
class PendingFiles {
 public:
  ~PendingFiles() {
    for (const auto& [temporary, final] : files_) std::remove(temporary.c_str());
  }
  // A fresh temporary name in the folder of `finalName` ("" when none can be made).
  std::string add(const std::string& finalName, const std::string& folderOf) {
    std::filesystem::path folder = std::filesystem::path(folderOf).parent_path();
    std::string pattern = (folder / std::filesystem::path(folderOf).filename()).string();
    pattern.append(".haplotor-XXXXXX");
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) return {};
    close(descriptor);
    files_.emplace_back(pattern, finalName);
    return pattern;
  }
  void addExisting(const std::string& temporary, const std::string& finalName) {
    files_.emplace_back(temporary, finalName);
  }
  // Renames every file with a final name; false (with the reason) on failure.
  bool commit(std::string& problem) {
    for (const auto& [temporary, final] : files_) {
      if (final.empty()) continue;
      if (std::rename(temporary.c_str(), final.c_str()) != 0) {
        problem = "cannot create '" + final + "': " + std::strerror(errno);
        return false;
      }
    }
    files_.erase(
        std::remove_if(files_.begin(), files_.end(), [](const auto& f) { return !f.second.empty(); }),
        files_.end());
    return true;
  }

 private:
  std::vector<std::pair<std::string, std::string>> files_;  // temporary, final ("" = scratch)
};

enum class OutputKind { kBgzippedVcf, kBcf, kPlainVcf, kStandardOutput };

OutputKind outputKindOf(const std::string& name) {
  if (name == "-") return OutputKind::kStandardOutput;
  if (endsWith(name, ".bcf")) return OutputKind::kBcf;
  if (endsWith(name, ".vcf")) return OutputKind::kPlainVcf;
  return OutputKind::kBgzippedVcf;
}

const char* writeModeOf(OutputKind kind) {
  switch (kind) {
    case OutputKind::kBgzippedVcf: return "wz";
    case OutputKind::kBcf: return "wb";
    default: return "w";
  }
}

double secondsSince(ClockReading start) { return clockSecondsBetween(start, processClockMs()); }

class VcfPhasingRun {
 public:
  VcfPhasingRun(const VcfRunRequest& request, const FamilySolver& solver)
      : request_(request), solver_(solver) {}
  int run();

 private:
  bool openInput();
  bool openOutputs();
  bool readRecords();
  bool startChromosome(bcf1_t* record);
  bool finishChromosome();
  void solveFamilies(ChromosomeSites& sites);
  std::unique_ptr<Family> buildFamily(const FamilyLayout& layout, int locusCount);
  void storeSolution(const FamilyLayout& layout, const Family& family, const ChromosomeSites& sites);
  bool writeChromosome();
  bool fail(const std::string& message) {
    diagnostics::error(message);
    return false;
  }

  const VcfRunRequest& request_;
  const FamilySolver& solver_;
  std::string outputName_;
  OutputKind outputKind_ = OutputKind::kBgzippedVcf;
  bool impute_ = false;
  double cmPerMb_ = kDefaultCmPerMb;
  PendingFiles pending_;

  HtsFilePtr input_;
  HeaderPtr inputHeader_;
  HeaderPtr outputHeader_;
  HtsFilePtr output_;
  std::string indexName_;
  std::FILE* resFile_ = nullptr;
  std::unique_ptr<TextSink> res_;
  RunLayout layout_;

  // The chromosome being read.
  std::string chromosome_;
  std::set<std::string> finishedChromosomes_;
  std::int64_t lastPosition_ = 0;
  std::vector<std::int64_t> positions_;
  GenotypeCells cells_;
  CallCounts counts_;
  std::string spillName_;
  HtsFilePtr spill_;
  std::vector<char> slotSolved_;
  std::vector<std::int64_t> slotPhaseSet_;
  CallWriter writer_;

  ClockReading runStart_ = processClockMs();
  double solveSeconds_ = 0;
};

bool VcfPhasingRun::openInput() {
  const std::string& name = request_.genotypeFile;
  input_.reset(hts_open(name.c_str(), "r"));
  if (input_ == nullptr) {
    return fail("cannot open genotype file '" + name + "': " + std::strerror(errno != 0 ? errno : EINVAL));
  }
  const htsFormat* format = hts_get_format(input_.get());
  if (format->category != variant_data || (format->format != vcf && format->format != bcf)) {
    return fail("genotype file '" + name + "' is not VCF, bgzipped VCF or BCF");
  }
  // A bgzipped file that lost its end is cut short; reading it would phase a
  // part of the data without saying so.
  if (format->compression == bgzf && bgzf_check_EOF(input_->fp.bgzf) != 1) {
    return fail("genotype file '" + name + "' is truncated (its last bgzip block is missing)");
  }
  inputHeader_.reset(bcf_hdr_read(input_.get()));
  if (inputHeader_ == nullptr) {
    return fail("cannot read the header of genotype file '" + name +
                "' (a damaged header line, or a sample name given twice)");
  }
  return true;
}

bool VcfPhasingRun::openOutputs() {
  const char* chosen = std::getenv("HAPLOTOR_OUT");
  outputName_ = chosen != nullptr && *chosen != '\0' ? chosen : phasedOutputName(request_.genotypeFile);
  outputKind_ = outputKindOf(outputName_);
  const std::string resName = resultReportName(request_.genotypeFile);
  std::error_code ignored;
  for (const std::string& result : {outputName_, resName}) {
    if (result != "-" && std::filesystem::equivalent(result, request_.genotypeFile, ignored)) {
      return fail("result file '" + result +
                  "' would replace the genotype file; set HAPLOTOR_OUT to another name");
    }
    if (result != "-" && std::filesystem::equivalent(result, request_.pedFile, ignored)) {
      return fail("result file '" + result + "' would replace the pedigree file");
    }
  }

  const std::string resTemporary = pending_.add(resName, resName);
  if (resTemporary.empty())
    return fail("cannot create result file '" + resName + "': " + std::strerror(errno));
  resFile_ = std::fopen(resTemporary.c_str(), "w");
  if (resFile_ == nullptr)
    return fail("cannot create result file '" + resName + "': " + std::strerror(errno));
  res_ = std::make_unique<TextSink>(resFile_);

  std::string outputPath;
  if (outputKind_ == OutputKind::kStandardOutput) {
    // The methods print their own remarks on standard output; with the VCF
    // there, those go to standard error instead.
    std::fflush(stdout);
    const int vcfDescriptor = dup(STDOUT_FILENO);
    if (vcfDescriptor < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      return fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    outputPath = "/dev/fd/" + std::to_string(vcfDescriptor);
  } else {
    outputPath = pending_.add(outputName_, outputName_);
    if (outputPath.empty())
      return fail("cannot create output file '" + outputName_ + "': " + std::strerror(errno));
  }
  output_.reset(hts_open(outputPath.c_str(), writeModeOf(outputKind_)));
  if (output_ == nullptr)
    return fail("cannot create output file '" + outputName_ + "': " + std::strerror(errno));

  outputHeader_.reset(bcf_hdr_dup(inputHeader_.get()));
  if (outputHeader_ == nullptr) return fail("cannot copy the header of '" + request_.genotypeFile + "'");
  std::string command = request_.commandLine;
  for (char& c : command) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const std::string lines[] = {
      std::string("##source=Haplotor ") + HAPLOTOR_VERSION,
      "##Haplotor_command=" + command,
  };
  for (const std::string& line : lines) bcf_hdr_append(outputHeader_.get(), line.c_str());
  if (bcf_hdr_id2int(outputHeader_.get(), BCF_DT_ID, "PS") < 0 ||
      !bcf_hdr_idinfo_exists(outputHeader_.get(), BCF_HL_FMT,
                             bcf_hdr_id2int(outputHeader_.get(), BCF_DT_ID, "PS"))) {
    bcf_hdr_append(
        outputHeader_.get(),
        "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: position of the first phased "
        "site of the founder's block\">");
  }
  if (bcf_hdr_sync(outputHeader_.get()) < 0 || bcf_hdr_write(output_.get(), outputHeader_.get()) < 0) {
    return fail("cannot write output file '" + outputName_ + "'");
  }
  if (outputKind_ == OutputKind::kBgzippedVcf || outputKind_ == OutputKind::kBcf) {
    indexName_ = outputPath + ".csi";
    pending_.addExisting(indexName_, outputName_ + ".csi");
    if (bcf_idx_init(output_.get(), outputHeader_.get(), kIndexMinShift, indexName_.c_str()) < 0) {
      return fail("cannot start the index of output file '" + outputName_ + "'");
    }
  }
  res_->put("Family\t # of Rec\t Time used(Sec)\n");
  return true;
}

bool VcfPhasingRun::startChromosome(bcf1_t* record) {
  chromosome_ = bcf_seqname_safe(inputHeader_.get(), record);
  if (finishedChromosomes_.count(chromosome_) != 0) {
    return fail(request_.genotypeFile + ": the file is not sorted: chromosome " + chromosome_ +
                " at position " + std::to_string(record->pos + 1) +
                " comes back after other chromosomes; sort it (bcftools sort)");
  }
  // A contig the header does not declare is added to the header as it is met
  // (by htslib on reading); the output header follows it.
  if (bcf_hdr_name2id(outputHeader_.get(), chromosome_.c_str()) < 0) {
    const std::string line = "##contig=<ID=" + chromosome_ + ">";
    if (bcf_hdr_append(outputHeader_.get(), line.c_str()) < 0 || bcf_hdr_sync(outputHeader_.get()) < 0) {
      return fail("cannot add contig " + chromosome_ + " to the output header");
    }
  }
  lastPosition_ = record->pos;
  positions_.clear();
  cells_ = GenotypeCells(layout_.slotSamples.size());
  counts_ = CallCounts();
  spillName_ = pending_.add("", outputKind_ == OutputKind::kStandardOutput
                                    ? (std::filesystem::temp_directory_path() / "haplotor").string()
                                    : outputName_);
  if (spillName_.empty()) return fail(std::string("cannot create a temporary file: ") + std::strerror(errno));
  spill_.reset(hts_open(spillName_.c_str(), "wbu"));
  if (spill_ == nullptr || bcf_hdr_write(spill_.get(), inputHeader_.get()) < 0) {
    return fail("cannot write temporary file '" + spillName_ + "'");
  }
  return true;
}

bool VcfPhasingRun::readRecords() {
  RecordPtr record(bcf_init());
  bool inChromosome = false;
  const ClockReading readStart = processClockMs();
  while (true) {
    const int status = bcf_read(input_.get(), inputHeader_.get(), record.get());
    if (status == -1) break;
    if (status < -1 || (record->errcode & ~BCF_ERR_CTG_UNDEF) != 0) {
      std::string where =
          inChromosome ? " after " + chromosome_ + ":" + std::to_string(lastPosition_ + 1) : "";
      return fail(request_.genotypeFile + ": the file is damaged or cut short" + where +
                  " (a corrupt bgzip block or an unreadable record)");
    }
    const char* name = bcf_seqname_safe(inputHeader_.get(), record.get());
    if (!inChromosome || chromosome_ != name) {
      if (inChromosome && !finishChromosome()) return false;
      if (!startChromosome(record.get())) return false;
      inChromosome = true;
    }
    if (record->pos < lastPosition_) {
      return fail(request_.genotypeFile + ": the file is not sorted: " + chromosome_ + ":" +
                  std::to_string(record->pos + 1) + " comes after " + chromosome_ + ":" +
                  std::to_string(lastPosition_ + 1) + "; sort it (bcftools sort)");
    }
    lastPosition_ = record->pos;
    positions_.push_back(record->pos + 1);
    readCalls(inputHeader_.get(), record.get(), layout_.slotSamples, cells_.addSite(), counts_);
    if (bcf_write(spill_.get(), inputHeader_.get(), record.get()) < 0) {
      return fail("cannot write temporary file '" + spillName_ + "'");
    }
  }
  (void)readStart;
  return !inChromosome || finishChromosome();
}

void VcfPhasingRun::storeSolution(const FamilyLayout& layout, const Family& family,
                                  const ChromosomeSites& sites) {
  for (const LayoutMember& placed : layout.members) {
    if (placed.slot == kNoSlot) continue;
    const Member& member = family.members.at(placed.memberId);
    const bool founder = member.isFounder();
    std::int64_t& phaseSet = slotPhaseSet_[static_cast<std::size_t>(placed.slot)];
    slotSolved_[static_cast<std::size_t>(placed.slot)] = 1;
    for (std::size_t l = 0; l < sites.positions.size() && l < member.genotypes.size(); ++l) {
      GenotypeCell& cell = cells_.at(l, placed.slot);
      // A founder's block starts at its first call that carries PS.
      if (storeSolvedCall(cell, member.genotypes[l], impute_) && founder && phaseSet == 0 &&
          carriesPhaseSet(cell)) {
        phaseSet = sites.positions[l];
      }
    }
  }
}

std::unique_ptr<Family> VcfPhasingRun::buildFamily(const FamilyLayout& layout, int locusCount) {
  std::unique_ptr<Family> family = familyShell(layout);
  family->locusCount = locusCount;
  for (const LayoutMember& placed : layout.members) {
    Member& member = family->members.at(placed.memberId);
    LocusGenotype blank;
    blank.paternalSource = blank.maternalSource = member.isFounder() ? 0 : kSourceUnknown;
    member.genotypes.assign(static_cast<std::size_t>(locusCount), blank);
    if (placed.slot == kNoSlot) continue;
    for (int l = 0; l < locusCount; ++l) {
      const GenotypeCell cell = cells_.at(static_cast<std::size_t>(l), placed.slot);
      if (cell.first == kCodeAsRead) continue;
      member.genotypes[static_cast<std::size_t>(l)].allele1 = cell.first;
      member.genotypes[static_cast<std::size_t>(l)].allele2 = cell.second;
    }
  }
  return family;
}

void VcfPhasingRun::solveFamilies(ChromosomeSites& sites) {
  const int locusCount = static_cast<int>(sites.positions.size());
  VcfSolveContext context{*res_, request_.genotypeFile, sites, runStart_};
  if (solver_.gatherFamily) {
    for (const FamilyLayout& layout : layout_.families)
      solver_.gatherFamily(*buildFamily(layout, locusCount));
    if (solver_.familiesGathered) solver_.familiesGathered(context);
  }
  for (const FamilyLayout& layout : layout_.families) {
    std::unique_ptr<Family> family = buildFamily(layout, locusCount);
    if (solver_.solveFamily(*family, context)) storeSolution(layout, *family, sites);
  }
}

bool VcfPhasingRun::finishChromosome() {
  finishedChromosomes_.insert(chromosome_);
  spill_.reset();  // closes the parked records
  if (counts_.haploid > 0) {
    diagnostics::note(request_.genotypeFile + ": chromosome " + chromosome_ + ": " +
                      std::to_string(counts_.haploid) + " haploid calls of family members (first: sample " +
                      bcf_hdr_int2id(inputHeader_.get(), BCF_DT_SAMPLE, counts_.firstHaploidSample) +
                      ") are written as read, unphased");
  }
  if (counts_.polyploid + counts_.manyAlleles > 0) {
    diagnostics::note(request_.genotypeFile + ": chromosome " + chromosome_ + ": " +
                      std::to_string(counts_.polyploid + counts_.manyAlleles) +
                      " calls of family members with more than two alleles or an allele index above " +
                      std::to_string(kLargestCode - 1) + " are written as read");
  }
  ChromosomeSites sites;
  sites.name = chromosome_;
  sites.positions = std::move(positions_);
  sites.recombinationFractions = haldaneFractions(sites.positions, cmPerMb_);
  slotSolved_.assign(layout_.slotSamples.size(), 0);
  slotPhaseSet_.assign(layout_.slotSamples.size(), 0);
  const ClockReading solveStart = processClockMs();
  res_->put("Chromosome\t")
      .put(chromosome_)
      .put('\t')
      .put(static_cast<long long>(sites.positions.size()))
      .put(" sites\n");
  VcfSolveContext context{*res_, request_.genotypeFile, sites, runStart_};
  if (solver_.beginChromosome) solver_.beginChromosome(context);
  solveFamilies(sites);
  if (solver_.endChromosome) solver_.endChromosome(context);
  solveSeconds_ += secondsSince(solveStart);
  const bool written = writeChromosome();
  cells_.clear();
  return written;
}

bool VcfPhasingRun::writeChromosome() {
  HtsFilePtr parked(hts_open(spillName_.c_str(), "r"));
  HeaderPtr parkedHeader(parked == nullptr ? nullptr : bcf_hdr_read(parked.get()));
  if (parkedHeader == nullptr) return fail("cannot read back temporary file '" + spillName_ + "'");
  writer_.slotSamples = &layout_.slotSamples;
  writer_.slotSolved = &slotSolved_;
  writer_.slotIsFounder = &layout_.slotIsFounder;
  writer_.slotPhaseSet = &slotPhaseSet_;
  RecordPtr record(bcf_init());
  const int outputContig = bcf_hdr_name2id(outputHeader_.get(), chromosome_.c_str());
  std::size_t site = 0;
  while (bcf_read(parked.get(), parkedHeader.get(), record.get()) == 0) {
    if (site >= cells_.siteCount())
      return fail("temporary file '" + spillName_ + "' holds more records than were read");
    record->rid = outputContig;
    if (!writer_.apply(outputHeader_.get(), record.get(), cells_.site(site))) {
      return fail(request_.genotypeFile + ": cannot update the record at " + chromosome_ + ":" +
                  std::to_string(record->pos + 1));
    }
    if (bcf_write(output_.get(), outputHeader_.get(), record.get()) < 0) {
      return fail("cannot write output file '" + outputName_ + "': " + std::strerror(errno));
    }
    ++site;
  }
  if (site != cells_.siteCount()) return fail("temporary file '" + spillName_ + "' lost records");
  parked.reset();
  std::remove(spillName_.c_str());
  return true;
}

int VcfPhasingRun::run() {
  hts_set_log_level(HTS_LOG_OFF);
  impute_ = isSet("HAPLOTOR_IMPUTE");
  cmPerMb_ = cmPerMbFromEnvironment();
  // Everything that can be found wrong with the inputs is found before any
  // result file is created.
  if (!openInput()) return 1;
  PedFile ped;
  std::string problem;
  if (!readPedFile(request_.pedFile, ped, problem)) {
    diagnostics::error(problem);
    return 1;
  }
  std::vector<std::string> samples;
  for (int i = 0; i < bcf_hdr_nsamples(inputHeader_.get()); ++i)
    samples.emplace_back(inputHeader_->samples[i]);
  layout_ = layoutFamilies(ped, samples, LayoutRules{solver_.minimumFamilySize, solver_.name});
  if (layout_.familiesRenumbered) {
    diagnostics::note(request_.pedFile +
                      ": family ids are not all distinct positive numbers; the res file numbers the families "
                      "by their order in the pedigree file");
  }
  bool completed = openOutputs() && readRecords();
  if (completed) {
    VcfSolveContext context{*res_, request_.genotypeFile, ChromosomeSites{}, runStart_};
    if (solver_.endRun) solver_.endRun(context);
    res_->flush();
    if (res_->failed() || std::ferror(resFile_) != 0) completed = fail("cannot write the res file");
  }
  res_.reset();
  if (resFile_ != nullptr) std::fclose(resFile_);
  if (completed && !indexName_.empty() && bcf_idx_save(output_.get()) < 0) {
    completed = fail("cannot write the index of output file '" + outputName_ + "'");
  }
  if (output_ != nullptr && hts_close(output_.release()) != 0 && completed) {
    completed = fail("cannot write output file '" + outputName_ + "'");
  }
  if (completed && !pending_.commit(problem)) completed = fail(problem);
  if (isSet("HAPLOTOR_TIMES")) {
    const double total = secondsSince(runStart_);
    diagnostics::note("processor time: " + std::to_string(total) + " s in all, " +
                      std::to_string(solveSeconds_) + " s solving, " + std::to_string(total - solveSeconds_) +
                      " s reading and writing");
  }
  return completed ? 0 : 1;
}

}  // namespace

bool isVariantFile(const std::string& path) {
  HtsFilePtr file(hts_open(path.c_str(), "r"));
  if (file == nullptr) return false;
  const htsFormat* format = hts_get_format(file.get());
  return format->category == variant_data && (format->format == vcf || format->format == bcf);
}

std::string phasedOutputName(const std::string& genotypeFile) {
  return stemOf(genotypeFile) + ".phased.vcf.gz";
}

std::string resultReportName(const std::string& genotypeFile) { return stemOf(genotypeFile) + ".res"; }

int runVcfPhasing(const VcfRunRequest& request, const FamilySolver& solver) {
  VcfPhasingRun run(request, solver);
  return run.run();
}
