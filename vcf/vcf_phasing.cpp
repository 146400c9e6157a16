#include "vcf/vcf_phasing.h"

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
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
#include "vcf/pending_files.h"
#include "vcf/record_calls.h"
#include "vcf/x_chromosome.h"

#ifndef HAPLOTOR_VERSION
#define HAPLOTOR_VERSION "unknown"
#endif

namespace {

// Phase probabilities are kept in units of 1 / kPhaseProbabilityScale.
constexpr float kPhaseProbabilityScale = 60000.0F;
constexpr std::uint16_t kNoPhaseProbability = 65535;

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

enum class OutputKind { kBgzippedVcf, kBcf, kPlainVcf, kStandardOutput };

OutputKind outputKindOf(const std::string& name) {
  if (name == "-") return OutputKind::kStandardOutput;
  if (endsWith(name, ".bcf")) return OutputKind::kBcf;
  if (endsWith(name, ".vcf")) return OutputKind::kPlainVcf;
  return OutputKind::kBgzippedVcf;
}

const char* writeModeOf(OutputKind kind) {
  switch (kind) {
    // Level 4 rather than the default 6: phased calls compress worse than
    // sorted unphased ones, and at level 6 compressing them costs about as
    // much processor time as reading and writing everything else. Measured
    // on 500 families of the chr20 panel (9.6 MB in): level 6 13.6 s and
    // 13.8 MB, level 5 11.5 s and 14.8 MB, level 4 10.3 s and 15.9 MB, where
    // `bcftools view -Oz` of the input took 11.7 s in the same run.
    case OutputKind::kBgzippedVcf: return "wz4";
    case OutputKind::kBcf: return "wb";
    default: return "w";
  }
}

// Closes a file whose content is dropped (it is removed). htslib keeps the
// data it could not write, and when closing then fails it leaves the BGZF
// handle allocated; what is pending is dropped first so that closing frees it.
void closeDropped(HtsFilePtr& file) {
  if (file == nullptr) return;
  if (file->is_bgzf) {
    BGZF* bgzf = file->fp.bgzf;
    bgzf->block_offset = 0;
    bgzf->is_compressed = 0;  // no end-of-file block either
    bgzf->fp->begin = bgzf->fp->buffer;
    bgzf->fp->has_errno = 0;
  }
  hts_close(file.release());
}

// The 1-based position of a record. A record whose POS could not be read
// may hold the largest value, which has no successor.
std::int64_t positionOf(const bcf1_t* record) {
  return record->pos < INT64_MAX ? record->pos + 1 : record->pos;
}

double secondsSince(ClockReading start) { return clockSecondsBetween(start, processClockMs()); }

// The VCF format of a run: the families of a PED over the samples of a VCF,
// one chromosome at a time, written back as a phased VCF with a "res" report.
class VcfFormat final : public RunFormat {
 public:
  VcfFormat(const VcfRunRequest& request, const Settings& settings, const MethodNeeds& needs,
            const GeneticMap* map)
      : request_(request),
        needs_(needs),
        impute_(settings.impute),
        minPhaseProbability_(settings.minPhaseProbability),
        cmPerMb_(settings.cmPerMb),
        map_(map),
        reportTimes_(settings.reportTimes),
        chosenOutput_(settings.out),
        chosenRes_(settings.res),
        region_(settings.region),
        x_(settings, request.genotypeFile) {}

  bool open() override;
  bool nextSegment() override;
  std::unique_ptr<Family> nextFamily() override;
  bool restartSegment() override {
    if (!segmentXLinked_ || needs_.phasesX) nextLayout_ = 0;
    return true;
  }
  bool writesPhaseProbabilities() const override { return needs_.phaseProbabilities; }
  const std::vector<double>* intervalFractions() const override { return &sites_.recombinationFractions; }
  const ResultSinks& results() override { return *sinks_; }
  std::unique_ptr<ConfigurationSink> sinkFor(const ResultSinks& buffers) override;
  bool endSegment(const AlleleStats* stats) override;
  int close(bool completed, bool totalTime, const AlleleStats* stats) override;

  // Keeps a family's configuration for the records (called once per family,
  // on the thread that solved it: families own disjoint cells).
  void storeSolution(const Family& family);

 private:
  bool openInput();
  // HAPLOTOR_REGION: moves the input to the region's first record through
  // the index.
  bool seekRegion();
  // Whether a record that was read lies in the region; `past` is set once
  // the input has gone beyond it.
  bool inRegion(const bcf1_t* record, bool& past) const;
  bool openOutputs();
  bool readChromosome();
  bool startChromosome(bcf1_t* record);
  // Files of the run: the output header written once the first chromosome is
  // phased, the parked records, header lines the reader declares on the fly.
  bool writeOutputHeader();
  bool openSpill();
  bool reparkChromosome();
  bool declareLateLines(int firstNewLine, const bcf1_t* record);
  bool rewriteOutput();
  // Copies the records of the temporary file `from` (read under
  // `readHeader`, or its own header when null) into `to` under
  // `writeHeader`, then drops `from`. `writtenTemporary` names the file `to`
  // writes when it is not the output itself, for messages.
  bool moveRecords(const std::string& from, bcf_hdr_t* readHeader, htsFile* to, bcf_hdr_t* writeHeader,
                   const std::string& writtenTemporary);
  bool failedWrite(const std::string& result, int savedErrno, const std::string& temporary = {});
  std::unique_ptr<Family> buildFamily(const FamilyLayout& layout, int locusCount);
  bool writeChromosome();
  // The PP field of a record: the phase probabilities the method gave the
  // calls of the site (none: the record keeps no PP).
  bool writePhaseProbabilities(bcf1_t* record, std::size_t site);
  std::vector<double> chromosomeFractions() const;
  bool fail(const std::string& message) {
    diagnostics::error(message);
    failed_ = true;
    return false;
  }

  const VcfRunRequest request_;
  const MethodNeeds needs_;
  const bool impute_;
  const double minPhaseProbability_;
  const double cmPerMb_;
  const GeneticMap* const map_;
  const bool reportTimes_;
  const std::string chosenOutput_;
  const std::string chosenRes_;
  GenomeRegion region_;
  std::string outputName_;
  OutputKind outputKind_ = OutputKind::kBgzippedVcf;
  PendingFiles pending_;
  bool failed_ = false;
  std::string resName_;
  std::string outputPath_;       // where the output is being written
  int writtenHeaderLines_ = -1;  // lines of the output header as written (-1: not yet)

  HtsFilePtr input_;
  HeaderPtr inputHeader_;
  HeaderPtr outputHeader_;
  HtsFilePtr output_;
  std::string indexName_;
  std::FILE* resFile_ = nullptr;
  std::unique_ptr<TextSink> res_;
  TextSink unusedDat_;
  TextSink unusedOut_;
  std::unique_ptr<ResultSinks> sinks_;
  RunLayout layout_;
  std::map<int, std::size_t> layoutOfFamily_;  // family id -> its layout

  // The chromosome being read.
  RecordPtr record_{bcf_init()};
  bool recordPending_ = false;  // record_ holds the next chromosome's first record
  bool inputEnded_ = false;
  bool anyRecord_ = false;
  std::string chromosome_;
  // Chromosome X is phased in segments that are X-linked or not (its PARs):
  // a segment ends where that changes.
  XChromosome x_;
  bool segmentXLinked_ = false;
  std::set<std::string> finishedChromosomes_;
  std::int64_t lastPosition_ = 0;
  std::vector<std::int64_t> positions_;
  ChromosomeSites sites_;
  GenotypeCells cells_;
  CallCounts counts_;
  std::string spillName_;
  HtsFilePtr spill_;
  std::vector<char> slotSolved_;
  std::vector<std::int64_t> slotPhaseSet_;
  // Per slot, the PP of each site's call in units of 1/kPhaseProbabilityScale
  // (kNoPhaseProbability: none); empty for a slot without any.
  std::vector<std::vector<std::uint16_t>> slotPhaseProbability_;
  std::vector<float> phaseProbabilityValues_;  // one record's PP field
  CallWriter writer_;
  std::size_t nextLayout_ = 0;

  ClockReading runStart_ = processClockMs();
  ClockReading segmentStart_ = 0;
  double solveSeconds_ = 0;
};

// A VCF family's sink: every configuration gets its "res" line; the records
// carry the first.
class VcfSink final : public ConfigurationSink {
 public:
  VcfSink(VcfFormat& format, TextSink& res) : format_(format), res_(res) {}
  void configuration(Family& family) override {
    family.writeResultLine(res_);
    if (stored_) return;
    stored_ = true;
    format_.storeSolution(family);
  }
  void tooBig(const Family&) override {}
  void noSolution(const Family& family) override {
    res_.put("There is no 0 recombinant solution for pedigree ").put(family.familyId).put("!\n");
  }

 private:
  VcfFormat& format_;
  TextSink& res_;
  bool stored_ = false;
};

bool VcfFormat::openInput() {
  const std::string& name = request_.genotypeFile;
  errno = 0;
  input_.reset(hts_open(name.c_str(), "r"));
  if (input_ == nullptr) {
    // htslib says ENOEXEC for content it recognises as none of its formats.
    if (errno == ENOEXEC) return fail("genotype file '" + name + "' is not VCF, bgzipped VCF or BCF");
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
  return region_.chromosome.empty() || seekRegion();
}

bool VcfFormat::seekRegion() {
  const std::string& name = request_.genotypeFile;
  const std::string shown = "HAPLOTOR_REGION='" + region_.text + "'";
  const htsFormat* format = hts_get_format(input_.get());
  if (format->compression != bgzf) {
    return fail(shown + " needs an indexed input, and genotype file '" + name +
                "' is not bgzipped; compress it (bcftools view -Oz -o file.vcf.gz) and index it (bcftools "
                "index file.vcf.gz)");
  }
  // A contig whose name looks like a span (it holds a colon) is taken whole.
  if (bcf_hdr_name2id(inputHeader_.get(), region_.text.c_str()) >= 0)
    region_ = GenomeRegion{region_.text, 1, kRegionEnd, region_.text};
  const char* chromosome = region_.chromosome.c_str();
  hts_idx_t* index = nullptr;
  tbx_t* tabix = nullptr;
  int contig = -1;
  if (format->format == bcf) {
    index = bcf_index_load3(name.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (index != nullptr) contig = bcf_hdr_name2id(inputHeader_.get(), chromosome);
  } else {
    tabix = tbx_index_load3(name.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (tabix != nullptr) {
      index = tabix->idx;
      contig = tbx_name2id(tabix, chromosome);
    }
  }
  std::unique_ptr<tbx_t, void (*)(tbx_t*)> ownedTabix(tabix, [](tbx_t* t) {
    if (t != nullptr) tbx_destroy(t);
  });
  std::unique_ptr<hts_idx_t, void (*)(hts_idx_t*)> ownedIndex(tabix == nullptr ? index : nullptr,
                                                              [](hts_idx_t* i) {
                                                                if (i != nullptr) hts_idx_destroy(i);
                                                              });
  if (index == nullptr) {
    return fail(shown + " needs an index of genotype file '" + name +
                "', and none was found (.csi or .tbi beside it); make one with: bcftools index " + name);
  }
  if (contig < 0) {
    if (bcf_hdr_name2id(inputHeader_.get(), chromosome) < 0) {
      return fail(shown + ": chromosome " + region_.chromosome +
                  " is neither in the header nor in the index of '" + name + "'");
    }
    inputEnded_ = true;  // declared, without records
  } else {
    // The first chunk of the region holds its first record; from there the
    // records are read in order, as without a region, up to its end.
    using Iterator = std::unique_ptr<hts_itr_t, void (*)(hts_itr_t*)>;
    Iterator iterator(tabix != nullptr ? tbx_itr_queryi(tabix, contig, region_.from - 1, region_.to)
                                       : bcf_itr_queryi(index, contig, region_.from - 1, region_.to),
                      hts_itr_destroy);
    if (iterator == nullptr) return fail(shown + ": cannot read the index of '" + name + "'");
    if (iterator->n_off == 0) {
      inputEnded_ = true;
    } else if (bgzf_seek(input_->fp.bgzf, static_cast<std::int64_t>(iterator->off[0].u), SEEK_SET) < 0) {
      return fail(request_.genotypeFile + ": the file is damaged or does not match its index (" + shown +
                  ")");
    }
  }
  return true;
}

bool VcfFormat::inRegion(const bcf1_t* record, bool& past) const {
  past = false;
  if (region_.chromosome.empty()) return true;
  const std::int64_t position = positionOf(record);
  if (region_.chromosome != bcf_seqname_safe(inputHeader_.get(), record) || position > region_.to) {
    past = true;
    return false;
  }
  return position >= region_.from;
}

// Whether two names reach one file: the same path, or links to one file.
bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ignored;
  if (std::filesystem::equivalent(a, b, ignored)) return true;
  const auto canonical = [](const std::string& name) {
    std::error_code error;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
  };
  return canonical(a) == canonical(b);
}

bool VcfFormat::openOutputs() {
  outputName_ = !chosenOutput_.empty() ? chosenOutput_ : phasedOutputName(request_.genotypeFile);
  outputKind_ = outputKindOf(outputName_);
  resName_ = !chosenRes_.empty() ? chosenRes_ : resultReportName(request_.genotypeFile);
  const bool indexed = outputKind_ == OutputKind::kBgzippedVcf || outputKind_ == OutputKind::kBcf;
  // Everything a result name can be found wrong with is found before any
  // file is created: it names an input, another result of the run, a folder.
  std::vector<std::string> results = {outputName_, resName_};
  if (indexed) results.push_back(outputName_ + ".csi");
  for (std::size_t i = 0; i < results.size(); ++i) {
    const std::string& result = results[i];
    if (result == "-") continue;
    if (sameFile(result, request_.genotypeFile)) {
      return fail("result file '" + result +
                  "' would replace the genotype file; set HAPLOTOR_OUT to another name");
    }
    if (sameFile(result, request_.pedFile)) {
      return fail("result file '" + result + "' would replace the pedigree file" +
                  (result == resName_ ? "" : "; set HAPLOTOR_OUT to another name"));
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (results[j] != "-" && sameFile(result, results[j])) {
        return fail("output file '" + outputName_ + "' would replace another result of the same run ('" +
                    (j == 0 ? result : results[j]) + "'); set HAPLOTOR_OUT to another name");
      }
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(result, ignored)) {
      return fail("cannot create result file '" + result + "': " + std::strerror(EISDIR));
    }
  }

  // The report is renamed last, so a run that fails to rename the output
  // leaves the earlier report beside the earlier output.
  const std::string resTemporary = pending_.add(resName_, resName_, true);
  if (resTemporary.empty())
    return fail("cannot create result file '" + resName_ + "': " + std::strerror(errno));
  resFile_ = std::fopen(resTemporary.c_str(), "w");
  if (resFile_ == nullptr)
    return fail("cannot create result file '" + resName_ + "': " + std::strerror(errno));
  res_ = std::make_unique<TextSink>(resFile_);

  if (outputKind_ == OutputKind::kStandardOutput) {
    // The methods print their own remarks on standard output; with the VCF
    // there, those go to standard error instead.
    std::fflush(stdout);
    const int vcfDescriptor = dup(STDOUT_FILENO);
    if (vcfDescriptor < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      return fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    outputPath_ = "/dev/fd/" + std::to_string(vcfDescriptor);
  } else {
    outputPath_ = pending_.add(outputName_, outputName_);
    if (outputPath_.empty())
      return fail("cannot create output file '" + outputName_ + "': " + std::strerror(errno));
  }
  output_.reset(hts_open(outputPath_.c_str(), writeModeOf(outputKind_)));
  if (output_ == nullptr)
    return fail("cannot create output file '" + outputName_ + "': " + std::strerror(errno));

  // The run's lines and PS go into the input header as well, so that the
  // output header (a copy) numbers every tag as the input header does, and a
  // tag the reader declares later gets the same number in both.
  std::string command = request_.commandLine;
  for (char& c : command) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  bcf_hdr_t* header = inputHeader_.get();
  bcf_hdr_append(header, (std::string("##source=Haplotor ") + HAPLOTOR_VERSION).c_str());
  bcf_hdr_append(header, ("##Haplotor_command=" + command).c_str());
  if (bcf_hdr_id2int(header, BCF_DT_ID, "PS") < 0 ||
      !bcf_hdr_idinfo_exists(header, BCF_HL_FMT, bcf_hdr_id2int(header, BCF_DT_ID, "PS"))) {
    bcf_hdr_append(
        header,
        "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: position of the first phased "
        "site of the founder's block\">");
  }
  if (needs_.phaseProbabilities &&
      (bcf_hdr_id2int(header, BCF_DT_ID, "PP") < 0 ||
       !bcf_hdr_idinfo_exists(header, BCF_HL_FMT, bcf_hdr_id2int(header, BCF_DT_ID, "PP")))) {
    bcf_hdr_append(header,
                   "##FORMAT=<ID=PP,Number=1,Type=Float,Description=\"Posterior probability that the "
                   "written order of a heterozygous call is right (a founder's: relative to what it passes "
                   "on)\">");
  }
  if (bcf_hdr_sync(header) < 0) return fail("cannot copy the header of '" + request_.genotypeFile + "'");
  outputHeader_.reset(bcf_hdr_dup(header));
  if (outputHeader_ == nullptr) return fail("cannot copy the header of '" + request_.genotypeFile + "'");
  res_->put("Family\t # of Rec\t Time used(Sec)\n");
  return true;
}

bool VcfFormat::failedWrite(const std::string& result, int savedErrno, const std::string& temporary) {
  const std::string shown = result == "-" ? "standard output" : "output file '" + result + "'";
  return fail("cannot write " + shown + ": " + std::strerror(savedErrno != 0 ? savedErrno : EIO) +
              (temporary.empty() ? "" : " (while parking records in '" + temporary + "')"));
}

// Written before the first records, so that the contigs and tags the reader
// declares on the first chromosome are in it.
bool VcfFormat::writeOutputHeader() {
  errno = 0;
  if (bcf_hdr_sync(outputHeader_.get()) < 0 || bcf_hdr_write(output_.get(), outputHeader_.get()) < 0) {
    return failedWrite(outputName_, errno);
  }
  writtenHeaderLines_ = outputHeader_->nhrec;
  if (outputKind_ == OutputKind::kBgzippedVcf || outputKind_ == OutputKind::kBcf) {
    indexName_ = outputPath_ + ".csi";
    pending_.addExisting(indexName_, outputName_ + ".csi");
    if (bcf_idx_init(output_.get(), outputHeader_.get(), kIndexMinShift, indexName_.c_str()) < 0) {
      return fail("cannot start the index of output file '" + outputName_ + "'");
    }
  }
  return true;
}

// The records of a chromosome are parked beside the output (or in TMPDIR when
// the output is standard output) under the input header as it stands.
bool VcfFormat::openSpill() {
  spillName_ = pending_.add("", outputKind_ == OutputKind::kStandardOutput
                                    ? (std::filesystem::temp_directory_path() / "haplotor").string()
                                    : outputName_);
  if (spillName_.empty()) return failedWrite(outputName_, errno);
  errno = 0;
  spill_.reset(hts_open(spillName_.c_str(), "wbu"));
  if (spill_ == nullptr || bcf_hdr_write(spill_.get(), inputHeader_.get()) < 0) {
    return failedWrite(outputName_, errno, spillName_);
  }
  return true;
}

// The reader declared a tag after the parked file's header was written: the
// records parked so far move to a fresh file under the grown header (the
// tags they carry keep their numbers).
bool VcfFormat::reparkChromosome() {
  const std::string earlier = spillName_;
  errno = 0;
  // Uncompressed BGZF holds nothing of its own: flushing the file is enough
  // (and bgzf_flush does not take that mode).
  if (hflush(spill_->fp.bgzf->fp) != 0) return failedWrite(outputName_, errno, earlier);
  if (hts_close(spill_.release()) != 0) return failedWrite(outputName_, errno, earlier);
  if (!openSpill()) return false;
  return moveRecords(earlier, nullptr, spill_.get(), inputHeader_.get(), spillName_);
}

bool VcfFormat::moveRecords(const std::string& from, bcf_hdr_t* readHeader, htsFile* to,
                            bcf_hdr_t* writeHeader, const std::string& writtenTemporary) {
  HtsFilePtr source(hts_open(from.c_str(), "r"));
  HeaderPtr ownHeader(source == nullptr ? nullptr : bcf_hdr_read(source.get()));
  if (ownHeader == nullptr) return fail("cannot read back temporary file '" + from + "'");
  RecordPtr record(bcf_init());
  int status = 0;
  while ((status = bcf_read(source.get(), readHeader != nullptr ? readHeader : ownHeader.get(),
                            record.get())) == 0) {
    errno = 0;
    if (bcf_write(to, writeHeader, record.get()) < 0)
      return failedWrite(outputName_, errno, writtenTemporary);
  }
  if (status != -1) return fail("cannot read back temporary file '" + from + "'");
  source.reset();
  pending_.discard(from);
  return true;
}

// A contig or an INFO/FORMAT tag the header does not declare: htslib's reader
// declares it in the input header (a tag as Number=1, Type=String) and
// reads on; the output header gets the same line under the same number.
bool VcfFormat::declareLateLines(int firstNewLine, const bcf1_t* record) {
  for (int i = firstNewLine; i < inputHeader_->nhrec; ++i) {
    bcf_hrec_t* line = inputHeader_->hrec[i];
    const int key = bcf_hrec_find_key(line, "ID");
    const std::string id = key < 0 ? std::string(line->key) : std::string(line->vals[key]);
    const std::string where =
        std::string(bcf_seqname_safe(inputHeader_.get(), record)) + ":" + std::to_string(positionOf(record));
    if (line->type == BCF_HL_CTG) {
      diagnostics::warning(request_.genotypeFile + ": contig " + id +
                           " is not declared in the header; declared in the output");
    } else {
      diagnostics::warning(request_.genotypeFile + ": " + line->key + " tag " + id + " (first at " + where +
                           ") is not declared in the header; read as Number=1,Type=String and declared "
                           "so in the output");
    }
    if (bcf_hdr_add_hrec(outputHeader_.get(), bcf_hrec_dup(line)) < 0) {
      return fail("cannot declare " + id + " in the output header");
    }
  }
  if (bcf_hdr_sync(outputHeader_.get()) < 0) return fail("cannot declare a line in the output header");
  return true;
}

bool VcfFormat::startChromosome(bcf1_t* record) {
  const std::string name = bcf_seqname_safe(inputHeader_.get(), record);
  // The next segment of X after a change between X-linked and pseudo-autosomal
  // sites goes on with the same chromosome.
  if (name != chromosome_) {
    chromosome_ = name;
    if (finishedChromosomes_.count(chromosome_) != 0) {
      return fail(request_.genotypeFile + ": the file is not sorted: chromosome " + chromosome_ +
                  " at position " + std::to_string(positionOf(record)) +
                  " comes back after other chromosomes; sort it (bcftools sort)");
    }
    lastPosition_ = record->pos;
    x_.startChromosome(inputHeader_.get(), chromosome_);
  }
  segmentXLinked_ = x_.isXLinked(positionOf(record));
  anyRecord_ = true;
  positions_.clear();
  cells_ = GenotypeCells(layout_.slotSamples.size());
  counts_ = CallCounts();
  return openSpill();
}

// Why a record that was read cannot be used ("" when it can).
std::string recordProblem(const bcf1_t* record, int sampleCount) {
  const int errors = record->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF);
  if ((errors & BCF_ERR_NCOLS) != 0 || record->n_sample != sampleCount) {
    return "its columns do not match the " + std::to_string(sampleCount) + " samples of the header";
  }
  if ((errors & BCF_ERR_LIMITS) != 0)
    return "a value beyond the reader's limits (too many alleles or values)";
  if ((errors & BCF_ERR_CHAR) != 0) return "an invalid character";
  if ((errors & BCF_ERR_CTG_INVALID) != 0) return "an invalid chromosome name";
  if ((errors & BCF_ERR_TAG_INVALID) != 0) return "an INFO or FORMAT tag that does not fit its declaration";
  if (errors != 0) return "an unreadable field";
  return {};
}

// Reads the records of the next chromosome into the cells and the parked
// file; the first record of the chromosome after it is kept for the next call.
bool VcfFormat::readChromosome() {
  bcf1_t* record = record_.get();
  bool inChromosome = false;
  const int sampleCount = bcf_hdr_nsamples(inputHeader_.get());
  const htsFormat* format = hts_get_format(input_.get());
  const bool blocks = format->format == bcf || format->compression != no_compression;
  while (true) {
    bool declared = false;
    if (!recordPending_) {
      const int knownLines = inputHeader_->nhrec;
      const int status = bcf_read(input_.get(), inputHeader_.get(), record);
      if (status == -1) {
        inputEnded_ = true;
        break;
      }
      if (status < -1 && blocks && input_->fp.bgzf->errcode != 0) {
        std::string where =
            inChromosome ? " after " + chromosome_ + ":" + std::to_string(lastPosition_ + 1) : "";
        return fail(request_.genotypeFile + ": the file is damaged or cut short" + where +
                    " (a corrupt bgzip block)");
      }
      std::string problem = recordProblem(record, sampleCount);
      if (status < -1 && problem.empty()) problem = "a field that cannot be parsed (for example a GT value)";
      if (!problem.empty()) {
        return fail(request_.genotypeFile + ": cannot read the record at " +
                    bcf_seqname_safe(inputHeader_.get(), record) + ":" + std::to_string(positionOf(record)) +
                    ": " + problem);
      }
      declared = inputHeader_->nhrec > knownLines;
      if (declared && !declareLateLines(knownLines, record)) return false;
      record->errcode = 0;  // what the reader declared is declared in the parked and output headers
      bool past = false;
      if (!inRegion(record, past)) {
        if (!past) continue;
        inputEnded_ = true;
        break;
      }
    }
    recordPending_ = false;
    const char* name = bcf_seqname_safe(inputHeader_.get(), record);
    if (!inChromosome) {
      if (!startChromosome(record)) return false;
      inChromosome = true;
    } else if (chromosome_ != name || x_.isXLinked(positionOf(record)) != segmentXLinked_) {
      recordPending_ = true;  // the first record of the next segment
      break;
    } else if (declared && !reparkChromosome()) {
      return false;
    }
    if (record->pos < lastPosition_) {
      return fail(request_.genotypeFile + ": the file is not sorted: " + chromosome_ + ":" +
                  std::to_string(positionOf(record)) + " comes after " + chromosome_ + ":" +
                  std::to_string(lastPosition_ + 1) + "; sort it (bcftools sort)");
    }
    lastPosition_ = record->pos;
    positions_.push_back(positionOf(record));
    readCalls(inputHeader_.get(), record, layout_.slotSamples, cells_.addSite(), counts_,
              segmentXLinked_ ? &layout_.slotIsMale : nullptr);
    errno = 0;
    if (bcf_write(spill_.get(), inputHeader_.get(), record) < 0) {
      return failedWrite(outputName_, errno, spillName_);
    }
  }
  if (!inChromosome) return false;
  // The output header goes out before the first chromosome's records.
  return writtenHeaderLines_ >= 0 || writeOutputHeader();
}

// Lines declared after the output header was written (a contig or tag the
// header lacks, first met on a later chromosome): the output is written
// again under the whole header. Standard output cannot be; it says so.
bool VcfFormat::rewriteOutput() {
  if (outputKind_ == OutputKind::kStandardOutput) {
    diagnostics::warning("the VCF header on standard output was written before " +
                         std::to_string(outputHeader_->nhrec - writtenHeaderLines_) +
                         " contigs or tags were declared (see above); it does not declare them");
    return true;
  }
  const std::string earlier = outputPath_;
  errno = 0;
  if (hts_flush(output_.get()) != 0) return failedWrite(outputName_, errno);
  if (hts_close(output_.release()) != 0) return failedWrite(outputName_, errno);
  if (!indexName_.empty()) pending_.discard(indexName_);
  outputPath_ = pending_.add(outputName_, outputName_);
  if (outputPath_.empty()) return failedWrite(outputName_, errno);
  output_.reset(hts_open(outputPath_.c_str(), writeModeOf(outputKind_)));
  if (output_ == nullptr) return failedWrite(outputName_, errno);
  if (!writeOutputHeader()) return false;
  // The records are read under the whole header: it declares every tag they carry.
  return moveRecords(earlier, outputHeader_.get(), output_.get(), outputHeader_.get(), {});
}

void VcfFormat::storeSolution(const Family& family) {
  const FamilyLayout& layout = layout_.families[layoutOfFamily_.at(family.familyId)];
  const ChromosomeSites& sites = sites_;
  for (const LayoutMember& placed : layout.members) {
    if (placed.slot == kNoSlot) continue;
    const Member& member = family.members.at(placed.memberId);
    // A male's X-linked calls keep the ploidy and the alleles they were read with.
    if (family.xLinked && member.isMale()) continue;
    const bool founder = member.isFounder();
    std::int64_t& phaseSet = slotPhaseSet_[static_cast<std::size_t>(placed.slot)];
    slotSolved_[static_cast<std::size_t>(placed.slot)] = 1;
    for (std::size_t l = 0; l < sites.positions.size() && l < member.genotypes.size(); ++l) {
      GenotypeCell& cell = cells_.at(l, placed.slot);
      LocusGenotype solved = member.genotypes[l];
      if (solved.phaseProbability >= 0.0F) {
        std::vector<std::uint16_t>& probabilities =
            slotPhaseProbability_[static_cast<std::size_t>(placed.slot)];
        if (probabilities.empty()) probabilities.assign(sites.positions.size(), kNoPhaseProbability);
        probabilities[l] =
            static_cast<std::uint16_t>(std::lround(solved.phaseProbability * kPhaseProbabilityScale));
        // A call whose order is too uncertain is written unphased.
        if (solved.phaseProbability < minPhaseProbability_) solved.resolved = false;
      }
      // A founder's block starts at its first call that carries PS.
      if (storeSolvedCall(cell, solved, impute_) && founder && phaseSet == 0 && carriesPhaseSet(cell)) {
        phaseSet = sites.positions[l];
      }
    }
  }
}

std::unique_ptr<Family> VcfFormat::buildFamily(const FamilyLayout& layout, int locusCount) {
  std::unique_ptr<Family> family = familyShell(layout);
  family->locusCount = locusCount;
  family->xLinked = segmentXLinked_;
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

bool VcfFormat::nextSegment() {
  if (failed_ || inputEnded_) return false;
  if (!readChromosome()) return false;
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
  sites_ = ChromosomeSites();
  sites_.name = chromosome_;
  sites_.positions = std::move(positions_);
  positions_.clear();
  sites_.recombinationFractions = chromosomeFractions();
  slotSolved_.assign(layout_.slotSamples.size(), 0);
  slotPhaseSet_.assign(layout_.slotSamples.size(), 0);
  slotPhaseProbability_.assign(layout_.slotSamples.size(), {});
  segmentStart_ = processClockMs();
  res_->put("Chromosome\t")
      .put(chromosome_)
      .put('\t')
      .put(static_cast<long long>(sites_.positions.size()))
      .put(segmentXLinked_ ? " sites, X-linked\n" : " sites\n");
  nextLayout_ = 0;
  if (segmentXLinked_ && !needs_.phasesX) {
    diagnostics::note(request_.genotypeFile + ": chromosome " + chromosome_ + ": " + request_.methodName +
                      " " + kNoXModel + "; its " + std::to_string(sites_.positions.size()) +
                      " X-linked sites are written as read");
    nextLayout_ = layout_.families.size();  // no family is handed out
  }
  return true;
}

std::vector<double> VcfFormat::chromosomeFractions() const {
  if (map_ == nullptr) return haldaneFractions(sites_.positions, cmPerMb_);
  if (const MapChromosome* points = map_->find(chromosome_))
    return mapFractions(*points, sites_.positions, cmPerMb_);
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", cmPerMb_);
  diagnostics::note(request_.genotypeFile + ": chromosome " + chromosome_ + " is not in genetic map '" +
                    map_->fileName() + "'; its intervals take " + rate + " cM per Mb");
  return haldaneFractions(sites_.positions, cmPerMb_);
}

std::unique_ptr<Family> VcfFormat::nextFamily() {
  if (nextLayout_ >= layout_.families.size()) return nullptr;
  return buildFamily(layout_.families[nextLayout_++], static_cast<int>(sites_.positions.size()));
}

std::unique_ptr<ConfigurationSink> VcfFormat::sinkFor(const ResultSinks& buffers) {
  return std::make_unique<VcfSink>(*this, buffers.res);
}

bool VcfFormat::endSegment(const AlleleStats* stats) {
  if (stats != nullptr) stats->printSummary(*res_);
  solveSeconds_ += secondsSince(segmentStart_);
  const bool written = writeChromosome();
  cells_.clear();
  if (!written) failed_ = true;
  return written;
}

bool VcfFormat::writePhaseProbabilities(bcf1_t* record, std::size_t site) {
  if (!needs_.phaseProbabilities) return true;
  const int sampleCount = bcf_hdr_nsamples(outputHeader_.get());
  bool any = false;
  for (std::size_t slot = 0; slot < slotPhaseProbability_.size(); ++slot) {
    const std::vector<std::uint16_t>& probabilities = slotPhaseProbability_[slot];
    if (probabilities.empty() || probabilities[site] == kNoPhaseProbability) continue;
    if (!any) {
      phaseProbabilityValues_.resize(static_cast<std::size_t>(sampleCount));
      for (float& value : phaseProbabilityValues_) bcf_float_set_missing(value);
      any = true;
    }
    phaseProbabilityValues_[static_cast<std::size_t>(layout_.slotSamples[slot])] =
        static_cast<float>(probabilities[site]) / kPhaseProbabilityScale;
  }
  return !any || bcf_update_format_float(outputHeader_.get(), record, "PP", phaseProbabilityValues_.data(),
                                         sampleCount) >= 0;
}

bool VcfFormat::writeChromosome() {
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
    if (!writer_.apply(outputHeader_.get(), record.get(), cells_.site(site)) ||
        !writePhaseProbabilities(record.get(), site)) {
      return fail(request_.genotypeFile + ": cannot update the record at " + chromosome_ + ":" +
                  std::to_string(positionOf(record.get())));
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

bool VcfFormat::open() {
  hts_set_log_level(HTS_LOG_OFF);
  // Everything that can be found wrong with the inputs is found before any
  // result file is created.
  if (!openInput()) return false;
  PedFile ped;
  std::string problem;
  if (!readPedFile(request_.pedFile, ped, problem)) return fail(problem);
  std::vector<std::string> samples;
  for (int i = 0; i < bcf_hdr_nsamples(inputHeader_.get()); ++i)
    samples.emplace_back(inputHeader_->samples[i]);
  layout_ = layoutFamilies(ped, samples, LayoutRules{needs_.minimumFamilySize, request_.methodName});
  if (layout_.familiesRenumbered) {
    diagnostics::note(request_.pedFile +
                      ": family ids are not all distinct positive numbers; the res file numbers the families "
                      "by their order in the pedigree file");
  }
  for (std::size_t i = 0; i < layout_.families.size(); ++i) layoutOfFamily_[layout_.families[i].familyId] = i;
  sinks_ = std::make_unique<ResultSinks>(ResultSinks{unusedDat_, unusedDat_, unusedOut_});
  if (!openOutputs()) return false;
  sinks_ = std::make_unique<ResultSinks>(ResultSinks{unusedDat_, *res_, unusedOut_});
  return true;
}

int VcfFormat::close(bool completed, bool totalTime, const AlleleStats*) {
  completed = completed && !failed_;
  if (!completed) closeDropped(spill_);
  // A file without records still gets its header.
  if (completed && writtenHeaderLines_ < 0) completed = writeOutputHeader();
  if (completed && !anyRecord_ && !region_.chromosome.empty()) {
    diagnostics::note(request_.genotypeFile + ": HAPLOTOR_REGION='" + region_.text +
                      "' holds no records; the output has the header only");
  }
  if (completed && res_ != nullptr) {
    if (totalTime) writeTotalTimeLine(*res_, runStart_);
    errno = 0;
    res_->flush();
    if (res_->failed() || std::fflush(resFile_) != 0 || std::ferror(resFile_) != 0) {
      completed =
          fail("cannot write result file '" + resName_ + "': " + std::strerror(errno != 0 ? errno : EIO));
    }
  }
  res_.reset();
  errno = 0;
  if (resFile_ != nullptr && std::fclose(resFile_) != 0 && completed) {
    completed =
        fail("cannot write result file '" + resName_ + "': " + std::strerror(errno != 0 ? errno : EIO));
  }
  if (completed && outputHeader_->nhrec != writtenHeaderLines_) completed = rewriteOutput();
  errno = 0;
  if (completed && !indexName_.empty() && bcf_idx_save(output_.get()) < 0) {
    completed = fail("cannot write the index of output file '" + outputName_ +
                     "': " + std::strerror(errno != 0 ? errno : EIO));
  }
  std::string problem;
  errno = 0;
  if (completed && output_ != nullptr && hts_flush(output_.get()) != 0)
    completed = failedWrite(outputName_, errno);
  if (!completed) closeDropped(output_);
  errno = 0;
  if (output_ != nullptr && hts_close(output_.release()) != 0) completed = failedWrite(outputName_, errno);
  if (completed && !pending_.commit(problem)) completed = fail(problem);
  if (reportTimes_) {
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

std::unique_ptr<RunFormat> vcfFormat(const std::string& genotypeFile, const std::string& pedFile,
                                     const std::string& commandLine, const std::string& methodName,
                                     const Settings& settings, const MethodNeeds& needs,
                                     const GeneticMap* map) {
  return std::make_unique<VcfFormat>(VcfRunRequest{genotypeFile, pedFile, commandLine, methodName}, settings,
                                     needs, map);
}
